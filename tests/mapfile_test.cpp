// The translation map, written by the real binary with -map and compared
// whole with the text expected for each case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/harness.h"

using namespace testsupport;

namespace {

const std::string STARS(80, '*');
const std::string DASHES(80, '-');
// The title (30 characters) left in 79 columns less the version text, a
// blank, the version text ending in column 80.
const std::string VERSION_TEXT = "v" COFFHEX_PROJECT_VERSION;
const std::string TITLE = "coffhex COFF/ELF Hex Converter" +
                          std::string(80 - 30 - VERSION_TEXT.size(), ' ') + VERSION_TEXT;

std::string banner() { return STARS + "\n" + TITLE + "\n" + STARS + "\n"; }

// Header lines for app.out in Intel format with the default widths.
std::string intel_header() {
    return banner() +
           "\nINPUT FILE NAME: <app.out>\n"
           "OUTPUT FORMAT:   Intel\n"
           "\nPHYSICAL MEMORY PARAMETERS\n"
           "   Default data width   :   8\n"
           "   Default memory width :  32\n"
           "   Default output width :   8\n";
}

const std::string TITLE_LINE = "\n\nOUTPUT TRANSLATION MAP";

std::string block_head(const std::string& line) {
    return "\n" + DASHES + "\n" + line + "\n" + DASHES + "\n";
}

const std::string INTEL_FILES =
    "   OUTPUT FILES: app.i0 [b0..b7]\n"
    "                 app.i1 [b8..b15]\n"
    "                 app.i2 [b16..b23]\n"
    "                 app.i3 [b24..b31]\n";

const std::string TWO_SECTIONS =
    "entry 0x2000\n"
    "section .text paddr=0x2000\n"
    "  bytes 00 01 02 03 04 05 06 07\n"
    "section .data paddr=0x3000\n"
    "  bytes 10 11 12 13\n"
    "symbol _start 0x2000\n";

class MapRun : public ::testing::Test {
protected:
    TempDir dir;

    RunResult convert(const std::string& description, std::vector<std::string> args) {
        write_coff(dir.file("app.out"), description);
        args.insert(args.end(), {"-map", "app.map", "app.out"});
        return run_coffhex(args, dir.path());
    }
    // Runs a command file that names app.out itself.
    RunResult convert_with_commands(const std::string& description, const std::string& commands) {
        write_coff(dir.file("app.out"), description);
        write_text(dir.file("app.cmd"), commands);
        return run_coffhex({"app.cmd"}, dir.path());
    }
    std::string map_text() { return read_text(dir.file("app.map")); }
};

}  // namespace

// --- without a ROMS directive ----------------------------------------------

