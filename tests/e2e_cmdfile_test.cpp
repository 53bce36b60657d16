// End to end, a realistic hex command file: options and the input file named
// inside it, memory ranges on two pages with several output files each, and
// a SECTIONS block with boot marks, output addresses and data widths. Every
// output file is checked whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

const std::vector<uint8_t> TEXT = test_bytes(48, 201);
const std::vector<uint8_t> CONST_DATA = test_bytes(16, 202);
const std::vector<uint8_t> VECTORS = test_bytes(8, 203);
const std::vector<uint8_t> INIT = test_bytes(6, 204);
const std::vector<uint8_t> TABLES = test_bytes(12, 205);

// The program as linked: code and constants run at 0x2000 and 0x2400, two
// start-up sections at 0x3000 and 0x3100 that the boot loader copies, a
// table on data page 1, and a section the command file does not name.
std::string board_program() {
    return "section .text paddr=0x2000\n" + bytes_lines(TEXT) +
           "section .const paddr=0x2400 flags=0x40\n" + bytes_lines(CONST_DATA) +
           "section .vectors paddr=0x3000\n" + bytes_lines(VECTORS) +
           "section .init paddr=0x3100\n" + bytes_lines(INIT) +
           "section .tables paddr=0x10 page=1 flags=0x40\n" + bytes_lines(TABLES) +
           "section .unused paddr=0x5000\n  bytes 01 02 03 04\n"
           "symbol main 0x2010 section=1\n";
}

const char* const BOARD_COMMANDS =
    "/* Board image: a boot ROM pair and four program ROMs on page 0,\n"
    "   two data ROMs on page 1; the bytes are wired most significant first. */\n"
    "-i -image\n"
    "-memwidth 32\n"
    "-order MS\n"
    "-fill 0xFFFFFFFF\n"
    "-e main\n"
    "app            /* the linked program, app.out */\n"
    "\n"
    "ROMS\n"
    "{\n"
    "  PAGE 0:\n"
    "    bootrom: origin = 0x0000, length = 0x80, width = 16,\n"
    "             files = { boot_lo.hex, boot_hi.hex }\n"
    "    prog:    origin = 0x1000, length = 0x100, width = 8,\n"
    "             files = { p0.hex p1.hex p2.hex p3.hex }\n"
    "  PAGE 1:\n"
    "    data:    origin = 0x0, length = 0x80, memwidth = 16, width = 8,\n"
    "             fill = 0xA5A5A5A5, files = { d_lo.hex, d_hi.hex }\n"
    "}\n"
    "\n"
    "SECTIONS\n"
    "{\n"
    "  .vectors: boot\n"
    "  .init (boot)\n"
    "  .text:   paddr = 0x1000\n"
    "  .const:  paddr = 0x1080, datawidth = 16\n"
    "  .tables: datawidth = 16\n"
    "}\n";

void put32(std::vector<uint8_t>& memory, size_t at, uint32_t value) {
    for (int k = 0; k < 4; ++k) memory[at + static_cast<size_t>(k)] = static_cast<uint8_t>(value >> (8 * k));
}

// The pieces of file `file` of a range filled completely in image mode: one
// piece per memory word, the data width of each word from `datawidth_at`.
std::vector<Piece> image_pieces(uint32_t origin, const std::vector<uint8_t>& memory,
                                const std::vector<int>& datawidth_at, Layout layout, int file) {
    std::vector<Piece> pieces;
    const size_t W = static_cast<size_t>(layout.memwidth);
    for (size_t at = 0; at < memory.size(); at += W) {
        layout.datawidth = datawidth_at[at];
        pieces.push_back({origin + static_cast<uint32_t>(at), lane_of_word(memory.data() + at, layout, file),
                          at == 0});
    }
    return pieces;
}

Layout board_layout(int mem, int rom) {
    Layout l;
    l.memwidth = mem;
    l.romwidth = rom;
    l.big_endian_input = false;
    l.order_ms = true;  // -order MS
    return l;
}

class E2eCommandFile : public ::testing::Test {
protected:
    std::string file(const std::string& name) { return read_text(dir.file(name)); }
    TempDir dir;
};

}  // namespace

