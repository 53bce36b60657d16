// QV-Tagged, ASCII-Hex, Generic, Binary and DEBUG files.
#include "formats_fixture.h"

namespace formats_test {
namespace {

// Splits a tagged card into its fields ("K0000COFFTOQV", "90100", "B1234",
// "*56", ...) up to the checksum field, after checking the card: 80
// characters, "7" checksum "F", blanks to column 72 and the program name,
// and a checksum that makes the character sum up to the "7" zero.
std::vector<std::string> tagged_fields(const std::string& card) {
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < card.size() && card[i] != '7') {
        const size_t width = card[i] == 'K' ? 13 : card[i] == '9' || card[i] == 'B' ? 5
                                                 : card[i] == '*'                  ? 3
                                                                                   : 0;
        if (width == 0) {
            ADD_FAILURE() << "unknown tag in " << card;
            return fields;
        }
        fields.push_back(card.substr(i, width));
        i += width;
    }
    EXPECT_EQ(card.size(), 80u) << card;
    EXPECT_EQ(card.substr(i + 5), "F" + std::string(72 - i - 6, ' ') + "COFFTOQV") << card;
    uint32_t sum = 0;
    for (size_t k = 0; k <= i; ++k) sum += static_cast<unsigned char>(card[k]);
    EXPECT_EQ((sum + hex_value(card, i + 1, 4)) & 0xFFFF, 0u) << card;
    return fields;
}

using Fields = std::vector<std::string>;
using TaggedTest = WriterTest;

TEST_F(TaggedTest, WordsBytesAndLoadAddressesInOneCard) {
    auto file = [](const std::string& card) {
        return card + std::string(72 - card.size(), ' ') + "COFFTOQV\n:\n";
    };
    open(Format::Tagged, 2);
    write(0x100, {0x12, 0x34}, 2);
    // "K0000COFFTOQV" 883 + "90100" 250 + "B1234" 268 + "7" 55 = 0x05B0 -> FA50.
    EXPECT_EQ(finish(), file("K0000COFFTOQV90100B12347FA50F"));
    open(Format::Tagged, 4);
    write(0x100, {0x12, 0x34, 0x56}, 3);
    // An odd piece ends with a byte field: 1456 + "*56" 149 = 0x0645 -> F9BB.
    EXPECT_EQ(finish(), file("K0000COFFTOQV90100B1234*567F9BBF"));
    open(Format::Tagged, 2);
    write(0x100, {0x12, 0x34}, 2);
    write(0x200, {0x56, 0x78}, 2);
    // A load address joins the card: 1456 + "90200" 251 + "B5678" 284 =
    // 1991 = 0x07C7 -> F839.
    EXPECT_EQ(finish(), file("K0000COFFTOQV90100B123490200B56787F839F"));

    open(Format::Tagged, 4);
    write(0x100, {0x12, 0x34, 0x56, 0x78}, 4);  // two words
    write(0x12345, {0xAB, 0xCD}, 4);  // the low 16 bits only, and no warning
    std::vector<std::string> cards = lines_of(finish());
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(tagged_fields(cards[0]),
              (Fields{"K0000COFFTOQV", "90100", "B1234", "B5678", "92345", "BABCD"}));
    EXPECT_EQ(cards[1], ":");
    EXPECT_EQ(messages(), "");
}

TEST_F(TaggedTest, NineWordsInTheFirstCardThirteenInContinuingOnes) {
    open(Format::Tagged, 2);
    write(0x100, counting(92), 2);  // 46 words
    std::vector<std::string> cards = lines_of(finish());
    ASSERT_EQ(cards.size(), 5u);
    Fields expected[4] = {{"K0000COFFTOQV", "90100"}};
    const size_t words[] = {9, 13, 13, 11};
    for (size_t c = 0, next = 0; c < 4; ++c)
        for (size_t w = 0; w < words[c]; ++w, next += 2)
            expected[c].push_back("B" + hex_of(counting(92), next, 2));
    for (size_t c = 0; c < 4; ++c) EXPECT_EQ(tagged_fields(cards[c]), expected[c]) << c;
    EXPECT_EQ(cards[4], ":");
}

TEST_F(TaggedTest, FieldsJoinTheCardWhileItHoldsFewerThan62Characters) {
    open(Format::Tagged, 2);
    write(0x100, counting(16), 2);  // header, address, 8 words: 58 characters
    write(0x110, {0xAA}, 1);        // 61
    write(0x111, {0xBB, 0xCC}, 2);  // still on the first card
    write(0x113, {0xDD, 0xEE}, 2);
    std::vector<std::string> cards = lines_of(finish());
    ASSERT_EQ(cards.size(), 3u);
    const Fields first = tagged_fields(cards[0]);
    ASSERT_EQ(first.size(), 12u);
    EXPECT_EQ(first[10] + first[11], "*AABBBCC");
    EXPECT_EQ(tagged_fields(cards[1]), (Fields{"BDDEE"}));
}

TEST_F(TaggedTest, FullCardEndsBeforeTheNextLoadAddress) {
    open(Format::Tagged, 2);
    write(0x100, counting(18), 2);  // header, address and 9 words: 63 characters
    write(0x300, {0xAA, 0xBB}, 2);
    std::vector<std::string> cards = lines_of(finish());
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(tagged_fields(cards[0]).size(), 11u);
    EXPECT_EQ(tagged_fields(cards[1]), (Fields{"90300", "BAABB"}));
}

using AsciiHexTest = WriterTest;

TEST_F(AsciiHexTest, AddressLinesAndTwentyFourBytesPerLine) {
    open(Format::AsciiHex);
    write(0x12345, counting(25));
    write(0x100, {0xAB});
    EXPECT_EQ(finish(),
              "\x02\n$A12345,\n"
              "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 \n"
              "18 \n$A0100,\nAB \n\x03");
    open(Format::AsciiHex);
    write(0, {0x01, 0xFE});  // from address 0: no address line
    write(0xFFFFFFF0u, {0x02});
    EXPECT_EQ(finish(), "\x02\n01 FE \n$Afffffff0,\n02 \n\x03");
}

using GenericTest = WriterTest;

TEST_F(GenericTest, WordsPerLineByOlengthAndLineRoom) {
    open(Format::Generic);
    write(0x100, counting(25));
    EXPECT_EQ(finish(),
              "ADDRESS\tDATA\n-------\t----\n"
              "0100\t00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 \n"
              "0114\t14 15 16 17 18 \n");
    open(Format::Generic, 2, 4);
    write(0, counting(20), 2);
    EXPECT_EQ(finish(),
              "ADDRESS\tDATA\n-------\t----\n"
              "0000\t0001 0203 0405 0607 \n0008\t0809 0A0B 0C0D 0E0F \n0010\t1011 1213 \n");
    // Without the olength limit a line takes pieces while there is room for
    // one more; a piece shorter than the ROM word needs room for itself
    // only: 33 one-byte pieces of 3 characters, which leave fewer than 3.
    open(Format::Generic, 4, 1000);
    write(0x10, counting(34));
    std::string bytes;
    for (size_t i = 0; i < 33; ++i) bytes += hex_of(counting(33), i, 1) + " ";
    EXPECT_EQ(finish(), "ADDRESS\tDATA\n-------\t----\n0010\t" + bytes + "\n0031\t21 \n");
    // 8-byte words take 17 characters: a sixth would not stay below 100.
    open(Format::Generic, 8);
    write(0xabcde, counting(56), 8);
    std::string words;
    for (size_t w = 0; w < 5; ++w) words += hex_of(counting(40), 8 * w, 8) + " ";
    EXPECT_EQ(finish(), "ADDRESS\tDATA\n-------\t----\nabcde\t" + words +
                            "\nabd06\t28292A2B2C2D2E2F 3031323334353637 \n");
}

TEST_F(GenericTest, ShortPieceAndRepeatedAddressChanges) {
    open(Format::Generic, 4);
    // Two address changes without data in between leave no empty line.
    writer_->new_address(0x10, -1);
    write(0x20, {0xAA, 0xBB}, 4);  // a piece shorter than the ROM word
    EXPECT_EQ(finish(), "ADDRESS\tDATA\n-------\t----\n0020\tAABB \n");
}

using BinaryTest = WriterTest;

TEST_F(BinaryTest, RawBytesBackToBackWhateverThePieces) {
    open(Format::Binary);
    write(0, {0x00, 0x0A, 0xFF});
    write(0x100, {0x0D, 0x1A, 0x02});
    EXPECT_EQ(finish(), std::string("\x00\x0A\xFF\x0D\x1A\x02", 6));

    open(Format::Binary, 2);
    std::vector<uint8_t> bytes = counting(5000, 7);
    write(0x40, bytes, 2);
    writer_->end_record();
    const std::vector<uint8_t> wide = counting(100000, 3);
    write(0x2000, wide, 100000);  // a piece larger than the writer's buffer
    const std::vector<uint8_t> lanes = counting(3 * 70000, 1);
    writer_->data({lanes.data(), 70000, 1, 3, 0, 1}, -1);  // every third byte
    bytes.insert(bytes.end(), wide.begin(), wide.end());
    for (size_t i = 0; i < lanes.size(); i += 3) bytes.push_back(lanes[i]);
    EXPECT_EQ(finish(), std::string(bytes.begin(), bytes.end()));
}

using DebugTest = WriterTest;

TEST_F(DebugTest, HeaderLinesAndFooter) {
    open(Format::Debug);
    write(0, counting(17));
    write(0x1234ABCD, {0xEE});
    EXPECT_EQ(finish(),
              "*** FILE HEADER ***\n"
              "ADDR:00000000: DATA:00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F :END:\n"
              "ADDR:00000010: DATA:10 :END:\nADDR:1234abcd: DATA:EE :END:\n*** FILE FOOTER ***\n");
}

// One piece of 40000 bytes: a line of 80 KB, more than the writer's buffer.
TEST_F(DebugTest, LineLongerThanTheOutputBuffer) {
    open(Format::Debug, 40000);
    const std::vector<uint8_t> bytes = counting(40000);
    write(0, bytes, 40000);
    EXPECT_EQ(finish(), "*** FILE HEADER ***\nADDR:00000000: DATA:" + hex_of(bytes) +
                            " :END:\n*** FILE FOOTER ***\n");
}

TEST_F(DebugTest, PiecesPerLineByLaneWidth) {
    // A piece is added while the line holds fewer than 68 characters: with
    // 23-byte pieces the first leaves it at 67.
    const struct {
        int rom, per_line;
    } rows[] = {{1, 16}, {2, 10}, {4, 6}, {23, 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rom);
        open(Format::Debug, row.rom);
        const std::vector<uint8_t> bytes = counting(row.per_line * row.rom + row.rom);
        write(0, bytes, row.rom);
        std::vector<std::string> lines = lines_of(finish());
        ASSERT_EQ(lines.size(), 4u);
        std::string groups;
        for (int p = 0; p < row.per_line; ++p)
            groups += hex_of(bytes, static_cast<size_t>(p * row.rom), static_cast<size_t>(row.rom)) + " ";
        EXPECT_EQ(lines[1], "ADDR:00000000: DATA:" + groups + ":END:");
        char second[32];
        std::snprintf(second, sizeof second, "ADDR:%08x: DATA:", row.per_line * row.rom);
        EXPECT_EQ(lines[2].substr(0, 20), second);
    }
}

}  // namespace
}  // namespace formats_test
