#include "image/byte_order.h"

#include <algorithm>
#include <utility>

namespace coffhex {

namespace {

void reverse_groups(uint8_t* buffer, uint32_t length, uint32_t group) {
    if (group <= 1) return;
    if (group == 2) {
        for (uint32_t i = 0; i + 2 <= length; i += 2) std::swap(buffer[i], buffer[i + 1]);
    } else if (group == 4) {
        for (uint32_t i = 0; i + 4 <= length; i += 4) {
            std::swap(buffer[i], buffer[i + 3]);
            std::swap(buffer[i + 1], buffer[i + 2]);
        }
    } else {
        for (uint64_t i = 0; i + group <= length; i += group)
            std::reverse(buffer + i, buffer + i + group);
    }
}

}  // namespace

void apply_byte_order(uint8_t* buffer, uint32_t length, const ByteOrder& o) {
    // A data word in the other byte order than the lanes want is reversed
    // first (big-endian input with LS, little-endian input with MS) ...
    if (o.big_endian_input == (o.order == ORDER_LS) && o.datawidth > 1)
        reverse_groups(buffer, length, static_cast<uint32_t>(o.datawidth));
    // ... then, with LS, each lane (or each memory word of a wider lane) is
    // turned so that its most significant byte comes first.
    if (o.order == ORDER_LS) {
        const int32_t m = std::min(o.romwidth, o.memwidth);
        if (m > 1) reverse_groups(buffer, length, static_cast<uint32_t>(m));
    }
}

}  // namespace coffhex
