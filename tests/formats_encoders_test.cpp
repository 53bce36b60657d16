// The record encoders called alone: whole records from their fields, with
// the checksums worked out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/encoders.h"

namespace {

using namespace coffhex;
using Bytes = std::vector<uint8_t>;

// Runs an encoder into a buffer full of '#' and checks that it wrote exactly
// the characters it reports.
template <class Encode>
std::string text_of(Encode encode) {
    char out[512];
    std::memset(out, '#', sizeof out);
    const size_t length = encode(out);
    EXPECT_EQ(out[length], '#') << "wrote past the length it returned";
    return std::string(out, length);
}
std::string intel(uint8_t type, uint16_t address, const Bytes& b) {
    return text_of([&](char* o) { return encode_intel_record(o, type, address, b.data(), b.size()); });
}
std::string srec(uint8_t type, uint32_t address, int address_bytes, const Bytes& b) {
    return text_of([&](char* o) { return encode_srecord(o, type, address, address_bytes, b.data(), b.size()); });
}
std::string tek(uint8_t type, uint32_t address, const Bytes& b) {
    return text_of([&](char* o) { return encode_tektronix_record(o, type, address, b.data(), b.size()); });
}

TEST(Encoders, HexPairsUpperCaseHighNibbleFirst) {
    const uint8_t bytes[] = {0x00, 0x9A, 0xF0, 0x5C};
    EXPECT_EQ(text_of([&](char* out) { return hex_pairs(out, bytes, 4); }), "009AF05C");
    EXPECT_EQ(text_of([&](char* out) { return hex_pairs(out, bytes, 0); }), "");
}

TEST(Encoders, IntelRecords) {
    EXPECT_EQ(intel(0, 0x0100, {1, 2, 3}), ":03010000010203F6\n");  // 03+01+01+02+03 = 0x0A -> F6
    EXPECT_EQ(intel(4, 0, {0x00, 0x01}), ":020000040001F9\n");   // 02+04+01 = 7 -> F9
    EXPECT_EQ(intel(1, 0, {}), ":00000001FF\n");
    // 01+FF = 0x100: the low byte is 0, and so is its two's complement.
    EXPECT_EQ(intel(0, 0, {0xFF}), ":01000000FF00\n");
    // The data taken from a lane run, every piece `stride` bytes after the
    // one before: 11 22 33 -> 03+0x66 = 0x69 -> 97; 01 02 03 04 at 1234 ->
    // 04+12+34+0A = 0x54 -> AC.
    const uint8_t lanes[] = {0x11, 0xAA, 0x22, 0xBB, 0x33, 0xCC, 0x01, 0x02, 0xEE, 0x03, 0x04};
    EXPECT_EQ(text_of([&](char* o) { return encode_intel_record(o, 0, 0, {lanes, 3, 1, 2}); }),
              ":0300000011223397\n");
    EXPECT_EQ(text_of([&](char* o) { return encode_intel_record(o, 0, 0x1234, {lanes + 6, 2, 2, 3}); }),
              ":0412340001020304AC\n");
}

TEST(Encoders, SRecords) {
    EXPECT_EQ(srec(0, 0, 2, {'H', 'D', 'R'}), "S00600004844521B\n");  // 06+48+44+52 = 0xE4 -> 1B
    // LL counts address, data and checksum bytes: 06+10+01+02+03 = 0x1C -> E3.
    EXPECT_EQ(srec(1, 0x1000, 2, {1, 2, 3}), "S1061000010203E3\n");
    EXPECT_EQ(srec(2, 0x123456, 3, {0xAA}), "S205123456AAB4\n");   // 0x14B -> ~4B = B4
    EXPECT_EQ(srec(3, 0x12345678, 4, {0}), "S3061234567800E5\n");  // 0x11A -> E5
    // Only the low address bytes are printed and summed: 04+23+45+5A = 0xC6 -> 39.
    EXPECT_EQ(srec(1, 0x12345, 2, {0x5A}), "S10423455A39\n");
    EXPECT_EQ(srec(9, 0, 2, {}) + srec(8, 0, 3, {}) + srec(7, 0, 4, {}),
              "S9030000FC\nS804000000FB\nS70500000000FA\n");
}

TEST(Encoders, TektronixRecords) {
    // Length 0x10; digit sum 1+0 (length) + 6 + 8 + 1 (address) + 1+2 = 0x13.
    EXPECT_EQ(tek(6, 0x100, {0x12}), "%1061380000010012\n");
    // Length 0x12: 1+2 + 6 + 8 + 8*15 + A+B+C+D (46) = 183 = 0xB7.
    EXPECT_EQ(tek(6, 0xFFFFFFFF, {0xAB, 0xCD}), "%126B78FFFFFFFFABCD\n");
    // Termination: 0+E + 8 + 8 = 0x1E; at 0x12345678: 0x1E + 36 = 0x42.
    EXPECT_EQ(tek(8, 0, {}) + tek(8, 0x12345678, {}), "%0E81E800000000\n%0E842812345678\n");
}

TEST(Encoders, LinesOfDebugAsciiHexAndGeneric) {
    const uint8_t bytes[] = {0x00, 0x01, 0xAB, 0xFE};
    const uint32_t groups[] = {1, 1, 2};
    EXPECT_EQ(text_of([&](char* o) { return encode_debug_line(o, 0x1234abcd, bytes, groups, 3); }),
              "ADDR:1234abcd: DATA:00 01 ABFE :END:\n");
    EXPECT_EQ(text_of([&](char* o) { return encode_debug_line(o, 0, bytes, groups, 0); }),
              "ADDR:00000000: DATA::END:\n");
    EXPECT_EQ(text_of([&](char* o) { return encode_ascii_hex_line(o, bytes + 2, 2); }), "AB FE \n");
    // Addresses as "%04lx" prints them: lower case, four digits or more.
    for (const auto& [address, text] : {std::pair<uint32_t, const char*>{0xA, "$A000a,\n"},
                                        {0x12345, "$A12345,\n"}, {0xFFFFFFF0, "$Afffffff0,\n"}})
        EXPECT_EQ(text_of([&](char* o) { return encode_ascii_hex_address(o, address); }), text);
    EXPECT_EQ(text_of([&](char* o) { return encode_generic_line(o, 0xabcde, bytes + 1, groups + 1, 2); }),
              "abcde\t01 ABFE \n");
    EXPECT_EQ(text_of([&](char* o) { return encode_generic_line(o, 0x10, bytes, groups, 1); }),
              "0010\t00 \n");
}

TEST(Encoders, TaggedCards) {
    auto card = [](std::initializer_list<TaggedField> fields) {
        return text_of([&](char* o) { return encode_tagged_card(o, fields.begin(), fields.size()); });
    };
    auto padded = [](const std::string& text) {
        return text + std::string(72 - text.size(), ' ') + "COFFTOQV\n";
    };
    // Character codes: "K0000COFFTOQV" 883, "90100" 250, "B1234" 268, "7" 55
    // = 1456 = 0x05B0; 0x10000 - 0x05B0 = 0xFA50.
    EXPECT_EQ(card({{'K', 0}, {'9', 0x0100}, {'B', 0x1234}}), padded("K0000COFFTOQV90100B12347FA50F"));
    // 1456 + "*56" (42+53+54 = 149) = 1605 = 0x0645 -> 0xF9BB.
    EXPECT_EQ(card({{'K', 0}, {'9', 0x0100}, {'B', 0x1234}, {'*', 0x56}}),
              padded("K0000COFFTOQV90100B1234*567F9BBF"));
    // 66+65+65+66+66 + 55 = 383 = 0x17F -> 0xFE81.
    EXPECT_EQ(card({{'B', 0xAABB}}), padded("BAABB7FE81F"));
}

}  // namespace
