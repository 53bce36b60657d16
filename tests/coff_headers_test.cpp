// COFF file header, optional header, string table and section headers.
#include <cstring>

#include "coff_test_fixture.h"

namespace {

using namespace coffhex;
using cofftest::abort_status;
using cofftest::CoffTest;
using cofftest::Input;
using cofftest::kReadError;
using cofftest::kSymbolReadError;
using cofftest::kWrongMagic;
using Bytes = std::vector<uint8_t>;

class CoffHeaders : public CoffTest {};

// A 40-byte section header with inline name ".text" and distinct fields.
const char* const kVersion0Body =
    "section .text paddr=0x11 vaddr=0x22 size=3 flags=0x20 page=7\n"
    "  bytes 01 02 03\n";

void expect_text_section(const SectionEntry& e) {
    EXPECT_EQ(e.name, ".text");
    EXPECT_FALSE(e.long_name);
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
        auto in = open(std::string(c.head) + kVersion0Body);
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        const CoffFile& f = in->file;
        EXPECT_EQ(f.version(), c.version);
        EXPECT_EQ(f.swapped(), c.swapped);
        EXPECT_FALSE(f.big_endian_data());
        EXPECT_EQ(f.entry_address(), 0u);
        ASSERT_EQ(f.sections().size(), 1u);
        expect_text_section(f.sections()[0]);
        // The data position the reader found holds the section's bytes.
        Bytes file = testsupport::read_bytes(path());
        const uint32_t at = f.sections()[0].data_pos;
        ASSERT_LE(at + 3u, file.size());
        EXPECT_EQ(Bytes(file.begin() + at, file.begin() + at + 3), (Bytes{1, 2, 3}));
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
    auto in = open_bytes(file);
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
    const CoffFile& f = in->file;
    EXPECT_TRUE(f.swapped());
    EXPECT_TRUE(f.big_endian_data());  // flags 0x0200
    EXPECT_EQ(f.version(), 0);
    ASSERT_EQ(f.sections().size(), 1u);
    EXPECT_EQ(f.sections()[0].name, ".data");
    EXPECT_FALSE(f.sections()[0].long_name);
    EXPECT_EQ(f.sections()[0].vaddr, 0x1000u);
    EXPECT_EQ(f.sections()[0].size, 4u);
    EXPECT_EQ(f.sections()[0].flags, 0x40u);
    EXPECT_EQ(f.sections()[0].page, 2);
}

TEST_F(CoffHeaders, MagicAndTargetChecks) {
    struct Case {
        Bytes start;
        bool accepted;
    } cases[] = {
        {{0xC2, 0x00}, true},
        {{0x98, 0x00}, false},
        {{0x00, 0x98}, false},
        {{0xC3, 0x00}, false},
        {{0x99, 0x99}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.start[0]) << " " << int(c.start[1]));
        Bytes file = coffgen::build(coffgen::parse("magic 0x00C2\n"));
        file[0] = c.start[0];
        file[1] = c.start[1];
        auto in = open_bytes(file);
        EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), c.accepted ? -1 : 1);
        EXPECT_EQ(in->err(), c.accepted ? "" : kWrongMagic);
    }

    {
        auto in = open("magic 0x00C2\ntarget 0x0098\n");
        EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 1);
        EXPECT_EQ(in->err(), kWrongMagic);
    }
    {
        auto in = open("magic 0x00C1\nheaders msb\ntarget 0x9900\n");
        EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 1);
        EXPECT_EQ(in->err(), kWrongMagic);
    }

    // Version 0 never looks at offset 20, which here holds the first two
    // bytes of the section name ("XY").
    auto in = open("magic 0x00C0\nsection XYZ\n bytes 01\n");
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
    EXPECT_EQ(in->file.header().target_id, 0x5958);
    ASSERT_EQ(in->file.sections().size(), 1u);
    EXPECT_EQ(in->file.sections()[0].name, "XYZ");
}

TEST_F(CoffHeaders, ShortFileHeaderIsAReadError) {
    Bytes file = coffgen::build(coffgen::parse("magic 0x00C2\n"));
    file.resize(21);
    auto in = open_bytes(file);
    EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 1);
    EXPECT_EQ(in->err(), kReadError);

    auto empty = open_bytes({});
    EXPECT_EQ(abort_status([&] { empty->file.read_headers(false); }), 1);
    EXPECT_EQ(empty->err(), kReadError);

    Input none(nullptr);
    EXPECT_EQ(abort_status([&] { none.file.read_headers(false); }), 1);
    EXPECT_EQ(none.err(), kReadError);
}

