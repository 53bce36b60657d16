// QV-Tagged, ASCII-Hex, Generic, Binary and DEBUG output, whole files.
#include "formats_fixture.h"

#include <string>
#include <vector>

namespace formats_test {
namespace {

using coffhex::FMT_ASCII_HEX;
using coffhex::FMT_BINARY;
using coffhex::FMT_DEBUG;
using coffhex::FMT_GENERIC;
using coffhex::FMT_TAGGED;

// ---------------------------------------------------------------- QV-Tagged

using TaggedTest = WriterTest;

const std::string PAD_AND_NAME(size_t used) { return std::string(72 - used, ' ') + "COFFTOQV"; }

// Splits a tagged card into its fields ("K0000COFFTOQV", "90100", "B1234",
// "*56", ...) up to the checksum field; fails on an unknown tag.
std::vector<std::string> tagged_fields(const std::string& card) {
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < card.size() && card[i] != '7') {
        size_t width = card[i] == 'K' ? 13 : card[i] == '9' || card[i] == 'B' ? 5
                                         : card[i] == '*'                  ? 3
                                                                           : 0;
        if (width == 0) {
            ADD_FAILURE() << "unknown tag in " << card;
            break;
        }
        fields.push_back(card.substr(i, width));
        i += width;
    }
    return fields;
}

// Every card: 80 characters, "7" checksum "F", blanks to column 72 and the
// program name; the checksum makes the character sum up to the "7" zero.
void expect_card(const std::string& card) {
    ASSERT_EQ(card.size(), 80u) << card;
    EXPECT_EQ(card.substr(72), "COFFTOQV");
    size_t seven = 0;
    for (const std::string& field : tagged_fields(card)) seven += field.size();
    ASSERT_EQ(card[seven], '7') << card;
    EXPECT_EQ(card[seven + 5], 'F');
    EXPECT_EQ(card.substr(seven + 6, 72 - seven - 6), std::string(72 - seven - 6, ' '));
    uint32_t sum = 0;
    for (size_t i = 0; i <= seven; ++i) sum += static_cast<unsigned char>(card[i]);
    EXPECT_EQ((sum + hex_value(card, seven + 1, 4)) & 0xFFFF, 0u) << card;
}

TEST_F(TaggedTest, HeaderAddressWordAndChecksum) {
    open(FMT_TAGGED, 2);
    write(0x100, {0x12, 0x34}, 2);
    // Character sum: "K0000COFFTOQV" 883, "90100" 250, "B1234" 268, "7" 55
    // = 1456 = 0x05B0; 0x10000 - 0x05B0 = 0xFA50.
    EXPECT_EQ(finish(), "K0000COFFTOQV90100B12347FA50F" + PAD_AND_NAME(29) + "\n:\n");
}

TEST_F(TaggedTest, OddPieceEndsWithByteField) {
    open(FMT_TAGGED, 4);
    write(0x100, {0x12, 0x34, 0x56}, 3);
    // 1456 - 55 + "*56" (42+53+54 = 149) + 55 = 1605 = 0x0645 -> 0xF9BB.
    EXPECT_EQ(finish(), "K0000COFFTOQV90100B1234*567F9BBF" + PAD_AND_NAME(32) + "\n:\n");
}

TEST_F(TaggedTest, FourBytePieceYieldsTwoWords) {
    open(FMT_TAGGED, 4);
    write(0x100, {0x12, 0x34, 0x56, 0x78}, 4);
    std::vector<std::string> cards = lines_of(finish());
    ASSERT_EQ(cards.size(), 2u);
    expect_card(cards[0]);
    EXPECT_EQ(tagged_fields(cards[0]),
              (std::vector<std::string>{"K0000COFFTOQV", "90100", "B1234", "B5678"}));
    EXPECT_EQ(cards[1], ":");
}

TEST_F(TaggedTest, AddressChangeAddsLoadAddressToTheSameRecord) {
    open(FMT_TAGGED, 2);
    write(0x100, {0x12, 0x34}, 2);
    write(0x200, {0x56, 0x78}, 2);
    // 1456 - 55 + "90200" (57+48+50+48+48 = 251) + "B5678" (66+53+54+55+56
    // = 284) + 55 = 1991 = 0x07C7 -> 0xF839.
    EXPECT_EQ(finish(), "K0000COFFTOQV90100B123490200B56787F839F" + PAD_AND_NAME(39) + "\n:\n");
}

TEST_F(TaggedTest, HighAddressesKeepTheirLow16BitsSilently) {
    open(FMT_TAGGED, 2);
    testing::internal::CaptureStderr();
    write(0x12345, {0xAB, 0xCD}, 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::vector<std::string> cards = lines_of(finish());
    ASSERT_EQ(cards.size(), 2u);
    expect_card(cards[0]);
    EXPECT_EQ(tagged_fields(cards[0]),
              (std::vector<std::string>{"K0000COFFTOQV", "92345", "BABCD"}));
}

TEST_F(TaggedTest, NineWordsInTheFirstRecordThirteenInContinuingOnes) {
    open(FMT_TAGGED, 2);
    write(0x100, counting(92), 2);  // 46 words
    std::vector<std::string> cards = lines_of(finish());
    ASSERT_EQ(cards.size(), 5u);
    const size_t words[] = {9, 13, 13, 11};
    int next = 0;
    for (size_t c = 0; c < 4; ++c) {
        SCOPED_TRACE(c);
        expect_card(cards[c]);
        std::vector<std::string> fields = tagged_fields(cards[c]);
        size_t first_word = 0;
        if (c == 0) {
            ASSERT_GE(fields.size(), 2u);
            EXPECT_EQ(fields[0], "K0000COFFTOQV");
            EXPECT_EQ(fields[1], "90100");
            first_word = 2;
        }
        // Continuing records start directly with data words.
        ASSERT_EQ(fields.size() - first_word, words[c]);
        for (size_t f = first_word; f < fields.size(); ++f, next += 2) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "B%02X%02X", next & 0xFF, (next + 1) & 0xFF);
            EXPECT_EQ(fields[f], expected);
        }
    }
    EXPECT_EQ(cards[4], ":");
}

