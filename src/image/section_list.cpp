// The sections to convert: default selection, linker fill sections,
// resolution of every selection entry against the input file, and the
// conversion order of the section array.
#include "image/section_list.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"

namespace coffhex {

namespace {

int g_converted = 0;
// The entry linked to each section index of the current array (nullptr for a
// section that is not converted); rebuilt whenever the array is reordered.
std::vector<SectionSpec*> g_spec_of;

const char* name_of(const SectionEntry& section) {
    const char* name = section_name_text(section);
    return name != nullptr ? name : "";
}

bool is_cinit_copy(const SectionEntry& section) {
    return (section.flags & STYP_COPY) != 0 && std::strcmp(name_of(section), ".cinit") == 0;
}

// Index of the first section of each name, in array order.
std::unordered_map<std::string, int> index_by_name() {
    const auto& sections = coff_input().sections;
    std::unordered_map<std::string, int> index;
    index.reserve(sections.size());
    for (size_t i = 0; i < sections.size(); ++i) {
        index.emplace(name_of(sections[i]), static_cast<int>(i));
    }
    return index;
}

void rebuild_spec_index() {
    const auto& sections = coff_input().sections;
    g_spec_of.assign(sections.size(), nullptr);
    for (SectionSpec* spec = first_section_spec(); spec != nullptr; spec = spec->next) {
        if (spec->linked() && static_cast<size_t>(spec->section) < sections.size()) {
            g_spec_of[static_cast<size_t>(spec->section)] = spec;
        }
    }
}

// Without a SECTIONS directive every section of the file is selected, apart
// from excluded ones; -boot marks them all boot-loaded.
void select_default_sections() {
    const ConverterOptions& opt = options();
    const bool boot_section = opt.boot_all && opt.boot_section_name.has_value();

    if (boot_section) {
        new_section_spec(opt.boot_section_name->c_str());
        SectionSpec* spec = current_section_spec();
        spec->address = opt.boot_section_address;
        spec->start_address = opt.boot_section_address;
        append_section_spec();
    }

    for (const SectionEntry& section : coff_input().sections) {
        const char* name = name_of(section);
        if (boot_section && *opt.boot_section_name == name) continue;
        if (is_excluded(name)) continue;
        new_section_spec(name);
        if (opt.boot_all) set_boot();
        append_section_spec();
    }
}

// A section lies inside a range when it starts at or above the range's
// origin and its last byte is at or below the range's last address.
bool inside_some_range(const SectionEntry& section) {
    const uint64_t first = section.paddr;
    const uint64_t after = first + section.size;
    for (const RomRange* range = first_range(); range != nullptr; range = range->next) {
        if (range->origin <= first && first <= range->end &&
            after <= static_cast<uint64_t>(range->end) + 1) {
            return true;
        }
    }
    return false;
}

void add_linker_fill_sections() {
    for (const SectionEntry& section : coff_input().sections) {
        const char* name = name_of(section);
        if (std::strncmp(name, "$fill", 5) != 0) continue;
        if (!inside_some_range(section)) continue;
        new_section_spec(name);
        append_section_spec();
    }
}

void resolve_entries() {
    const ConverterOptions& opt = options();
    const auto& sections = coff_input().sections;
    const auto index = index_by_name();

    for (SectionSpec* spec = first_section_spec(); spec != nullptr; spec = spec->next) {
        if (spec->datawidth == -1) spec->datawidth = opt.data_width;

        const auto found = index.find(spec->name);
        if (found == index.end()) {
            report(WARNING, "section %s not found in %s", spec->name.c_str(),
                   coff_file_name().c_str());
            continue;
        }
        const SectionEntry& section = sections[static_cast<size_t>(found->second)];
        if (section.data_pos == 0 || section.size == 0 ||
            (section.flags & (STYP_DSECT | STYP_NOLOAD)) != 0) {
            continue;
        }

        spec->section = found->second;
        ++g_converted;

        // A RAM-model .cinit is converted into the image of .bss: its records
        // carry .bss addresses, so .bss gives the output address.
        const SectionEntry* source = &section;
        if (is_cinit_copy(section)) {
            if (opt.image && !spec->boot_loaded()) {
                report(WARNING, "can't convert RAM-model .cinit with -image");
                continue;
            }
            spec->flags |= SPEC_RAM_CINIT;
            const auto bss = index.find(".bss");
            if (bss != index.end()) source = &sections[static_cast<size_t>(bss->second)];
        }

        if (spec->boot_loaded()) {
            spec->address = opt.boot_org;
            spec->start_address = opt.boot_org;
            spec->page = opt.boot_page;
        } else {
            if (spec->address == ALL_ONES) {
                spec->address = source->vaddr;
                spec->start_address = source->vaddr;
            }
            spec->page = source->page;
        }
    }
}

// Conversion order of linked entries: page (signed), then address
// (unsigned); a boot-loaded .cinit comes after every other entry at its page
// and address. Ties keep list order (the sort is stable).
bool converts_before(const SectionSpec* a, const SectionSpec* b) {
    if (a->page != b->page) return a->page < b->page;
    if (a->address != b->address) return a->address < b->address;
    const auto& sections = coff_input().sections;
    const bool a_last = a->boot_loaded() && is_cinit_copy(sections[static_cast<size_t>(a->section)]);
    const bool b_last = b->boot_loaded() && is_cinit_copy(sections[static_cast<size_t>(b->section)]);
    return !a_last && b_last;
}

}  // namespace

void complete_section_list() {
    const ConverterOptions& opt = options();
    close_section_directive();

    if (!sections_directive_used()) {
        select_default_sections();
    } else if (opt.boot_all) {
        report(WARNING, "-boot option ignored and overridden by SECTIONS directive");
    }

    g_converted = 0;

    if (opt.linker_fill) add_linker_fill_sections();

    resolve_entries();
    order_section_array();
}

void order_section_array() {
    auto& sections = coff_input().sections;
    const size_t count = sections.size();

    std::vector<SectionSpec*> linked;
    for (SectionSpec* spec = first_section_spec(); spec != nullptr; spec = spec->next) {
        spec->flags &= static_cast<uint16_t>(~SPEC_MOVED);
        if (spec->linked() && static_cast<size_t>(spec->section) < count) linked.push_back(spec);
    }

    std::vector<SectionEntry> ordered;
    ordered.reserve(count);
    std::vector<int> new_index(count, -1);
    auto move_entry = [&](SectionSpec* spec) {
        const size_t old = static_cast<size_t>(spec->section);
        if (new_index[old] < 0) {
            new_index[old] = static_cast<int>(ordered.size());
            ordered.push_back(sections[old]);
        }
        spec->section = new_index[old];
        spec->flags |= SPEC_MOVED;
    };

    const auto& bootstrap = options().bootstrap_section;
    if (bootstrap.has_value()) {
        const auto it = std::find_if(linked.begin(), linked.end(),
                                     [&](const SectionSpec* spec) { return spec->name == *bootstrap; });
        if (it == linked.end()) report(FATAL, "bootstrap section %s not found", bootstrap->c_str());
        move_entry(*it);
        linked.erase(it);
    }

    std::stable_sort(linked.begin(), linked.end(), converts_before);
    for (SectionSpec* spec : linked) move_entry(spec);

    // Sections that are not converted follow in their file order.
    for (size_t i = 0; i < count; ++i) {
        if (new_index[i] < 0) ordered.push_back(sections[i]);
    }

    sections = std::move(ordered);
    rebuild_spec_index();
}

int converted_section_count() { return g_converted; }

SectionSpec* spec_for_section(int index) {
    if (index < 0 || static_cast<size_t>(index) >= g_spec_of.size()) return nullptr;
    return g_spec_of[static_cast<size_t>(index)];
}

void reset_section_list() {
    g_converted = 0;
    g_spec_of.clear();
}

}  // namespace coffhex