TEST_F(CoffHeaders, OptionalHeaderSizes) {
    // Size 28: the entry point is read (both byte orders, every version).
    for (const char* head : {"magic 0x0099\n", "magic 0x00C1\nheaders msb\n", "magic 0x00C2\n"}) {
        SCOPED_TRACE(head);
        auto in = open(std::string(head) + "entry 0x12345678\n" + kVersion0Body);
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        ASSERT_NE(in->file.optional_header(), nullptr);
        EXPECT_EQ(in->file.optional_header()->entry, 0x12345678u);
        EXPECT_EQ(in->file.entry_address(), 0x12345678u);
        ASSERT_EQ(in->file.sections().size(), 1u);
        expect_text_section(in->file.sections()[0]);
    }

    // Size 30: no optional header is read, the sections start at 22 + 30.
    {
        auto in = open(std::string("magic 0x00C2\nentry 0x5555\nopthdr-size 30\n") + kVersion0Body);
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        EXPECT_EQ(in->file.optional_header(), nullptr);
        EXPECT_EQ(in->file.entry_address(), 0u);
        ASSERT_EQ(in->file.sections().size(), 1u);
        expect_text_section(in->file.sections()[0]);
    }

    // Size 0 in version 0: the sections start at 20.
    {
        auto in = open(std::string("magic 0x00C0\n") + kVersion0Body);
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        ASSERT_EQ(in->file.sections().size(), 1u);
        expect_text_section(in->file.sections()[0]);
    }

    // Size 28 in a file that ends inside the optional header.
    auto in = open("magic 0x00C2\nentry 0x10\ntruncate 40\n");
    EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 1);
    EXPECT_EQ(in->err(), kReadError);
}

TEST_F(CoffHeaders, SectionHeaderCountsAreCheckedAgainstTheFile) {
    // One header missing: a read error.
    Bytes two = coffgen::build(coffgen::parse("section a nodata size=1\nsection b nodata size=1\n"));
    two.resize(22 + 48 + 47);
    auto in = open_bytes(two);
    EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 1);
    EXPECT_EQ(in->err(), kReadError);
    EXPECT_TRUE(in->file.sections().empty());

    // 65535 sections claimed by a 100-byte file fail at once, with nothing
    // allocated for them.
    for (const char* magic : {"0x0099", "0x00C1", "0x00C2"}) {
        SCOPED_TRACE(magic);
        auto claimed =
            open(std::string("magic ") + magic + "\nnsections 65535\ntail " + std::string(78, '0') + "\n");
        ASSERT_EQ(testsupport::read_bytes(path()).size(), (std::string(magic) == "0x0099" ? 20u : 22u) + 39u);
        EXPECT_EQ(abort_status([&] { claimed->file.read_headers(false); }), 1);
        EXPECT_EQ(claimed->err(), kReadError);
        EXPECT_TRUE(claimed->file.sections().empty());
        EXPECT_EQ(claimed->file.sections().capacity(), 0u);
    }
}

TEST_F(CoffHeaders, StringTableKeptUpToItsLastNul) {
    // Two long names; 3 bytes after the last NUL are dropped.
    auto in = open("section .text_long_name\n bytes 01\n"
                   "symbol a_long_symbol 5\n"
                   "strtab-extra 41 42 43\n");
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
    const CoffFile& f = in->file;
    ASSERT_EQ(f.sections().size(), 1u);
    EXPECT_EQ(f.sections()[0].name, ".text_long_name");
    EXPECT_TRUE(f.sections()[0].long_name);
    // ".text_long_name\0" (16) + "a_long_symbol\0" (14) = 30 kept of 33, at
    // offsets 4 to 33.
    EXPECT_STREQ(f.string_at(4), ".text_long_name");
    EXPECT_STREQ(f.string_at(20), "a_long_symbol");
    EXPECT_STREQ(f.string_at(27), "symbol");
    EXPECT_STREQ(f.string_at(33), "");         // the last NUL
    EXPECT_EQ(f.string_at(3), nullptr);
    EXPECT_EQ(f.string_at(0), nullptr);
    EXPECT_EQ(f.string_at(34), nullptr);       // the dropped tail
    EXPECT_EQ(f.string_at(0xFFFFFFFFu), nullptr);
}

