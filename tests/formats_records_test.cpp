// Intel, Motorola-S and Extended Tektronix records, line by line.
#include "formats_fixture.h"

#include <string>
#include <vector>

namespace formats_test {
namespace {

using coffhex::FMT_INTEL;
using coffhex::FMT_MOTOROLA;
using coffhex::FMT_MOTOROLA_S1;
using coffhex::FMT_MOTOROLA_S2;
using coffhex::FMT_MOTOROLA_S3;
using coffhex::FMT_TEKTRONIX;

// Sum of the byte pairs of a record from `first` to its end, mod 256: 0 for
// an Intel record with a correct checksum, 0xFF for a Motorola one.
uint32_t pair_sum(const std::string& line, size_t first) {
    uint32_t sum = 0;
    for (size_t i = first; i + 1 < line.size(); i += 2) sum += hex_value(line, i, 2);
    return sum & 0xFF;
}

// ---------------------------------------------------------------- Intel

using IntelTest = WriterTest;

TEST_F(IntelTest, FirstDataAbove64KStartsWithExtendedAddress) {
    open(FMT_INTEL);
    write(0x12340, {0x01, 0x02, 0x03});
    // The stream's last address starts at 0, so the upper 16 bits 0x0001
    // differ: extended address record first, checksum 0x100 - (02+04+01)
    // = F9. Data record: 03+23+40+00+01+02+03 = 0x6C, 0x100 - 0x6C = 0x94.
    EXPECT_EQ(finish(),
              ":020000040001F9\n"
              ":0323400001020394\n"
              ":00000001FF\n");
}

TEST_F(IntelTest, DataAcross64KBoundaryStartsNewSegment) {
    open(FMT_INTEL);
    write(0xFFF0, counting(32));
    // First record: 10+FF+F0+00 + (0+..+15 = 0x78) = 0x277 -> 0x100-0x77 = 89.
    // Second record: 10+00+00+00 + (16+..+31 = 0x178) = 0x188 -> 78.
    EXPECT_EQ(finish(),
              ":10FFF000000102030405060708090A0B0C0D0E0F89\n"
              ":020000040001F9\n"
              ":10000000101112131415161718191A1B1C1D1E1F78\n"
              ":00000001FF\n");
}

TEST_F(IntelTest, DataBelow64KHasNoExtendedAddressAnd32BytesPerRecord) {
    open(FMT_INTEL);
    write(0x100, counting(40));
    // 20+01+00+00 + (0+..+31 = 0x1F0) = 0x211 -> 0x100-0x11 = EF.
    // 08+01+20+00 + (32+..+39 = 0x11C) = 0x145 -> 0x100-0x45 = BB.
    EXPECT_EQ(finish(),
              ":20010000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FEF\n"
              ":080120002021222324252627BB\n"
              ":00000001FF\n");
}

TEST_F(IntelTest, ThirtyTwoDataBytesPerRecordForEveryLaneWidth) {
    for (int rom : {1, 2, 4, 8}) {
        SCOPED_TRACE(rom);
        SetUp();
        open(FMT_INTEL, rom);
        // Memory word 4 bytes wide for narrow lanes: one piece per word, the
        // address advancing by 4; for 8-byte lanes the address advances by 8.
        int step = rom < 4 ? 4 : rom;
        write(0, counting(64), rom, step);
        std::vector<std::string> lines = lines_of(finish());
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].substr(0, 9), ":20000000");
        // 32 bytes of data: pieces 0..32/rom-1, the second record at the
        // address of piece 32/rom.
        EXPECT_EQ(lines[1].substr(0, 3), ":20");
        EXPECT_EQ(hex_value(lines[1], 3, 4), static_cast<uint32_t>(32 / rom * step));
        EXPECT_EQ(lines[0].substr(9, 64), std::string(
                      "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"));
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(lines[static_cast<size_t>(i)].size(), 75u);
            EXPECT_EQ(pair_sum(lines[static_cast<size_t>(i)], 1), 0u);
        }
        EXPECT_EQ(lines[2], ":00000001FF");
        close_file();
    }
}

