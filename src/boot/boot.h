// The boot table: boot-loaded sections packed behind an entry point with a
// size and destination address each, closed by a zero terminator.
#pragma once

#include <cstdint>

namespace coffhex {

struct SectionSpec;
struct SectionEntry;

inline constexpr uint32_t BOOT_ALIGNMENT = 4;

enum class BootState { Closed, Framing, Open };

// Origin and page of the table (default: the first range), table address.
void set_boot_origin();

// Framing.
void write_boot_field(uint32_t value, int size);
void begin_boot_section(uint32_t address, uint32_t size);
void close_boot_table();

// The boot half of the data sink, for a chunk of a boot-loaded entry.
void load_boot_chunk(SectionSpec& entry, const uint8_t* data, uint32_t length, uint32_t address);
void append_boot_data(const SectionEntry& section, const uint8_t* data, uint32_t address,
                      uint32_t length);

// Completes a pending boot table, then finishes every remaining range.
void finish_output();

BootState boot_state();
bool boot_table_closed();
// Next free address of the table.
uint32_t boot_table_address();
// Number of boot sections begun so far.
int32_t boot_sections_begun();
// Current size of the boot buffer (0 before its first use).
uint32_t boot_buffer_capacity();

void reset_boot();

}  // namespace coffhex