TEST_F(CoffHeaders, StringTableSizeWord) {
    // Size 4: empty text, no failure.
    {
        auto in = open("symbol x 1\nstrtab-size 4\n");
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        EXPECT_EQ(in->file.string_at(4), nullptr);
    }

    // Size below 4: a read error.
    {
        auto in = open("symbol x 1\nstrtab-size 3\n");
        EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 1);
        EXPECT_EQ(in->err(), kReadError);
    }

    // A size that runs past the end of the file: a read error, refused
    // before anything is allocated for it.
    {
        auto in = open("symbol x 1\nstrtab-size 0xFFFFFFF0\nstrtab-extra 61 00\n");
        EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 1);
        EXPECT_EQ(in->err(), kReadError);
        EXPECT_EQ(in->file.string_at(4), nullptr);
    }

    // No size word at all (the file ends with the symbol table): no string
    // table, and no failure.
    {
        auto in = open("symbol x 1\n");
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        EXPECT_EQ(in->file.string_at(4), nullptr);
    }

    // A string table position beyond the file (huge symbol count): no
    // string table either.
    {
        auto in = open("symbol x 1\nnsyms 0xFFFFFFFF\nstrtab-extra 61 00\n");
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        EXPECT_EQ(in->file.string_at(4), nullptr);
    }

    // Without symbol entries the string table is not read.
    {
        auto in = open("strtab-extra 61 00\n");
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        EXPECT_EQ(in->file.string_at(4), nullptr);
    }

    // A text without any NUL keeps nothing: offsets are refused.
    auto in = open("symbol x 1\nstrtab-extra 61 62\n");
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
    EXPECT_EQ(in->file.string_at(4), nullptr);
    EXPECT_EQ(in->file.string_at(5), nullptr);
}

TEST_F(CoffHeaders, LongSectionNames) {
    // Offset 4 is the first name of the table; swapped headers swap it.
    for (const char* order : {"lsb", "msb"}) {
        SCOPED_TRACE(order);
        auto in = open(std::string("headers ") + order +
                       "\nsection .first_long_name nodata size=1\nsection other stroff=4 nodata size=1\n"
                       "symbol x 1\n");
        ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
        ASSERT_EQ(in->file.sections().size(), 2u);
        EXPECT_EQ(in->file.sections()[0].name, ".first_long_name");
        EXPECT_EQ(in->file.sections()[1].name, ".first_long_name");
        EXPECT_TRUE(in->file.sections()[1].long_name);
    }
    // An eight-character inline name has no terminator in the file.
    auto in = open("section abcdefgh nodata size=1\n");
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
    ASSERT_EQ(in->file.sections().size(), 1u);
    EXPECT_EQ(in->file.sections()[0].name, "abcdefgh");
    EXPECT_FALSE(in->file.sections()[0].long_name);
}

TEST_F(CoffHeaders, CorruptedSectionHeaderEndsTheRun) {
    // A long name and no symbol entries: there is no string table.
    auto in = open("section .long_section_name nodata size=1\n");
    EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 255);
    EXPECT_EQ(in->err(), "Error reading COFF file - corrupted section header");

    // Version 0: a name whose first byte is NUL is all zeros, offset 0.
    auto v0 = open("magic 0x0099\nsection \"\" nodata size=1\n");
    EXPECT_EQ(abort_status([&] { v0->file.read_headers(false); }), 255);
    EXPECT_EQ(v0->err(), "Error reading COFF file - corrupted section header");
}

TEST_F(CoffHeaders, IllegalStringTableOffsetEndsTheRun) {
    const char* const illegal = "Error reading COFF file - illegal string table offset in section header\n";
    // Offset 2 is below the table's start; offsets at or past the end of
    // the table (34 is one past the last NUL, 35 and up beyond it) are
    // refused with the same text rather than read out of bounds.
    for (uint32_t offset : {0u, 2u, 3u, 34u, 35u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(offset);
        auto in = open("section .text_long_name nodata size=1\n"
                       "section bad stroff=" + std::to_string(offset) + " nodata size=1\n"
                       "symbol a_long_symbol 5\n"
                       "strtab-extra 41 42 43\n");
        EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 255);
        EXPECT_EQ(in->err(), illegal);
    }

    // Version 1 with a string table: an empty name is offset 0.
    auto in = open("magic 0x00C1\nsection \"\" nodata size=1\nsymbol long_symbol_name 1\n");
    EXPECT_EQ(abort_status([&] { in->file.read_headers(false); }), 255);
    EXPECT_EQ(in->err(), illegal);
}

