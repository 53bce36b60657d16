// Intel, Motorola-S and Extended Tektronix files, record by record.
#include "formats_fixture.h"

namespace formats_test {
namespace {

// Sum of the byte pairs of a record from `first` to its end, mod 256: 0 for
// an Intel record with a correct checksum, 0xFF for a Motorola one.
uint32_t pair_sum(const std::string& line, size_t first) {
    uint32_t sum = 0;
    for (size_t i = first; i + 1 < line.size(); i += 2) sum += hex_value(line, i, 2);
    return sum & 0xFF;
}

using IntelTest = WriterTest;

TEST_F(IntelTest, ExtendedAddressRecordsAndSegmentCrossings) {
    open(Format::Intel);
    write(0x12340, {0x01, 0x02, 0x03});
    // The last address starts at 0: extended address 0001 first (02+04+01
    // -> F9); 03+23+40+00+01+02+03 = 0x6C -> 94.
    EXPECT_EQ(finish(), ":020000040001F9\n:0323400001020394\n:00000001FF\n");

    open(Format::Intel);
    write(0xFFF0, counting(32));
    // 10+FF+F0 + (0+..+15 = 0x78) = 0x277 -> 89; the record ends at 0xFFFF.
    // 10 + (16+..+31 = 0x178) = 0x188 -> 78.
    EXPECT_EQ(finish(),
              ":10FFF000000102030405060708090A0B0C0D0E0F89\n:020000040001F9\n"
              ":10000000101112131415161718191A1B1C1D1E1F78\n:00000001FF\n");

    open(Format::Intel);
    write(0x12340, {0xAA});
    write(0x12400, {0xBB});  // same segment: a new data record only
    write(0x100, {0xCC});    // back to segment 0
    // 01+23+40+AA = 0x10E -> F2; 01+24+BB = 0xE0 -> 20; 02+04 -> FA;
    // 01+01+CC = 0xCE -> 32.
    EXPECT_EQ(finish(),
              ":020000040001F9\n:01234000AAF2\n:01240000BB20\n:020000040000FA\n:01010000CC32\n"
              ":00000001FF\n");
}

TEST_F(IntelTest, BelowSegmentOneNoExtendedAddressAnd32BytesPerRecord) {
    open(Format::Intel);
    write(0x100, counting(40));
    // 20+01 + (0+..+31 = 0x1F0) = 0x211 -> EF; 08+01+20 + 0x11C = 0x145 -> BB.
    EXPECT_EQ(finish(),
              ":20010000" + hex_of(counting(32)) + "EF\n:08012000" + hex_of(counting(8, 32)) +
                  "BB\n:00000001FF\n");
    for (int rom : {2, 4, 8}) {
        SCOPED_TRACE(rom);
        open(Format::Intel, rom);
        const int step = rom < 4 ? 4 : rom;  // narrow lanes of a 4-byte memory word
        write(0, counting(64), rom, step);
        std::vector<std::string> lines = lines_of(finish());
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], ":20000000" + hex_of(counting(32)) + lines[0].substr(73));
        EXPECT_EQ(lines[1].substr(0, 7), ":20" + hex_digits(static_cast<uint32_t>(32 / rom * step), 4));
        for (size_t i = 0; i < 2; ++i) EXPECT_EQ(pair_sum(lines[i], 1), 0u) << lines[i];
    }
}

TEST_F(IntelTest, LanePiecesSplitAtSegmentsAndAt128Bytes) {
    open(Format::Intel, 4);
    write(0xFFFE, {0x11, 0x22, 0x33, 0x44}, 4);
    // 02+FF+FE+11+22 = 0x232 -> CE; 02+33+44 = 0x79 -> 87.
    EXPECT_EQ(finish(), ":02FFFE001122CE\n:020000040001F9\n:02000000334487\n:00000001FF\n");

    open(Format::Intel, 512);
    write(0x1000, counting(1024), 512);
    std::vector<std::string> lines = lines_of(finish());
    ASSERT_EQ(lines.size(), 9u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(lines[i].substr(0, 9), ":80" + hex_digits(0x1000 + 128 * static_cast<uint32_t>(i), 4) + "00");
        EXPECT_EQ(lines[i].substr(9, 256), hex_of(counting(1024), 128 * i, 128));
        EXPECT_EQ(pair_sum(lines[i], 1), 0u);
    }
}

