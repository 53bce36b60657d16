// Placeholder until the selection list is built.
#include "cmdfile/sections.h"

namespace coffhex {
void begin_sections() {}
void new_section_spec(const char*) {}
void set_boot() {}
void set_paddr(uint32_t) {}
void set_datawidth(uint32_t) {}
void append_section_spec() {}
SectionSpec* first_section_spec() { return nullptr; }
SectionSpec* current_section_spec() { return nullptr; }
bool sections_directive_used() { return false; }
void reset_sections() {}
}  // namespace coffhex