TEST_F(CoffHeaders, TraceLines) {
    // Data flag and header order are independent: lsb headers, big-E data.
    {
        auto in = open("data msb\nsection .text\n bytes 01\nsection .data\n bytes 02\n"
                       "symbol some_long_name 1\nsymbol x 2\n");
        ASSERT_NO_THROW(in->file.read_headers(true)) << in->err();
        // Text length: "some_long_name\0" = 15.
        EXPECT_EQ(in->out(), "   2 symbols.  String table size=15\n");
        in->file.trace_headers();
        EXPECT_EQ(in->out(),
                  "   2 symbols.  String table size=15\n"
                  "   2 sections, unswapped format, big-E data\n"
                  "   No relocation\n");
        EXPECT_FALSE(in->file.swapped());
        EXPECT_TRUE(in->file.big_endian_data());
    }
    {
        auto in = open("magic 0x00C1\nheaders msb\nsection .text\n bytes 01\n");
        ASSERT_NO_THROW(in->file.read_headers(true)) << in->err();
        in->file.trace_headers();
        EXPECT_EQ(in->out(), "   1 sections, swapped format, little-E data\n   No relocation\n");
    }

    // Without tracing nothing is written.
    auto in = open("section .text\n bytes 01\nsymbol some_long_name 1\n");
    ASSERT_NO_THROW(in->file.read_headers(false)) << in->err();
    EXPECT_EQ(in->out(), "");
}

TEST_F(CoffHeaders, WithTheDriversTranslateStep) {
    // The header summary comes after the "Translating" line of the translate
    // step, and the sections are converted by address, not in file order.
    testsupport::write_coff(dir_.file("prog.out"),
                            "section .late paddr=0x200\n bytes 01 02 03 04\n"
                            "section .early paddr=0x100\n bytes 05 06 07 08\n");
    const testsupport::RunResult r = testsupport::run_coffhex({"--v", "prog.out"}, dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string head =
        "Translating prog.out to Extended Tektronix format...\n"
        "   2 sections, unswapped format, little-E data\n"
        "   No relocation\n";
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    const size_t early = r.out.find("==> .early");
    const size_t late = r.out.find("==> .late");
    ASSERT_NE(early, std::string::npos) << r.out;
    ASSERT_NE(late, std::string::npos) << r.out;
    EXPECT_LT(early, late);
}

TEST_F(CoffHeaders, LoadRunsHeadersSymbolsAndData) {
    // One file object reads its headers, its symbols and its data.
    {
        auto in = open("entry 0x40\n"
                       "section .text paddr=0x40 page=2\n bytes 0A 0B\n"
                       "symbol main 0x40\n");
        cofftest::RecordingSink sink;
        SymbolTable table;
        ASSERT_NO_THROW({
            in->file.read_headers(false);
            in->file.read_symbols(table, 0);
            in->file.read_section_data(cofftest::file_order(in->file), sink, false);
        }) << in->err();
        EXPECT_EQ(in->err(), "");
        ASSERT_EQ(sink.pieces.size(), 1u);
        EXPECT_EQ(sink.pieces[0].address, 0x40u);
        EXPECT_EQ(sink.pieces[0].page, 2);
        EXPECT_EQ(sink.pieces[0].bytes, (Bytes{0x0A, 0x0B}));
        uint32_t value = 0;
        EXPECT_TRUE(table.find("main", value));
        EXPECT_EQ(value, 0x40u);
        EXPECT_EQ(in->file.entry_address(), 0x40u);
    }

    // A failing step stops the run: symbols cut short, no data read (the
    // data would show in the trace after the header summary).
    Bytes file = coffgen::build(coffgen::parse("section .text\n bytes 01\nsymbol main 1\nsymbol b 2\n"));
    file.resize(file.size() - 1);
    testsupport::write_bytes(dir_.file("cut.out"), file);
    const testsupport::RunResult r = testsupport::run_coffhex({"--v", "cut.out"}, dir_.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kSymbolReadError);
    EXPECT_EQ(r.out,
              "Translating cut.out to Extended Tektronix format...\n"
              "   1 sections, unswapped format, little-E data\n"
              "   No relocation\n");
}

}  // namespace
