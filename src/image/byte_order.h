// Byte ordering of memory words: a pure function of the bytes and the
// widths and orders in force.
#pragma once

#include <cstdint>

namespace coffhex {

enum Order : int { ORDER_NONE = 0, ORDER_LS = 1, ORDER_MS = 2 };

struct ByteOrder {
    int32_t datawidth = 1;        // bytes of a data word
    int32_t romwidth = 1;         // bytes of a ROM lane
    int32_t memwidth = 1;         // bytes of a memory word
    int order = ORDER_LS;         // ORDER_LS or ORDER_MS
    bool big_endian_input = false;
};

// Puts the bytes of whole memory words into the agreed byte order, in place:
// every data word is read in the input's byte order and the lanes are
// written most significant byte first. Trailing bytes that do not make up
// a whole group are left as they are.
void apply_byte_order(uint8_t* buffer, uint32_t length, const ByteOrder& order);

}  // namespace coffhex