TEST_F(IntelTest, AddressJumpsEndRecordsAndSwitchSegments) {
    open(FMT_INTEL);
    write(0x12340, {0xAA});
    write(0x12400, {0xBB});  // same segment: new data record only
    write(0x100, {0xCC});    // back to segment 0: extended address 0000
    // 01+23+40+00+AA = 0x10E -> F2; 01+24+00+00+BB = 0xE0 -> 20;
    // extended 02+04+00+00 = 6 -> FA; 01+01+00+00+CC = 0xCE -> 32.
    EXPECT_EQ(finish(),
              ":020000040001F9\n"
              ":01234000AAF2\n"
              ":01240000BB20\n"
              ":020000040000FA\n"
              ":01010000CC32\n"
              ":00000001FF\n");
}

TEST_F(IntelTest, LanePieceAcross64KBoundaryIsSplit) {
    // A 4-byte lane piece at 0xFFFE (ROM wider than the memory, range not
    // aligned): no record may run past 0xFFFF.
    open(FMT_INTEL, 4);
    write(0xFFFE, {0x11, 0x22, 0x33, 0x44}, 4);
    // 02+FF+FE+00+11+22 = 0x232 -> CE; 02+00+00+00+33+44 = 0x79 -> 87.
    EXPECT_EQ(finish(),
              ":02FFFE001122CE\n"
              ":020000040001F9\n"
              ":02000000334487\n"
              ":00000001FF\n");
}

TEST_F(IntelTest, WideLanesNeverOverflowTheCountField) {
    // 512-byte lanes: a piece is put into records of at most 128 bytes each.
    open(FMT_INTEL, 512);
    std::vector<uint8_t> bytes = counting(1024);
    write(0x1000, bytes, 512);
    std::vector<std::string> lines = lines_of(finish());
    ASSERT_EQ(lines.size(), 9u);
    std::vector<uint8_t> seen;
    for (size_t i = 0; i < 8; ++i) {
        const std::string& line = lines[i];
        EXPECT_EQ(hex_value(line, 1, 2), 128u);
        EXPECT_EQ(hex_value(line, 3, 4), 0x1000u + 128u * i);
        EXPECT_EQ(pair_sum(line, 1), 0u);
        for (size_t k = 0; k < 128; ++k)
            seen.push_back(static_cast<uint8_t>(hex_value(line, 9 + 2 * k, 2)));
    }
    EXPECT_EQ(seen, bytes);
    EXPECT_EQ(lines[8], ":00000001FF");
}

// ---------------------------------------------------------------- Motorola-S

using MotorolaTest = WriterTest;

TEST_F(MotorolaTest, S1RecordsAndTerminator) {
    open(FMT_MOTOROLA_S1);
    write(0x1000, {0x01, 0x02, 0x03});
    // LL = 2 address + 3 data + 1 checksum = 06; 06+10+00+01+02+03 = 0x1C,
    // one's complement E3.
    EXPECT_EQ(finish(),
              "S00600004844521B\n"
              "S1061000010203E3\n"
              "S9030000FC\n");
}

TEST_F(MotorolaTest, S2RecordsAndTerminator) {
    open(FMT_MOTOROLA_S2);
    write(0x123456, {0xAA});
    // LL = 3+1+1 = 05; 05+12+34+56+AA = 0x14B, ~0x4B = B4.
    EXPECT_EQ(finish(),
              "S00600004844521B\n"
              "S205123456AAB4\n"
              "S804000000FB\n");
}

TEST_F(MotorolaTest, PlainMotorolaWritesS3LikeM3) {
    // LL = 4+1+1 = 06; 06+12+34+56+78+00 = 0x11A, ~0x1A = E5.
    const std::string expected =
        "S00600004844521B\n"
        "S3061234567800E5\n"
        "S70500000000FA\n";
    for (int format : {FMT_MOTOROLA, FMT_MOTOROLA_S3}) {
        SCOPED_TRACE(format);
        SetUp();
        open(format);
        write(0x12345678, {0x00});
        EXPECT_EQ(finish(), expected);
        close_file();
    }
}

