// Symbol table: hashing, which entries are kept, pooled names, lookups,
// the boot entry point and the --s trace lines.
#include <cstring>

#include "coff_test_fixture.h"

namespace {

using namespace coffhex;
using cofftest::CoffTest;
using Bytes = std::vector<uint8_t>;

class Symbols : public CoffTest {
protected:
    bool build(const std::string& description) {
        open(description);
        if (!read_coff_headers()) return false;
        return build_symbol_table();
    }
    static bool find(const char* name, uint32_t expected) {
        uint32_t value = 0xDEADBEEF;
        return symbol_table_find(name, value) && value == expected;
    }
    static bool absent(const char* name) {
        uint32_t value = 0;
        return !symbol_table_find(name, value);
    }
};

TEST(SymbolHash, Examples) {
    // a (97); b: (97 * 2) ^ 98 = 194 ^ 98 = 160.
    EXPECT_EQ(symbol_hash("ab"), 160u);
    EXPECT_EQ(symbol_hash("ab") % SYMBOL_BUCKETS, 160u);
    EXPECT_EQ(symbol_hash("main"), 592u);
    // 0x61, then (0x61 * 2) ^ 0xFFFFFFE9 = 0xC2 ^ 0xFFFFFFE9 = 0xFFFFFF2B;
    // 4294967083 mod 2030 = 673.
    EXPECT_EQ(symbol_hash("\x61\xE9"), 0xFFFFFF2Bu);
    EXPECT_EQ(symbol_hash("\x61\xE9") % SYMBOL_BUCKETS, 673u);
    EXPECT_EQ(symbol_hash(""), 0u);
}

TEST_F(Symbols, KeepsExternalSymbolsAndSkipsAuxEntries) {
    // Class 2 with three auxiliary entries: the next entry is four places
    // on. Were the (all-zero) auxiliary entries read as symbols, their
    // string-table offset 0 would fail the step.
    ASSERT_TRUE(build("symbol start 0x100 aux=3\n"
                      "symbol ext_ref 0x200 class=5\n"
                      "symbol local 0x300 class=3 aux=1\n"
                      "symbol stat 0x400 class=6\n"
                      "symbol last 0x500\n"));
    EXPECT_EQ(coff_input().header.symbol_count, 9u);
    EXPECT_TRUE(find("start", 0x100));
    EXPECT_TRUE(find("ext_ref", 0x200));
    EXPECT_TRUE(absent("local"));
    EXPECT_TRUE(absent("stat"));
    EXPECT_TRUE(find("last", 0x500));
}

TEST_F(Symbols, ReadSymbolEntryFields) {
    for (const char* order : {"lsb", "msb"}) {
        SetUp();
        open(std::string("headers ") + order +
             "\nsymbol abcdefgh 0x12345678 type=0x1234 section=-2 class=5 aux=2\n"
             "symbol a_long_symbol_name 7\n");
        ASSERT_TRUE(read_coff_headers());
        SymbolFileEntry e;
        ASSERT_EQ(read_symbol_entry(0, e), 3);
        EXPECT_STREQ(e.name, "abcdefgh");  // eight characters, terminated
        EXPECT_FALSE(e.in_string_table);
        EXPECT_EQ(e.value, 0x12345678u);
        EXPECT_EQ(e.type, 0x1234);
        EXPECT_EQ(e.section, -2);
        EXPECT_EQ(e.storage_class, 5);
        EXPECT_EQ(e.aux_count, 2);
        ASSERT_EQ(read_symbol_entry(3, e), 4);
        EXPECT_TRUE(e.in_string_table);
        EXPECT_EQ(e.name_offset, 4u);
        EXPECT_EQ(symbol_name_text(e), "a_long_symbol_name");
        TearDown();
    }
}

TEST_F(Symbols, DuplicatesAndLaterValues) {
    options().symbol_trace = 1;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(build("symbol twice 0x10\n"
                      "symbol twice 0x10\n"
                      "symbol moved 0x20\n"
                      "symbol moved 0x30\n"));
    std::string out = testing::internal::GetCapturedStdout();
    // One line for "twice", two for "moved"; the lookup gives the later.
    EXPECT_EQ(out,
              "Adding symbol twice          , type C_EXT, address 0x000010, index " +
                  std::to_string(symbol_hash("twice") % SYMBOL_BUCKETS) + "\n" +
                  "Adding symbol moved          , type C_EXT, address 0x000020, index " +
                  std::to_string(symbol_hash("moved") % SYMBOL_BUCKETS) + "\n" +
                  "Adding symbol moved          , type C_EXT, address 0x000030, index " +
                  std::to_string(symbol_hash("moved") % SYMBOL_BUCKETS) + "\n");
    EXPECT_TRUE(find("twice", 0x10));
    EXPECT_TRUE(find("moved", 0x30));
}

TEST_F(Symbols, NamesAreExactAndCaseSensitive) {
    ASSERT_TRUE(build("symbol start 1\n"
                      "symbol eightchr 2\n"
                      "symbol a_very_long_external_name 3\n"));
    EXPECT_TRUE(absent("Start"));
    EXPECT_TRUE(absent("star"));
    EXPECT_TRUE(absent("startx"));
    EXPECT_TRUE(find("start", 1));
    EXPECT_TRUE(find("eightchr", 2));
    EXPECT_TRUE(absent("eightchr2"));
    EXPECT_TRUE(find("a_very_long_external_name", 3));
}

TEST_F(Symbols, TraceLinesAsFormattedPrintGivesThem) {
    options().symbol_trace = 1;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(build("symbol main 0x100\n"
                      "symbol _consts 0x1000 class=3\n"
                      "symbol zero 0 class=5\n"
                      "symbol name_longer_than_fifteen 0xFFFFFFFF\n"
                      "symbol name_longer_than_fifteen 5 class=103\n"));
    // "%-15.15s" pads to and cuts at 15 columns; "%#08lx" of 0 is
    // "00000000" (no prefix for zero), of 0x100 "0x000100".
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Adding symbol main           , type C_EXT, address 0x000100, index 592\n"
              "Skip   symbol _consts        , type 3\n"
              "Adding symbol zero           , type C_EXTREF, address 00000000, index " +
                  std::to_string(symbol_hash("zero") % SYMBOL_BUCKETS) + "\n" +
                  "Adding symbol name_longer_tha, type C_EXT, address 0xffffffff, index " +
                  std::to_string(symbol_hash("name_longer_than_fifteen") % SYMBOL_BUCKETS) + "\n" +
                  "Skip   symbol name_longer_tha, type 103\n");
}