TEST_F(TaggedTest, FullRecordEndsBeforeTheNextLoadAddress) {
    open(FMT_TAGGED, 2);
    write(0x100, counting(18), 2);  // header, address and 9 words: 63 characters
    write(0x300, {0xAA, 0xBB}, 2);
    std::vector<std::string> cards = lines_of(finish());
    ASSERT_EQ(cards.size(), 3u);
    expect_card(cards[0]);
    expect_card(cards[1]);
    EXPECT_EQ(tagged_fields(cards[0]).size(), 11u);
    EXPECT_EQ(tagged_fields(cards[1]), (std::vector<std::string>{"90300", "BAABB"}));
}

// ---------------------------------------------------------------- ASCII-Hex

using AsciiHexTest = WriterTest;

TEST_F(AsciiHexTest, AddressLinesAndTwentyFourBytesPerLine) {
    open(FMT_ASCII_HEX);
    write(0x12345, counting(25));
    write(0x100, {0xAB});
    EXPECT_EQ(finish(),
              "\x02\n"
              "$A12345,\n"
              "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 \n"
              "18 \n"
              "$A0100,\n"
              "AB \n"
              "\x03");
}

TEST_F(AsciiHexTest, DataFromAddressZeroHasNoAddressLine) {
    open(FMT_ASCII_HEX);
    write(0, {0x01, 0xFE});
    EXPECT_EQ(finish(), "\x02\n01 FE \n\x03");
}

TEST_F(AsciiHexTest, AddressUsesLowerCaseAndAtLeastFourDigits) {
    open(FMT_ASCII_HEX);
    write(0xA, {0x01});
    write(0xFFFFFFF0u, {0x02});
    EXPECT_EQ(finish(), "\x02\n$A000a,\n01 \n$Afffffff0,\n02 \n\x03");
}

// ---------------------------------------------------------------- Generic

using GenericTest = WriterTest;

TEST_F(GenericTest, TwentyBytesPerLineByDefault) {
    open(FMT_GENERIC);
    write(0x100, counting(25));
    EXPECT_EQ(finish(),
              "ADDRESS\tDATA\n-------\t----\n"
              "0100\t00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 \n"
              "0114\t14 15 16 17 18 \n");
}