TEST_F(MotorolaTest, DataBytesPerRecordByVariantAndLaneWidth) {
    struct Row {
        int format;
        int address_bytes;
        int rom;
        int expected;
    };
    const Row rows[] = {
        {FMT_MOTOROLA_S1, 2, 1, 31}, {FMT_MOTOROLA_S2, 3, 1, 30}, {FMT_MOTOROLA_S3, 4, 1, 29},
        {FMT_MOTOROLA_S1, 2, 2, 32}, {FMT_MOTOROLA_S2, 3, 2, 30}, {FMT_MOTOROLA_S3, 4, 2, 30},
        {FMT_MOTOROLA_S1, 2, 4, 32}, {FMT_MOTOROLA_S2, 3, 4, 32}, {FMT_MOTOROLA_S3, 4, 4, 32},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "format " << row.format << " rom " << row.rom);
        SetUp();  // the variant is chosen anew
        open(row.format, row.rom);
        write(0, counting(96), row.rom, 4);
        std::vector<std::string> lines = lines_of(finish());
        ASSERT_GE(lines.size(), 4u);
        const std::string& first = lines[1];
        uint32_t ll = hex_value(first, 2, 2);
        EXPECT_EQ(static_cast<int>(ll) - row.address_bytes - 1, row.expected);
        EXPECT_EQ(first.size(), 4u + 2u * ll);
        EXPECT_EQ(pair_sum(first, 2), 0xFFu);
        // The second record starts at the address of the first piece it holds.
        EXPECT_EQ(hex_value(lines[2], 4, 2u * static_cast<size_t>(row.address_bytes)),
                  static_cast<uint32_t>(row.expected / row.rom * 4));
        close_file();
    }
}

TEST_F(MotorolaTest, S1TruncatesHighAddressesWarningOncePerSection) {
    int section_a = 0, section_b = 0;
    open(FMT_MOTOROLA_S1);
    testing::internal::CaptureStderr();
    env_.section = &section_a;
    write(0x10000, counting(40));          // two records, one warning
    env_.section = &section_b;
    write(0x20000, {0x55});                // another section: warned again
    write(0x20100, {0x66});                // same section: not again
    env_.section = nullptr;                // fill, boot table: never warned
    write(0x30000, {0x77});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              ">> WARNING: address 0x00010000 exceeds 4 digits - truncated (use -m or -m2)\n"
              ">> WARNING: address 0x00020000 exceeds 4 digits - truncated (use -m or -m2)\n");
    std::vector<std::string> lines = lines_of(finish());
    ASSERT_EQ(lines.size(), 7u);
    // 31 bytes at 0x10000 cut to 0000, 9 more at 0x1001F cut to 001F.
    EXPECT_EQ(lines[1].substr(0, 8), "S1220000");
    EXPECT_EQ(lines[2].substr(0, 8), "S10C001F");
    // 04+00+00+55 = 0x59 -> A6; 04+01+00+66 = 0x6B -> 94; 04+00+00+77 -> 84.
    EXPECT_EQ(lines[3], "S104000055A6");
    EXPECT_EQ(lines[4], "S104010066" "94");
    EXPECT_EQ(lines[5], "S104000077" "84");
    EXPECT_EQ(lines[6], "S9030000FC");
}

TEST_F(MotorolaTest, S1RecordDoesNotRunPast16BitAddresses) {
    int section = 0;
    open(FMT_MOTOROLA_S1);
    env_.section = &section;
    testing::internal::CaptureStderr();
    write(0xFFFE, {0x01, 0x02, 0x03, 0x04});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, ">> WARNING: address 0x00010000 exceeds 4 digits - truncated (use -m or -m2)\n");
    // LL = 2+2+1 = 05: 05+FF+FE+01+02 = 0x205 -> ~0x05 = FA;
    // 05+00+00+03+04 = 0x0C -> ~0x0C = F3.
    EXPECT_EQ(finish(),
              "S00600004844521B\n"
              "S105FFFE0102FA\n"
              "S10500000304F3\n"
              "S9030000FC\n");
}

