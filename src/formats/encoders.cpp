// The line and card encoders: text of one line from its fields.
#include "formats/encoders.h"

namespace coffhex {

namespace {

using encoding::put_byte;
using encoding::put_hex;

// Value in lower-case hex with at least `min_digits` digits (more when the
// value needs them), as "%0<min_digits>lx" prints it. Returns the digits.
size_t put_lower_hex(char* out, uint32_t value, int min_digits) {
    constexpr char lower[] = "0123456789abcdef";
    int digits = 1;
    while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
    if (digits < min_digits) digits = min_digits;
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = lower[value & 15];
        value >>= 4;
    }
    return static_cast<size_t>(digits);
}

// The groups of a DEBUG or Generic line, each followed by a blank.
size_t put_groups(char* out, const uint8_t* bytes, const uint32_t* groups, size_t group_count) {
    char* at = out;
    for (size_t g = 0; g < group_count; ++g) {
        const size_t n = groups[g];
        at += hex_pairs(at, bytes, n);
        *at++ = ' ';
        bytes += n;
    }
    return static_cast<size_t>(at - out);
}

}  // namespace

size_t encode_debug_line(char* out, uint32_t address, const uint8_t* bytes,
                         const uint32_t* groups, size_t group_count) {
    std::memcpy(out, "ADDR:", 5);
    char* at = out + 5;
    at += put_lower_hex(at, address, 8);
    std::memcpy(at, ": DATA:", 7);
    at += 7;
    at += put_groups(at, bytes, groups, group_count);
    std::memcpy(at, ":END:\n", 6);
    return static_cast<size_t>(at + 6 - out);
}

size_t encode_ascii_hex_line(char* out, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(out + 3 * i, HEX_PAIRS.pairs[bytes[i]], 2);
        out[3 * i + 2] = ' ';
    }
    out[3 * count] = '\n';
    return ascii_hex_line_length(count);
}

size_t encode_ascii_hex_address(char* out, uint32_t address) {
    out[0] = '$';
    out[1] = 'A';
    char* at = out + 2;
    at += put_lower_hex(at, address, 4);
    at[0] = ',';
    at[1] = '\n';
    return static_cast<size_t>(at + 2 - out);
}

size_t encode_generic_line(char* out, uint32_t address, const uint8_t* bytes,
                           const uint32_t* groups, size_t group_count) {
    char* at = out;
    at += put_lower_hex(at, address, 4);
    *at++ = '\t';
    at += put_groups(at, bytes, groups, group_count);
    *at++ = '\n';
    return static_cast<size_t>(at - out);
}

size_t encode_tagged_card(char* out, const TaggedField* fields, size_t count) {
    char* at = out;
    for (size_t f = 0; f < count; ++f) {
        const TaggedField& field = fields[f];
        *at++ = field.tag;
        switch (field.tag) {
        case 'K':
            std::memcpy(at, "0000COFFTOQV", 12);
            at += 12;
            break;
        case '*':
            put_byte(at, field.value);
            at += 2;
            break;
        default:  // '9', 'B'
            put_hex(at, field.value, 4);
            at += 4;
            break;
        }
    }
    *at++ = '7';
    uint32_t sum = 0;
    for (const char* c = out; c != at; ++c) sum += static_cast<unsigned char>(*c);
    put_hex(at, (0x10000 - (sum & 0xFFFF)) & 0xFFFF, 4);
    at[4] = 'F';
    at += 5;
    while (at - out < 72) *at++ = ' ';
    std::memcpy(at, "COFFTOQV\n", 9);
    return static_cast<size_t>(at + 9 - out);
}

}  // namespace coffhex
