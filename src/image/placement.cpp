// Placeholder until placement is built.
#include "image/placement.h"

namespace coffhex {
bool load_chunk(const uint8_t*, uint32_t, uint32_t, int32_t) { return true; }
uint32_t place_data(uint8_t*, uint32_t, uint32_t) { return 0; }
void fill_to(uint32_t) {}
void report_unplaced(uint32_t) {}
void next_range() {}
void finish_ranges() {}
RomRange* current_range() { return nullptr; }
void set_current_range(RomRange*) {}
SectionSpec* current_entry() { return nullptr; }
void set_current_entry(SectionSpec*) {}
void set_boot_table_mode(bool) {}
bool boot_table_mode() { return false; }
void reset_placement() {}
}  // namespace coffhex