TEST_F(MapRun, DefaultRangeListsItsFilesAndSections) {
    RunResult r = convert(TWO_SECTIONS, {"-i"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The title line, below a rule of 80 stars, ends in column 80.
    const std::string map = map_text();
    ASSERT_GT(map.size(), 81u);
    EXPECT_EQ(map.find('\n', 81), 81u + 80u);
    EXPECT_EQ(map,
              intel_header() + TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                  INTEL_FILES +
                  "\n   CONTENTS: 00002000..00002007   .text\n"
                  "             00003000..00003003   .data\n");
}

TEST_F(MapRun, TwoFilesOfEightBitsHoldTheirBitLanes) {
    RunResult r = convert(TWO_SECTIONS, {"-i", "-memwidth", "16"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(map_text(),
              banner() +
                  "\nINPUT FILE NAME: <app.out>\n"
                  "OUTPUT FORMAT:   Intel\n"
                  "\nPHYSICAL MEMORY PARAMETERS\n"
                  "   Default data width   :   8\n"
                  "   Default memory width :  16\n"
                  "   Default output width :   8\n" +
                  TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=16  ROM Width=8") +
                  "   OUTPUT FILES: app.i0 [b0..b7]\n"
                  "                 app.i1 [b8..b15]\n"
                  "\n   CONTENTS: 00002000..00002007   .text\n"
                  "             00003000..00003003   .data\n");
}

TEST_F(MapRun, RangeWithoutContents) {
    // The only section is on page 1; the page 0 range gets nothing.
    const char* description =
        "section .text paddr=0x2000 page=1\n"
        "  bytes 00 01 02 03\n"
        "symbol _start 0x2000\n";
    RunResult r = convert(description, {"-i"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ">> WARNING: section '.text' at 02000h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(map_text(), intel_header() + TITLE_LINE +
                              block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                              "   NO CONTENTS\n");
}

TEST_F(MapRun, MemoryWidthLineShowsTheOrderOnlyForWiderData) {
    auto width_line = [](const std::string& map) {
        size_t at = map.find("   Default memory width");
        return at == std::string::npos ? std::string() : map.substr(at, map.find('\n', at) - at);
    };
    RunResult r = convert(TWO_SECTIONS, {"-i", "-datawidth", "32", "-memwidth", "16"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(width_line(map_text()), "   Default memory width :  16 (LS-->MS)");

    r = convert(TWO_SECTIONS, {"-i", "-datawidth", "32", "-memwidth", "16", "-order", "MS"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(width_line(map_text()), "   Default memory width :  16 (MS-->LS)");

    r = convert(TWO_SECTIONS, {"-i", "-datawidth", "32"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(width_line(map_text()), "   Default memory width :  32");
}

TEST_F(MapRun, SectionCutShortByAnOverlapIsIncomplete) {
    // .b starts inside .a: its first 8 bytes are dropped, the rest lands
    // at 0x2010.
    const char* description =
        "section .a paddr=0x2000\n"
        "  fill 16 0xAA\n"
        "section .b paddr=0x2008\n"
        "  fill 16 0xBB\n"
        "symbol _start 0x2000\n";
    RunResult r = convert(description, {"-i"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(map_text(),
              intel_header() + TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                  INTEL_FILES +
                  "\n   CONTENTS: 00002000..0000200f   .a\n"
                  "             00002010..00002017   .b (INCOMPLETE)\n");
}

TEST_F(MapRun, SectionEndingAtTheTopOfTheAddressSpaceEndsTheWalk) {
    // The section's last written address is 0xFFFFFFFF; the rest of it
    // falls beyond the last range.
    const char* description =
        "section .top paddr=0xFFFFFFF8\n"
        "  fill 16 0xCC\n"
        "symbol _start 0x2000\n";
    RunResult r = convert(description, {"-i"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(map_text(),
              intel_header() + TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                  INTEL_FILES + "\n   CONTENTS: fffffff8..ffffffff   .top\n");
}

// --- boot table --------------------------------------------------------------

TEST_F(MapRun, BootTableWithEntryPointSymbol) {
    // Table: entry point 0x1000; .text size, destination, 8 data bytes
    // (0x1004..0x1013); .data size, destination, 4 data bytes and the
    // terminator (0x1014..0x1023).
    RunResult r = convert(TWO_SECTIONS, {"-i", "-boot", "-bootorg", "0x1000", "-e", "_start"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(map_text(),
              intel_header() +
                  "\nBOOT LOADER PARAMETERS\n"
                  "   Table Address: 0x1000, PAGE 0\n"
                  "   Entry Point  : 0x2000  (_start)\n" +
                  TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                  INTEL_FILES +
                  "\n   CONTENTS: 00001000..00001023   BOOT TABLE\n"
                  "                            .text : btad=00001000  dest=00002000 size=00000008\n"
                  "                            .data : btad=00001014  dest=00003000 size=00000004\n");
}

TEST_F(MapRun, BootLoadedCinitListedFirstStillShowsAfterTheOthers) {
    // .cinit is converted after .text; the terminator belongs to .cinit, the
    // entry written last, so .text keeps 0x1000..0x1013 and .cinit shows
    // from 0x1014. The .cinit section holds two records of 16 bytes each
    // (header, data, padding) and a zero length: 0x24 bytes.
    const char* description =
        "entry 0x2000\n"
        "section .cinit paddr=0x4000 flags=0x10\n"
        "  record 0x8000 A1 A2 A3 A4 A5 A6\n"
        "  record 0x8100 B1 B2 B3\n"
        "  end-records\n"
        "section .text paddr=0x2000\n"
        "  bytes 11 22 33 44 55 66\n"
        "section .bss paddr=0x8000 size=0x200 nodata\n"
        "symbol _start 0x2000\n";
    RunResult r = convert(description, {"-i", "-boot", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(map_text(),
              intel_header() +
                  "\nBOOT LOADER PARAMETERS\n"
                  "   Table Address: 0x1000, PAGE 0\n"
                  "   Entry Point  : 0x2000\n" +
                  TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                  INTEL_FILES +
                  "\n   CONTENTS: 00001000..00001033   BOOT TABLE\n"
                  "                            .text : btad=00001000  dest=00002000 size=00000006\n"
                  "                           .cinit : btad=00001014  dest=00004000 size=00000024\n");
}

TEST_F(MapRun, BootstrapListedLastKeepsItsOwnExtent) {
    // .boot forms its own table (0x1000..0x100F, its terminator included);
    // the main table's terminator belongs to .b, the entry written last, so
    // every section keeps its line.
    const char* description =
        "entry 0x2000\n"
        "section .a paddr=0x2000\n"
        "  bytes 11 22 33 44 55 66\n"
        "section .b paddr=0x3000\n"
        "  bytes C1 C2\n"
        "section .boot paddr=0x100\n"
        "  bytes B0 B1 B2 B3\n"
        "symbol _start 0x2000\n";
    RunResult r = convert(description, {"-i", "-boot", "-bootstrap=.boot", "-bootorg", "0x1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(map_text(),
              intel_header() +
                  "\nBOOT LOADER PARAMETERS\n"
                  "   Table Address: 0x1000, PAGE 0\n"
                  "   Entry Point  : 0x2000\n" +
                  TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                  INTEL_FILES +
                  "\n   CONTENTS: 00001000..00001033   BOOT TABLE\n"
                  "                            .boot : btad=00001000  dest=00000100 size=00000004\n"
                  "                               .a : btad=00001010  dest=00002000 size=00000006\n"
                  "                               .b : btad=00001024  dest=00003000 size=00000002\n");
}

TEST_F(MapRun, BootTableLeftInTheMiddleShowsWhatTheRangeHolds) {
    // The table starts 16 bytes below the top of the address space: the
    // entry point, size and destination take 12 bytes and 4 data bytes fit
    // before the range ends, which writes the block while the table is
    // still being written.
    const char* description =
        "section .text paddr=0x2000\n"
        "  fill 16 0xEE\n"
        "symbol _start 0x2000\n";
    RunResult r = convert(description, {"-i", "-boot", "-bootorg", "0xFFFFFFF0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ">> WARNING: boot table falls in unconfigured memory at 00h\n");
    EXPECT_EQ(map_text(),
              intel_header() +
                  "\nBOOT LOADER PARAMETERS\n"
                  "   Table Address: 0xfffffff0, PAGE 0\n"
                  "   Entry Point  : 0x0000\n" +
                  TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                  INTEL_FILES +
                  "\n   CONTENTS: fffffff0..ffffffff   BOOT TABLE\n"
                  "                            .text : btad=fffffff0  dest=00002000 size=00000010\n");
}

// --- with a ROMS directive ----------------------------------------------------

TEST_F(MapRun, TwoNamedRanges) {
    const char* description =
        "section .a paddr=0x1010\n"
        "  bytes 01 02 03 04\n"
        "section .b paddr=0x2000\n"
        "  bytes 05 06 07 08\n"
        "section .c paddr=0x2020\n"
        "  bytes 09 0A 0B 0C\n"
        "symbol _start 0x1010\n";
    RunResult r = convert_with_commands(description,
                                        "-i\n"
                                        "-map app.map\n"
                                        "app.out\n"
                                        "ROMS\n"
                                        "{\n"
                                        "  PAGE 0:\n"
                                        "  low:  origin = 0x1000, length = 0x100, memwidth = 16,\n"
                                        "        width = 8, files = {lo0.hex lo1.hex}\n"
                                        "  high: origin = 0x2000, length = 0x100, memwidth = 16,\n"
                                        "        width = 8, files = {hi0.hex hi1.hex}\n"
                                        "}\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(map_text(),
              intel_header() + TITLE_LINE +
                  block_head("00001000..000010ff  Page=0  Memory Width=16  ROM Width=8  \"low\"") +
                  "   OUTPUT FILES: lo0.hex [b0..b7]\n"
                  "                 lo1.hex [b8..b15]\n"
                  "\n   CONTENTS: 00001010..00001013   .a\n" +
                  block_head("00002000..000020ff  Page=0  Memory Width=16  ROM Width=8  \"high\"") +
                  "   OUTPUT FILES: hi0.hex [b0..b7]\n"
                  "                 hi1.hex [b8..b15]\n"
                  "\n   CONTENTS: 00002000..00002003   .b\n"
                  "             00002020..00002023   .c\n");
}

TEST_F(MapRun, ImageModeShowsFillBeforeBetweenAndAfter) {
    // The second range receives nothing: in image mode it still has its
    // files (full of fill) and lists them, and nothing after them.
    const char* description =
        "section .a paddr=0x10\n"
        "  fill 16 0xAA\n"
        "section .b paddr=0x40\n"
        "  fill 8 0xBB\n"
        "symbol _start 0x10\n";
    RunResult r = convert_with_commands(description,
                                        "-i -image -map app.map app.out\n"
                                        "ROMS {\n"
                                        "  rom:   origin = 0x0, length = 0x100, fill = 0x12345678\n"
                                        "  spare: origin = 0x100, length = 0x10\n"
                                        "}\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(map_text(),
              intel_header() + TITLE_LINE +
                  block_head("00000000..000000ff  Page=0  Memory Width=32  ROM Width=8  \"rom\"") +
                  "   OUTPUT FILES: app.i00 [b0..b7]\n"
                  "                 app.i01 [b8..b15]\n"
                  "                 app.i02 [b16..b23]\n"
                  "                 app.i03 [b24..b31]\n"
                  "\n   CONTENTS: 00000000..0000000f   FILL = 12345678\n"
                  "             00000010..0000001f   .a\n"
                  "             00000020..0000003f   FILL = 12345678\n"
                  "             00000040..00000047   .b\n"
                  "             00000048..000000ff   FILL = 12345678\n" +
                  block_head("00000100..0000010f  Page=0  Memory Width=32  ROM Width=8  \"spare\"") +
                  "   OUTPUT FILES: app.i10 [b0..b7]\n"
                  "                 app.i11 [b8..b15]\n"
                  "                 app.i12 [b16..b23]\n"
                  "                 app.i13 [b24..b31]\n");
}

TEST_F(MapRun, BootSectionCutByItsRangeContinuesInTheNext) {
    // r1 holds the entry point, size, destination and 4 data bytes
    // (0x1000..0x100F); 0x1010..0x101F is no range's, so 16 data bytes are
    // dropped there; the last 20 land at 0x1020..0x1033 in r2. The table
    // address only counts the 24 bytes written, so the terminator falls at
    // 0x1024, behind r2's next address, and is dropped without a second
    // warning for the same entry.
    const char* description =
        "entry 0x2000\n"
        "section .text paddr=0x2000\n"
        "  fill 40 0xEE\n"
        "symbol _start 0x2000\n";
    RunResult r = convert_with_commands(description,
                                        "-i -boot -bootorg 0x1000 -map app.map app.out\n"
                                        "ROMS {\n"
                                        "  r1: origin = 0x1000, length = 0x10\n"
                                        "  r2: origin = 0x1020, length = 0x100\n"
                                        "}\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ">> WARNING: boot table falls in unconfigured memory at 01010h\n");
    EXPECT_EQ(map_text(),
              intel_header() +
                  "\nBOOT LOADER PARAMETERS\n"
                  "   Table Address: 0x1000, PAGE 0\n"
                  "   Entry Point  : 0x2000\n" +
                  TITLE_LINE +
                  block_head("00001000..0000100f  Page=0  Memory Width=32  ROM Width=8  \"r1\"") +
                  "   OUTPUT FILES: app.i00 [b0..b7]\n"
                  "                 app.i01 [b8..b15]\n"
                  "                 app.i02 [b16..b23]\n"
                  "                 app.i03 [b24..b31]\n"
                  "\n   CONTENTS: 00001000..0000100f   BOOT TABLE\n"
                  "                            .text : btad=00001000  dest=00002000 size=00000028\n" +
                  block_head("00001020..0000111f  Page=0  Memory Width=32  ROM Width=8  \"r2\"") +
                  "   OUTPUT FILES: app.i10 [b0..b7]\n"
                  "                 app.i11 [b8..b15]\n"
                  "                 app.i12 [b16..b23]\n"
                  "                 app.i13 [b24..b31]\n"
                  "\n   CONTENTS: 00001000..00001033   BOOT TABLE (INCOMPLETE)\n"
                  "                            .text : (continued)\n");
}

TEST_F(MapRun, BootMarkOnAMissingSectionGivesNoBootParameters) {
    RunResult r = convert_with_commands(TWO_SECTIONS,
                                        "-i -map app.map app.out\n"
                                        "SECTIONS { .text, .data, .extra: boot }\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ">> WARNING: section .extra not found in app.out\n");
    EXPECT_EQ(map_text(),
              intel_header() + TITLE_LINE +
                  block_head("00000000..ffffffff  Page=0  Memory Width=32  ROM Width=8") +
                  INTEL_FILES +
                  "\n   CONTENTS: 00002000..00002007   .text\n"
                  "             00003000..00003003   .data\n");
}
