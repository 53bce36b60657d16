// The fixture builder, checked against files written out byte by byte, so
// that the builder and the reader cannot share a misreading of the layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "coffgen/coffgen.h"
#include "support/harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes zeros(size_t n) { return Bytes(n, 0); }
Bytes text(const char* s, size_t field) {
    Bytes out(field, 0);
    for (size_t i = 0; s[i] != '\0' && i < field; ++i) out[i] = static_cast<uint8_t>(s[i]);
    return out;
}

Bytes build(const std::string& description) { return coffgen::build(coffgen::parse(description)); }

TEST(CoffgenLayout, Version0LittleEndian) {
    Bytes got = build(
        "magic 0x0099\n"
        "section .text paddr=0x100\n"
        "  bytes 11 22 33 44\n"
        "symbol main 0x100\n");
    // File header 20, one 40-byte section header at 20, data at 60, symbols
    // at 64.
    Bytes want = cat({
        {0x99, 0x00, 0x01, 0x00, 0, 0, 0, 0, 0x40, 0, 0, 0, 0x01, 0, 0, 0, 0x00, 0x00, 0x00, 0x00},
        text(".text", 8),
        {0x00, 0x01, 0, 0, 0x00, 0x01, 0, 0, 0x04, 0, 0, 0, 0x3C, 0, 0, 0},
        zeros(8),                       // relocation and line-number positions
        {0, 0, 0, 0, 0x20, 0x00, 0x00, 0x00},  // counts, flags, reserved, page
        {0x11, 0x22, 0x33, 0x44},
        text("main", 8),
        {0x00, 0x01, 0, 0, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00},
    });
    EXPECT_EQ(got, want);
}

TEST(CoffgenLayout, Version1Swapped) {
    Bytes got = build(
        "magic 0x00C1\n"
        "headers msb\n"
        "data msb\n"
        "entry 0x2000\n"
        "section .data paddr=0x8000 flags=0x40 page=3\n"
        "  bytes AA BB\n");
    // 22-byte header, 28-byte optional header at 22, section header at 50,
    // data at 90, symbol table position 92 (empty).
    Bytes want = cat({
        {0x00, 0xC1, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x5C, 0, 0, 0, 0, 0x00, 0x1C, 0x02, 0x00, 0x00, 0x99},
        // magic 0x0108, stamp, code size 0, data size 2 (flag 0x40), bss 0,
        // entry 0x2000, code start, data start
        {0x01, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0x20, 0x00},
        zeros(8),
        text(".data", 8),
        {0, 0, 0x80, 0x00, 0, 0, 0x80, 0x00, 0, 0, 0, 0x02, 0, 0, 0, 0x5A},
        zeros(8),
        {0, 0, 0, 0, 0x00, 0x40, 0x00, 0x03},
        {0xAA, 0xBB},
    });
    EXPECT_EQ(got, want);
}

TEST(CoffgenLayout, Version2WithStringTableRecordsAndAux) {
    Bytes got = build(
        "magic 0x00C2\n"
        "section .text_long paddr=0x40 page=1\n"
        "  bytes 01 02\n"
        "section .cinit flags=0x10\n"
        "  record 0x809800 05 06 07\n"
        "  end-records\n"
        "symbol _c_int00_long 0x40 aux=1\n"
        "symbol x 7 class=3\n");
    // Header 22, two 48-byte section headers (to 118), .text_long data at
    // 118, .cinit data (16-byte record + 4-byte end) at 120, symbols at 140
    // (3 entries, 54 bytes), string table at 194: ".text_long" at offset 4,
    // "_c_int00_long" at offset 15, size word 4 + 11 + 14 = 29.
    Bytes want = cat({
        {0xC2, 0x00, 0x02, 0x00, 0, 0, 0, 0, 0x8C, 0, 0, 0, 0x03, 0, 0, 0, 0, 0, 0, 0, 0x99, 0x00},
        {0, 0, 0, 0, 0x04, 0, 0, 0},
        {0x40, 0, 0, 0, 0x40, 0, 0, 0, 0x02, 0, 0, 0, 0x76, 0, 0, 0},
        zeros(16),
        {0x20, 0, 0, 0, 0, 0, 0x01, 0x00},
        text(".cinit", 8),
        {0, 0, 0, 0, 0, 0, 0, 0, 0x14, 0, 0, 0, 0x78, 0, 0, 0},
        zeros(16),
        {0x10, 0, 0, 0, 0, 0, 0, 0},
        {0x01, 0x02},
        {0x03, 0, 0, 0, 0x00, 0x98, 0x80, 0x00, 0x05, 0x06, 0x07, 0, 0, 0, 0, 0},
        {0, 0, 0, 0},
        {0, 0, 0, 0, 0x0F, 0, 0, 0, 0x40, 0, 0, 0, 0x01, 0x00, 0x00, 0x00, 0x02, 0x01},
        zeros(18),
        {'x', 0, 0, 0, 0, 0, 0, 0, 0x07, 0, 0, 0, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00},
        {0x1D, 0, 0, 0},
        text(".text_long", 11),
        text("_c_int00_long", 14),
    });
    EXPECT_EQ(got, want);
}

