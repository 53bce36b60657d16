// The record encoders: one pure function per output format that turns a
// record (its type or address and its bytes) into the record's text in a
// caller's buffer and returns the number of characters written. They keep
// no state; the writers decide where records start and end, the encoders
// only spell them out. No function writes a terminating NUL.
//
// The Intel, S-record and Extended Tektronix encoders are defined here so
// that they inline into the writers' data loops, which format most of an
// image's records, without a call per record; the Intel and Tektronix ones
// are marked to be inlined always, which the compiler does not choose on its
// own for every caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace coffhex {

// Two upper-case hex digits per byte value, high nibble first, so that a
// data byte costs one table load and one two-character copy.
struct HexPairTable {
    char pairs[256][2];
};
constexpr HexPairTable make_hex_pairs() {
    constexpr char digits[] = "0123456789ABCDEF";
    HexPairTable table{};
    for (int i = 0; i < 256; ++i) {
        table.pairs[i][0] = digits[i >> 4];
        table.pairs[i][1] = digits[i & 15];
    }
    return table;
}
inline constexpr HexPairTable HEX_PAIRS = make_hex_pairs();

// Two upper-case hex digits per byte, high nibble first; no terminator.
// Returns the characters written (2 * count).
inline size_t hex_pairs(char* out, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) std::memcpy(out + 2 * i, HEX_PAIRS.pairs[bytes[i]], 2);
    return 2 * count;
}

// The data bytes of a record as they lie in a lane run: `pieces` pieces of
// `width` bytes, the first at `data`, each `stride` bytes after the one
// before. With stride == width (or one piece) the bytes are one after the
// other.
struct RecordBytes {
    const uint8_t* data;
    size_t pieces;
    size_t width;
    size_t stride;
    size_t count() const { return pieces * width; }
};
// `count` bytes one after the other.
constexpr RecordBytes contiguous_bytes(const uint8_t* bytes, size_t count) {
    return {bytes, 1, count, count};
}

namespace encoding {

// Two hex digits of the low byte of `value`.
inline void put_byte(char* out, uint32_t value) {
    std::memcpy(out, HEX_PAIRS.pairs[value & 0xFF], 2);
}

// `digits` upper-case hex digits of `value` (its low 4 * digits bits).
inline void put_hex(char* out, uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = HEX_PAIRS.pairs[value & 15][1];
        value >>= 4;
    }
}

// Hex digits of `count` bytes one after the other, and the sum of the byte
// values (`digit_values` false) or of their hex digit values (true).
template <bool digit_values>
inline uint32_t hex_sum(char* out, const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        std::memcpy(out + 2 * i, HEX_PAIRS.pairs[b], 2);
        sum += digit_values ? static_cast<uint32_t>((b >> 4) + (b & 15)) : b;
    }
    return sum;
}

// The same for the bytes of a record where they lie in the lane run.
template <bool digit_values>
inline uint32_t hex_sum(char* out, const RecordBytes& bytes) {
    if (bytes.stride == bytes.width || bytes.pieces == 1)
        return hex_sum<digit_values>(out, bytes.data, bytes.count());
    uint32_t sum = 0;
    const uint8_t* piece = bytes.data;
    if (bytes.width == 1) {
        for (size_t i = 0; i < bytes.pieces; ++i, piece += bytes.stride) {
            const uint8_t b = *piece;
            std::memcpy(out + 2 * i, HEX_PAIRS.pairs[b], 2);
            sum += digit_values ? static_cast<uint32_t>((b >> 4) + (b & 15)) : b;
        }
        return sum;
    }
    for (size_t i = 0; i < bytes.pieces; ++i, piece += bytes.stride, out += 2 * bytes.width)
        sum += hex_sum<digit_values>(out, piece, bytes.width);
    return sum;
}

}  // namespace encoding

// Intel hex record ":" LL AAAA TT data CC "\n": LL the byte count, AAAA the
// 16-bit address, TT the type (00 data, 01 end of file, 04 extended linear
// address), CC the two's complement of the low byte of the sum of all bytes
// from LL to the last data byte. At most 255 data bytes.
constexpr size_t intel_record_length(size_t count) { return 12 + 2 * count; }
[[gnu::always_inline]] inline size_t encode_intel_record(char* out, uint8_t type,
                                                         uint16_t address, RecordBytes bytes) {
    using namespace encoding;
    const size_t count = bytes.count();
    out[0] = ':';
    put_byte(out + 1, static_cast<uint32_t>(count));
    put_byte(out + 3, address >> 8);
    put_byte(out + 5, address);
    put_byte(out + 7, type);
    uint32_t sum = static_cast<uint32_t>(count) + (address >> 8) + (address & 0xFFu) + type;
    sum += hex_sum<false>(out + 9, bytes);
    char* end = out + 9 + 2 * count;
    put_byte(end, 0x100 - (sum & 0xFF));
    end[2] = '\n';
    return intel_record_length(count);
}
inline size_t encode_intel_record(char* out, uint8_t type, uint16_t address, const uint8_t* bytes,
                                  size_t count) {
    return encode_intel_record(out, type, address, contiguous_bytes(bytes, count));
}

