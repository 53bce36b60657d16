// End to end, read back by independent readers: every Intel, Motorola-S and
// Extended Tektronix file the converter writes is read with srec_cat (and
// with objcopy where it reads the format), and every byte must be found at
// its address with the content the lane model gives for it, for memory,
// ROM and data widths, both input byte orders and both -order settings.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

struct Combination {
    const char* name;
    Layout layout;
    std::vector<std::string> options;  // width and order options
};

// A section crossing 0x10000 and one above it, on word boundaries of the
// widest memory, lengths whole memory words of every layout below.
struct Section {
    const char* name;
    uint32_t address;
    std::vector<uint8_t> data;
};

std::string describe(const std::vector<Section>& sections, bool big_endian) {
    std::string text = big_endian ? "data msb\n" : "";
    for (const Section& s : sections)
        text += std::string("section ") + s.name + " paddr=" + std::to_string(s.address) + "\n" +
                bytes_lines(s.data);
    return text;
}

std::vector<Run> runs_of(const std::vector<Section>& sections) {
    std::vector<Run> runs;
    for (const Section& s : sections) runs.push_back({s.address, s.data});
    return runs;
}

struct Format {
    const char* option;
    const char* srec_cat_flag;
    const char* objcopy_bfd;  // nullptr: objcopy does not read it
    bool intel;
    // Lane bytes a record takes (the record ends once it holds this many or
    // more), for lanes of 1, 2 and 4 bytes.
    size_t per_record[3];
};

const Format INTEL = {"-i", "-intel", "ihex", true, {32, 32, 32}};
const Format S1 = {"-m1", "-motorola", "srec", false, {31, 32, 32}};
const Format S2 = {"-m2", "-motorola", "srec", false, {30, 30, 32}};
const Format S3 = {"-m3", "-motorola", "srec", false, {29, 30, 32}};
const Format S_DEFAULT = {"-m", "-motorola", "srec", false, {29, 30, 32}};
const Format TEKTRONIX = {"-x", "-tektronix_extended", nullptr, false, {32, 32, 32}};

size_t records_bytes(const Format& format, int romwidth) {
    return format.per_record[romwidth == 1 ? 0 : romwidth == 2 ? 1 : 2];
}

class E2eReadback : public ::testing::Test {
protected:
    void SetUp() override { E2E_REQUIRE_READERS(); }

    // Converts the input in `format` with the combination's options and
    // checks every file with every reader. With `byte_addressing` the files
    // are addressed in ROM bytes and must be true images of their lanes.
    // Converts the input in `format` with the combination's options and
    // checks every file with srec_cat, and with objcopy when `objcopy` is
    // set and it reads the format. With `byte_addressing` the files are
    // addressed in ROM bytes and must be true images of their lanes.
    void convert_and_read(const Combination& c, const Format& format,
                          const std::vector<Section>& sections, bool objcopy,
                          bool byte_addressing = false) {
        SCOPED_TRACE(std::string(c.name) + " " + format.option + (byte_addressing ? " -byte" : ""));
        write_coff(dir.file("app.out"), describe(sections, c.layout.big_endian_input));
        std::vector<std::string> args = {"-q", format.option};
        args.insert(args.end(), c.options.begin(), c.options.end());
        if (byte_addressing) args.push_back("-byte");
        args.push_back("app");
        RunResult r = run_coffhex(args, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.err, "");
        const int files = c.layout.files();
        const std::string ext = format.option[1] == 'i' ? ".i" : format.option[1] == 'x' ? ".x" : ".m";
        std::vector<std::string> paths;
        for (int i = 0; i < files; ++i) paths.push_back(dir.file("app" + ext + std::to_string(i)));
        const std::vector<ByteMap> read = srec_cat_read_files(paths, format.srec_cat_flag);
        for (int i = 0; i < files; ++i) {
            SCOPED_TRACE("file " + std::to_string(i));
            const std::vector<Piece> pieces =
                file_pieces(runs_of(sections), c.layout, i, byte_addressing);
            const ByteMap in_records =
                reader_view(pieces, records_bytes(format, c.layout.romwidth), format.intel);
            // Under -byte, and wherever a ROM is at least as wide as the
            // memory, every byte sits at its own output address, whatever
            // the records. A ROM narrower than the memory without -byte is
            // addressed with memory addresses: a record's address is that of
            // its first memory word, and its lane bytes follow it packed.
            const bool plain = byte_addressing || c.layout.romwidth >= c.layout.memwidth;
            if (plain) {
                EXPECT_EQ(address_view(pieces), in_records);
            }
            EXPECT_TRUE(same_bytes(in_records, read[static_cast<size_t>(i)]));
            if (objcopy && format.objcopy_bfd != nullptr) {
                EXPECT_EQ(flatten(in_records),
                          objcopy_read(paths[static_cast<size_t>(i)], format.objcopy_bfd));
            }
        }
        // Exactly the expected files were written.
        std::vector<std::string> names = {"app.out"};
        for (int i = 0; i < files; ++i) names.push_back("app" + ext + std::to_string(i));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(list_files(dir.path()), names);
        for (const std::string& path : paths) std::remove(path.c_str());
    }