using MotorolaTest = WriterTest;

TEST_F(MotorolaTest, VariantsByFormatRow) {
    const struct {
        Format format;
        uint32_t address;
        const char* expected;
    } rows[] = {
        // 06+10+00+01+02+03 = 0x1C -> E3.
        {Format::MotorolaS1, 0x1000, "S1061000010203E3\nS9030000FC\n"},
        // LL = 3+3+1; 07+00+12+34+01+02+03 = 0x53 -> AC.
        {Format::MotorolaS2, 0x1234, "S207001234010203AC\nS804000000FB\n"},
        // LL = 4+3+1; 08+00+00+12+34+01+02+03 = 0x54 -> AB.
        {Format::MotorolaS3, 0x1234, "S30800001234010203AB\nS70500000000FA\n"},
        {Format::Motorola, 0x1234, "S30800001234010203AB\nS70500000000FA\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.format));
        open(row.format);  // every writer of the run its own variant
        write(row.address, {0x01, 0x02, 0x03});
        EXPECT_EQ(finish(), std::string("S00600004844521B\n") + row.expected);
    }
}

TEST_F(MotorolaTest, DataBytesPerRecordByVariantAndLaneWidth) {
    const struct {
        Format format;
        int address_bytes, rom, expected;
    } rows[] = {
        {Format::MotorolaS1, 2, 1, 31}, {Format::MotorolaS2, 3, 1, 30}, {Format::MotorolaS3, 4, 1, 29},
        {Format::MotorolaS1, 2, 2, 32}, {Format::MotorolaS2, 3, 2, 30}, {Format::MotorolaS3, 4, 2, 30},
        {Format::MotorolaS1, 2, 4, 32}, {Format::MotorolaS2, 3, 4, 32}, {Format::MotorolaS3, 4, 4, 32},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(row.format) << " rom " << row.rom);
        open(row.format, row.rom);
        write(0, counting(96), row.rom, 4);
        std::vector<std::string> lines = lines_of(finish());
        ASSERT_GE(lines.size(), 4u);
        const uint32_t ll = hex_value(lines[1], 2, 2);
        EXPECT_EQ(static_cast<int>(ll) - row.address_bytes - 1, row.expected);
        EXPECT_EQ(lines[1].size(), 4u + 2u * ll);
        EXPECT_EQ(pair_sum(lines[1], 2), 0xFFu);
        // The second record starts at the address of the first piece it holds.
        EXPECT_EQ(hex_value(lines[2], 4, 2u * static_cast<size_t>(row.address_bytes)),
                  static_cast<uint32_t>(row.expected / row.rom * 4));
    }
}

TEST_F(MotorolaTest, S1TruncatesHighAddressesWarningOncePerSection) {
    open(Format::MotorolaS1);
    section_ = 0;
    write(0x10000, counting(40));  // two records, one warning
    section_ = 1;
    write(0x20000, {0x55});  // another section: warned again
    write(0x20100, {0x66});  // same section: not again
    section_ = -1;           // fill, boot table: never warned
    write(0x30000, {0x77});
    // 31 bytes at 0x10000 cut to 0000, 9 more at 0x1001F cut to 001F;
    // 04+00+00+55 = 0x59 -> A6; 04+01+00+66 = 0x6B -> 94; 04+77 -> 84.
    std::vector<std::string> lines = lines_of(finish());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1].substr(0, 8), "S1220000");
    EXPECT_EQ(lines[2].substr(0, 8), "S10C001F");
    EXPECT_EQ(lines[3] + lines[4] + lines[5], "S104000055A6S10401006694S10400007784");

    // Another file of the run: the section warned for last is not warned
    // again, another one is.
    open(Format::MotorolaS1);
    section_ = 1;
    write(0x40000, {0x01});
    section_ = 0;
    write(0x50000, {0x02});
    EXPECT_EQ(messages(),
              ">> WARNING: address 0x00010000 exceeds 4 digits - truncated (use -m or -m2)\n"
              ">> WARNING: address 0x00020000 exceeds 4 digits - truncated (use -m or -m2)\n"
              ">> WARNING: address 0x00050000 exceeds 4 digits - truncated (use -m or -m2)\n");
}

