// End to end, Intel format: the typical run a new user makes, and the
// extended linear address records around 64 KB boundaries.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

class E2eIntel : public ::testing::Test {
protected:
    TempDir dir;
};

}  // namespace

// coffhex -i -memwidth 32 -romwidth 8 app: four files, one byte lane each,
// least significant byte of every little-endian word in app.i0.
TEST_F(E2eIntel, TypicalRunWritesFourByteLanes) {
    // .text: 136 bytes 00..87 at 0 (34 memory words); .data: the words
    // 0xDEADBEEF and 0x0BADF00D at 0x200; .bss has no data and is not
    // converted.
    write_coff(dir.file("app.out"),
               "section .text paddr=0\n" + bytes_lines(counting_bytes(136)) +
                   "section .data paddr=0x200 flags=0x40\n"
                   "  bytes EF BE AD DE 0D F0 AD 0B\n"
                   "section .bss paddr=0x300 size=0x40 flags=0x80 nodata\n");
    RunResult r = run_coffhex({"-i", "-memwidth", "32", "-romwidth", "8", "app"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to Intel format...\n"
              "   \"app.out\"   ==> .text\n"
              "   \"app.out\"   ==> .data\n");
    EXPECT_EQ(list_files(dir.path()),
              (std::vector<std::string>{"app.i0", "app.i1", "app.i2", "app.i3", "app.out"}));

    // File k holds byte k of every word: .text bytes k, k+4, ..., k+132.
    // A record holds 32 lane bytes (words 0..31); the next record starts at
    // the memory address of word 32, 0x80. Its checksum in app.i0:
    // 02+00+80+00+80+84 = 0x186, two's complement of 0x86 is 0x7A. Each
    // section starts a record of its own (.data at 0x200: EF 0D in app.i0,
    // 02+02+00+00+EF+0D = 0x100, checksum 00).
    EXPECT_EQ(read_text(dir.file("app.i0")),
              ":200000000004080C1014181C2024282C3034383C4044484C5054585C6064686C7074787C20\n"
              ":0200800080847A\n"
              ":02020000EF0D00\n"
              ":00000001FF\n");
    EXPECT_EQ(read_text(dir.file("app.i1")),
              ":200000000105090D1115191D2125292D3135393D4145494D5155595D6165696D7175797D00\n"
              ":02008000818578\n"
              ":02020000BEF04E\n"
              ":00000001FF\n");
    EXPECT_EQ(read_text(dir.file("app.i2")),
              ":2000000002060A0E12161A1E22262A2E32363A3E42464A4E52565A5E62666A6E72767A7EE0\n"
              ":02008000828676\n"
              ":02020000ADADA2\n"
              ":00000001FF\n");
    // The most significant bytes: 0xDE of 0xDEADBEEF, 0x0B of 0x0BADF00D.
    EXPECT_EQ(read_text(dir.file("app.i3")),
              ":2000000003070B0F13171B1F23272B2F33373B3F43474B4F53575B5F63676B6F73777B7FC0\n"
              ":02008000838774\n"
              ":02020000DE0B13\n"
              ":00000001FF\n");
}

TEST_F(E2eIntel, QuietRunWritesTheSameFilesAndNothingOnStandardOutput) {
    write_coff(dir.file("app.out"), "section .text paddr=0\n  bytes 01 02 03 04\n");
    RunResult r = run_coffhex({"-q", "-i", "app"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    // Default widths: 32-bit memory from 8-bit ROMs.
    EXPECT_EQ(read_text(dir.file("app.i0")), intel_data(0, {0x01}) + ":00000001FF\n");
    EXPECT_EQ(read_text(dir.file("app.i3")), intel_data(0, {0x04}) + ":00000001FF\n");
}

TEST_F(E2eIntel, DefaultFormatIsExtendedTektronixWithFourFiles) {
    write_coff(dir.file("app.out"), "section .text paddr=0x100\n  bytes 12 34 56 78\n");
    RunResult r = run_coffhex({"app"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Translating app.out to Extended Tektronix format...\n"
              "   \"app.out\"   ==> .text\n");
    EXPECT_EQ(list_files(dir.path()),
              (std::vector<std::string>{"app.out", "app.x0", "app.x1", "app.x2", "app.x3"}));
    // app.x0 holds 0x12, the least significant byte of the word 0x78563412:
    // the example record of the format.
    EXPECT_EQ(read_text(dir.file("app.x0")), "%1061380000010012\n%0E81E800000000\n");
    // 0x78: 1+0+6+8+1+7+8 = 31 = 0x1F.
    EXPECT_EQ(read_text(dir.file("app.x3")), "%1061F80000010078\n%0E81E800000000\n");
}

// The first data at 0x12340: the stream's last address starts at 0, so an
// extended linear address record for 0x0001 comes first (02+00+00+04+00+01 =
// 7, checksum 0xF9) and the data record carries the low 16 bits, 2340.
TEST_F(E2eIntel, ExtendedAddressRecordBeforeDataAt0x12340) {
    write_coff(dir.file("app.out"), "section .text paddr=0x12340\n  bytes 01 02 03 04\n");
    RunResult r = run_coffhex({"-q", "-i", "-memwidth", "8", "-romwidth", "8", "app"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // 04+23+40+00+01+02+03+04 = 0x71, checksum 0x8F.
    EXPECT_EQ(read_text(dir.file("app.i0")),
              ":020000040001F9\n"
              ":04234000010203048F\n"
              ":00000001FF\n");
}

// Data from 0xFFF0 across 0x10000: the record ends with the byte at 0xFFFF,
// then the extended address record and a new record at 0000.
TEST_F(E2eIntel, DataCrossing64KStartsANewRecordAfterAnExtendedAddress) {
    const std::vector<uint8_t> data = test_bytes(40, 7);
    write_coff(dir.file("app.out"), "section .text paddr=0xFFF0\n" + bytes_lines(data));
    RunResult r = run_coffhex({"-q", "-i", "-memwidth", "8", "app"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<uint8_t> low(data.begin(), data.begin() + 16);
    const std::vector<uint8_t> high(data.begin() + 16, data.end());
    EXPECT_EQ(read_text(dir.file("app.i0")),
              intel_data(0xFFF0, low) + ":020000040001F9\n" + intel_data(0x0000, high) +
                  ":00000001FF\n");
}

TEST_F(E2eIntel, DataBelow64KHasNoExtendedAddressRecord) {
    const std::vector<uint8_t> data = test_bytes(70, 3);
    write_coff(dir.file("app.out"), "section .text paddr=0xFF00\n" + bytes_lines(data));
    RunResult r = run_coffhex({"-q", "-i", "-memwidth", "8", "-o", "rom.hex", "app"}, dir.path());
    EXPECT_EQ(r.status, 0);
    // 70 bytes: records of 32, 32 and 6.
    EXPECT_EQ(read_text(dir.file("rom.hex")),
              intel_data(0xFF00, std::vector<uint8_t>(data.begin(), data.begin() + 32)) +
                  intel_data(0xFF20, std::vector<uint8_t>(data.begin() + 32, data.begin() + 64)) +
                  intel_data(0xFF40, std::vector<uint8_t>(data.begin() + 64, data.end())) +
                  ":00000001FF\n");
}

// A 32-bit memory from 8-bit ROMs crossing 0x10000: every file gets its
// extended address record at the same place.
TEST_F(E2eIntel, EveryLaneFileCrosses64KTogether) {
    const std::vector<uint8_t> data = counting_bytes(16, 0x40);  // words at 0xFFF8 .. 0x10004
    write_coff(dir.file("app.out"), "section .text paddr=0xFFF8\n" + bytes_lines(data));
    RunResult r = run_coffhex({"-q", "-i", "app"}, dir.path());
    EXPECT_EQ(r.status, 0);
    for (int k = 0; k < 4; ++k) {
        const uint8_t b = static_cast<uint8_t>(0x40 + k);
        // Words at 0xFFF8 and 0xFFFC stay in the first record; the word at
        // 0x10000 has other upper address bits and starts a new record.
        EXPECT_EQ(read_text(dir.file("app.i" + std::to_string(k))),
                  intel_data(0xFFF8, {b, static_cast<uint8_t>(b + 4)}) + ":020000040001F9\n" +
                      intel_data(0x0000, {static_cast<uint8_t>(b + 8), static_cast<uint8_t>(b + 12)}) +
                      ":00000001FF\n")
            << "file " << k;
    }
}
