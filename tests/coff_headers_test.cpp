// COFF file header, optional header, string table and section headers.
#include <cstring>

#include "coff_test_fixture.h"
#include "driver/run.h"

namespace {

using namespace coffhex;
using cofftest::CoffTest;
using Bytes = std::vector<uint8_t>;

class CoffHeaders : public CoffTest {};

// A 40-byte section header with inline name ".text" and distinct fields.
const char* const kVersion0Body =
    "section .text paddr=0x11 vaddr=0x22 size=3 flags=0x20 page=7\n"
    "  bytes 01 02 03\n";

void expect_text_section(const SectionEntry& e) {
    EXPECT_STREQ(section_name_text(e), ".text");
    EXPECT_TRUE(e.has_inline_name(".text"));
    EXPECT_EQ(e.paddr, 0x11u);
    EXPECT_EQ(e.vaddr, 0x22u);
    EXPECT_EQ(e.size, 3u);
    EXPECT_NE(e.data_pos, 0u);
    EXPECT_EQ(e.flags, 0x20u);
    EXPECT_EQ(e.page, 7);
}

TEST_F(CoffHeaders, VersionsAndHeaderByteOrders) {
    struct Case {
        const char* head;
        int version;
        bool swapped;
    } cases[] = {
        {"magic 0x0099\n", 0, false},               // starts 99 00
        {"magic 0x0099\nheaders msb\n", 0, true},   // starts 00 99
        {"magic 0x00C0\n", 0, false},
        {"magic 0x00C1\nheaders msb\n", 1, true},
        {"magic 0x00C1\n", 1, false},
        {"magic 0x00C2\nheaders msb\n", 2, true},
        {"magic 0x00C2\n", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head);
        SetUp();
        open(std::string(c.head) + kVersion0Body);
        ASSERT_TRUE(read_coff_headers());
        const CoffInput& in = coff_input();
        EXPECT_EQ(in.version, c.version);
        EXPECT_EQ(in.swapped, c.swapped);
        EXPECT_FALSE(in.big_endian_data);
        EXPECT_EQ(in.entry_address, 0u);
        ASSERT_EQ(in.sections.size(), 1u);
        expect_text_section(in.sections[0]);
        // The data position the reader found holds the section's bytes.
        Bytes file = testsupport::read_bytes(path());
        EXPECT_EQ(Bytes(file.begin() + in.sections[0].data_pos, file.begin() + in.sections[0].data_pos + 3),
                  (Bytes{1, 2, 3}));
        TearDown();
    }
}

TEST_F(CoffHeaders, FirstBytesDecideTheOrder) {
    // A hand-made version 0 file with one 40-byte header, most significant
    // byte first: 00 99, one section, no symbols.
    Bytes file = {0x00, 0x99, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x02, 0x00};
    Bytes header = {'.', 'd', 'a', 't', 'a', 0, 0, 0,
                    0, 0, 0x10, 0x00,  0, 0, 0x10, 0x00,  0, 0, 0, 0x04,  0, 0, 0, 0,
                    0, 0, 0, 0,  0, 0, 0, 0,  0, 0,  0, 0,  0x00, 0x40,  0x00, 0x02};
    file.insert(file.end(), header.begin(), header.end());
    open_bytes(file);
    ASSERT_TRUE(read_coff_headers());
    const CoffInput& in = coff_input();
    EXPECT_TRUE(in.swapped);
    EXPECT_TRUE(in.big_endian_data);  // flags 0x0200
    EXPECT_EQ(in.version, 0);
    ASSERT_EQ(in.sections.size(), 1u);
    EXPECT_STREQ(in.sections[0].name, ".data");
    EXPECT_EQ(in.sections[0].vaddr, 0x1000u);
    EXPECT_EQ(in.sections[0].size, 4u);
    EXPECT_EQ(in.sections[0].flags, 0x40u);
    EXPECT_EQ(in.sections[0].page, 2);
}

TEST_F(CoffHeaders, MagicAndTargetChecks) {
    struct Case {
        Bytes start;
        int code;
    } cases[] = {
        {{0xC2, 0x00}, LOAD_OK},
        {{0x98, 0x00}, BadMagic},
        {{0x00, 0x98}, BadMagic},
        {{0xC3, 0x00}, BadMagic},
        {{0x99, 0x99}, BadMagic},
    };
    for (const Case& c : cases) {
        SetUp();
        Bytes file = coffgen::build(coffgen::parse("magic 0x00C2\n"));
        file[0] = c.start[0];
        file[1] = c.start[1];
        open_bytes(file);
        EXPECT_EQ(read_coff_headers(), c.code == LOAD_OK) << int(c.start[0]) << " " << int(c.start[1]);
        EXPECT_EQ(recorded_load_error(), c.code);
        TearDown();
    }

    SetUp();
    open("magic 0x00C2\ntarget 0x0098\n");
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), BadMagic);
    TearDown();

    SetUp();
    open("magic 0x00C1\nheaders msb\ntarget 0x9900\n");
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), BadMagic);
    TearDown();

    // Version 0 never looks at offset 20, which here holds the first two
    // bytes of the section name ("XY").
    SetUp();
    open("magic 0x00C0\nsection XYZ\n bytes 01\n");
    EXPECT_TRUE(read_coff_headers());
    EXPECT_EQ(coff_input().header.target_id, 0x5958);
    EXPECT_STREQ(coff_input().sections[0].name, "XYZ");
}

