// The sections to convert: default selection, linker fill sections,
// resolution of every selection entry against the input file, and the
// conversion order of the sections.
#include "image/section_list.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "object/object_file.h"
#include "diag/common.h"
#include "diag/diag.h"

namespace coffhex {

bool is_excluded(const std::vector<ExcludePattern>& patterns, const std::string& section_name) {
    std::string_view name(section_name);
    for (const ExcludePattern& p : patterns) {
        switch (p.kind) {
        case ExcludePattern::Exact:
            if (name == p.text) return true;
            break;
        case ExcludePattern::Prefix:
            if (name.size() >= p.text.size() && name.compare(0, p.text.size(), p.text) == 0) return true;
            break;
        case ExcludePattern::Suffix:
            if (name.size() >= p.text.size() &&
                name.compare(name.size() - p.text.size(), p.text.size(), p.text) == 0)
                return true;
            break;
        }
    }
    return false;
}

namespace {

// Index of the first section of each name, in file order.
std::unordered_map<std::string, int> index_by_name(const std::vector<SectionEntry>& sections) {
    std::unordered_map<std::string, int> index;
    index.reserve(sections.size());
    for (size_t i = 0; i < sections.size(); ++i) index.emplace(sections[i].name, static_cast<int>(i));
    return index;
}

// Without a SECTIONS directive every section of the file is selected, apart
// from excluded ones; -boot marks them all boot-loaded.
void select_default_sections(SectionSelection& selection, const ObjectFile& coff,
                             const SectionListSettings& s) {
    const bool boot_section = s.boot_all && s.boot_section_name.has_value();

    if (boot_section) {
        selection.new_section_spec(s.boot_section_name->c_str());
        SectionSpec* spec = selection.current();
        if (s.boot_section_address != ALL_ONES) spec->paddr = s.boot_section_address;
        selection.append_section_spec();
    }

    for (const SectionEntry& section : coff.sections()) {
        if (boot_section && *s.boot_section_name == section.name) continue;
        if (s.exclude != nullptr && is_excluded(*s.exclude, section.name)) continue;
        selection.new_section_spec(section.name.c_str());
        if (s.boot_all) selection.set_boot();
        selection.append_section_spec();
    }
}

// A section lies inside a range when it starts at or above the range's
// origin and its last byte is at or below the range's last address.
bool inside_some_range(const SectionEntry& section, const RomRange* first_range) {
    const uint64_t first = section.paddr;
    const uint64_t after = first + section.size;
    for (const RomRange* range = first_range; range != nullptr; range = range->next) {
        if (range->origin <= first && first <= range->end &&
            after <= static_cast<uint64_t>(range->end) + 1) {
            return true;
        }
    }
    return false;
}

void add_linker_fill_sections(SectionSelection& selection, const ObjectFile& coff,
                              const RomRange* first_range) {
    for (const SectionEntry& section : coff.sections()) {
        if (section.name.compare(0, 5, "$fill") != 0) continue;
        if (!inside_some_range(section, first_range)) continue;
        selection.new_section_spec(section.name.c_str());
        selection.append_section_spec();
    }
}

int resolve_entries(SectionSelection& selection, const ObjectFile& coff,
                    const SectionListSettings& s, Diagnostics& diag) {
    const auto& sections = coff.sections();
    const auto index = index_by_name(sections);
    int converted = 0;

    for (SectionSpec* spec = selection.first(); spec != nullptr; spec = spec->next) {
        if (!spec->datawidth) spec->datawidth = s.data_width;
        spec->address = spec->paddr.value_or(ALL_ONES);

        const auto found = index.find(spec->name);
        if (found == index.end()) {
            diag.report(WARNING, "section %s not found in %s", spec->name.c_str(),
                        s.coff_file_name.c_str());
            continue;
        }
        const SectionEntry& section = sections[static_cast<size_t>(found->second)];
        if (!section.has_data()) continue;

        spec->section = found->second;
        ++converted;

        // A RAM-model .cinit is converted into the image of .bss: its records
        // carry .bss addresses, so .bss gives the output address.
        const SectionEntry* source = &section;
        if (section.is_cinit()) {
            if (s.image && !spec->boot_loaded()) {
                diag.report(WARNING, "can't convert RAM-model .cinit with -image");
                continue;
            }
            spec->flags |= SPEC_RAM_CINIT;
            // Placed at the addresses of the variables they initialize, the
            // records land wherever those lie, each one on its own.
            if (!spec->boot_loaded()) spec->flags |= SPEC_RECORDS;
            if (const SectionEntry* bss = coff.bss()) source = bss;
        }

        if (spec->boot_loaded()) {
            spec->address = s.boot_org;
            spec->page = s.boot_page;
        } else {
            spec->address = spec->paddr.value_or(source->load);
            spec->page = source->page;
        }
    }
    return converted;
}

// Conversion order of linked entries: page (signed), then address
// (unsigned); a boot-loaded .cinit comes after every other entry at its page
// and address. Ties keep list order (the sort is stable).
bool converts_before(const std::vector<SectionEntry>& sections, const SectionSpec* a,
                     const SectionSpec* b) {
    if (a->page != b->page) return a->page < b->page;
    if (a->address != b->address) return a->address < b->address;
    const bool a_last = a->boot_loaded() && sections[static_cast<size_t>(a->section)].is_cinit();
    const bool b_last = b->boot_loaded() && sections[static_cast<size_t>(b->section)].is_cinit();
    return !a_last && b_last;
}

}  // namespace

ConversionOrder complete_section_list(SectionSelection& selection, const ObjectFile& coff,
                                      const RomRange* first_range,
                                      const SectionListSettings& s, Diagnostics& diag) {
    selection.close_directive();

    if (!selection.directive_used()) {
        select_default_sections(selection, coff, s);
    } else if (s.boot_all) {
        diag.report(WARNING, "-boot option ignored and overridden by SECTIONS directive");
    }

    if (s.linker_fill) add_linker_fill_sections(selection, coff, first_range);

    ConversionOrder result;
    result.converted = resolve_entries(selection, coff, s, diag);

    const auto& sections = coff.sections();
    const size_t count = sections.size();
    std::vector<SectionSpec*> linked;
    for (SectionSpec* spec = selection.first(); spec != nullptr; spec = spec->next) {
        spec->flags &= static_cast<uint16_t>(~SPEC_MOVED);
        if (spec->linked() && static_cast<size_t>(spec->section) < count) linked.push_back(spec);
    }

    std::vector<bool> placed(count, false);
    result.spec_of.assign(count, nullptr);
    auto move_entry = [&](SectionSpec* spec) {
        const size_t index = static_cast<size_t>(spec->section);
        if (!placed[index]) {
            placed[index] = true;
            result.order.push_back(spec->section);
        }
        spec->flags |= SPEC_MOVED;
    };

    if (s.bootstrap_section.has_value()) {
        const auto it = std::find_if(linked.begin(), linked.end(), [&](const SectionSpec* spec) {
            return spec->name == *s.bootstrap_section;
        });
        if (it == linked.end()) diag.fatal("bootstrap section %s not found", s.bootstrap_section->c_str());
        move_entry(*it);
        linked.erase(it);
    }

    std::stable_sort(linked.begin(), linked.end(),
                     [&](const SectionSpec* a, const SectionSpec* b) { return converts_before(sections, a, b); });
    for (SectionSpec* spec : linked) move_entry(spec);

    // Sections that are not converted follow in their file order.
    for (size_t i = 0; i < count; ++i)
        if (!placed[i]) result.order.push_back(static_cast<int>(i));

    for (SectionSpec* spec = selection.first(); spec != nullptr; spec = spec->next)
        if (spec->linked() && static_cast<size_t>(spec->section) < count)
            result.spec_of[static_cast<size_t>(spec->section)] = spec;
    return result;
}

}  // namespace coffhex
