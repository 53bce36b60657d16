// Small conventions and helpers every subsystem shares.
#pragma once

#include <cstdint>

namespace coffhex {

// A 32-bit address, length or width that was not given holds all ones.
inline constexpr uint32_t ALL_ONES = 0xFFFFFFFFu;

// Word width of the target in bits, used by the width checks and their
// messages.
inline constexpr int TARGET_WIDTH_BITS = 32;

// True when exactly one of the 32 bits is set.
inline bool is_power_of_two(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace coffhex
