// Symbol table: hashing, which entries are kept, lookups, the boot entry
// point and the --s trace lines.
#include <cstring>

#include "coff_test_fixture.h"

namespace {

using namespace coffhex;
using cofftest::abort_status;
using cofftest::CoffTest;
using cofftest::Input;
using cofftest::kSymbolReadError;
using Bytes = std::vector<uint8_t>;

class Symbols : public CoffTest {
protected:
    // Reads the headers of a description and then its symbols into table_;
    // returns the exit status when the reading ends the run, -1 when it
    // completes.
    int build(const std::string& description, int symbol_trace = 0) {
        return build_bytes(coffgen::build(coffgen::parse(description)), symbol_trace);
    }
    int build_bytes(const Bytes& bytes, int symbol_trace = 0) {
        input_ = open_bytes(bytes);
        table_ = SymbolTable();
        input_->file.read_headers(false);
        return abort_status([&] { input_->file.read_symbols(table_, symbol_trace); });
    }
    bool find(const char* name, uint32_t expected) const {
        uint32_t value = 0xDEADBEEF;
        return table_.find(name, value) && value == expected;
    }
    bool absent(const char* name) const {
        uint32_t value = 0;
        return !table_.find(name, value);
    }

    // The entry point of the boot table that a run of the program with
    // `options` gives, from its map file; the run's result in `result`.
    uint32_t run_entry_point(const std::string& description, const std::vector<std::string>& options,
                             testsupport::RunResult& result) {
        testsupport::write_coff(dir_.file("app.out"), description);
        std::vector<std::string> args = {"-q", "-i", "-boot", "-bootorg", "0x1000", "-map", "app.map"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("app.out");
        result = testsupport::run_coffhex(args, dir_.path());
        const std::string map = testsupport::read_text(dir_.file("app.map"));
        const std::string label = "Entry Point  : ";
        const size_t at = map.find(label);
        EXPECT_NE(at, std::string::npos) << map;
        if (at == std::string::npos) return 0xDEADBEEF;
        return static_cast<uint32_t>(std::stoul(map.substr(at + label.size()), nullptr, 16));
    }

    std::unique_ptr<Input> input_;
    SymbolTable table_;
};

std::string bucket_of(const char* name) { return std::to_string(symbol_hash(name) % SYMBOL_BUCKETS); }

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
    // string-table offset 0 would end the run.
    ASSERT_EQ(build("symbol start 0x100 aux=3\n"
                    "symbol ext_ref 0x200 class=5\n"
                    "symbol local 0x300 class=3 aux=1\n"
                    "symbol stat 0x400 class=6\n"
                    "symbol last 0x500\n"),
              -1)
        << input_->err();
    EXPECT_EQ(input_->file.header().symbol_count, 9u);
    EXPECT_TRUE(find("start", 0x100));
    EXPECT_TRUE(find("ext_ref", 0x200));
    EXPECT_TRUE(absent("local"));
    EXPECT_TRUE(absent("stat"));
    EXPECT_TRUE(find("last", 0x500));
    EXPECT_EQ(table_.size(), 3u);
}

TEST_F(Symbols, SymbolEntryFields) {
    // Name, value, storage class and auxiliary count of an entry, in both
    // header byte orders; the entry after two auxiliary entries has its name
    // in the string table.
    for (const char* order : {"lsb", "msb"}) {
        SCOPED_TRACE(order);
        ASSERT_EQ(build(std::string("headers ") + order +
                            "\nsymbol abcdefgh 0x12345678 type=0x1234 section=-2 class=5 aux=2\n"
                            "symbol a_long_symbol_name 7\n",
                        1),
                  -1)
            << input_->err();
        // Eight characters, terminated.
        EXPECT_EQ(input_->out(),
                  "Adding symbol abcdefgh       , type C_EXTREF, address 0x12345678, index " +
                      bucket_of("abcdefgh") + "\n" +
                      "Adding symbol a_long_symbol_n, type C_EXT, address 0x000007, index " +
                      bucket_of("a_long_symbol_name") + "\n");
        EXPECT_TRUE(find("abcdefgh", 0x12345678));
        EXPECT_TRUE(find("a_long_symbol_name", 7));
        EXPECT_STREQ(input_->file.string_at(4), "a_long_symbol_name");
        EXPECT_EQ(table_.size(), 2u);
    }
}

TEST_F(Symbols, DuplicatesAndLaterValues) {
    ASSERT_EQ(build("symbol twice 0x10\n"
                    "symbol twice 0x10\n"
                    "symbol moved 0x20\n"
                    "symbol moved 0x30\n",
                    1),
              -1)
        << input_->err();
    // One line for "twice", two for "moved"; the lookup gives the later.
    EXPECT_EQ(input_->out(),
              "Adding symbol twice          , type C_EXT, address 0x000010, index " + bucket_of("twice") + "\n" +
                  "Adding symbol moved          , type C_EXT, address 0x000020, index " + bucket_of("moved") +
                  "\n" + "Adding symbol moved          , type C_EXT, address 0x000030, index " +
                  bucket_of("moved") + "\n");
    EXPECT_TRUE(find("twice", 0x10));
    EXPECT_TRUE(find("moved", 0x30));
    EXPECT_EQ(table_.size(), 3u);
}

TEST_F(Symbols, NamesAreExactAndCaseSensitive) {
    ASSERT_EQ(build("symbol start 1\n"
                    "symbol eightchr 2\n"
                    "symbol a_very_long_external_name 3\n"),
              -1)
        << input_->err();
    EXPECT_TRUE(absent("Start"));
    EXPECT_TRUE(absent("star"));
    EXPECT_TRUE(absent("startx"));
    EXPECT_TRUE(find("start", 1));
    EXPECT_TRUE(find("eightchr", 2));
    EXPECT_TRUE(absent("eightchr2"));
    EXPECT_TRUE(find("a_very_long_external_name", 3));
}

TEST_F(Symbols, TraceLinesAsFormattedPrintGivesThem) {
    ASSERT_EQ(build("symbol main 0x100\n"
                    "symbol _consts 0x1000 class=3\n"
                    "symbol zero 0 class=5\n"
                    "symbol name_longer_than_fifteen 0xFFFFFFFF\n"
                    "symbol name_longer_than_fifteen 5 class=103\n",
                    1),
              -1)
        << input_->err();
    // "%-15.15s" pads to and cuts at 15 columns; "%#08lx" of 0 is
    // "00000000" (no prefix for zero), of 0x100 "0x000100".
    EXPECT_EQ(input_->out(),
              "Adding symbol main           , type C_EXT, address 0x000100, index 592\n"
              "Skip   symbol _consts        , type 3\n"
              "Adding symbol zero           , type C_EXTREF, address 00000000, index " +
                  bucket_of("zero") + "\n" +
                  "Adding symbol name_longer_tha, type C_EXT, address 0xffffffff, index " +
                  bucket_of("name_longer_than_fifteen") + "\n" + "Skip   symbol name_longer_tha, type 103\n");
}

TEST_F(Symbols, EntryPointResolution) {
    const char* const program = "entry 0x40\nsection .text\n bytes 01 02 03 04\nsymbol main 0x100\n";
    testsupport::RunResult r;

    // -e with a known name.
    EXPECT_EQ(run_entry_point(program, {"-e", "main"}, r), 0x100u);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // -e with an unknown name: the error, then the optional header's entry.
    EXPECT_EQ(run_entry_point(program, {"-e", "Main"}, r), 0x40u);
    EXPECT_EQ(r.err, ">>   ERROR: Requested boot table entry point symbol 'Main' not found\n\n");
    EXPECT_EQ(r.status, 1);

    // -e with an address: no lookup, the address stays.
    EXPECT_EQ(run_entry_point(program, {"-e", "0x2000"}, r), 0x2000u);
    EXPECT_EQ(r.status, 0) << r.err;

    // No -e and no optional header: 0.
    EXPECT_EQ(run_entry_point("section .text\n bytes 01 02 03 04\nsymbol main 0x100\n", {}, r), 0u);
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(Symbols, FileWithoutSymbolsStillResolvesTheEntryPoint) {
    // No symbol entries: a -e name still draws its error, and without -e
    // the entry point is the optional header's rather than all ones.
    const char* const program = "entry 0x80\nsection .text\n bytes 01 02 03 04\n";
    testsupport::RunResult r;
    EXPECT_EQ(run_entry_point(program, {"--s", "-e", "main"}, r), 0x80u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, ">>   ERROR: Requested boot table entry point symbol 'main' not found\n\n");
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(run_entry_point(program, {}, r), 0x80u);
    EXPECT_EQ(r.status, 0) << r.err;

    // The reader itself finds no symbols and writes no trace line.
    ASSERT_EQ(build(program, 1), -1) << input_->err();
    EXPECT_EQ(input_->out(), "");
    EXPECT_EQ(table_.size(), 0u);
}

TEST_F(Symbols, DamagedSymbolTables) {
    // Cut short inside the second entry.
    {
        Bytes file = coffgen::build(coffgen::parse("symbol a 1\nsymbol b 2\n"));
        file.resize(file.size() - 5);
        EXPECT_EQ(build_bytes(file), 1);
        EXPECT_EQ(input_->err(), kSymbolReadError);
    }

    // Cut inside the first auxiliary entry.
    {
        Bytes file = coffgen::build(coffgen::parse("symbol a 1 aux=1\n"));
        file.resize(file.size() - 1);
        EXPECT_EQ(build_bytes(file), 1);
        EXPECT_EQ(input_->err(), kSymbolReadError);
    }

    // Millions of entries claimed by a short file: no string table, and
    // the first missing entry ends the run.
    EXPECT_EQ(build("symbol a 1\nnsyms 5000000\n"), 1);
    EXPECT_EQ(input_->err(), kSymbolReadError);
    EXPECT_TRUE(find("a", 1));

    // A symbol table position past the end of the file.
    EXPECT_EQ(build("symbol a 1\nsymptr 0xFFFFFFF0\n"), 1);
    EXPECT_EQ(input_->err(), kSymbolReadError);

    // String-table names outside the table: at its end, past it, below 4,
    // and with no string table at all; none is read out of bounds.
    for (const char* symbol : {"symbol x 1 stroff=19\n", "symbol x 1 stroff=0x7FFFFFFF\n",
                               "symbol x 1 stroff=2\n", "symbol x 1 stroff=19 class=3\n"}) {
        SCOPED_TRACE(symbol);
        // "long_symbol_01\0": 15 bytes at 4, so offsets 4 to 18 are inside.
        EXPECT_EQ(build(std::string("symbol long_symbol_01 5\n") + symbol), 1);
        EXPECT_EQ(input_->err(), kSymbolReadError);
    }
    EXPECT_EQ(build("symbol x 1 stroff=4\n"), 1);
    EXPECT_EQ(input_->err(), kSymbolReadError);

    // Inside the table, not at the start of a name: the rest of that name.
    ASSERT_EQ(build("symbol long_symbol_01 5\nsymbol x 6 stroff=9\n"), -1) << input_->err();
    EXPECT_TRUE(find("symbol_01", 6));
}

}  // namespace
