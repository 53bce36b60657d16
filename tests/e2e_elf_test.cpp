// End to end, ELF input: fixture ELF files of this target (machine 140) in
// both data encodings are converted like COFF files. Allocated sections with
// contents are converted at their load address, the boot table sends them to
// their run address, NOBITS and non-allocated sections are left out, .cinit
// is plain data; ELF files of another class or machine and damaged ones are
// refused.
#include <gtest/gtest.h>

#include <sstream>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

// .data runs at 0x8000 but is loaded at 0x200; .const shares its segment, so
// it is loaded 4 bytes further on, at 0x204. .cinit holds what would be a
// record in a COFF file. .bss (NOBITS) and .comment (not allocated) are
// never loaded. main (0x104) differs from the entry point (0x100).
std::string program(bool big_endian) {
    return std::string("elf\n") + (big_endian ? "data msb\n" : "data lsb\n") +
           "entry 0x100\n"
           "section .text vaddr=0x100\n"
           "  bytes 01 02 03 04 05 06 07 08\n"
           "section .data vaddr=0x8000 paddr=0x200 segment=1\n"
           "  bytes 11 12 13 14\n"
           "section .const vaddr=0x8004 segment=1\n"
           "  bytes 21 22 23 24\n"
           "section .cinit vaddr=0x300\n"
           "  bytes 08 00 00 00 00 90 00 00\n"
           "section .bss vaddr=0x9000 size=0x20 nobits\n"
           "section .comment noalloc\n"
           "  bytes 41 42 43 00\n"
           "symbol helper 0x106 bind=local section=1\n"
           "symbol main 0x104 section=1\n";
}

void put(ByteMap& map, uint32_t address, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) map[address + static_cast<uint32_t>(i)] = bytes[i];
}

// A 32-bit boot table field in the file's data encoding.
std::vector<uint8_t> field(uint32_t value, bool big_endian) {
    std::vector<uint8_t> bytes(4);
    for (int j = 0; j < 4; ++j) bytes[static_cast<size_t>(big_endian ? 3 - j : j)] = static_cast<uint8_t>(value >> (8 * j));
    return bytes;
}

const std::vector<uint8_t> TEXT = {1, 2, 3, 4, 5, 6, 7, 8};
const std::vector<uint8_t> DATA = {0x11, 0x12, 0x13, 0x14};
const std::vector<uint8_t> CONST = {0x21, 0x22, 0x23, 0x24};
const std::vector<uint8_t> CINIT = {8, 0, 0, 0, 0, 0x90, 0, 0};

// Whitespace runs as one blank: messages are wrapped at 80 columns.
std::string unwrapped(const std::string& text) {
    std::istringstream in(text);
    std::string word, out;
    while (in >> word) out += (out.empty() ? "" : " ") + word;
    return out;
}

class E2eElf : public ::testing::TestWithParam<bool> {
protected:
    TempDir dir;
    bool big() const { return GetParam(); }
    RunResult convert(std::vector<std::string> args) {
        write_coff(dir.file("app.out"), program(big()));
        args.push_back("app");
        return run_coffhex(args, dir.path());
    }
};

}  // namespace