TEST_F(CoffHeaders, ShortFileHeaderIsAReadError) {
    Bytes file = coffgen::build(coffgen::parse("magic 0x00C2\n"));
    file.resize(21);
    open_bytes(file);
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), ReadError);

    SetUp();
    open_bytes({});
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), ReadError);

    SetUp();
    coff_input().stream = nullptr;
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), ReadError);
}

TEST_F(CoffHeaders, OptionalHeaderSizes) {
    // Size 28: the entry point is read (both byte orders, every version).
    for (const char* head : {"magic 0x0099\n", "magic 0x00C1\nheaders msb\n", "magic 0x00C2\n"}) {
        SetUp();
        open(std::string(head) + "entry 0x12345678\n" + kVersion0Body);
        ASSERT_TRUE(read_coff_headers()) << head;
        EXPECT_TRUE(coff_input().has_opt_header);
        EXPECT_EQ(coff_input().entry_address, 0x12345678u);
        expect_text_section(coff_input().sections[0]);
        TearDown();
    }

    // Size 30: no optional header is read, the sections start at 22 + 30.
    SetUp();
    open(std::string("magic 0x00C2\nentry 0x5555\nopthdr-size 30\n") + kVersion0Body);
    ASSERT_TRUE(read_coff_headers());
    EXPECT_FALSE(coff_input().has_opt_header);
    EXPECT_EQ(coff_input().entry_address, 0u);
    expect_text_section(coff_input().sections[0]);
    TearDown();

    // Size 0 in version 0: the sections start at 20.
    SetUp();
    open(std::string("magic 0x00C0\n") + kVersion0Body);
    ASSERT_TRUE(read_coff_headers());
    expect_text_section(coff_input().sections[0]);
    TearDown();

    // Size 28 in a file that ends inside the optional header.
    SetUp();
    open("magic 0x00C2\nentry 0x10\ntruncate 40\n");
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), ReadError);
}

