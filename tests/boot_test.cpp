// The boot table: layout, byte order, padding, chunking, closing, the
// bootstrap table and the boot-table wording of placement diagnostics, run
// end to end on the real binary; the guards and the table's origin in
// process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "coffgen/coffgen.h"
#include "image_fixture.h"
#include "support/harness.h"

using namespace testsupport;

namespace {

using Bytes = std::vector<uint8_t>;

// One 6-byte section at 0x2000, entry point 0x2000.
const char* const ONE_SECTION =
    "entry 0x2000\n"
    "section .text paddr=0x2000\n"
    "  bytes 11 22 33 44 55 66\n"
    "symbol _start 0x2000\n";

class BootRun : public ::testing::Test {
protected:
    TempDir dir;

    RunResult convert(const std::string& description, std::vector<std::string> args) {
        write_coff(dir.file("app.out"), description);
        args.push_back("app.out");
        return run_coffhex(args, dir.path());
    }
    Bytes bytes_of(const std::string& name) { return read_bytes(dir.file(name)); }
    std::string text_of(const std::string& name) { return read_text(dir.file(name)); }
};

void append(Bytes& to, std::initializer_list<uint8_t> bytes) { to.insert(to.end(), bytes); }
void append(Bytes& to, const Bytes& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }
void append_le32(Bytes& to, uint32_t v) {
    append(to, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)});
}

// Diagnostics with the 80-column wrapping undone, one message per element.
std::vector<std::string> messages(const std::string& err) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < err.size()) {
        size_t end = err.find('\n', i);
        if (end == std::string::npos) end = err.size();
        std::string line = err.substr(i, end - i);
        if (!out.empty() && !line.empty() && line[0] == ' ') {
            size_t text = line.find_first_not_of(' ');
            out.back() += " " + line.substr(text);
        } else {
            out.push_back(line);
        }
        i = end + 1;
    }
    return out;
}

}  // namespace

// --- layout and byte order -------------------------------------------------