TEST(CoffgenLayout, Version0With00C0AndSwappedHeaders) {
    Bytes got = build(
        "magic 0x00C0\n"
        "headers msb\n"
        "section .bss paddr=0x300 size=0x80 flags=0x80 page=1\n");
    // No data bytes: raw-data position 0; symbol table position = 60.
    Bytes want = cat({
        {0x00, 0xC0, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x3C, 0, 0, 0, 0, 0, 0, 0, 0},
        text(".bss", 8),
        {0, 0, 0x03, 0x00, 0, 0, 0x03, 0x00, 0, 0, 0, 0x80, 0, 0, 0, 0},
        zeros(8),
        {0, 0, 0, 0, 0x00, 0x80, 0x00, 0x01},
    });
    EXPECT_EQ(got, want);
}

TEST(CoffgenOverrides, HeaderFieldsTailAndTruncate) {
    Bytes got = build(
        "magic 0x00C2\n"
        "nsections 65535\n"
        "nsyms 1000000\n"
        "symptr 0x12345678\n"
        "opthdr-size 30\n"
        "entry 0x55\n"
        "tail DE AD\n");
    ASSERT_EQ(got.size(), 22u + 30u + 2u);
    EXPECT_EQ(got[2], 0xFF);
    EXPECT_EQ(got[3], 0xFF);
    EXPECT_EQ((Bytes{got.begin() + 8, got.begin() + 16}),
              (Bytes{0x78, 0x56, 0x34, 0x12, 0x40, 0x42, 0x0F, 0x00}));
    EXPECT_EQ(got[16], 30);
    EXPECT_EQ(got[22 + 16], 0x55);  // entry inside the 30-byte area
    EXPECT_EQ(got[50], 0x00);       // the two padding bytes of the area
    EXPECT_EQ(got[51], 0x00);
    EXPECT_EQ(got[52], 0xDE);
    EXPECT_EQ(got[53], 0xAD);

    Bytes cut = build("magic 0x00C1\ntruncate 10\n");
    EXPECT_EQ(cut, (Bytes{0xC1, 0, 0, 0, 0, 0, 0, 0, 0x16, 0}));
}