TEST_F(CoffHeaders, SectionHeaderCountsAreCheckedAgainstTheFile) {
    // One header missing: a read error.
    Bytes two = coffgen::build(coffgen::parse("section a nodata size=1\nsection b nodata size=1\n"));
    two.resize(22 + 48 + 47);
    open_bytes(two);
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), ReadError);
    EXPECT_TRUE(coff_input().sections.empty());

    // 65535 sections claimed by a 100-byte file fail at once, with nothing
    // allocated for them.
    for (const char* magic : {"0x0099", "0x00C1", "0x00C2"}) {
        SetUp();
        open(std::string("magic ") + magic + "\nnsections 65535\ntail " + std::string(78, '0') + "\n");
        ASSERT_EQ(testsupport::read_bytes(path()).size(), (std::string(magic) == "0x0099" ? 20u : 22u) + 39u);
        EXPECT_FALSE(read_coff_headers());
        EXPECT_EQ(recorded_load_error(), ReadError);
        EXPECT_TRUE(coff_input().sections.empty());
        EXPECT_EQ(coff_input().sections.capacity(), 0u);
        TearDown();
    }
}

TEST_F(CoffHeaders, StringTableIntoThePool) {
    // Two long names; 3 bytes after the last NUL are dropped.
    open("section .text_long_name\n bytes 01\n"
         "symbol a_long_symbol 5\n"
         "strtab-extra 41 42 43\n");
    ASSERT_TRUE(read_coff_headers());
    const CoffInput& in = coff_input();
    ASSERT_EQ(in.pool.blocks.size(), 1u);
    const StringBlock& b = in.pool.blocks[0];
    // ".text_long_name\0" (16) + "a_long_symbol\0" (14) = 30 kept of 33.
    EXPECT_EQ(b.base, 4);
    EXPECT_EQ(b.capacity, 30);
    EXPECT_EQ(b.used, 30);
    EXPECT_EQ(in.string_table_end, 34u);
    EXPECT_STREQ(section_name_text(in.sections[0]), ".text_long_name");
    EXPECT_FALSE(in.sections[0].has_inline_name(".text_long_name"));
    EXPECT_STREQ(string_at_offset(4), ".text_long_name");
    EXPECT_STREQ(string_at_offset(20), "a_long_symbol");
    EXPECT_STREQ(string_at_offset(27), "symbol");
    EXPECT_EQ(string_at_offset(3), nullptr);
    EXPECT_EQ(string_at_offset(34), nullptr);  // the dropped tail
    EXPECT_TRUE(string_table_holds(4));
    EXPECT_TRUE(string_table_holds(33));
    EXPECT_FALSE(string_table_holds(34));
    EXPECT_FALSE(string_table_holds(3));
}

TEST_F(CoffHeaders, StringTableSizeWord) {
    // Size 4: empty text, empty pool, no failure.
    open("symbol x 1\nstrtab-size 4\n");
    ASSERT_TRUE(read_coff_headers());
    EXPECT_TRUE(coff_input().pool.empty());
    TearDown();

    // Size below 4: a read error.
    SetUp();
    open("symbol x 1\nstrtab-size 3\n");
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), ReadError);
    TearDown();

    // A size that runs past the end of the file: a read error, refused
    // before a block is allocated for it.
    SetUp();
    open("symbol x 1\nstrtab-size 0xFFFFFFF0\nstrtab-extra 61 00\n");
    EXPECT_FALSE(read_coff_headers());
    EXPECT_EQ(recorded_load_error(), ReadError);
    EXPECT_TRUE(coff_input().pool.empty());
    TearDown();

    // No size word at all (the file ends with the symbol table): no string
    // table, and no failure.
    SetUp();
    open("symbol x 1\n");
    ASSERT_TRUE(read_coff_headers());
    EXPECT_TRUE(coff_input().pool.empty());
    TearDown();

    // A string table position beyond the file (huge symbol count): no
    // string table either.
    SetUp();
    open("symbol x 1\nnsyms 0xFFFFFFFF\nstrtab-extra 61 00\n");
    ASSERT_TRUE(read_coff_headers());
    EXPECT_TRUE(coff_input().pool.empty());
    TearDown();

    // Without symbol entries the string table is not read.
    SetUp();
    open("strtab-extra 61 00\n");
    ASSERT_TRUE(read_coff_headers());
    EXPECT_TRUE(coff_input().pool.empty());
    TearDown();

    // A text without any NUL keeps an empty block: offsets are refused.
    SetUp();
    open("symbol x 1\nstrtab-extra 61 62\n");
    ASSERT_TRUE(read_coff_headers());
    ASSERT_EQ(coff_input().pool.blocks.size(), 1u);
    EXPECT_EQ(coff_input().pool.blocks[0].capacity, 0);
    EXPECT_EQ(string_at_offset(4), nullptr);
    EXPECT_FALSE(string_table_holds(4));
}