TEST_F(MotorolaTest, S1AndS2RecordsStayInTheRangeOfTheirAddressField) {
    section_ = 0;
    open(Format::MotorolaS1);
    write(0xFFFE, {0x01, 0x02, 0x03, 0x04});
    // 05+FF+FE+01+02 = 0x205 -> FA; 05+03+04 = 0x0C -> F3.
    EXPECT_EQ(finish(), "S00600004844521B\nS105FFFE0102FA\nS10500000304F3\nS9030000FC\n");
    section_ = 1;
    open(Format::MotorolaS2);
    write(0x01234567, {0x89});
    // 05+23+45+67+89 = 0x15D -> A2.
    EXPECT_EQ(finish(), "S00600004844521B\nS20523456789A2\nS804000000FB\n");
    EXPECT_EQ(messages(),
              ">> WARNING: address 0x00010000 exceeds 4 digits - truncated (use -m or -m2)\n"
              ">> WARNING: address 0x01234567 exceeds 6 digits - truncated (use -m or -m3)\n");
}

using TektronixTest = WriterTest;

TEST_F(TektronixTest, RecordsAndTermination) {
    open(Format::Tektronix);
    write(0x100, {0x12});
    // Length 0x10, digit sum 1+6+8+1+1+2 = 0x13; termination 0+E+8+8 = 0x1E.
    EXPECT_EQ(finish(), "%1061380000010012\n%0E81E800000000\n");

    open(Format::Tektronix, 1, 20, 0x12345678);
    write(0, counting(40));
    // Length 14 + 64 = 0x4E: 4+E + 6 + 8 + data (high digits 16 x 1, low
    // digits 2 x 120) = 0x120 -> 20. Second: length 0x1E, 1+E+6+8 + address
    // 2 + data (8 x 2 + 0+..+7) = 75 = 0x4B. Entry point: 0x1E + 36 = 0x42.
    EXPECT_EQ(finish(), "%4E620800000000" + hex_of(counting(32)) + "\n%1E64B8000000202021222324252627\n"
                        "%0E842812345678\n");
}

TEST_F(TektronixTest, ThirtyTwoBytesPerRecordAndWideLanesInParts) {
    for (int rom : {1, 2, 4, 8}) {
        SCOPED_TRACE(rom);
        open(Format::Tektronix, rom);
        write(0, counting(64), rom);
        std::vector<std::string> lines = lines_of(finish());
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].substr(0, 3) + lines[1].substr(0, 3) + lines[1].substr(7, 8),
                  "%4E%4E00000020");
    }
    open(Format::Tektronix, 256);
    write(0, counting(256), 256);
    std::vector<std::string> lines = lines_of(finish());
    ASSERT_EQ(lines.size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(hex_value(lines[i], 1, 2), 14u + 128u);
        EXPECT_EQ(hex_value(lines[i], 7, 8), 64u * i);
        uint32_t sum = 0;
        for (size_t k = 1; k < lines[i].size(); ++k)
            if (k != 4 && k != 5) sum += hex_value(lines[i], k, 1);
        EXPECT_EQ(hex_value(lines[i], 4, 2), sum & 0xFF);
    }
}

}  // namespace
}  // namespace formats_test