TEST_F(Symbols, ShortNamesArePooledAfterTheStringTable) {
    // String table: "long_name_one\0" = 14 bytes, base 4. The first name
    // block starts at 4 + 14 = 18.
    ASSERT_TRUE(build("symbol long_name_one 1\nsymbol short 2\nsymbol x 3 class=3\nsymbol abcdefgh 4\n"));
    const StringPool& pool = coff_input().pool;
    ASSERT_EQ(pool.blocks.size(), 2u);
    EXPECT_EQ(pool.blocks[1].base, 18);
    EXPECT_EQ(pool.blocks[1].capacity, 1024);
    // "short\0" and "abcdefgh\0"; the skipped symbol is not pooled.
    EXPECT_EQ(pool.blocks[1].used, 6 + 9);
    EXPECT_STREQ(string_at_offset(18), "short");
    EXPECT_STREQ(string_at_offset(24), "abcdefgh");
    EXPECT_STREQ(string_at_offset(4), "long_name_one");
    EXPECT_EQ(string_at_offset(18 + 15), nullptr);  // not yet used

    // pool_symbol_name rewrites the entry as a string-table name.
    SymbolFileEntry e;
    std::strcpy(e.name, "fresh");
    const char* text = pool_symbol_name(e);
    EXPECT_STREQ(text, "fresh");
    EXPECT_TRUE(e.in_string_table);
    EXPECT_EQ(e.name_offset, 18u + 15u);
    EXPECT_EQ(string_at_offset(e.name_offset), text);
}

TEST_F(Symbols, NameBlocksFillUp) {
    // Without a string table the first block has base 4. 112 names of
    // eight characters and one of seven use 112 * 9 + 8 = 1016 bytes; a new
    // block is taken when fewer than 9 bytes are free, so even "x" (2 bytes)
    // goes to a block at 4 + 1024.
    std::string description;
    for (int i = 0; i < 112; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "s%07d", i);
        description += std::string("symbol ") + name + " " + std::to_string(i) + "\n";
    }
    description += "symbol seven_c 200\nsymbol x 201\n";
    ASSERT_TRUE(build(description));
    const StringPool& pool = coff_input().pool;
    ASSERT_EQ(pool.blocks.size(), 2u);
    EXPECT_EQ(pool.blocks[0].base, 4);
    EXPECT_EQ(pool.blocks[0].used, 1016);
    EXPECT_EQ(pool.blocks[1].base, 1028);
    EXPECT_EQ(pool.blocks[1].used, 2);
    EXPECT_STREQ(string_at_offset(1028), "x");
    EXPECT_STREQ(string_at_offset(4 + 9 * 111), "s0000111");
    EXPECT_STREQ(string_at_offset(4 + 9 * 112), "seven_c");
    EXPECT_TRUE(find("s0000000", 0));
    EXPECT_TRUE(find("x", 201));
}