TEST_F(CoffHeaders, LongSectionNames) {
    // Offset 4 is the first name of the table; swapped headers swap it.
    for (const char* order : {"lsb", "msb"}) {
        SetUp();
        open(std::string("headers ") + order +
             "\nsection .first_long_name nodata size=1\nsection other stroff=4 nodata size=1\n"
             "symbol x 1\n");
        ASSERT_TRUE(read_coff_headers()) << order;
        EXPECT_STREQ(section_name_text(coff_input().sections[0]), ".first_long_name");
        EXPECT_STREQ(section_name_text(coff_input().sections[1]), ".first_long_name");
        EXPECT_EQ(coff_input().sections[1].name[0], '\0');
        TearDown();
    }
    // An eight-character inline name has no terminator in the file.
    SetUp();
    open("section abcdefgh nodata size=1\n");
    ASSERT_TRUE(read_coff_headers());
    EXPECT_STREQ(section_name_text(coff_input().sections[0]), "abcdefgh");
    EXPECT_TRUE(coff_input().sections[0].has_inline_name("abcdefgh"));
}

TEST_F(CoffHeaders, CorruptedSectionHeaderEndsTheRun) {
    // A long name and no symbol entries: there is no string table.
    open("section .long_section_name nodata size=1\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(abort_status([] { read_coff_headers(); }), 255);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error reading COFF file - corrupted section header");

    // Version 0: a name whose first byte is NUL is all zeros, offset 0.
    SetUp();
    open("magic 0x0099\nsection \"\" nodata size=1\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(abort_status([] { read_coff_headers(); }), 255);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error reading COFF file - corrupted section header");
}

TEST_F(CoffHeaders, IllegalStringTableOffsetEndsTheRun) {
    const char* const illegal = "Error reading COFF file - illegal string table offset in section header\n";
    // Offset 2 is below the table's base; offsets at or past the end of the
    // table (34 is one past the last NUL, 35 and up beyond it) are refused
    // with the same text rather than read out of bounds.
    for (uint32_t offset : {0u, 2u, 3u, 34u, 35u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(offset);
        SetUp();
        open("section .text_long_name nodata size=1\n"
             "section bad stroff=" + std::to_string(offset) + " nodata size=1\n"
             "symbol a_long_symbol 5\n"
             "strtab-extra 41 42 43\n");
        testing::internal::CaptureStderr();
        EXPECT_EQ(abort_status([] { read_coff_headers(); }), 255);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), illegal);
        TearDown();
    }

    // Version 1 with a string table: an empty name is offset 0.
    SetUp();
    open("magic 0x00C1\nsection \"\" nodata size=1\nsymbol long_symbol_name 1\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(abort_status([] { read_coff_headers(); }), 255);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), illegal);
}