    // Sections around the 64 KB boundary of the output address: .text from
    // 0xFFC0 to 0x100BF, .data at 0x10200 (72 bytes, so records end short).
    std::vector<Section> high_sections() const {
        return {{".text", 0xFFC0, test_bytes(256, 11)}, {".data", 0x10200, test_bytes(72, 12)}};
    }
    // The same below 0x10000, for the 16-bit addresses of S1.
    std::vector<Section> low_sections() const {
        return {{".text", 0x0100, test_bytes(256, 21)}, {".data", 0x3000, test_bytes(72, 22)}};
    }

    // Intel and Extended Tektronix for every combination, each Motorola-S
    // address size for the main ones (`all_motorola`), one of them in turn
    // for the others; objcopy reads the Intel and Motorola-S files of the
    // main combinations.
    void check_formats(const Combination& c, bool all_motorola) {
        static int turn = 0;
        convert_and_read(c, INTEL, high_sections(), all_motorola);
        convert_and_read(c, TEKTRONIX, high_sections(), false);
        if (all_motorola) {
            for (const Format* format : {&S2, &S3, &S_DEFAULT})
                convert_and_read(c, *format, high_sections(), true);
            convert_and_read(c, S1, low_sections(), true);
        } else {
            const Format* rotation[] = {&S2, &S3, &S1};
            const Format& format = *rotation[turn++ % 3];
            convert_and_read(c, format, &format == &S1 ? low_sections() : high_sections(), false);
        }
        // Addressed in ROM bytes, each lane file is a plain image.
        if (c.layout.romwidth < c.layout.memwidth)
            convert_and_read(c, INTEL, high_sections(), all_motorola, true);
    }

    TempDir dir;
};

Layout layout(int mem, int rom, int data, bool big, bool ms) {
    Layout l;
    l.memwidth = mem;
    l.romwidth = rom;
    l.datawidth = data;
    l.big_endian_input = big;
    l.order_ms = ms;
    return l;
}

}  // namespace

// The lane model itself, on one word, against the rules stated for the
// splitter: little-endian input with LS puts the least significant byte
// (the byte at the lowest address) into file 0; the same bytes of a
// big-endian input with MS land in the same files.
TEST(E2eLaneModel, OneWordInEveryOrder) {
    const uint8_t word[4] = {0x11, 0x22, 0x33, 0x44};
    auto lanes = [&](const Layout& l) {
        std::vector<std::vector<uint8_t>> all;
        for (int i = 0; i < l.files(); ++i) all.push_back(lane_of_word(word, l, i));
        return all;
    };
    using V = std::vector<std::vector<uint8_t>>;
    EXPECT_EQ(lanes(layout(4, 1, 1, false, false)), (V{{0x11}, {0x22}, {0x33}, {0x44}}));
    EXPECT_EQ(lanes(layout(4, 1, 1, true, true)), (V{{0x44}, {0x33}, {0x22}, {0x11}}));
    EXPECT_EQ(lanes(layout(4, 1, 1, false, true)), (V{{0x44}, {0x33}, {0x22}, {0x11}}));
    EXPECT_EQ(lanes(layout(4, 2, 1, false, false)), (V{{0x22, 0x11}, {0x44, 0x33}}));
    // Data words of 16 bits in a 32-bit word printed whole: with LS the word
    // at the lower address (0x2211) is the second half of the eight digits,
    // with MS the first.
    EXPECT_EQ(lanes(layout(4, 4, 2, false, false)), (V{{0x44, 0x33, 0x22, 0x11}}));
    EXPECT_EQ(lanes(layout(4, 4, 2, false, true)), (V{{0x22, 0x11, 0x44, 0x33}}));
}

TEST_F(E2eReadback, Memory32Rom8LittleEndianDefaultOrder) {
    check_formats({"32/8 LE", layout(4, 1, 1, false, false), {"-memwidth", "32", "-romwidth", "8"}}, true);
}

TEST_F(E2eReadback, Memory32Rom8BigEndianDefaultOrder) {
    check_formats({"32/8 BE", layout(4, 1, 1, true, true), {"-memwidth", "32", "-romwidth", "8"}}, true);
}

TEST_F(E2eReadback, OrderOverrides) {
    check_formats(
        {"32/8 LE -order MS", layout(4, 1, 1, false, true), {"-memwidth", "32", "-order", "MS"}}, false);
    check_formats(
        {"32/8 BE -order LS", layout(4, 1, 1, true, false), {"-memwidth", "32", "-order", "LS"}}, false);
}

TEST_F(E2eReadback, Memory32Rom16) {
    check_formats({"32/16 LE", layout(4, 2, 1, false, false), {"-memwidth", "32", "-romwidth", "16"}}, false);
    check_formats({"32/16 BE", layout(4, 2, 1, true, true), {"-memwidth", "32", "-romwidth", "16"}}, false);
}

TEST_F(E2eReadback, Memory16Rom8) {
    check_formats({"16/8 LE", layout(2, 1, 1, false, false), {"-memwidth", "16", "-romwidth", "8"}}, false);
    check_formats({"16/8 BE", layout(2, 1, 1, true, true), {"-memwidth", "16", "-romwidth", "8"}}, false);
}

