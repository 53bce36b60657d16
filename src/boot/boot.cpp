// Placeholder until the boot table is built.
#include "boot/boot.h"

#include "image/placement.h"

namespace coffhex {
void set_boot_origin() {}
void write_boot_field(uint32_t, int) {}
void begin_boot_section(uint32_t, uint32_t) {}
void close_boot_table() {}
void load_boot_chunk(SectionSpec&, const uint8_t*, uint32_t, uint32_t) {}
void append_boot_data(const SectionEntry&, const uint8_t*, uint32_t, uint32_t) {}
void finish_output() { finish_ranges(); }
BootState boot_state() { return BootState::Closed; }
bool boot_table_closed() { return true; }
uint32_t boot_table_address() { return 0; }
void reset_boot() {}
}  // namespace coffhex