TEST_F(CoffHeaders, TraceLines) {
    options().trace_level = 1;
    // Data flag and header order are independent: lsb headers, big-E data.
    open("data msb\nsection .text\n bytes 01\nsection .data\n bytes 02\n"
         "symbol some_long_name 1\nsymbol x 2\n");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(read_coff_headers());
    // Text length: "some_long_name\0" = 15.
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "   2 symbols.  String table size=15\n"
              "<translate>\n"
              "   2 sections, unswapped format, big-E data\n"
              "   No relocation\n");
    EXPECT_FALSE(coff_input().swapped);
    EXPECT_TRUE(coff_input().big_endian_data);

    SetUp();
    options().trace_level = 1;
    open("magic 0x00C1\nheaders msb\nsection .text\n bytes 01\n");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(read_coff_headers());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "<translate>\n   1 sections, swapped format, little-E data\n   No relocation\n");

    // Without --v nothing is written.
    SetUp();
    open("section .text\n bytes 01\nsymbol some_long_name 1\n");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(read_coff_headers());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(CoffHeaders, TranslateStepRunsOnceAfterTheSectionHeaders) {
    open("section .text\n bytes 01\n");
    ASSERT_TRUE(read_coff_headers());
    EXPECT_EQ(cofftest::translation_calls(), 1);

    // Not reached when the headers fail.
    for (const char* description : {"magic 0x00C2\ntarget 0x0098\nsection .text\n bytes 01\n",
                                    "symbol x 1\nstrtab-size 2\nsection .text\n bytes 01\n",
                                    "nsections 3\nsection .text\n bytes 01\n"}) {
        SetUp();
        open(description);
        EXPECT_FALSE(read_coff_headers()) << description;
        EXPECT_EQ(cofftest::translation_calls(), 0) << description;
        TearDown();
    }
}

TEST_F(CoffHeaders, WithTheDriversTranslateStep) {
    // The summary line comes after the "Translating" line of the translate
    // step; the section array is in conversion order afterwards.
    reset_options();
    ASSERT_EQ(coff_input().stream, nullptr);
    set_coff_file_name("prog.out");
    options().trace_level = 1;
    open("section .late paddr=0x200\n bytes 01\nsection .early paddr=0x100\n bytes 02\n");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(read_coff_headers());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Translating prog.out to Extended Tektronix format...\n"
              "   2 sections, unswapped format, little-E data\n"
              "   No relocation\n");
    EXPECT_EQ(cofftest::translation_calls(), 0);
    ASSERT_EQ(coff_input().sections.size(), 2u);
    EXPECT_STREQ(section_name_text(coff_input().sections[0]), ".early");
    EXPECT_EQ(options().order, ORDER_LS);
}

TEST_F(CoffHeaders, LoadRunsHeadersSymbolsAndData) {
    open("entry 0x40\n"
         "section .text paddr=0x40 page=2\n bytes 0A 0B\n"
         "symbol main 0x40\n");
    record_load_error(TargetWriteError);  // left over from before: cleared
    ASSERT_TRUE(load_coff_file());
    EXPECT_EQ(recorded_load_error(), LOAD_OK);
    ASSERT_EQ(cofftest::pieces().size(), 1u);
    EXPECT_EQ(cofftest::pieces()[0].address, 0x40u);
    EXPECT_EQ(cofftest::pieces()[0].page, 2);
    EXPECT_EQ(cofftest::pieces()[0].bytes, (Bytes{0x0A, 0x0B}));
    uint32_t value = 0;
    EXPECT_TRUE(symbol_table_find("main", value));
    EXPECT_EQ(value, 0x40u);
    EXPECT_EQ(options().entry_point, 0x40u);

    // A failing step stops the run: symbols cut short, no data read.
    SetUp();
    Bytes file = coffgen::build(coffgen::parse("section .text\n bytes 01\nsymbol main 1\nsymbol b 2\n"));
    file.resize(file.size() - 1);
    open_bytes(file);
    EXPECT_FALSE(load_coff_file());
    EXPECT_EQ(recorded_load_error(), SymbolReadError);
    EXPECT_TRUE(cofftest::pieces().empty());
}

TEST_F(CoffHeaders, ResetKeepsTheStreamOnly) {
    open("entry 0x77\nsection .text\n bytes 01\n");
    ASSERT_TRUE(read_coff_headers());
    FILE* stream = coff_input().stream;
    reset_coff_input();
    EXPECT_EQ(coff_input().stream, stream);
    EXPECT_EQ(coff_input().entry_address, 0u);
    EXPECT_TRUE(coff_input().sections.empty());
    EXPECT_TRUE(coff_input().pool.empty());
}

}  // namespace
