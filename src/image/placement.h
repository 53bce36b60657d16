// Placement of section data into the memory ranges: gaps, fill, padding to
// whole memory words, unplaced data, moving from range to range.
#pragma once

#include <cstdint>

namespace coffhex {

struct RomRange;
struct SectionSpec;

// The data sink for every chunk of section data (boot-loaded entries go to
// the boot table). Always reports success.
bool load_chunk(const uint8_t* data, uint32_t length, uint32_t address, int32_t page);

// Places length bytes whose first byte belongs at `address`; returns the
// number of bytes written. The buffer must have room for memwidth - 1 pad
// bytes beyond length.
uint32_t place_data(uint8_t* buffer, uint32_t length, uint32_t address);

void fill_to(uint32_t limit);
void report_unplaced(uint32_t address);
void next_range();
void finish_ranges();

// The range being filled (nullptr after the last), and its setter used by
// the translate step to start at the first range.
RomRange* current_range();
void set_current_range(RomRange* range);

// The selection entry of the chunk being placed, or nullptr.
SectionSpec* current_entry();
void set_current_entry(SectionSpec* entry);

// Set while the boot table's own data is placed (diagnostic wording only).
void set_boot_table_mode(bool on);
bool boot_table_mode();

// The chunk checks of the data sink: LOADBUFSIZE must be a multiple of the
// range's ROM width and memory width and, when boot_alignment is not 0, of
// the boot alignment. A failure is an internal error (the run ends).
void check_load_buffer_widths(const RomRange& range, uint32_t boot_alignment);

// Test seam: makes `first` the selection list that placement consults (for
// the entry of a section index and for the overlap search) instead of the
// SECTIONS list; nullptr restores the real list.
void set_selection_override(SectionSpec* first);

void reset_placement();

}  // namespace coffhex