// Motorola S-record "S" T LL address data CC "\n": T the type digit (0
// header, 1/2/3 data, 9/8/7 termination), the address in `address_bytes`
// bytes (2, 3 or 4; the low bytes of `address`), LL the count of address,
// data and checksum bytes, CC the one's complement of the low byte of the
// sum of all bytes from LL to the last data byte. At most 254 address and
// data bytes.
constexpr size_t srecord_length(int address_bytes, size_t count) {
    return 7 + 2 * static_cast<size_t>(address_bytes) + 2 * count;
}
inline size_t encode_srecord(char* out, uint8_t type, uint32_t address, int address_bytes,
                             RecordBytes bytes) {
    using namespace encoding;
    const size_t count = bytes.count();
    const uint32_t length = static_cast<uint32_t>(address_bytes) + static_cast<uint32_t>(count) + 1;
    out[0] = 'S';
    out[1] = static_cast<char>('0' + type);
    put_byte(out + 2, length);
    uint32_t sum = length;
    char* at = out + 4;
    for (int i = address_bytes - 1; i >= 0; --i, at += 2) {
        const uint32_t byte = (address >> (8 * i)) & 0xFF;
        put_byte(at, byte);
        sum += byte;
    }
    sum += hex_sum<false>(at, bytes);
    at += 2 * count;
    put_byte(at, ~sum);
    at[2] = '\n';
    return srecord_length(address_bytes, count);
}
inline size_t encode_srecord(char* out, uint8_t type, uint32_t address, int address_bytes,
                             const uint8_t* bytes, size_t count) {
    return encode_srecord(out, type, address, address_bytes, contiguous_bytes(bytes, count));
}

// Extended Tektronix record "%" LL T CC "8" AAAAAAAA data "\n": LL the
// number of characters after the "%", T the type (6 data, 8 termination),
// CC the low byte of the sum of the values of every hex digit after the
// "%" but the two of CC itself, "8" the number of address digits. At most
// 120 data bytes.
constexpr size_t tektronix_record_length(size_t count) { return 16 + 2 * count; }
[[gnu::always_inline]] inline size_t encode_tektronix_record(char* out, uint8_t type,
                                                             uint32_t address, RecordBytes bytes) {
    using namespace encoding;
    const size_t count = bytes.count();
    // Characters after the "%": length 2, type 1, checksum 2, address-digit
    // count 1, address 8, and the data.
    const uint32_t length = static_cast<uint32_t>(14 + 2 * count);
    out[0] = '%';
    put_byte(out + 1, length);
    put_hex(out + 3, type, 1);
    out[6] = '8';
    uint32_t sum = (length >> 4) + (length & 15) + (type & 15u) + 8;
    for (int i = 0; i < 4; ++i) put_byte(out + 7 + 2 * i, address >> (24 - 8 * i));
    // The values of the eight address digits: the two of each byte added
    // in place (at most 30 a byte), then the four bytes (at most 120).
    const uint32_t digit_pairs = (address & 0x0F0F0F0Fu) + ((address >> 4) & 0x0F0F0F0Fu);
    sum += (digit_pairs * 0x01010101u) >> 24;
    sum += hex_sum<true>(out + 15, bytes);
    put_byte(out + 4, sum);
    out[15 + 2 * count] = '\n';
    return tektronix_record_length(count);
}
inline size_t encode_tektronix_record(char* out, uint8_t type, uint32_t address,
                                      const uint8_t* bytes, size_t count) {
    return encode_tektronix_record(out, type, address, contiguous_bytes(bytes, count));
}

// DEBUG line "ADDR:" aaaaaaaa ": DATA:" groups ":END:\n": the address in
// eight lower-case digits, then the bytes in `group_count` groups (group i
// holds groups[i] bytes, one group after the other in `bytes`), each group
// as hex digits followed by one blank.
size_t encode_debug_line(char* out, uint32_t address, const uint8_t* bytes,
                         const uint32_t* groups, size_t group_count);
constexpr size_t debug_line_length(size_t bytes, size_t group_count) {
    return 26 + 2 * bytes + group_count;
}

// ASCII-Hex data line: every byte as two hex digits and a blank, then "\n".
size_t encode_ascii_hex_line(char* out, const uint8_t* bytes, size_t count);
constexpr size_t ascii_hex_line_length(size_t count) { return 3 * count + 1; }
// ASCII-Hex address line "$A" address ",\n": the address in lower case, at
// least four digits.
size_t encode_ascii_hex_address(char* out, uint32_t address);
inline constexpr size_t ASCII_HEX_ADDRESS_MAX = 12;

// Generic line: the address in lower case (at least four digits), a tab,
// the bytes in groups as for DEBUG (one group per ROM word, each followed by
// a blank), then "\n".
size_t encode_generic_line(char* out, uint32_t address, const uint8_t* bytes,
                           const uint32_t* groups, size_t group_count);
constexpr size_t generic_line_length(size_t bytes, size_t group_count) {
    return 10 + 2 * bytes + group_count;
}

// One field of a QV-Tagged card.
struct TaggedField {
    char tag;        // 'K' program header, '9' load address, 'B' data word, '*' data byte
    uint16_t value;  // '9': the address's low 16 bits; 'B': the two bytes, first byte high;
                     // '*': the byte; 'K': unused
};
// Characters a field takes on the card.
constexpr size_t tagged_field_length(char tag) { return tag == 'K' ? 13 : tag == '*' ? 3 : 5; }
// QV-Tagged card: the fields ("K0000COFFTOQV", "9" AAAA, "B" WWWW, "*" BB),
// then "7", the 16-bit two's complement of the sum of the character codes
// from the start of the card up to and including that "7" as four hex
// digits, "F", blanks up to column 72, "COFFTOQV" and "\n".
size_t encode_tagged_card(char* out, const TaggedField* fields, size_t count);
constexpr size_t tagged_card_length(size_t field_chars) {
    return (field_chars + 6 > 72 ? field_chars + 6 : 72) + 9;
}

}  // namespace coffhex