TEST_F(GenericTest, OlengthFourWithSixteenBitWords) {
    open(FMT_GENERIC, 2);
    env_.olength = 4;
    write(0, counting(20), 2);
    EXPECT_EQ(finish(),
              "ADDRESS\tDATA\n-------\t----\n"
              "0000\t0001 0203 0405 0607 \n"
              "0008\t0809 0A0B 0C0D 0E0F \n"
              "0010\t1011 1213 \n");
}

TEST_F(GenericTest, LineRoomLimitsWideWords) {
    // 8-byte words take 17 characters: a sixth word would not stay below 100.
    open(FMT_GENERIC, 8);
    write(0xabcde, counting(56), 8);
    std::string word_line;
    for (int w = 0; w < 5; ++w) {
        for (int b = 0; b < 8; ++b) {
            char pair[16];
            std::snprintf(pair, sizeof pair, "%02X", w * 8 + b);
            word_line += pair;
        }
        word_line += ' ';
    }
    EXPECT_EQ(finish(),
              "ADDRESS\tDATA\n-------\t----\n"
              "abcde\t" + word_line + "\n"
              "abd06\t28292A2B2C2D2E2F 3031323334353637 \n");
}

TEST_F(GenericTest, ShortPieceAndRepeatedAddressChanges) {
    open(FMT_GENERIC, 4);
    // Two address changes without data in between leave no empty line.
    env_.output_address = 0x10;
    op(coffhex::OP_NEW_ADDRESS);
    write(0x20, {0xAA, 0xBB}, 4);  // a piece shorter than the ROM word
    EXPECT_EQ(finish(), "ADDRESS\tDATA\n-------\t----\n0020\tAABB \n");
}

// ---------------------------------------------------------------- Binary

using BinaryTest = WriterTest;

TEST_F(BinaryTest, RawBytesOnlyBackToBack) {
    open(FMT_BINARY);
    write(0, {0x00, 0x0A, 0xFF});
    write(0x100, {0x0D, 0x1A, 0x02});
    EXPECT_EQ(finish(), std::string("\x00\x0A\xFF\x0D\x1A\x02", 6));
}

TEST_F(BinaryTest, LongRunsAndWidePiecesArriveInOrder) {
    open(FMT_BINARY, 2);
    std::vector<uint8_t> bytes = counting(5000, 7);
    write(0x40, bytes, 2);
    op(coffhex::OP_END_RECORD);
    std::vector<uint8_t> wide = counting(1000, 3);
    write(0x2000, wide, 1000);  // a piece larger than the stream's line
    std::string text = finish();
    bytes.insert(bytes.end(), wide.begin(), wide.end());
    EXPECT_EQ(text, std::string(bytes.begin(), bytes.end()));
}

// ---------------------------------------------------------------- DEBUG

using DebugTest = WriterTest;

TEST_F(DebugTest, HeaderLinesAndFooter) {
    open(FMT_DEBUG);
    write(0, counting(17));
    write(0x1234ABCD, {0xEE});
    EXPECT_EQ(finish(),
              "*** FILE HEADER ***\n"
              "ADDR:00000000: DATA:00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F :END:\n"
              "ADDR:00000010: DATA:10 :END:\n"
              "ADDR:1234abcd: DATA:EE :END:\n"
              "*** FILE FOOTER ***\n");
}

TEST_F(DebugTest, PiecesPerLineByLaneWidth) {
    const int per_line[] = {0, 16, 10, 0, 6};
    for (int rom : {1, 2, 4}) {
        SCOPED_TRACE(rom);
        open(FMT_DEBUG, rom);
        write(0, counting(per_line[rom] * rom + rom), rom);
        std::vector<std::string> lines = lines_of(finish());
        ASSERT_EQ(lines.size(), 4u);
        std::string groups;
        for (int p = 0; p < per_line[rom]; ++p) {
            for (int b = 0; b < rom; ++b) {
                char pair[16];
                std::snprintf(pair, sizeof pair, "%02X", p * rom + b);
                groups += pair;
            }
            groups += ' ';
        }
        EXPECT_EQ(lines[1], "ADDR:00000000: DATA:" + groups + ":END:");
        char second[32];
        std::snprintf(second, sizeof second, "ADDR:%08x: DATA:", per_line[rom] * rom);
        EXPECT_EQ(lines[2].substr(0, 20), second);
        close_file();
    }
}

}  // namespace
}  // namespace formats_test