TEST_F(MotorolaTest, S2TruncatesAddressesAbove24Bits) {
    int section = 0;
    open(FMT_MOTOROLA_S2);
    env_.section = &section;
    testing::internal::CaptureStderr();
    write(0x01234567, {0x89});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, ">> WARNING: address 0x01234567 exceeds 6 digits - truncated (use -m or -m3)\n");
    // 05+23+45+67+89 = 0x15D -> ~0x5D = A2.
    EXPECT_EQ(finish(),
              "S00600004844521B\n"
              "S20523456789A2\n"
              "S804000000FB\n");
}

TEST_F(MotorolaTest, VariantIsFixedByTheFirstCallOfTheRun) {
    open(FMT_MOTOROLA_S1);
    write(0x10, {0xEE});
    finish();
    // A later file of the same run keeps S1 whatever the format number says.
    open(FMT_MOTOROLA_S3);
    write(0x10, {0xEE});
    // 04+00+10+EE = 0x102 -> ~0x02 = FD.
    EXPECT_EQ(finish(),
              "S00600004844521B\n"
              "S1040010EEFD\n"
              "S9030000FC\n");
    coffhex::reset_writers();
    open(FMT_MOTOROLA_S3);
    write(0x10, {0xEE});
    // 06+00+00+00+10+EE = 0x104 -> FB.
    EXPECT_EQ(finish(),
              "S00600004844521B\n"
              "S30600000010EEFB\n"
              "S70500000000FA\n");
}

// ---------------------------------------------------------------- Tektronix

using TektronixTest = WriterTest;

TEST_F(TektronixTest, SingleByteRecordAndTermination) {
    open(FMT_TEKTRONIX);
    write(0x100, {0x12});
    // Length 0x10 (16 characters after "%"), checksum 1+0+6+8+1+1+2 = 0x13.
    // Termination: length 0x0E, 0+E+8+8 = 0x1E.
    EXPECT_EQ(finish(),
              "%1061380000010012\n"
              "%0E81E800000000\n");
}

TEST_F(TektronixTest, ThirtyTwoBytesPerRecordAndEntryPoint) {
    open(FMT_TEKTRONIX);
    env_.entry_address = 0x12345678;
    write(0, counting(40));
    // First: length 14 + 64 = 0x4E (4+14), type 6, count 8, address 0, data
    // nibbles: high 16 x 1, low 2 x (0+..+15) = 240 -> 18+14+256 = 0x120 -> 20.
    // Second: length 0x1E (1+14), 6+8, address 2, data high 8 x 2, low 0+..+7
    // -> 15+14+2+16+28 = 75 = 0x4B.
    // Termination at 0x12345678: 0+14+8+8+36 = 66 = 0x42.
    EXPECT_EQ(finish(),
              "%4E62080000000000"
              "0102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\n"
              "%1E64B8000000202021222324252627\n"
              "%0E842812345678\n");
}

TEST_F(TektronixTest, ThirtyTwoBytesPerRecordForEveryLaneWidth) {
    for (int rom : {1, 2, 4, 8}) {
        SCOPED_TRACE(rom);
        open(FMT_TEKTRONIX, rom);
        write(0, counting(64), rom);
        std::vector<std::string> lines = lines_of(finish());
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].substr(0, 3), "%4E");
        EXPECT_EQ(lines[1].substr(0, 3), "%4E");
        EXPECT_EQ(lines[1].substr(7, 8), "00000020");
        close_file();
    }
}

TEST_F(TektronixTest, WideLanesKeepTheLengthFieldInRange) {
    open(FMT_TEKTRONIX, 256);
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