// A ROM wider than the memory: one file, two memory bytes per lane, the
// lower address first, the output address advancing by two per lane.
TEST_F(E2eReadback, Memory8Rom16OneFile) {
    check_formats({"8/16 LE", layout(1, 2, 1, false, false), {"-memwidth", "8", "-romwidth", "16"}}, true);
}

TEST_F(E2eReadback, DataWidth16) {
    check_formats({"32/8 D16 LE", layout(4, 1, 2, false, false),
                       {"-memwidth", "32", "-romwidth", "8", "-datawidth", "16"}}, false);
    check_formats({"32/8 D16 LE -order MS", layout(4, 1, 2, false, true),
                       {"-memwidth", "32", "-romwidth", "8", "-datawidth", "16", "-order", "MS"}}, false);
    check_formats({"32/32 D16 BE", layout(4, 4, 2, true, true),
                       {"-memwidth", "32", "-romwidth", "32", "-datawidth", "16"}}, false);
    check_formats({"32/32 D16 BE -order LS", layout(4, 4, 2, true, false),
                       {"-memwidth", "32", "-romwidth", "32", "-datawidth", "16", "-order", "LS"}}, false);
}

TEST_F(E2eReadback, Memory8Rom8IsThePlainImage) {
    check_formats({"8/8", layout(1, 1, 1, false, false), {"-memwidth", "8", "-romwidth", "8"}}, true);
}

// ASCII-Hex and Binary read back with srec_cat: the one file of a byte-wide
// memory holds the section data at every address (ASCII-Hex) or back to
// back (Binary).
TEST_F(E2eReadback, AsciiHexAndBinaryHoldTheSectionData) {
    const std::vector<uint8_t> text = test_bytes(100, 31), data = test_bytes(50, 32);
    write_coff(dir.file("app.out"), "section .text paddr=0x40\n" + bytes_lines(text) +
                                        "section .data paddr=0x12345\n" + bytes_lines(data));
    RunResult r = run_coffhex({"-q", "-a", "-memwidth", "8", "app"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    ByteMap expected;
    for (size_t i = 0; i < text.size(); ++i) expected[0x40 + static_cast<uint32_t>(i)] = text[i];
    for (size_t i = 0; i < data.size(); ++i) expected[0x12345 + static_cast<uint32_t>(i)] = data[i];
    EXPECT_TRUE(same_bytes(expected, srec_cat_read(dir.file("app.a0"), "-ascii_hex")));

    r = run_coffhex({"-q", "-b", "app"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    ByteMap back_to_back;
    for (size_t i = 0; i < text.size(); ++i) back_to_back[static_cast<uint32_t>(i)] = text[i];
    for (size_t i = 0; i < data.size(); ++i)
        back_to_back[static_cast<uint32_t>(text.size() + i)] = data[i];
    EXPECT_TRUE(same_bytes(back_to_back, srec_cat_read(dir.file("app.b0"), "-binary")));
}

// Sections of several load buffers (16384 bytes each) go on without a break
// at the buffer boundaries; a length that is not whole memory words is
// padded at the end only (fill 0).
TEST_F(E2eReadback, SectionsLongerThanTheLoadBuffer) {
    const std::vector<Section> sections = {{".big", 0x8000, test_bytes(40000, 41)},
                                           {".odd", 0x20000, test_bytes(16387, 42)}};
    write_coff(dir.file("app.out"), describe(sections, false));
    RunResult r = run_coffhex({"-q", "-i", "app"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    // The last chunk of .odd holds 3 bytes: padded by 1 to a whole word.
    EXPECT_EQ(r.err,
              ">> WARNING: section '.odd' was padded by 1 bytes to a size of 4 to satisfy the\n"
              "            specified memory width of 4\n");
    std::vector<Section> padded = sections;
    padded[1].data.push_back(0);
    const Layout l = layout(4, 1, 1, false, false);
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) paths.push_back(dir.file("app.i" + std::to_string(i)));
    const std::vector<ByteMap> read = srec_cat_read_files(paths, "-intel");
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(same_bytes(reader_view(file_pieces(runs_of(padded), l, i), 32, true),
                               read[static_cast<size_t>(i)]))
            << "file " << i;
}

// A 64-bit memory from 8-bit ROMs: eight files, the warning about the
// target's 32-bit word, and every lane in place.
TEST_F(E2eReadback, Memory64Rom8) {
    const Layout l = layout(8, 1, 1, false, false);
    write_coff(dir.file("app.out"), describe(high_sections(), false));
    RunResult r = run_coffhex({"-q", "-m3", "-byte", "-memwidth", "64", "app"}, dir.path());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: memwidth(64) is greater than target width(32)\n");
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i) paths.push_back(dir.file("app.m" + std::to_string(i)));
    const std::vector<ByteMap> read = srec_cat_read_files(paths, "-motorola");
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(same_bytes(address_view(file_pieces(runs_of(high_sections()), l, i, true)),
                               read[static_cast<size_t>(i)]))
            << "file " << i;
}
