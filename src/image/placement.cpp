// Placement of section data into the memory ranges.
//
// Sections arrive ordered by page and address, and so are the ranges, so
// placement is one forward merge of the two: the current range only moves
// forward. Gaps are filled in image mode and skipped otherwise; data that
// falls outside every range or onto data already placed is dropped with one
// warning per entry.
#include "image/placement.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "boot/boot.h"
#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"
#include "image/output_files.h"
#include "image/section_list.h"
#include "mapfile/mapfile.h"

namespace coffhex {

namespace {

RomRange* g_range = nullptr;
SectionSpec* g_entry = nullptr;
bool g_boot_table_mode = false;
SectionSpec* g_selection_override = nullptr;

// Private copy of a chunk: placement reorders bytes in place and may append
// pad bytes, neither of which may touch the reader's buffer.
std::vector<uint8_t> g_chunk;
// The fill pattern: max(4, memwidth) bytes, in output byte order.
std::vector<uint8_t> g_pattern;
// A run of whole fill words, written in one call per run.
std::vector<uint8_t> g_fill_run;
constexpr uint64_t FILL_RUN_BYTES = 64 * 1024;
// One memory word put together from data and fill bytes.
std::vector<uint8_t> g_word;

SectionSpec* first_entry() {
    return g_selection_override != nullptr ? g_selection_override : first_section_spec();
}

SectionSpec* entry_for_section(int index) {
    if (g_selection_override == nullptr) return spec_for_section(index);
    for (SectionSpec* s = g_selection_override; s != nullptr; s = s->next)
        if (s->section == index && index >= 0) return s;
    return nullptr;
}

const SectionEntry* section_of(const SectionSpec& entry) {
    const CoffInput& input = coff_input();
    if (entry.section < 0 || static_cast<size_t>(entry.section) >= input.sections.size())
        return nullptr;
    return &input.sections[static_cast<size_t>(entry.section)];
}

const SectionEntry* find_bss() {
    for (const SectionEntry& s : coff_input().sections) {
        const char* name = section_name_text(s);
        if (name != nullptr && std::strcmp(name, ".bss") == 0) return &s;
    }
    return nullptr;
}

// A RAM-model .cinit that the section list could not convert (image mode,
// not boot-loaded): linked, but neither mapped through .bss nor boot-loaded.
bool unconverted_ram_cinit(const SectionSpec& entry, const SectionEntry& section) {
    if ((entry.flags & (SPEC_RAM_CINIT | SPEC_BOOT)) != 0) return false;
    if ((section.flags & STYP_COPY) == 0) return false;
    const char* name = section_name_text(section);
    return name != nullptr && std::strcmp(name, ".cinit") == 0;
}

[[noreturn]] void bad_width_write() {
    report(INTERNAL, "nbytes not a multiple of mem width/rom width");
    end_run(1);  // not reached: INTERNAL ends the run
}

// Builds the fill pattern of a range: the fill value in the input's byte
// order, repeated every four bytes, then put into output byte order as data
// of no section.
void build_pattern(const RomRange& range) {
    const size_t size = std::max<size_t>(4, static_cast<size_t>(std::max(range.memwidth, 1)));
    g_pattern.assign(size, 0);
    const uint32_t fill = range.fill;
    const bool big = coff_input().big_endian_data;
    for (int j = 0; j < 4; ++j) {
        const int shift = big ? 8 * (3 - j) : 8 * j;
        g_pattern[static_cast<size_t>(j)] = static_cast<uint8_t>(fill >> shift);
    }
    for (size_t j = 4; j < size; ++j) g_pattern[j] = g_pattern[j - 4];
    // The fill belongs to no section: it is ordered with the default data
    // width, not with that of the section whose gap it happens to fill, so
    // that every fill word of a range reads the same.
    SectionSpec* const entry = g_entry;
    g_entry = nullptr;
    apply_byte_order(g_pattern.data(), static_cast<uint32_t>(size));
    g_entry = entry;
}

// Byte j of the pattern; reads past its end wrap around (a memory word of
// three bytes taken at offset 3 would otherwise run off the pattern).
inline uint8_t pattern_byte(size_t j) { return g_pattern[j % g_pattern.size()]; }

// True when the whole section starting at `address` lies below the range's
// origin, so none of it can be written there.
bool section_below_origin(const SectionSpec& entry, uint32_t address, const RomRange& range) {
    const SectionEntry* section = section_of(entry);
    const uint64_t size = section != nullptr ? section->size : 0;
    return static_cast<uint64_t>(address) + size <= range.origin;
}

// The largest memory width from the current range on: the chunk copy needs
// room for that many pad bytes minus one.
uint32_t widest_memory_word() {
    int32_t widest = 1;
    for (const RomRange* r = g_range; r != nullptr; r = r->next)
        widest = std::max(widest, r->memwidth);
    return static_cast<uint32_t>(widest);
}

void report_padding(const SectionSpec* entry, uint32_t pad, uint32_t size, uint32_t width) {
    report(WARNING,
           "section '%s' was padded by %d bytes to a size of %d to satisfy the "
           "specified memory width of %d",
           entry != nullptr ? entry->name.c_str() : "", static_cast<int>(pad),
           static_cast<int>(size), static_cast<int>(width));
}

// Writes one memory word of the current range made of `lead` fill bytes,
// then `count` data bytes, then fill bytes to the end of the word. The fill
// bytes are those of the fill pattern at the same positions, as for the pad
// bytes of a short section.
void write_mixed_word(RomRange& range, uint32_t lead, const uint8_t* data, uint32_t count) {
    const uint32_t width = static_cast<uint32_t>(range.memwidth);
    build_pattern(range);
    g_word.resize(width);
    for (uint32_t k = 0; k < width; ++k)
        g_word[k] = k >= lead && k - lead < count ? data[k - lead] : pattern_byte(k);
    apply_byte_order(g_word.data(), width);
    write_range_data(g_word.data(), width);
}

}  // namespace

void check_load_buffer_widths(const RomRange& range, uint32_t boot_alignment) {
    if (range.romwidth <= 0 || LOADBUFSIZE % static_cast<uint32_t>(range.romwidth) != 0)
        report(INTERNAL, "LOADBUFSIZE not a multiple of width");
    if (range.memwidth <= 0 || LOADBUFSIZE % static_cast<uint32_t>(range.memwidth) != 0)
        report(INTERNAL, "LOADBUFSIZE not a multiple of memwidth");
    if (boot_alignment != 0 && LOADBUFSIZE % boot_alignment != 0)
        report(INTERNAL, " LOADBUFSIZE not a mult. of boot.alignment");
}

bool load_chunk(const uint8_t* data, uint32_t length, uint32_t address, int32_t /*page*/) {
    SectionSpec* entry = entry_for_section(coff_input().current_section);
    g_entry = entry;
    if (entry == nullptr) return true;
    const SectionEntry* section = section_of(*entry);
    if (section == nullptr) return true;
    if (unconverted_ram_cinit(*entry, *section)) {
        // Its records carry .bss addresses that have no place in this image
        // (the section list has said so); placing them anywhere would only
        // put data at a made-up address.
        g_entry = nullptr;
        return true;
    }

    // The boot-loaded sections are over: the terminator goes right after
    // the last of them, before this chunk.
    if (!entry->boot_loaded() && !boot_table_closed()) close_boot_table();

    if (g_range != nullptr)
        check_load_buffer_widths(*g_range, entry->boot_loaded() ? BOOT_ALIGNMENT : 0);

    // A converted RAM-model .cinit carries .bss addresses. Without a .bss
    // section the records are mapped from the .cinit section's own address,
    // the same address source the section list used for the entry.
    const bool ram_cinit = (entry->flags & SPEC_RAM_CINIT) != 0;
    uint32_t base = section->vaddr;
    if (ram_cinit) {
        if (const SectionEntry* bss = find_bss()) base = bss->vaddr;
    }
    const uint32_t output_address = entry->address - base + address;

    if (address == section->vaddr || (ram_cinit && output_address == 0)) {
        const ConverterOptions& o = options();
        if (o.quiet == 0) {
            std::printf("   \"%s\"   ==> %s", coff_file_name().c_str(), entry->name.c_str());
            if (entry->boot_loaded()) std::fputs(" \t(BOOT LOAD)", stdout);
            if (o.trace_level <= 0) std::fputs("\n", stdout);
        }
        // Outside image mode every section starts a record of its own.
        if (!o.image) flush_range_files();
    }

    if (entry->boot_loaded()) {
        load_boot_chunk(*entry, data, length, address);
        return true;
    }

    uint32_t at = output_address;
    while (length > 0) {
        const uint32_t n = std::min(length, LOADBUFSIZE);
        const size_t room = static_cast<size_t>(n) + widest_memory_word();
        if (g_chunk.size() < room) g_chunk.resize(room);
        std::memcpy(g_chunk.data(), data, n);
        place_data(g_chunk.data(), n, at);
        data += n;
        at += n;
        length -= n;
    }
    return true;
}

uint32_t place_data(uint8_t* buffer, uint32_t length, uint32_t address) {
    uint32_t written = 0;
    while (length > 0) {
        RomRange* range = g_range;
        SectionSpec* entry = g_entry;
        if (range == nullptr) {
            report_unplaced(address);
            break;
        }
        if (range->address > range->end) {
            next_range();
            continue;
        }
        const int32_t page = entry != nullptr ? entry->page : range->page;
        if (page > range->page) {
            fill_to(range->end);  // the range is finished
            continue;
        }
        if (page < range->page) {
            report_unplaced(address);
            break;
        }
        if (address > range->address) {
            const uint32_t gap = address - range->address;
            const uint32_t width = static_cast<uint32_t>(std::max(range->memwidth, 1));
            if (options().image && address - 1 <= range->end && gap % width != 0 &&
                static_cast<uint64_t>(range->address) + gap / width * width + width - 1 <=
                    range->end) {
                // The range is written whole memory words from its origin:
                // fill the words below the data, then the word the data
                // starts in holds fill up to the data's first byte.
                if (gap >= width) {
                    fill_to(range->address + gap / width * width - 1);
                    continue;
                }
                const uint32_t count = std::min(length, width - gap);
                const uint32_t pad = width - gap - count;
                if (pad != 0) report_padding(entry, pad, count + pad, width);
                if (entry != nullptr && entry->range != range) {
                    entry->range = range;
                    entry->start_address = address;
                }
                write_mixed_word(*range, gap, buffer, count);
                written += count;
                buffer += count;
                length -= count;
                address += count;
                if (entry != nullptr) entry->last_address = range->address - 1;
                if (range->address > range->end || range->address == 0) next_range();
                continue;
            }
            fill_to(std::min(address - 1, range->end));
            continue;
        }
        if (address < range->address) {
            report_unplaced(address);
            const uint32_t dropped = range->address - address;
            if (dropped >= length) break;
            buffer += dropped;
            address += dropped;
            length -= dropped;
            continue;
        }

        // address == range->address: write.
        if (range->memwidth <= 0) bad_width_write();
        const uint32_t width = static_cast<uint32_t>(range->memwidth);
        const uint32_t partial = length % width;
        if (partial != 0) {
            build_pattern(*range);
            uint8_t* word = buffer + (length - partial);
            for (uint32_t k = partial; k < width; ++k) word[k] = pattern_byte(k);
            const uint32_t pad = width - partial;
            length += pad;
            report_padding(entry, pad, length, width);
        }
        if (entry != nullptr && entry->range != range) {
            entry->range = range;
            entry->start_address = range->address;
        }
        // Room left in the range; a range spanning the whole address space
        // has 2^32 addresses of room.
        const uint64_t room = static_cast<uint64_t>(range->end) - range->address + 1;
        const uint32_t n = room >= length ? length : static_cast<uint32_t>(room);
        if (n % width != 0) {
            // The range ends inside the memory word that this write started
            // (data that did not start on the range's word grid): its whole
            // words go out as they are, the cut word is padded from the fill
            // pattern, and the rest of the data goes on beyond the range.
            const uint32_t whole = n - n % width;
            if (whole != 0) {
                apply_byte_order(buffer, whole);
                write_range_data(buffer, whole);
            }
            report_padding(entry, width - n % width, width, width);
            write_mixed_word(*range, 0, buffer + whole, n - whole);
            written += n;
            buffer += n;
            length -= n;
            address += n;
            if (entry != nullptr) entry->last_address = range->address - 1;
            next_range();
            continue;
        }
        apply_byte_order(buffer, n);
        write_range_data(buffer, n);
        written += n;
        buffer += n;
        length -= n;
        address = range->address;
        if (entry != nullptr) entry->last_address = address - 1;
        if (range->address > range->end || range->address == 0) next_range();
    }
    return written;
}

void fill_to(uint32_t limit) {
    RomRange* range = g_range;
    if (range == nullptr) return;
    bool wrapped = false;
    if (options().image) {
        if (range->address <= limit) {
            if (range->memwidth <= 0) bad_width_write();
            build_pattern(*range);
            const uint64_t width = static_cast<uint64_t>(range->memwidth);
            // Words are taken from the pattern at offsets 0, W, 2W, ...,
            // going back to 0 once the offset reaches 4: the byte stream
            // repeats after `cycle` words.
            uint64_t cycle = 0;
            for (uint64_t offset = 0;;) {
                ++cycle;
                offset += width;
                if (offset >= 4) break;
            }
            uint64_t words = (static_cast<uint64_t>(limit) - range->address) / width + 1;
            uint64_t run_words = std::max<uint64_t>(1, FILL_RUN_BYTES / (width * cycle)) * cycle;
            run_words = std::min(run_words, (words + cycle - 1) / cycle * cycle);
            g_fill_run.resize(static_cast<size_t>(run_words * width));
            uint64_t offset = 0;
            uint8_t* out = g_fill_run.data();
            for (uint64_t w = 0; w < run_words; ++w) {
                for (uint64_t j = 0; j < width; ++j) *out++ = pattern_byte(offset + j);
                offset += width;
                if (offset >= 4) offset = 0;
            }
            while (words > 0) {
                const uint64_t n = std::min(words, run_words);
                const uint32_t before = range->address;
                // One write per memory word, as fill is made of.
                write_range_data(g_fill_run.data(), static_cast<uint32_t>(n * width),
                                 static_cast<uint32_t>(width));
                words -= n;
                if (range->address < before) {  // passed the top of the address space
                    wrapped = true;
                    break;
                }
            }
        }
    } else if (limit >= range->address) {
        range->address = limit + 1;  // the gap is skipped
    }
    if (wrapped || range->address > range->end || range->address == 0) next_range();
}

void report_unplaced(uint32_t address) {
    SectionSpec* entry = g_entry;
    if (entry != nullptr) {
        if ((entry->flags & SPEC_REPORTED) != 0) return;
        entry->flags |= SPEC_REPORTED;
    }
    const RomRange* range = g_range;
    const int32_t page = entry != nullptr ? entry->page : (range != nullptr ? range->page : 0);
    const unsigned long at = address;
    const char* name = entry != nullptr ? entry->name.c_str() : "";

    const SectionSpec* hit = nullptr;
    for (const SectionSpec* s = first_entry(); s != nullptr; s = s->next) {
        if (s == entry || s->range == nullptr || s->page != page) continue;
        if (s->address <= address && address <= s->last_address) {
            hit = s;
            break;
        }
    }

    if (hit != nullptr) {
        if (g_boot_table_mode)
            report(WARNING, "boot table at 0%lxh overlaps section '%s' (table incomplete)", at,
                   hit->name.c_str());
        else
            report(WARNING, "section '%s' at 0%lxh overlaps %s (%s incomplete or skipped)", name,
                   at, hit->boot_loaded() ? "boot table" : hit->name.c_str(), name);
        return;
    }
    if (g_boot_table_mode) {
        report(WARNING, "boot table falls in unconfigured memory at 0%lxh", at);
        return;
    }
    const bool skipped = range == nullptr || range->page != page ||
                         (entry != nullptr && address == entry->address &&
                          section_below_origin(*entry, address, *range));
    if (skipped)
        report(WARNING, "section '%s' at 0%lxh falls in unconfigured memory (skipped)", name, at);
    else
        report(WARNING, "section '%s' overlaps unconfigured memory at 0%lxh (%s incomplete)",
               name, at, name);
}

void next_range() {
    RomRange* range = g_range;
    if (range == nullptr) return;
    if (range->open) close_range_files();
    if (options().map_file != nullptr) write_range_map();
    g_range = range->next;
}

void finish_ranges() {
    while (g_range != nullptr) fill_to(g_range->end);
}

RomRange* current_range() { return g_range; }
void set_current_range(RomRange* range) { g_range = range; }

SectionSpec* current_entry() { return g_entry; }
void set_current_entry(SectionSpec* entry) { g_entry = entry; }

void set_boot_table_mode(bool on) { g_boot_table_mode = on; }
bool boot_table_mode() { return g_boot_table_mode; }

void set_selection_override(SectionSpec* first) { g_selection_override = first; }

void reset_placement() {
    g_range = nullptr;
    g_entry = nullptr;
    g_boot_table_mode = false;
    g_selection_override = nullptr;
    g_chunk.clear();
    g_chunk.shrink_to_fit();
    g_pattern.clear();
    g_fill_run.clear();
    g_fill_run.shrink_to_fit();
}

}  // namespace coffhex