// A flat image at the load addresses: the same bytes as objcopy's image of
// the file, read back from both Intel files. The map lists the sections at
// their load addresses.
TEST_P(E2eElf, FlatImageAtLoadAddressesMatchesObjcopy) {
    E2E_REQUIRE_READERS();
    const RunResult r = convert({"-i", "-memwidth", "8", "-romwidth", "8", "-o", "app.hex", "-map", "app.map"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to Intel format...\n"
              "   \"app.out\"   ==> .text\n"
              "   \"app.out\"   ==> .data\n"
              "   \"app.out\"   ==> .const\n"
              "   \"app.out\"   ==> .cinit\n");

    ByteMap expected;
    put(expected, 0x100, TEXT);
    put(expected, 0x200, DATA);
    put(expected, 0x204, CONST);
    put(expected, 0x300, CINIT);
    EXPECT_TRUE(same_bytes(expected, srec_cat_read(dir.file("app.hex"), "-intel")));

    const RunResult peer = run_program({"objcopy", "-O", "ihex", "app.out", "peer.hex"}, dir.path());
    ASSERT_EQ(peer.status, 0) << peer.err;
    EXPECT_TRUE(same_bytes(expected, srec_cat_read(dir.file("peer.hex"), "-intel")));

    const std::string map = read_text(dir.file("app.map"));
    EXPECT_NE(map.find("INPUT FILE NAME: <app.out>\n"), std::string::npos) << map;
    EXPECT_NE(map.find("   CONTENTS: 00000100..00000107   .text\n"
                       "             00000200..00000203   .data\n"
                       "             00000204..00000207   .const\n"
                       "             00000300..00000307   .cinit\n"),
              std::string::npos)
        << map;
}

// -boot with -e main: the table holds main's address, then each section's
// size and run address (.data at 0x8000, not its load address 0x200) and
// its bytes, then the terminator; fields in the file's data encoding.
TEST_P(E2eElf, BootTableSendsSectionsToTheirRunAddress) {
    E2E_REQUIRE_READERS();
    const RunResult r = convert({"-q", "-i", "-memwidth", "8", "-romwidth", "8", "-boot", "-bootorg",
                                 "0x1000", "-e", "main", "-o", "app.hex"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<uint8_t> table = field(0x104, big());
    auto section = [&](uint32_t run, const std::vector<uint8_t>& bytes) {
        for (const auto& part : {field(static_cast<uint32_t>(bytes.size()), big()), field(run, big()), bytes})
            table.insert(table.end(), part.begin(), part.end());
    };
    section(0x100, TEXT);
    section(0x8000, DATA);
    section(0x8004, CONST);
    section(0x300, CINIT);
    const std::vector<uint8_t> end = field(0, big());
    table.insert(table.end(), end.begin(), end.end());
    ByteMap expected;
    put(expected, 0x1000, table);
    EXPECT_TRUE(same_bytes(expected, srec_cat_read(dir.file("app.hex"), "-intel")));
}

// SECTIONS by ELF names, four 8-bit lanes of a 32-bit memory, image mode
// with fill. With -byte, memory word w is at w in every lane file: the
// range 0x200..0x20F is words 0x80..0x83. Lane k holds bits 8k..8k+7 of
// each word; little-endian data make byte k of the word its bits 8k..8k+7,
// big-endian data byte 3-k. Words 0x82 and 0x83 are fill.
TEST_P(E2eElf, SelectedSectionsInFourLanesWithFill) {
    E2E_REQUIRE_READERS();
    write_text(dir.file("lanes.cmd"),
               "-i -image -byte\n"
               "ROMS { PAGE 0: rom: origin = 0x200, length = 0x10, romwidth = 8, memwidth = 32,\n"
               "       fill = 0xA5A5A5A5, files = { l0 l1 l2 l3 } }\n"
               "SECTIONS { .data .const }\n");
    const RunResult r = convert({"-q", "lanes.cmd"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE("lane " + std::to_string(k));
        const size_t byte = static_cast<size_t>(big() ? 3 - k : k);
        ByteMap expected;
        put(expected, 0x80, {DATA[byte], CONST[byte], 0xA5, 0xA5});
        EXPECT_TRUE(same_bytes(expected, srec_cat_read(dir.file("l" + std::to_string(k)), "-intel")));
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, E2eElf, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("BigEndian") : std::string("LittleEndian");
                         });

// ELF files that are not for this target, and damaged ones, end the run
// with a FATAL message, status 1 and no output file.
TEST(E2eElfRefusals, OtherClassMachineOrDamagedFile) {
    struct Case {
        const char* what;
        std::string description;
        const char* message;
    };
    const std::string base = program(false);
    const std::vector<Case> cases = {
        {"ARM", base + "machine 40\n",
         "input file 'app.out' is an ELF file for machine 40, not for this target (machine 140)"},
        {"64-bit", "elf 64\nmachine 140\n",
         "input file 'app.out' is a 64-bit ELF file for machine 140, not for this target (32-bit, "
         "machine 140)"},
        // The section header table is the last thing in the file.
        {"truncated", base + "truncate 400\n",
         "error reading ELF file 'app.out': the section header table lies past the end of the file"},
        {"name", "elf\nsection .text vaddr=0x100 stroff=0x400\n  bytes 01 02 03 04\n",
         "error reading ELF file 'app.out': section 1 has a name outside the section name table"},
        // The section header table laid over the program headers at 52.
        {"overlap", base + "shoff 60\n",
         "error reading ELF file 'app.out': the program header table overlaps the section header "
         "table"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        write_coff(dir.file("app.out"), c.description);
        const RunResult r = run_coffhex({"-i", "-map", "app.map", "app"}, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(unwrapped(r.err), std::string(">> FATAL ERROR: ") + c.message + " (aborting)");
        EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"app.out"});
    }
}
