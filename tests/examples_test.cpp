// The recipes of examples/ end to end: each recipe's object is built from
// its description, every command file of the recipe is run through the real
// binary, and every file it writes, its standard output and its standard
// error are compared with the checked-in files under expected/.
//
// The expected files were checked by hand against the manual; the second
// group of tests re-checks, independently of the converter, that every
// record in them carries a correct length and checksum.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "support/harness.h"

using namespace testsupport;

namespace {

const std::string EXAMPLES = std::string(COFFHEX_SOURCE_DIR) + "/examples";

// Every recipe, by directory name. A recipe directory holds the object's
// description (app.coff, or app.elf for an ELF file), one or more *.cmd
// files and expected/.
const std::vector<std::string> RECIPES = {"eprom32", "two16", "image-fill", "boot-table",
                                          "select", "checksum", "self-check", "elf"};

std::string description_of(const std::string& source) {
    return file_exists(source + "/app.elf") ? read_text(source + "/app.elf")
                                            : read_text(source + "/app.coff");
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<std::string> entries(const std::string& dir, bool want_dirs) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return names;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (stat((dir + "/" + name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode) == want_dirs) names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> command_files(const std::string& recipe) {
    std::vector<std::string> names;
    for (const std::string& name : entries(EXAMPLES + "/" + recipe, false))
        if (ends_with(name, ".cmd")) names.push_back(name.substr(0, name.size() - 4));
    return names;
}

// Output files a recipe is expected to write (expected/ without the logs).
std::vector<std::string> expected_outputs(const std::string& recipe) {
    std::vector<std::string> names;
    for (const std::string& name : list_files(EXAMPLES + "/" + recipe + "/expected"))
        if (!ends_with(name, ".stdout") && !ends_with(name, ".stderr")) names.push_back(name);
    return names;
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// How the expected files were checked, recipe by recipe (before they were
// checked in):
//
// eprom32: little-endian data, memory 32, ROM 8, LS order: file k holds byte
//   k of every word. .text a0..d3 gives app.i0 ":04000000A0B0C0D01C"
//   (04+A0+B0+C0+D0 = 0x2E4, 0x100-0xE4 = 0x1C). .data is 6 bytes, padded
//   with fill 0 to 8: app.i2 gets 12 00, ":020100001200EB" (02+01+12 = 0x15).
//   .const at 0x12340 needs ":020000040001F9", then ":02234000E0F0CB" in
//   app.i0 (02+23+40+E0+F0 = 0x235). The padding warning wraps after
//   "satisfy the" (67 characters fit the 68 left after ">> WARNING: ").
// two16: big-endian data, MS order, ROM 16: lo16.mot (bits 0..15) holds 3344
//   and 7788 of 0x11223344 and 0x55667788: "S309000000003344778880"
//   (09+33+44+77+88 = 0x17F, ~0x7F = 0x80); hi16.mot "S309000000001122556608".
// image-fill: 8-bit memory, image mode: app.b00 is 0x40 bytes, FF at 0x00..0x0F
//   and 0x1C..0x3F around the 12 bytes of .vectors; app.b10 is A5 around the
//   6 bytes of .text at offset 0x20. The map lists each gap as FILL.
// boot-table: ROM = memory = 32 bits, LS order, so each word prints as its
//   value. Table at 0x1000: 00002000 (entry, _c_int00), 0000000C 00002000 and
//   the three .text words, then 00000006 00003000 11223344 00005566 (6 bytes,
//   zero-padded) and the terminator 00000000: 0x1000..0x102B. Records split
//   at the start of .data (a new section starts a record): ":18100000...26"
//   and ":14101800...29". Map: btad of .text is 0x1000 (its framing is its
//   first write), the boot lines are " %19s : " after 13 blanks.
// select: Extended Tektronix, one 32-bit file. "%16652800000300C4C3C2C1":
//   22 characters after "%", digit sum 1+6+6+8+3+(C4C3C2C1 = 58) = 82 = 0x52.
//   The map of select lists .const (0x300) before .text (placed at 0x8000,
//   though it runs at 0); exclude converts .text and .data only.
// elf: flat.hex holds .text at 0x100 ":08010000A0B0C0D0A1B1C1D133" (08+01+
//   0x2E0+0x2E4 = 0x5CD, 0x100-0xCD = 0x33) and .data at its load address
//   0x200 ":040200001122334450" (04+02+0xAA = 0xB0); .bss and .comment are
//   not converted. boot.hex: 04010000 (main, little-endian), 08000000
//   00010000 and .text, 04000000 00800000 (.data's run address 0x8000) and
//   11223344, terminator 00000000: 0x1000..0x1023, cut at .data's start.

// self-check: 8-bit flash, image mode, fill FF. code_sum: 01+10+02+20 + 8 x FF
//   = 0x82B, stored big-endian at 0x10 (08 2B); rom_crc: Python's
//   zlib.crc32 of the 60 bytes 0x00..0x3B as flash.hex holds them is
//   0x2B0C816B, stored little-endian at 0x3C (6B 81 0C 2B). The map shows
//   both fields among the contents and lists them in CHECKSUM FIELDS.
class Recipe : public testing::TestWithParam<std::string> {};

TEST_P(Recipe, WritesExactlyTheCheckedInOutputs) {
    const std::string recipe = GetParam();
    const std::string source = EXAMPLES + "/" + recipe;
    const std::string expected = source + "/expected";
    TempDir dir;
    write_coff(dir.file("app.out"), description_of(source));

    std::vector<std::string> commands = command_files(recipe);
    ASSERT_FALSE(commands.empty()) << recipe << " has no command file";
    for (const std::string& name : commands) {
        RunResult r = run_coffhex({source + "/" + name + ".cmd"}, dir.path());
        EXPECT_EQ(r.status, 0) << recipe << "/" << name << ".cmd\n" << r.err;
        EXPECT_EQ(r.out, read_text(expected + "/" + name + ".stdout")) << recipe << "/" << name;
        EXPECT_EQ(r.err, read_text(expected + "/" + name + ".stderr")) << recipe << "/" << name;
    }

    std::vector<std::string> written;
    for (const std::string& name : list_files(dir.path()))
        if (name != "app.out") written.push_back(name);
    ASSERT_EQ(written, expected_outputs(recipe)) << recipe;
    for (const std::string& name : written)
        EXPECT_EQ(read_bytes(dir.file(name)), read_bytes(expected + "/" + name))
            << recipe << ": " << name << " differs from expected/" << name;
}

INSTANTIATE_TEST_SUITE_P(Examples, Recipe, testing::ValuesIn(RECIPES), test_name);

TEST(Examples, EveryRecipeDirectoryIsTested) {
    std::vector<std::string> found;
    for (const std::string& name : entries(EXAMPLES, true))
        if (file_exists(EXAMPLES + "/" + name + "/app.coff") || file_exists(EXAMPLES + "/" + name + "/app.elf"))
            found.push_back(name);
    std::vector<std::string> listed = RECIPES;
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(found, listed);
    for (const std::string& recipe : RECIPES)
        for (const std::string& name : command_files(recipe)) {
            EXPECT_TRUE(file_exists(EXAMPLES + "/" + recipe + "/expected/" + name + ".stdout"))
                << recipe << "/" << name;
            EXPECT_TRUE(file_exists(EXAMPLES + "/" + recipe + "/expected/" + name + ".stderr"))
                << recipe << "/" << name;
        }
}

// --- Independent checks of the expected record files -----------------------

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not allowed in these records
}

// Bytes of a run of upper-case hex pairs; empty and `ok` false on a bad digit.
std::vector<int> hex_bytes(const std::string& text, bool& ok) {
    std::vector<int> bytes;
    ok = text.size() % 2 == 0;
    for (size_t i = 0; ok && i + 1 < text.size(); i += 2) {
        int hi = hex_value(text[i]), lo = hex_value(text[i + 1]);
        if (hi < 0 || lo < 0) ok = false;
        bytes.push_back(hi * 16 + lo);
    }
    return bytes;
}

// ":LLAAAATT<data>CC": LL counts the data bytes; the sum of all bytes from LL
// to CC is 0 modulo 256.
std::string check_intel(const std::string& line) {
    bool ok = false;
    std::vector<int> b = hex_bytes(line.substr(1), ok);
    if (!ok || b.size() < 5) return "not hex pairs";
    if (static_cast<size_t>(b[0]) != b.size() - 5) return "length field";
    int sum = 0;
    for (int v : b) sum += v;
    return sum % 256 == 0 ? "" : "checksum";
}

// "S<t>LL<address><data>CC": LL counts the address, data and checksum bytes;
// the sum of all bytes from LL to CC is 0xFF modulo 256.
std::string check_motorola(const std::string& line) {
    bool ok = false;
    std::vector<int> b = hex_bytes(line.substr(2), ok);
    if (!ok || b.size() < 2) return "not hex pairs";
    if (static_cast<size_t>(b[0]) != b.size() - 1) return "length field";
    int sum = 0;
    for (int v : b) sum += v;
    return sum % 256 == 0xFF ? "" : "checksum";
}

// "%LLTCC<rest>": LL is the number of characters after "%"; CC is the sum of
// the values of every hex digit after "%" except the two of CC itself.
std::string check_tektronix(const std::string& line) {
    if (line.size() < 7) return "too short";
    bool ok = false;
    std::vector<int> length = hex_bytes(line.substr(1, 2), ok);
    if (!ok || static_cast<size_t>(length[0]) != line.size() - 1) return "length field";
    std::vector<int> check = hex_bytes(line.substr(4, 2), ok);
    if (!ok) return "checksum field";
    int sum = 0;
    for (size_t i = 1; i < line.size(); ++i) {
        if (i == 4 || i == 5) continue;
        int v = hex_value(line[i]);
        if (v < 0) return "not a hex digit";
        sum += v;
    }
    return sum % 256 == check[0] ? "" : "checksum";
}

// The checkers themselves, on records worked out by hand from the record
// grammars, and on the same records with one digit changed.
TEST(Examples, RecordCheckersAcceptGoodAndRefuseBadRecords) {
    // Intel extended address record: 02+00+00+04+00+01 = 07, 0x100-0x07 = F9.
    EXPECT_EQ(check_intel(":020000040001F9"), "");
    EXPECT_EQ(check_intel(":020000040001F8"), "checksum");
    EXPECT_EQ(check_intel(":030000040001F9"), "length field");
    EXPECT_EQ(check_intel(":00000001FF"), "");
    // Motorola header and terminators: 06+00+00+48+44+52 = E4, ~E4 = 1B.
    EXPECT_EQ(check_motorola("S00600004844521B"), "");
    EXPECT_EQ(check_motorola("S9030000FC"), "");
    EXPECT_EQ(check_motorola("S804000000FB"), "");
    EXPECT_EQ(check_motorola("S70500000000FA"), "");
    EXPECT_EQ(check_motorola("S70500000000FB"), "checksum");
    // Extended Tektronix data record of byte 0x12 at 0x100: 16 characters
    // follow "%", digit sum 1+0+6+8+1+1+2 = 19 = 0x13.
    EXPECT_EQ(check_tektronix("%1061380000010012"), "");
    EXPECT_EQ(check_tektronix("%1061380000010013"), "checksum");
    EXPECT_EQ(check_tektronix("%0E81E800000000"), "");
    EXPECT_EQ(check_tektronix("%0F81E800000000"), "length field");
}

TEST(Examples, ExpectedRecordsHaveValidLengthsAndChecksums) {
    int records = 0;
    for (const std::string& recipe : RECIPES) {
        for (const std::string& name : expected_outputs(recipe)) {
            if (ends_with(name, ".map")) continue;
            std::string text = read_text(EXAMPLES + "/" + recipe + "/expected/" + name);
            bool is_text = std::all_of(text.begin(), text.end(), [](char c) {
                return c == '\n' || (c >= 0x20 && c < 0x7F);
            });
            if (!is_text) continue;  // binary images
            size_t start = 0;
            while (start < text.size()) {
                size_t end = text.find('\n', start);
                ASSERT_NE(end, std::string::npos) << recipe << "/" << name << ": last line has no newline";
                std::string line = text.substr(start, end - start);
                start = end + 1;
                std::string problem;
                if (!line.empty() && line[0] == ':')
                    problem = check_intel(line);
                else if (!line.empty() && line[0] == 'S')
                    problem = check_motorola(line);
                else if (!line.empty() && line[0] == '%')
                    problem = check_tektronix(line);
                else
                    problem = "not a record";
                EXPECT_EQ(problem, "") << recipe << "/" << name << ": " << line;
                ++records;
            }
        }
    }
    EXPECT_GT(records, 20);
}

}  // namespace
