// End to end, RAM-model .cinit records that stand in the file in no
// particular address order: every record reaches the image at the address
// of the variables it initializes, among the sections, in every range.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

// .text at 0 (16 bytes), .const at 0x3000 (8 bytes), uninitialized .bss at
// 0x2000 and .far at 0x4000, and a .cinit whose records are, in this order:
// 4 bytes for 0x2010, 4 for 0x2000, 6 for 0x4000, 2 for 0x2008.
const char* const APP =
    "section .text paddr=0x0\n"
    "  bytes 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"
    "section .const paddr=0x3000\n"
    "  bytes C0 C1 C2 C3 C4 C5 C6 C7\n"
    "section .bss paddr=0x2000 size=0x20 nodata\n"
    "section .far paddr=0x4000 size=0x10 nodata\n"
    "section .cinit paddr=0x5000 flags=0x10\n"
    "  record 0x2010 A0 A1 A2 A3\n"
    "  record 0x2000 B0 B1 B2 B3\n"
    "  record 0x4000 D0 D1 D2 D3 D4 D5\n"
    "  record 0x2008 E0 E1\n";

class E2eCinitOrder : public ::testing::Test {
protected:
    TempDir dir;

    void write_app(const std::string& extra_records = "") {
        write_coff(dir.file("app.out"), std::string(APP) + extra_records + "  end-records\n");
    }
    // The CONTENTS lines of the map, from "CONTENTS:" to the block's end.
    std::string contents(const std::string& map) {
        const std::string text = read_text(dir.file(map));
        const size_t at = text.find("   CONTENTS: ");
        return at == std::string::npos ? "" : text.substr(at);
    }
};

}  // namespace

TEST_F(E2eCinitOrder, EveryRecordLandsAtItsAddressInOneByteLane) {
    write_app();
    RunResult r = run_coffhex({"app.out", "-i", "-memwidth", "8", "-romwidth", "8", "-o", "app.hex",
                               "-map", "app.map"},
                              dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to Intel format...\n"
              "   \"app.out\"   ==> .text\n"
              "   \"app.out\"   ==> .const\n");
    // The records in address order among the sections; each one after a
    // gap starts a record of its own. :04200000B0B1B2B3: 04+20+B0+B1+B2+B3
    // = 0x2EA, checksum 0x100 - 0xEA = 0x16.
    EXPECT_EQ(read_text(dir.file("app.hex")),
              intel_data(0x0000, {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                  0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}) +
                  ":04200000B0B1B2B316\n" + intel_data(0x2008, {0xE0, 0xE1}) +
                  intel_data(0x2010, {0xA0, 0xA1, 0xA2, 0xA3}) +
                  intel_data(0x3000, {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7}) +
                  intel_data(0x4000, {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5}) + ":00000001FF\n");
    // The map shows every stretch the records took.
    EXPECT_EQ(contents("app.map"),
              "   CONTENTS: 00000000..0000000f   .text\n"
              "             00002000..00002003   .cinit\n"
              "             00002008..00002009   .cinit\n"
              "             00002010..00002013   .cinit\n"
              "             00003000..00003007   .const\n"
              "             00004000..00004005   .cinit\n");
}

TEST_F(E2eCinitOrder, FourLanesOfAThirtyTwoBitMemory) {
    write_app();
    RunResult r = run_coffhex({"app.out", "-i", "-memwidth", "32", "-romwidth", "8"}, dir.path());
    EXPECT_EQ(r.status, 0);
    // The records of 2 and 6 bytes end inside a memory word: each is
    // padded with fill (0) to a whole word, as a short section is.
    EXPECT_EQ(r.err,
              ">> WARNING: section '.cinit' was padded by 2 bytes to a size of 4 to satisfy the\n"
              "            specified memory width of 4\n"
              ">> WARNING: section '.cinit' was padded by 2 bytes to a size of 8 to satisfy the\n"
              "            specified memory width of 4\n");
    const std::vector<e2e::Run> runs = {
        {0x0000, {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
                  0x0D, 0x0E, 0x0F}},
        {0x2000, {0xB0, 0xB1, 0xB2, 0xB3}},
        {0x2008, {0xE0, 0xE1, 0x00, 0x00}},
        {0x2010, {0xA0, 0xA1, 0xA2, 0xA3}},
        {0x3000, {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7}},
        {0x4000, {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0x00, 0x00}},
    };
    Layout layout;  // 32-bit memory, 8-bit ROMs, little-endian data
    for (int file = 0; file < 4; ++file)
        EXPECT_EQ(read_text(dir.file("app.i" + std::to_string(file))),
                  intel_records(file_pieces(runs, layout, file)) + ":00000001FF\n")
            << "app.i" << file;
}

// Two ranges with a hole between them: records land in both; a record in
// the hole and one beyond the last range are each refused with a warning
// of their own, and a record onto .const is refused naming it while the
// section's bytes stay.
TEST_F(E2eCinitOrder, RecordsLandInEveryRangeAndEachRefusalIsReported) {
    write_app(
        "  record 0x2800 F0 F1\n"
        "  record 0x3004 F4 F5 F6 F7\n"
        "  record 0x9000 F8\n");
    write_text(dir.file("app.cmd"),
               "app.out -i -memwidth 8 -romwidth 8 -map app.map\n"
               "ROMS\n"
               "{\n"
               "    low:  origin = 0x0000, length = 0x2100, files = { low.hex }\n"
               "    high: origin = 0x3000, length = 0x2000, files = { high.hex }\n"
               "}\n");
    RunResult r = run_coffhex({"app.cmd"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.cinit' at 02800h falls in unconfigured memory (skipped)\n"
              ">> WARNING: section '.cinit' at 03004h overlaps .const (.cinit incomplete or\n"
              "            skipped)\n"
              ">> WARNING: section '.cinit' at 09000h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(read_text(dir.file("low.hex")),
              intel_data(0x0000, {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                  0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}) +
                  intel_data(0x2000, {0xB0, 0xB1, 0xB2, 0xB3}) + intel_data(0x2008, {0xE0, 0xE1}) +
                  intel_data(0x2010, {0xA0, 0xA1, 0xA2, 0xA3}) + ":00000001FF\n");
    EXPECT_EQ(read_text(dir.file("high.hex")),
              intel_data(0x3000, {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7}) +
                  intel_data(0x4000, {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5}) + ":00000001FF\n");
    // The second block (the first is low's) shows the records placed there,
    // the entry marked incomplete.
    const std::string map = contents("app.map");
    EXPECT_NE(map.find("   CONTENTS: 00003000..00003007   .const\n"
                       "             00004000..00004005   .cinit (INCOMPLETE)\n"),
              std::string::npos)
        << map;
}
