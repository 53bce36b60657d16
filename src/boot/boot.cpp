// The boot table: the boot half of the data sink and the framing fields.
//
// Boot-loaded sections are not placed at their own addresses. Their data is
// packed, behind a size and a destination address each, into one table that
// starts at the boot table origin; the entry point heads the table and a
// zero word ends it. Every byte of the table goes through place_data, on
// behalf of the entry whose chunk is being converted.
#include "boot/boot.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "image/placement.h"

namespace coffhex {

namespace {

// The boot buffer grows by this many bytes whenever a byte would not fit.
constexpr uint32_t BOOT_BUFFER_STEP = 1638;

BootState g_state = BootState::Closed;
uint32_t g_table_address = 0;
int32_t g_sections_begun = 0;

// Bytes of the chunk being written. The vector always holds at least
// g_capacity bytes plus room for the pad bytes placement may add behind the
// data; g_capacity is the buffer size the trace reports.
std::vector<uint8_t> g_buffer;
uint32_t g_length = 0;
uint32_t g_capacity = 0;

// One framing field plus room for the pad bytes placement may add.
std::vector<uint8_t> g_field;

// The boot-loaded entry that most recently received table bytes (its range
// is set); the terminator is written on its behalf.
SectionSpec* g_last_fed = nullptr;

void set_state(BootState state) {
    g_state = state;
    set_boot_table_mode(state != BootState::Closed);
}

// Widest memory word of the ranges still ahead (the current one included):
// place_data pads the tail of a buffer to a whole word of the range it
// writes into, so the buffer needs that many bytes minus one behind the data.
uint32_t widest_memory_word() {
    int32_t widest = 1;
    for (const RomRange* r = current_range(); r != nullptr; r = r->next)
        widest = std::max(widest, r->memwidth);
    return static_cast<uint32_t>(widest);
}

void make_room(std::vector<uint8_t>& buffer, uint64_t bytes) {
    if (buffer.size() < bytes) buffer.resize(static_cast<size_t>(bytes), 0);
}

// Notes the current entry as the latest one fed, once placement has given
// it a range.
void note_fed_entry() {
    SectionSpec* entry = current_entry();
    if (entry != nullptr && entry->boot_loaded() && entry->range != nullptr) g_last_fed = entry;
}

// Places bytes at the table address and advances it by what was written.
uint32_t place_at_table(uint8_t* bytes, uint32_t length) {
    uint32_t written = place_data(bytes, length, g_table_address);
    g_table_address += written;
    note_fed_entry();
    return written;
}

// The range whose memory width pads a chunk: the one the table address
// falls into, seen from the current range (placement only moves forward).
const RomRange* range_for_table(int32_t page) {
    const RomRange* range = current_range();
    while (range != nullptr && range->next != nullptr &&
           (page > range->page || (page == range->page && g_table_address > range->end)))
        range = range->next;
    return range;
}

void append_to_buffer(const uint8_t* data, uint32_t count) {
    uint64_t needed = static_cast<uint64_t>(g_length) + count;
    if (g_capacity == 0) g_capacity = LOADBUFSIZE;
    while (g_capacity < needed) g_capacity += BOOT_BUFFER_STEP;
    make_room(g_buffer, g_capacity);
    if (data != nullptr)
        std::copy(data, data + count, g_buffer.begin() + g_length);
    else
        std::fill(g_buffer.begin() + g_length, g_buffer.begin() + needed, uint8_t{0});
    g_length = static_cast<uint32_t>(needed);
}

}  // namespace

void set_boot_origin() {
    ConverterOptions& o = options();
    const RomRange* first = first_range();
    if (first != nullptr) {
        if (o.boot_org == ALL_ONES) o.boot_org = first->origin;
        if (o.boot_page == -1) o.boot_page = first->page;
    }
    g_table_address = o.boot_org;
}

void write_boot_field(uint32_t value, int size) {
    if (size > 4) {
        // This guard has its own fixed text, outside the severity layout.
        std::fflush(stdout);
        wrap_message(">>", "ERROR: field truncated - ABORT");
        std::fflush(stderr);
        end_run(1);
    }
    if (size <= 0) return;
    make_room(g_field, 4 + widest_memory_word() - 1);
    const bool big_endian = coff_input().big_endian_data;
    for (int j = 0; j < size; ++j) {
        uint8_t byte = static_cast<uint8_t>(value >> (8 * j));
        g_field[big_endian ? size - 1 - j : j] = byte;
    }
    place_at_table(g_field.data(), static_cast<uint32_t>(size));
}

void begin_boot_section(uint32_t address, uint32_t size) {
    ++g_sections_begun;
    set_state(BootState::Framing);
    const ConverterOptions& o = options();
    if (o.bootstrap_section.has_value()) {
        // The bootstrap section forms a table of its own; the main table,
        // with the entry point, starts at the second section.
        if (g_sections_begun == 2) {
            close_boot_table();
            set_state(BootState::Framing);
            write_boot_field(o.entry_point, 4);
        }
    } else if (g_sections_begun == 1) {
        write_boot_field(o.entry_point, 4);
    }
    write_boot_field(size, 4);
    write_boot_field(address, 4);
    set_state(BootState::Open);
}

void close_boot_table() {
    set_state(BootState::Framing);
    SectionSpec* previous = current_entry();
    if (g_last_fed != nullptr) set_current_entry(g_last_fed);
    write_boot_field(0, 4);
    set_current_entry(previous);
    set_state(BootState::Closed);
}

void load_boot_chunk(SectionSpec& entry, const uint8_t* data, uint32_t length,
                     uint32_t address) {
    const CoffInput& input = coff_input();
    if (entry.section < 0 || static_cast<size_t>(entry.section) >= input.sections.size()) return;
    const SectionEntry& section = input.sections[static_cast<size_t>(entry.section)];
    if ((entry.flags & SPEC_RAM_CINIT) != 0)
        begin_boot_section(address, length);  // every record piece is a section
    else if (address == section.vaddr)
        begin_boot_section(address, section.size);
    append_boot_data(section, data, address, length);
}

void append_boot_data(const SectionEntry& section, const uint8_t* data, uint32_t address,
                      uint32_t length) {
    const ConverterOptions& o = options();
    if (o.trace_level != 0) trace_line("\n");

    g_length = 0;
    append_to_buffer(data, length);

    const SectionSpec* entry = current_entry();
    const bool cinit = entry != nullptr && (entry->flags & SPEC_RAM_CINIT) != 0;
    const bool completes =
        cinit || static_cast<uint64_t>(address) + length >=
                     static_cast<uint64_t>(section.vaddr) + section.size;

    if (completes) {
        uint32_t aligned = (g_length + BOOT_ALIGNMENT - 1) / BOOT_ALIGNMENT * BOOT_ALIGNMENT;
        if (aligned > g_length) append_to_buffer(nullptr, aligned - g_length);
    }

    if (current_range() != nullptr) {
        const RomRange* range = range_for_table(entry != nullptr ? entry->page : 0);
        uint32_t width = static_cast<uint32_t>(std::max(range->memwidth, 1));
        uint32_t n = length;
        while (n % width != 0) {
            if (!completes) report(INTERNAL, "corrupt boot buffer - ABORT");
            ++n;
            if (g_length < n) append_to_buffer(nullptr, 1);
        }
    }

    make_room(g_buffer, static_cast<uint64_t>(g_length) + widest_memory_word() - 1);
    const uint32_t placed_at = g_table_address;
    place_at_table(g_buffer.data(), g_length);

    if (!completes && o.trace_level != 0) {
        // The buffer is known by the table address it was placed at; there
        // is no overflow buffer.
        trace_line("Boot Buffer Address    : 0x%X\n", placed_at);
        trace_line("Length of Data         : %u\n", g_length);
        trace_line("Length of Buffer       : %u\n", g_capacity);
        trace_line("Overflow Buffer Address: 0x%X\n", 0u);
        trace_line("Overflow Buffer Length : %u\n", 0u);
    }
}

void finish_output() {
    if (!boot_table_closed()) close_boot_table();
    finish_ranges();
}

BootState boot_state() { return g_state; }
bool boot_table_closed() { return g_state == BootState::Closed; }
uint32_t boot_table_address() { return g_table_address; }
int32_t boot_sections_begun() { return g_sections_begun; }
uint32_t boot_buffer_capacity() { return g_capacity; }

void reset_boot() {
    g_state = BootState::Closed;
    g_table_address = 0;
    g_sections_begun = 0;
    g_buffer.clear();
    g_buffer.shrink_to_fit();
    g_length = 0;
    g_capacity = 0;
    g_field.clear();
    g_last_fed = nullptr;
    set_boot_table_mode(false);
}

}  // namespace coffhex
