// Placeholder until the COFF reader is built.
#include "coff/coff.h"

#include <cstring>

namespace coffhex {
namespace {
CoffInput g_input;
}
bool SectionEntry::has_inline_name(const char* text) const {
    return long_name == nullptr && std::strcmp(name, text) == 0;
}
CoffInput& coff_input() { return g_input; }
bool load_coff_file() { return false; }
bool read_coff_headers() { return false; }
bool read_string_table() { return true; }
const char* string_at_offset(uint32_t) { return nullptr; }
const char* section_name_text(const SectionEntry& entry) {
    return entry.long_name != nullptr ? entry.long_name : entry.name;
}
void reset_coff_input() {
    FILE* stream = g_input.stream;
    g_input = CoffInput{};
    g_input.stream = stream;
}
}  // namespace coffhex
