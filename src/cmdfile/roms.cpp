// Placeholder until the memory configuration is built.
#include "cmdfile/roms.h"

namespace coffhex {
void begin_roms() {}
void set_current_page(int32_t) {}
void new_range(const char*) {}
void set_origin(uint32_t) {}
void set_length(uint32_t) {}
void set_romwidth(uint32_t) {}
void set_memwidth(uint32_t) {}
void set_fill(uint32_t) {}
void add_output_file(const char*) {}
void finish_range() {}
void finish_rom_ranges() {}
RomRange* first_range() { return nullptr; }
int range_count() { return 0; }
RomRange* range_being_defined() { return nullptr; }
void reset_roms() {}
}  // namespace coffhex
