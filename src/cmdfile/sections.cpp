// The SECTIONS directive: creating, marking and appending selection entries.
#include "cmdfile/sections.h"

#include <deque>
#include <unordered_set>

#include "cmdfile/lexer.h"
#include "diag/diag.h"

namespace coffhex {

namespace {

// Every entry ever created, appended or not; a deque keeps addresses stable,
// so a dropped duplicate stays valid as the current entry and the list links
// never dangle.
std::deque<SectionSpec> g_entries;
SectionSpec* g_first = nullptr;
SectionSpec* g_last = nullptr;
SectionSpec* g_current = nullptr;
// Names in the list, for the duplicate test.
std::unordered_set<std::string> g_names;
bool g_directive_open = true;
bool g_directive_appended = false;

}  // namespace

void begin_sections() {
    keywords_on();
    if (g_first != nullptr) report(ERROR, "SECTIONS directive redefined");
}

void new_section_spec(const char* name) {
    SectionSpec& entry = g_entries.emplace_back();
    entry.name = name != nullptr ? name : "";
    g_current = &entry;
}

void set_boot() {
    if (g_current == nullptr) return;
    if (g_current->boot_loaded()) {
        report(ERROR, "bootflag reset for %s", g_current->name.c_str());
    } else {
        g_current->flags |= SPEC_BOOT;
    }
}

void set_paddr(uint32_t value) {
    if (g_current == nullptr) return;
    if (g_current->address != ALL_ONES || g_current->boot_loaded()) {
        report(ERROR, "physical address redefined for %s", g_current->name.c_str());
    } else {
        g_current->address = value;
    }
    g_current->start_address = g_current->address;
}

void set_datawidth(uint32_t bits) {
    if (g_current == nullptr) return;
    if (g_current->datawidth != -1) {
        report(ERROR, "datawidth redefined for %s", g_current->name.c_str());
    }
    if (bits % 8 == 0 && is_power_of_two(bits)) {
        g_current->datawidth = static_cast<int32_t>(bits / 8);
    } else {
        report(WARNING, "illegal datawidth of %u specified for %s", bits,
               g_current->name.c_str());
    }
}

void append_section_spec() {
    if (g_current == nullptr) return;
    SectionSpec& entry = *g_current;
    // An entry already in the list has its name there too, so appending it
    // again is refused like any duplicate (and cannot link a cycle).
    if (!g_names.insert(entry.name).second) {
        report(WARNING, "duplicate section name '%s' (ignored)", entry.name.c_str());
        return;
    }
    if (g_first == nullptr) {
        g_first = &entry;
    } else {
        g_last->next = &entry;
    }
    g_last = &entry;
    if (g_directive_open) g_directive_appended = true;
}

SectionSpec* first_section_spec() { return g_first; }

SectionSpec* current_section_spec() { return g_current; }

bool sections_directive_used() { return g_directive_appended; }

void close_section_directive() { g_directive_open = false; }

void reset_sections() {
    g_entries.clear();
    g_first = nullptr;
    g_last = nullptr;
    g_current = nullptr;
    g_names.clear();
    g_directive_open = true;
    g_directive_appended = false;
}

}  // namespace coffhex