TEST_F(Symbols, EntryPointResolution) {
    // -e with a known name.
    options().entry_symbol = "main";
    ASSERT_TRUE(build("entry 0x40\nsymbol main 0x100\n"));
    EXPECT_EQ(options().entry_point, 0x100u);
    TearDown();

    // -e with an unknown name: the error, then the optional header's entry.
    SetUp();
    options().entry_symbol = "Main";
    testing::internal::CaptureStderr();
    ASSERT_TRUE(build("entry 0x40\nsymbol main 0x100\n"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ">>   ERROR: Requested boot table entry point symbol 'Main' not found\n\n");
    EXPECT_EQ(options().entry_point, 0x40u);
    EXPECT_EQ(worst_severity(), ERROR);
    TearDown();

    // -e with an address: no lookup, the address stays.
    SetUp();
    options().entry_point = 0x2000;
    ASSERT_TRUE(build("entry 0x40\nsymbol main 0x100\n"));
    EXPECT_EQ(options().entry_point, 0x2000u);
    TearDown();

    // No -e and no optional header: 0.
    SetUp();
    ASSERT_TRUE(build("symbol main 0x100\n"));
    EXPECT_EQ(options().entry_point, 0u);
}

TEST_F(Symbols, FileWithoutSymbolsStillResolvesTheEntryPoint) {
    // No symbol entries: a -e name still draws its error, and without -e
    // the entry point is the optional header's rather than all ones.
    options().entry_symbol = "main";
    testing::internal::CaptureStderr();
    options().symbol_trace = 1;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(build("entry 0x80\nsection .text\n bytes 01\n"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ">>   ERROR: Requested boot table entry point symbol 'main' not found\n\n");
    EXPECT_EQ(options().entry_point, 0x80u);
    TearDown();

    SetUp();
    ASSERT_TRUE(build("entry 0x80\nsection .text\n bytes 01\n"));
    EXPECT_EQ(options().entry_point, 0x80u);
}

TEST_F(Symbols, DamagedSymbolTables) {
    // Cut short inside the second entry.
    Bytes file = coffgen::build(coffgen::parse("symbol a 1\nsymbol b 2\n"));
    file.resize(file.size() - 5);
    open_bytes(file);
    ASSERT_TRUE(read_coff_headers());
    EXPECT_FALSE(build_symbol_table());
    EXPECT_EQ(recorded_load_error(), SymbolReadError);
    TearDown();

    // Cut inside the first auxiliary entry.
    SetUp();
    file = coffgen::build(coffgen::parse("symbol a 1 aux=1\n"));
    file.resize(file.size() - 1);
    open_bytes(file);
    ASSERT_TRUE(read_coff_headers());
    EXPECT_FALSE(build_symbol_table());
    EXPECT_EQ(recorded_load_error(), SymbolReadError);
    TearDown();

    // Millions of entries claimed by a short file: no string table, and
    // the first missing entry ends the step.
    SetUp();
    ASSERT_FALSE(build("symbol a 1\nnsyms 5000000\n"));
    EXPECT_EQ(recorded_load_error(), SymbolReadError);
    EXPECT_TRUE(find("a", 1));
    TearDown();

    // A symbol table position past the end of the file.
    SetUp();
    ASSERT_FALSE(build("symbol a 1\nsymptr 0xFFFFFFF0\n"));
    EXPECT_EQ(recorded_load_error(), SymbolReadError);
    TearDown();

    // String-table names outside the table: at its end, past it, below 4,
    // and with no string table at all; none is read out of bounds.
    for (const char* symbol : {"symbol x 1 stroff=19\n", "symbol x 1 stroff=0x7FFFFFFF\n",
                               "symbol x 1 stroff=2\n", "symbol x 1 stroff=19 class=3\n"}) {
        SCOPED_TRACE(symbol);
        SetUp();
        // "long_symbol_01\0": 15 bytes at 4, so offsets 4 to 18 are inside.
        ASSERT_FALSE(build(std::string("symbol long_symbol_01 5\n") + symbol));
        EXPECT_EQ(recorded_load_error(), SymbolReadError);
        TearDown();
    }
    SetUp();
    ASSERT_FALSE(build("symbol x 1 stroff=4\n"));
    EXPECT_EQ(recorded_load_error(), SymbolReadError);
    TearDown();

    // Inside the table, not at the start of a name: the rest of that name.
    SetUp();
    ASSERT_TRUE(build("symbol long_symbol_01 5\nsymbol x 6 stroff=9\n"));
    EXPECT_TRUE(find("symbol_01", 6));
}

TEST_F(Symbols, ClearEmptiesEveryBucket) {
    ASSERT_TRUE(build("symbol main 1\nsymbol ab 2\n"));
    EXPECT_TRUE(find("main", 1));
    symbol_table_clear();
    EXPECT_TRUE(absent("main"));
    EXPECT_TRUE(absent("ab"));
}

}  // namespace