TEST(CoffgenOverrides, StringOffsetsEmptyNamesAndStringTableWord) {
    Bytes got = build(
        "magic 0x00C2\n"
        "section \"\" nodata size=4\n"
        "section whatever stroff=2 nodata\n"
        "symbol abc 1 stroff=99\n"
        "strtab-size 3\n"
        "strtab-extra 41 42\n");
    // Two 48-byte headers end at 118; the symbol at 118; string table at 136.
    ASSERT_EQ(got.size(), 118u + 18u + 4u + 2u);
    EXPECT_EQ(Bytes(got.begin() + 22, got.begin() + 30), zeros(8));
    EXPECT_EQ(Bytes(got.begin() + 70, got.begin() + 78), (Bytes{0, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_EQ(Bytes(got.begin() + 118, got.begin() + 126), (Bytes{0, 0, 0, 0, 99, 0, 0, 0}));
    EXPECT_EQ(Bytes(got.begin() + 136, got.end()), (Bytes{3, 0, 0, 0, 0x41, 0x42}));
}

TEST(CoffgenRecords, ByteOrderAlignmentAndPattern) {
    // The data order is the one in force at the end, even when given last.
    coffgen::Object o = coffgen::parse(
        "section .cinit flags=0x10\n"
        "  raw 01 02 03\n"
        "  record 0x8000 AA\n"
        "  record 0x9000 pattern 9 seed=7\n"
        "data msb\n");
    ASSERT_EQ(o.sections.size(), 1u);
    const Bytes& d = o.sections[0].data;
    // 3 raw bytes padded to 8, record 1 (8 + 1 padded to 16), record 2
    // (8 + 9 padded to 24).
    ASSERT_EQ(d.size(), 8u + 16u + 24u);
    EXPECT_EQ(Bytes(d.begin(), d.begin() + 8), (Bytes{1, 2, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(d.begin() + 8, d.begin() + 24),
              (Bytes{0, 0, 0, 1, 0, 0, 0x80, 0, 0xAA, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(d.begin() + 24, d.begin() + 32), (Bytes{0, 0, 0, 9, 0, 0, 0x90, 0}));
    EXPECT_EQ(Bytes(d.begin() + 32, d.begin() + 41), coffgen::pattern_bytes(9, 7));
    EXPECT_EQ(Bytes(d.begin() + 41, d.end()), zeros(7));

    Bytes p1 = coffgen::pattern_bytes(64, 1), p2 = coffgen::pattern_bytes(64, 2);
    EXPECT_EQ(p1, coffgen::pattern_bytes(64, 1));
    EXPECT_NE(p1, p2);
    EXPECT_NE(p1, zeros(64));

    coffgen::Object f = coffgen::parse("section s\n fill 3 0x7E\n bytes 0a0B0c d\n");
    EXPECT_EQ(f.sections[0].data, (Bytes{0x7E, 0x7E, 0x7E, 0x0A, 0x0B, 0x0C, 0x0D}));
}

TEST(CoffgenErrors, ParseAndBuildFailuresNameTheProblem) {
    auto parse_error = [](const std::string& description) -> std::string {
        try {
            coffgen::parse(description);
        } catch (const coffgen::ParseError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(parse_error("magic 0x00C2\nbogus 1\n"), "line 2: unknown directive 'bogus'");
    EXPECT_EQ(parse_error("bytes 01\n"), "line 1: 'bytes' outside a section");
    EXPECT_EQ(parse_error("section s\n bytes 0G\n"), "line 2: bad hex byte '0G'");
    EXPECT_EQ(parse_error("section s size=x\n"), "line 1: bad number 'x'");
    EXPECT_EQ(parse_error("magic 0x10000\n"), "line 1: number '0x10000' out of range");
    EXPECT_EQ(parse_error("headers big\n"), "line 1: expected lsb or msb, not 'big'");
    EXPECT_EQ(parse_error("section \"unterminated\n"), "line 1: unterminated quote");

    // A directive ends the section: the bytes after it have no section.
    EXPECT_EQ(parse_error("section s\nentry 1\nbytes 01\n"), "line 3: 'bytes' outside a section");

    EXPECT_THROW(coffgen::build(coffgen::parse("magic 0x00C1\nsection .long_name\n")), coffgen::BuildError);
    EXPECT_THROW(coffgen::build(coffgen::parse("magic 0x0099\nsection s page=256\n")), coffgen::BuildError);
}

TEST(CoffgenTool, CommandLineWritesTheFileAndReportsErrors) {
    testsupport::TempDir dir;
    testsupport::write_text(dir.file("a.coff"), "magic 0x00C1\nsection .text\n bytes 01\n");
    auto ok = testsupport::run_program({COFFGEN_BINARY, "a.coff", "a.out"}, dir.path());
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(testsupport::read_bytes(dir.file("a.out")), build("magic 0x00C1\nsection .text\n bytes 01\n"));

    testsupport::write_text(dir.file("b.coff"), "section s\n pattern\n");
    auto bad = testsupport::run_program({COFFGEN_BINARY, "b.coff", "b.out"}, dir.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "coffgen: b.coff: line 2: usage: pattern N [seed=S]\n");
}

TEST(CoffgenExample, DemoDescriptionBuilds) {
    std::string description = testsupport::read_text(COFFHEX_SOURCE_DIR "/examples/demo.coff");
    coffgen::Object o = coffgen::parse(description);
    Bytes bytes = coffgen::build(o);
    ASSERT_GE(o.sections.size(), 4u);
    EXPECT_EQ(o.sections[0].name, ".text");
    EXPECT_EQ(o.sections[0].paddr, 0u);
    bool has_main = false;
    for (const auto& s : o.symbols) has_main = has_main || s.name == "main";
    EXPECT_TRUE(has_main);
    EXPECT_TRUE(o.entry.has_value());
    EXPECT_GT(bytes.size(), 100u);
}

}  // namespace
