// The SECTIONS directive: the selection list of input sections to convert.
#pragma once

#include <cstdint>
#include <string>

namespace coffhex {

struct RomRange;

enum SectionSpecFlags : uint16_t {
    SPEC_BOOT = 0x1,       // boot-loaded
    SPEC_RAM_CINIT = 0x2,  // RAM-model .cinit converted through .bss
    SPEC_REPORTED = 0x4,   // placement diagnostic issued
    SPEC_MOVED = 0x8,      // moved into the ordered section array
    SPEC_CONTINUED = 0x10, // already shown in a block of the map file
};

struct SectionSpec {
    SectionSpec* next = nullptr;
    std::string name;
    int section = -1;                 // index into the section array; -1 = none
    uint32_t address = 0xFFFFFFFFu;   // output address; all ones = not given
    uint32_t start_address = 0xFFFFFFFFu;
    int32_t page = 0;
    uint32_t last_address = 0;
    int32_t datawidth = -1;           // bytes; -1 = not given
    RomRange* range = nullptr;        // range that received the first byte
    uint16_t flags = 0;

    bool boot_loaded() const { return (flags & SPEC_BOOT) != 0; }
    bool linked() const { return section >= 0; }
};

void begin_sections();
void new_section_spec(const char* name);
void set_boot();
void set_paddr(uint32_t value);
void set_datawidth(uint32_t bits);
void append_section_spec();

// First entry of the selection list, or nullptr (linked through `next`).
SectionSpec* first_section_spec();
// The entry most recently created, or nullptr.
SectionSpec* current_section_spec();
// True when a SECTIONS directive created any entry.
bool sections_directive_used();
// Ends the directive's part of the list: entries appended from now on (the
// default selection and the linker fill sections) are not the directive's.
void close_section_directive();

void reset_sections();

}  // namespace coffhex