TEST_F(E2eCommandFile, BoardBuildConvertsEveryRangeWhole) {
    write_coff(dir.file("app.out"), board_program());
    write_text(dir.file("board.cmd"), BOARD_COMMANDS);
    RunResult r = run_coffhex({"board.cmd"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // Boot-loaded sections first (they all sit at the boot table origin),
    // then page 0 by address, then page 1; .unused is not named.
    EXPECT_EQ(r.out,
              "Translating app.out to Intel format...\n"
              "   \"app.out\"   ==> .vectors \t(BOOT LOAD)\n"
              "   \"app.out\"   ==> .init \t(BOOT LOAD)\n"
              "   \"app.out\"   ==> .text\n"
              "   \"app.out\"   ==> .const\n"
              "   \"app.out\"   ==> .tables\n");
    EXPECT_EQ(list_files(dir.path()),
              (std::vector<std::string>{"app.out", "board.cmd", "boot_hi.hex", "boot_lo.hex", "d_hi.hex",
                                        "d_lo.hex", "p0.hex", "p1.hex", "p2.hex", "p3.hex"}));

    // bootrom, 0x00..0x7F: the boot table from the first range's origin,
    // every field in the input's (little-endian) byte order: entry point
    // main = 0x2010; size 8, run address 0x3000, .vectors; size 6, run
    // address 0x3100, .init padded with two zeros to a multiple of 4; the
    // terminator 0; fill to the end of the range.
    std::vector<uint8_t> boot(0x80, 0xFF);
    put32(boot, 0x00, 0x2010);
    put32(boot, 0x04, 8);
    put32(boot, 0x08, 0x3000);
    std::copy(VECTORS.begin(), VECTORS.end(), boot.begin() + 0x0C);
    put32(boot, 0x14, 6);
    put32(boot, 0x18, 0x3100);
    std::copy(INIT.begin(), INIT.end(), boot.begin() + 0x1C);
    boot[0x22] = boot[0x23] = 0;
    put32(boot, 0x24, 0);
    const std::vector<int> bytes_everywhere(0x100, 1);
    // With MS order the first byte of every word is its most significant:
    // boot_hi.hex holds bytes 0 and 1 of each word, boot_lo.hex bytes 2 and
    // 3, so the first word, 10 20 00 00, gives 1020 and 0000.
    EXPECT_EQ(file("boot_lo.hex"),
              intel_records(image_pieces(0, boot, bytes_everywhere, board_layout(4, 2), 0)) + ":00000001FF\n");
    EXPECT_EQ(file("boot_hi.hex"),
              intel_records(image_pieces(0, boot, bytes_everywhere, board_layout(4, 2), 1)) + ":00000001FF\n");
    EXPECT_EQ(file("boot_hi.hex").substr(0, 13), ":200000001020");

    // prog, 0x1000..0x10FF: .text at its paddr 0x1000, .const at 0x1080
    // made of 16-bit data words, fill elsewhere.
    std::vector<uint8_t> prog(0x100, 0xFF);
    std::copy(TEXT.begin(), TEXT.end(), prog.begin());
    std::copy(CONST_DATA.begin(), CONST_DATA.end(), prog.begin() + 0x80);
    std::vector<int> prog_widths(0x100, 1);
    for (size_t i = 0x80; i < 0x90; ++i) prog_widths[i] = 2;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(file("p" + std::to_string(i) + ".hex"),
                  intel_records(image_pieces(0x1000, prog, prog_widths, board_layout(4, 1), i)) +
                      ":00000001FF\n")
            << "p" << i;
    // The 16-bit data words of .const: the word at the lower address is the
    // more significant half of the memory word, each read little-endian, so
    // p0.hex (least significant byte) holds the third byte of each word.
    EXPECT_EQ(file("p0.hex").substr(0x4C + 9, 2), hex2(CONST_DATA[2]));

    // data (page 1), 0x00..0x7F with its own fill: .tables at 0x10 in 16-bit
    // words, one byte per file.
    std::vector<uint8_t> data(0x80, 0xA5);
    std::copy(TABLES.begin(), TABLES.end(), data.begin() + 0x10);
    std::vector<int> data_widths(0x80, 1);
    for (size_t i = 0x10; i < 0x1C; ++i) data_widths[i] = 2;
    EXPECT_EQ(file("d_lo.hex"),
              intel_records(image_pieces(0, data, data_widths, board_layout(2, 1), 0)) + ":00000001FF\n");
    EXPECT_EQ(file("d_hi.hex"),
              intel_records(image_pieces(0, data, data_widths, board_layout(2, 1), 1)) + ":00000001FF\n");
}

// An option given on the command line after the command file overrides the
// same setting made inside it.
TEST_F(E2eCommandFile, LaterOptionsOverrideTheCommandFile) {
    write_coff(dir.file("app.out"), "section .text paddr=0x100\n  bytes 12 34\n");
    write_text(dir.file("build.cmd"), "-m3 -memwidth 8\napp\n");
    RunResult r = run_coffhex({"-q", "build.cmd", "-i"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(list_files(dir.path()), (std::vector<std::string>{"app.i0", "app.out", "build.cmd"}));
    EXPECT_EQ(file("app.i0"), intel_data(0x100, {0x12, 0x34}) + ":00000001FF\n");
}

// A faulty command file refuses the conversion: the syntax error and the
// refusal, status 1, and no output file at all.
TEST_F(E2eCommandFile, SyntaxErrorPreventsTheConversion) {
    write_coff(dir.file("app.out"), "section .text paddr=0x100\n  bytes 12 34\n");
    write_text(dir.file("bad.cmd"),
               "-i\n"
               "ROMS { rom: origin 0x0 length 0x100, }\n"
               "app\n");
    RunResult r = run_coffhex({"bad.cmd"}, dir.path());
    EXPECT_EQ(r.status, 1);
    // The line up to the cursor, which stands past the offending "}", and
    // the caret under the character after it.
    EXPECT_EQ(r.out, "ROMS { rom: origin 0x0 length 0x100, }\n" + std::string(38, ' ') + "^\n");
    EXPECT_EQ(r.err,
              "\"bad.cmd\", line 2:   ERROR: syntax error\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    EXPECT_EQ(list_files(dir.path()), (std::vector<std::string>{"app.out", "bad.cmd"}));
}

// A files list written on one line of more than 300 characters: every name
// is read whole, and the long line counts as one line.
TEST_F(E2eCommandFile, FilesListOnOneLongLine) {
    const std::vector<uint8_t> data = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    write_coff(dir.file("app.out"), "section .text paddr=0x0\n" + bytes_lines(data));
    std::vector<std::string> names;
    std::string line = "ROMS { r: origin = 0, length = 0x100, memwidth = 32, width = 8, files = {";
    for (int k = 0; k < 4; ++k) {
        names.push_back("lane" + std::to_string(k) + "_" + std::string(70, 'n') + ".hex");
        line += (k == 0 ? " " : ", ") + names.back();
    }
    line += " } }";
    ASSERT_GT(line.size(), 300u);
    write_text(dir.file("build.cmd"), "-q -i\napp\n" + line + "\n-bogus\n");

    RunResult r = run_coffhex({"build.cmd"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\"build.cmd\", line 4: WARNING: invalid option: -bogus\n");
    std::vector<std::string> expected_files = names;
    expected_files.push_back("app.out");
    expected_files.push_back("build.cmd");
    std::sort(expected_files.begin(), expected_files.end());
    EXPECT_EQ(list_files(dir.path()), expected_files);
    // 32-bit words of 8-bit lanes, the input's LS order: lane k holds bytes
    // k and k + 4.
    Layout layout;
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(file(names[static_cast<size_t>(k)]),
                  intel_records(file_pieces({{0x0, data}}, layout, k)) + ":00000001FF\n")
            << k;
}

// A number one past 32 bits, wherever a number is read, on the command line
// or in a command file: an ERROR that quotes it as written, and the
// conversion is refused.
TEST_F(E2eCommandFile, NumberOnePast32BitsRefusesTheConversion) {
    write_coff(dir.file("app.out"), "section .text paddr=0x100\n  bytes 12 34\n");
    const struct {
        std::vector<std::string> options;  // on the command line
        const char* statement;             // or line 2 of a command file
        const char* number;
    } cases[] = {
        {{"-fill", "0x100000000"}, nullptr, "0x100000000"},
        {{"-f", "4294967296"}, nullptr, "4294967296"},
        {{"-romwidth", "040000000000"}, nullptr, "040000000000"},
        {{"-memwidth", "100000000h"}, nullptr, "100000000h"},
        {{"-datawidth", "40000000000q"}, nullptr, "40000000000q"},
        {{"-olength", "4294967296"}, nullptr, "4294967296"},
        {{"-bootorg", "0x100000000"}, nullptr, "0x100000000"},
        {{"-bootpage", "0x100000000"}, nullptr, "0x100000000"},
        {{"-e", "0x100000000"}, nullptr, "0x100000000"},
        {{"-bootsection", ".text", "0x100000000"}, nullptr, "0x100000000"},
        {{}, "-fill 0x100000000", "0x100000000"},
        {{}, "ROMS { r: origin = 0x100000000, length = 0x1000 }", "0x100000000"},
        {{}, "ROMS { r: origin = 0, length = 0x100000000 }", "0x100000000"},
        {{}, "ROMS { r: origin = 0, length = 0x1000, width = 0x100000008 }", "0x100000008"},
        {{}, "ROMS { r: origin = 0, length = 0x1000, memwidth = 4294967328 }", "4294967328"},
        {{}, "ROMS { r: origin = 0, length = 0x1000, fill = 100000000H }", "100000000H"},
        {{}, "ROMS { PAGE 0x100000000: r: origin = 0, length = 0x1000 }", "0x100000000"},
        {{}, "SECTIONS { .text: paddr = 0x100000100 }", "0x100000100"},
        {{}, "SECTIONS { .text: paddr = ((0x100000100)) }", "0x100000100"},
        {{}, "SECTIONS { .text: datawidth = 0x100000008 }", "0x100000008"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-i"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        std::string where = ">> ";
        std::vector<std::string> files = {"app.out"};
        if (c.statement != nullptr) {
            write_text(dir.file("n.cmd"), std::string("app\n") + c.statement + "\n");
            args.push_back("n.cmd");
            where = "\"n.cmd\", line 2: ";
            files.push_back("n.cmd");
        } else {
            args.push_back("app");
        }
        SCOPED_TRACE(c.statement != nullptr ? c.statement : c.options[0]);
        RunResult r = run_coffhex(args, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, where + "  ERROR: number '" + c.number +
                             "' does not fit in 32 bits\n"
                             ">> FATAL ERROR: errors prevent conversion (aborting)\n");
        EXPECT_EQ(list_files(dir.path()), files);
        std::remove(dir.file("n.cmd").c_str());
    }
}