TEST_F(BootRun, LittleEndianTableWith32BitMemory) {
    // Entry point, size 6, destination 0x2000, the six bytes padded to eight,
    // terminator: 24 bytes from 0x1000 to 0x1017. One 32-bit lane per word
    // and MS order keep the bytes in address order in the file.
    RunResult r = convert(ONE_SECTION, {"-a", "-romwidth", "32", "-order", "MS", "-boot",
                                        "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to ASCII-Hex format...\n"
              "   \"app.out\"   ==> .text \t(BOOT LOAD)\n");
    EXPECT_EQ(text_of("app.a0"),
              "\x02\n$A1000,\n"
              "00 20 00 00 06 00 00 00 00 20 00 00 11 22 33 44 55 66 00 00 00 00 00 00 \n"
              "\x03");
}

TEST_F(BootRun, BigEndianInputWritesFieldsMostSignificantByteFirst) {
    std::string description = std::string("data msb\n") + ONE_SECTION;
    RunResult r = convert(description, {"-a", "-romwidth", "32", "-boot", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(text_of("app.a0"),
              "\x02\n$A1000,\n"
              "00 00 20 00 00 00 00 06 00 00 20 00 11 22 33 44 55 66 00 00 00 00 00 00 \n"
              "\x03");
}

TEST_F(BootRun, EntryPointBytesFollowTheInputByteOrder) {
    RunResult r = convert(ONE_SECTION, {"-b", "-boot", "-bootorg", "0x1000", "-e", "0x12345678"});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes little = bytes_of("app.b0");
    ASSERT_GE(little.size(), 4u);
    EXPECT_EQ(Bytes(little.begin(), little.begin() + 4), (Bytes{0x78, 0x56, 0x34, 0x12}));

    r = convert(std::string("data msb\n") + ONE_SECTION,
                {"-b", "-boot", "-bootorg", "0x1000", "-e", "0x12345678"});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes big = bytes_of("app.b0");
    ASSERT_GE(big.size(), 4u);
    EXPECT_EQ(Bytes(big.begin(), big.begin() + 4), (Bytes{0x12, 0x34, 0x56, 0x78}));
}

TEST_F(BootRun, WithoutBootOriginTheTableStartsAtTheFirstRange) {
    // The default range starts at 0: the data starts at output address 0,
    // so ASCII-Hex writes no address line before it.
    RunResult r = convert(ONE_SECTION, {"-a", "-memwidth", "8", "-boot"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(text_of("app.a0"),
              "\x02\n"
              "00 20 00 00 06 00 00 00 00 20 00 00 11 22 33 44 55 66 00 00 00 00 00 00 \n"
              "\x03");
}

TEST_F(BootRun, WithoutBootOriginTheTableStartsAtTheFirstRomsRange) {
    write_coff(dir.file("app.out"), ONE_SECTION);
    write_text(dir.file("app.cmd"),
               "-a -boot app.out\n"
               "ROMS { low: origin = 0x800, length = 0x100, memwidth = 8 }\n");
    RunResult r = run_coffhex({"app.cmd"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(text_of("app.a0"),
              "\x02\n$A0800,\n"
              "00 20 00 00 06 00 00 00 00 20 00 00 11 22 33 44 55 66 00 00 00 00 00 00 \n"
              "\x03");
}

TEST_F(BootRun, NoBootSectionWritesNoTable) {
    RunResult r = convert(ONE_SECTION, {"-b", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(bytes_of("app.b0"), (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
}

// --- padding and chunks ----------------------------------------------------

TEST_F(BootRun, SixtyFourBitMemoryPadsDataAndFieldsToWholeWords) {
    // Every 4-byte field is padded by placement to a whole 8-byte word with
    // fill (0) and a warning for the entry it is written for; the data is
    // padded with zeros: 6 bytes to 8, 9 bytes to 16. The terminator is
    // written for the last section.
    const char* description =
        "entry 0x2000\n"
        "section .a paddr=0x2000\n"
        "  bytes 11 22 33 44 55 66\n"
        "section .b paddr=0x3000\n"
        "  bytes A1 A2 A3 A4 A5 A6 A7 A8 A9\n"
        "symbol _start 0x2000\n";
    RunResult r = convert(description, {"-a", "-memwidth", "64", "-romwidth", "64", "-order", "MS",
                                        "-boot", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(text_of("app.a0"),
              "\x02\n$A1000,\n"
              // 0x1000 entry point, 0x1008 size, 0x1010 destination of .a
              "00 20 00 00 00 00 00 00 06 00 00 00 00 00 00 00 00 20 00 00 00 00 00 00 \n"
              // 0x1018 data of .a; the record ends where the next section
              // begins
              "11 22 33 44 55 66 00 00 \n"
              // 0x1020 size, 0x1028 destination, 0x1030 data of .b (16 bytes)
              "09 00 00 00 00 00 00 00 00 30 00 00 00 00 00 00 A1 A2 A3 A4 A5 A6 A7 A8 \n"
              // the rest of .b's data, then the terminator at 0x1040
              "A9 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n"
              "\x03");
    const std::string padded_a =
        ">> WARNING: section '.a' was padded by 4 bytes to a size of 8 to satisfy the "
        "specified memory width of 8";
    const std::string padded_b =
        ">> WARNING: section '.b' was padded by 4 bytes to a size of 8 to satisfy the "
        "specified memory width of 8";
    EXPECT_EQ(messages(r.err),
              (std::vector<std::string>{
                  ">> WARNING: memwidth(64) is greater than target width(32)", padded_a, padded_a,
                  padded_a, padded_b, padded_b, padded_b}));
}

TEST_F(BootRun, DataIsPaddedForTheRangeItIsWrittenTo) {
    // The table lies in the 64-bit range "wide"; the 32-bit range behind it
    // gets nothing. The 9 data bytes take two whole 8-byte words padded with
    // zeros; only the 4-byte fields are padded by placement, with the range
    // fill (all ones) and a warning each.
    const char* description =
        "entry 0x2000\n"
        "section .b paddr=0x3000\n"
        "  bytes A1 A2 A3 A4 A5 A6 A7 A8 A9\n";
    write_coff(dir.file("app.out"), description);
    write_text(dir.file("app.cmd"),
               "-a -boot -bootorg 0x1000 -order MS -fill 0xFFFFFFFF app.out\n"
               "ROMS {\n"
               "  wide:   origin = 0x1000, length = 0x100, memwidth = 64, width = 64\n"
               "  narrow: origin = 0x1100, length = 0x100, memwidth = 32, width = 32\n"
               "}\n");
    RunResult r = run_coffhex({"app.cmd"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(text_of("app.a00"),
              "\x02\n$A1000,\n"
              // entry point, size, destination, each padded with fill
              "00 20 00 00 FF FF FF FF 09 00 00 00 FF FF FF FF 00 30 00 00 FF FF FF FF \n"
              // data (0x1018..0x1027), terminator (0x1028)
              "A1 A2 A3 A4 A5 A6 A7 A8 A9 00 00 00 00 00 00 00 00 00 00 00 FF FF FF FF \n"
              "\x03");
    EXPECT_FALSE(file_exists(dir.file("app.a10")));
    std::vector<std::string> padding;
    for (const std::string& m : messages(r.err))
        if (m.find("padded") != std::string::npos) padding.push_back(m);
    const std::string field =
        ">> WARNING: section '.b' was padded by 4 bytes to a size of 8 to satisfy the "
        "specified memory width of 8";
    EXPECT_EQ(padding, (std::vector<std::string>{field, field, field, field}));
}

TEST_F(BootRun, SectionLongerThanOneChunkHasOneHeader) {
    // 16384 + 6 bytes arrive as two chunks: one size/destination pair, the
    // first 16384 bytes at once, then 6 bytes and two zeros.
    const char* description =
        "entry 0x2000\n"
        "section .big paddr=0x2000\n"
        "  pattern 16390 seed=7\n";
    RunResult r = convert(description, {"-b", "-boot", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes expected;
    append_le32(expected, 0x2000);  // entry point
    append_le32(expected, 16390);   // size
    append_le32(expected, 0x2000);  // destination
    append(expected, coffgen::pattern_bytes(16390, 7));
    append(expected, {0, 0});
    append_le32(expected, 0);       // terminator
    Bytes got = bytes_of("app.b0");
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

TEST_F(BootRun, VerboseTraceDescribesTheBufferOfAnUnfinishedSection) {
    // Only the first chunk leaves its section unfinished; its buffer went to
    // 0x100C, right behind entry point, size and destination.
    const char* description =
        "section .big paddr=0x2000\n"
        "  pattern 16390 seed=7\n";
    RunResult r = convert(description, {"-b", "-boot", "-bootorg", "0x1000", "--v"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string block =
        "\nBoot Buffer Address    : 0x100C\n"
        "Length of Data         : 16384\n"
        "Length of Buffer       : 16384\n"
        "Overflow Buffer Address: 0x0\n"
        "Overflow Buffer Length : 0\n";
    size_t at = r.out.find(block);
    EXPECT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Boot Buffer Address", at + block.size()), std::string::npos);
}

// --- closing the table -----------------------------------------------------

TEST_F(BootRun, TerminatorPrecedesTheNextNonBootSection) {
    // -bootsection keeps .data at its own address, outside the table; its
    // bytes follow the terminator in the file.
    const char* description =
        "entry 0x2000\n"
        "section .text paddr=0x2000\n"
        "  bytes 11 22 33 44 55 66\n"
        "section .data paddr=0x3000\n"
        "  bytes AA BB CC DD\n";
    RunResult r = convert(description, {"-b", "-boot", "-bootsection", ".data", "0x3000",
                                        "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(bytes_of("app.b0"),
              (Bytes{0x00, 0x20, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00,
                     0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                     0xAA, 0xBB, 0xCC, 0xDD}));
}

TEST_F(BootRun, BootstrapSectionAloneHasNoEntryPoint) {
    RunResult r = convert(ONE_SECTION, {"-b", "-boot", "-bootstrap=.text", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(bytes_of("app.b0"),
              (Bytes{0x06, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44,
                     0x55, 0x66, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(BootRun, BootstrapTableThenMainTable) {
    // The bootstrap section comes first whatever its place in the file; its
    // table is closed before the main table's entry point.
    const char* description =
        "entry 0x2000\n"
        "section .a paddr=0x2000\n"
        "  bytes 11 22 33 44 55 66\n"
        "section .b paddr=0x3000\n"
        "  bytes C1 C2\n"
        "section .boot paddr=0x100\n"
        "  bytes B0 B1 B2 B3\n";
    RunResult r = convert(description, {"-b", "-boot", "-bootstrap=.boot", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(bytes_of("app.b0"),
              (Bytes{// bootstrap table: size, address, data, 0
                     0x04, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0xB0, 0xB1, 0xB2, 0xB3,
                     0x00, 0x00, 0x00, 0x00,
                     // main table: entry point, .a, .b, 0
                     0x00, 0x20, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00,
                     0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                     0x00, 0x30, 0x00, 0x00, 0xC1, 0xC2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

// --- .cinit ----------------------------------------------------------------

TEST_F(BootRun, BootLoadedCinitMakesOneSectionPerRecord) {
    // .cinit is listed first but converted after the other boot section;
    // each record becomes size, destination and padded data.
    const char* description =
        "entry 0x2000\n"
        "section .cinit paddr=0x4000 flags=0x10\n"
        "  record 0x8000 A1 A2 A3 A4 A5 A6\n"
        "  record 0x8100 B1 B2 B3\n"
        "  end-records\n"
        "section .text paddr=0x2000\n"
        "  bytes 11 22 33 44 55 66\n"
        "section .bss paddr=0x8000 size=0x200 nodata\n";
    RunResult r = convert(description, {"-b", "-boot", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(bytes_of("app.b0"),
              (Bytes{0x00, 0x20, 0x00, 0x00,
                     // .text
                     0x06, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44,
                     0x55, 0x66, 0x00, 0x00,
                     // first record
                     0x06, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0xA1, 0xA2, 0xA3, 0xA4,
                     0xA5, 0xA6, 0x00, 0x00,
                     // second record
                     0x03, 0x00, 0x00, 0x00, 0x00, 0x81, 0x00, 0x00, 0xB1, 0xB2, 0xB3, 0x00,
                     // terminator
                     0x00, 0x00, 0x00, 0x00}));
}

TEST_F(BootRun, CinitRecordSplitAcrossChunksGivesTwoSections) {
    // The record header takes 8 bytes of the first 16384-byte chunk, so the
    // record's 16380 bytes arrive as 16376 at 0x8000 and 4 at 0xBFF8.
    const char* description =
        "section .cinit paddr=0x4000 flags=0x10\n"
        "  record 0x8000 pattern 16380 seed=3\n"
        "  end-records\n"
        "section .bss paddr=0x8000 size=0x4000 nodata\n";
    RunResult r = convert(description, {"-b", "-boot", "-bootorg", "0x1000", "-e", "0x8000"});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes data = coffgen::pattern_bytes(16380, 3);
    Bytes expected;
    append_le32(expected, 0x8000);  // entry point
    append_le32(expected, 16376);
    append_le32(expected, 0x8000);
    append(expected, Bytes(data.begin(), data.begin() + 16376));
    append_le32(expected, 4);
    append_le32(expected, 0xBFF8);
    append(expected, Bytes(data.begin() + 16376, data.end()));
    append_le32(expected, 0);
    Bytes got = bytes_of("app.b0");
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

// --- placement diagnostics in the table's wording ---------------------------

TEST_F(BootRun, TableOverDataAlreadyPlacedIsReportedOnce) {
    // .data (0xFF8..0x1007) is placed before the table at 0x1000; nothing of
    // the table can be written below the range's next address.
    const char* description =
        "entry 0x2000\n"
        "section .text paddr=0x2000\n"
        "  bytes 11 22 33 44 55 66\n"
        "section .data paddr=0xFF8\n"
        "  bytes D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA DB DC DD DE DF\n";
    RunResult r = convert(description, {"-b", "-boot", "-bootsection", ".data", "0xFF8",
                                        "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ">> WARNING: boot table at 01000h overlaps section '.data' (table incomplete)\n");
    EXPECT_EQ(bytes_of("app.b0"), (Bytes{0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8,
                                         0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF}));
}

TEST_F(BootRun, TableOnAPageWithoutRangesIsReportedOnce) {
    RunResult r = convert(ONE_SECTION, {"-b", "-boot", "-bootorg", "0x1000", "-bootpage", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ">> WARNING: boot table falls in unconfigured memory at 01000h\n");
    EXPECT_FALSE(file_exists(dir.file("app.b0")));
}

// --- guards, in process ----------------------------------------------------

TEST(BootGuard, FieldWiderThanFourBytesEndsTheRun) {
    imagetest::ImageRig rig;
    rig.load(imagetest::section(".text", 0x2000, 6));
    rig.add_range(0x1000, 0x1FFF);
    rig.start();
    try {
        rig.boot->write_boot_field(0, 5);
        ADD_FAILURE() << "write_boot_field returned";
    } catch (const coffhex::RunAbort& abort) {
        EXPECT_EQ(abort.status, 1);
    }
    EXPECT_EQ(rig.captured.err(), ">> ERROR: field truncated - ABORT\n");
    EXPECT_EQ(rig.boot->table_address(), 0x1000u);
    EXPECT_EQ(rig.written(), std::vector<std::string>{});
}

TEST(BootGuard, UnfinishedChunkOfPartialWordsIsAnInternalError) {
    // A chunk that does not finish its section must be whole memory words:
    // 6 of the 100 bytes of .text, with 32-bit memory words.
    imagetest::ImageRig rig;
    rig.load(imagetest::section(".text", 0x2000, 100));
    rig.add_range(0x0, 0xFFFF, 4, 1);
    rig.select(".text", 0xFFFFFFFFu, true);
    rig.start();
    rig.placement->set_current_entry(rig.entry(".text"));
    const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    const coffhex::SectionEntry& section = rig.coff->sections()[0];
    EXPECT_THROW(rig.boot->append_boot_data(section, data, 0x2000, 6), coffhex::RunAbort);
    EXPECT_EQ(rig.captured.err(), ">> INTERNAL ERROR: corrupt boot buffer - ABORT\n");
    EXPECT_EQ(rig.written(), std::vector<std::string>{});
}

TEST(BootGuard, OriginDefaultsToTheFirstRange) {
    imagetest::ImageRig rig;
    rig.load("");
    rig.add_range(0x800, 0x8FF, 1, 1, 0, 2);
    rig.boot_settings.boot_page = -1;
    rig.start();
    EXPECT_EQ(rig.boot->boot_org(), 0x800u);
    EXPECT_EQ(rig.boot->boot_page(), 2);
    EXPECT_EQ(rig.boot->table_address(), 0x800u);

    // A given origin and page stay.
    coffhex::BootSettings given;
    given.boot_org = 0x1234;
    given.boot_page = 0;
    coffhex::BootTable table(given, *rig.coff, *rig.placement, rig.diag);
    table.set_boot_origin(rig.first_range());
    EXPECT_EQ(table.boot_org(), 0x1234u);
    EXPECT_EQ(table.boot_page(), 0);
    EXPECT_EQ(table.table_address(), 0x1234u);
}
