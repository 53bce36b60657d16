// The translation map: a header with the input, the format, the default
// widths and the boot parameters, then one block per memory range, written
// as each range is finished, with its output files and what it contains.
#include "mapfile/mapfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "boot/boot.h"
#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "object/object_file.h"
#include "image/output_files.h"

namespace coffhex {

namespace {

constexpr int MAP_WIDTH = 80;
// Continuation lines of CONTENTS line up under its first entry.
constexpr const char* CONTENTS_INDENT = "             ";  // 13 blanks
// The same for OUTPUT FILES: the file names and their figures.
constexpr const char* FILES_INDENT = "                 ";  // 17 blanks

void rule(FILE* map, char c) {
    for (int i = 0; i < MAP_WIDTH; ++i) std::fputc(c, map);
    std::fputc('\n', map);
}

unsigned long ul(uint32_t value) { return static_cast<unsigned long>(value); }

const SectionEntry* input_section(const ObjectFile& coff, const SectionSpec& entry) {
    const auto& sections = coff.sections();
    if (entry.section < 0 || static_cast<size_t>(entry.section) >= sections.size()) return nullptr;
    return &sections[static_cast<size_t>(entry.section)];
}

void fill_line(FILE* map, uint32_t from, uint32_t to, uint32_t fill) {
    std::fprintf(map, "%08lx..%08lx   FILL = %08lx\n%s", ul(from), ul(to), ul(fill),
                 CONTENTS_INDENT);
}

}  // namespace

MapReport::MapReport(FILE* map, const MapSettings& settings, const SectionSelection& selection,
                     const ObjectFile& coff, const BootTable& boot, const Placement& placement)
    : map_(map),
      settings_(settings),
      selection_(selection),
      coff_(coff),
      boot_(boot),
      placement_(placement) {}

void MapReport::write_map_header(uint32_t entry_point) {
    const MapSettings& o = settings_;
    FILE* map = map_;
    if (map == nullptr) return;

    rule(map, '*');
    std::fprintf(map, "%-*s %s\n", MAP_WIDTH - 1 - static_cast<int>(o.version.size()),
                 o.title.c_str(), o.version.c_str());
    rule(map, '*');
    std::fprintf(map, "\nINPUT FILE NAME: <%s>\n", o.coff_file_name.c_str());
    std::fprintf(map, "OUTPUT FORMAT:   %s\n", o.format_name.c_str());

    std::fprintf(map, "\nPHYSICAL MEMORY PARAMETERS\n");
    std::fprintf(map, "   Default data width   :  %2d\n", o.data_width * 8);
    std::fprintf(map, "   Default memory width :  %2d", o.mem_width * 8);
    if (o.data_width > o.mem_width) std::fputs(o.order == ORDER_MS ? " (MS-->LS)" : " (LS-->MS)", map);
    std::fputc('\n', map);
    std::fprintf(map, "   Default output width :  %2d\n", o.rom_width * 8);

    bool boot_used = false;
    for (const SectionSpec* s = selection_.first(); s != nullptr; s = s->next)
        if (s->boot_loaded() && input_section(coff_, *s) != nullptr) boot_used = true;
    if (boot_used) {
        std::fprintf(map, "\nBOOT LOADER PARAMETERS\n");
        std::fprintf(map, "   Table Address: 0x%04lx, PAGE %d\n", ul(boot_.boot_org()), boot_.boot_page());
        std::fprintf(map, "   Entry Point  : 0x%04lx", ul(entry_point));
        if (o.entry_symbol.has_value()) std::fprintf(map, "  (%s)", o.entry_symbol->c_str());
        std::fputc('\n', map);
    }
}

// One line of a range's CONTENTS: an entry and the addresses it took in
// the range. An entry made of records has a line for every stretch.
struct MapReport::Item {
    const SectionSpec* entry;
    uint32_t start;
    uint32_t last;
};

// What the range holds, by output start (unsigned); on a tie the entry
// earlier in the list comes first.
std::vector<MapReport::Item> MapReport::placed_items(const RomRange& range) const {
    std::vector<Item> items;
    for (const SectionSpec* field : fields_) {
        const EntryState& state = placement_.entry_state(*field);
        if (state.range == &range) items.push_back(Item{field, state.start_address, state.last_address});
    }
    for (const SectionSpec* s = selection_.first(); s != nullptr; s = s->next) {
        if (input_section(coff_, *s) == nullptr) continue;
        const EntryState& state = placement_.entry_state(*s);
        if ((s->flags & SPEC_RECORDS) != 0) {
            for (const PlacedExtent& extent : state.extents)
                if (extent.range == &range) items.push_back(Item{s, extent.start, extent.last});
        } else if (state.range == &range) {
            items.push_back(Item{s, state.start_address, state.last_address});
        }
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.start < b.start; });
    return items;
}

// Last address of the boot table as this range shows it: the table's next
// free address minus one, or the last byte written for a boot-loaded entry
// of the range when that lies further on (the table address trails a write
// that is still going on when the range is left in its middle, and it does
// not count the addresses that placement skipped over a gap).
uint32_t MapReport::boot_table_last(const RomRange& range) const {
    uint32_t last = boot_.table_address() - 1;
    for (const SectionSpec* s = selection_.first(); s != nullptr; s = s->next) {
        const EntryState& state = placement_.entry_state(*s);
        if (s->boot_loaded() && state.range == &range && input_section(coff_, *s) != nullptr &&
            state.last_address > last)
            last = state.last_address;
    }
    return last;
}

bool MapReport::boot_table_incomplete(const RomRange& range) const {
    for (const SectionSpec* s = selection_.first(); s != nullptr; s = s->next) {
        const EntryState& state = placement_.entry_state(*s);
        if (s->boot_loaded() && state.range == &range && input_section(coff_, *s) != nullptr &&
            state.reported)
            return true;
    }
    return false;
}

bool MapReport::shown_before(const SectionSpec& entry) const {
    return entry.id >= 0 && static_cast<size_t>(entry.id) < shown_.size() &&
           shown_[static_cast<size_t>(entry.id)];
}

void MapReport::note_shown(const SectionSpec& entry) {
    if (entry.id < 0) return;
    const size_t id = static_cast<size_t>(entry.id);
    if (id >= shown_.size()) shown_.resize(id + 1, false);
    shown_[id] = true;
}

// The block of a range: its title, its output files and what it contains,
// in one walk through its items by address.
void MapReport::write_range_map(const RomRange& range) {
    if (map_ == nullptr) return;
    write_block_title(range);
    const std::vector<Item> items = placed_items(range);
    if (items.empty() && !settings_.image) {
        std::fputs("   NO CONTENTS\n", map_);
        return;
    }
    write_output_files(range);
    if (items.empty()) return;
    // Addresses are carried in 64 bits so that an entry ending at the top
    // of the address space ends the walk instead of wrapping to 0.
    const uint64_t next = write_contents(range, items);
    if (settings_.image && next <= range.end) {
        std::fputs(CONTENTS_INDENT, map_);
        std::fprintf(map_, "%08lx..%08lx   FILL = %08lx\n", ul(static_cast<uint32_t>(next)),
                     ul(range.end), ul(range.fill));
    }
}

void MapReport::write_block_title(const RomRange& range) {
    FILE* map = map_;
    if (title_pending_) {
        std::fputs("\n\nOUTPUT TRANSLATION MAP", map);
        title_pending_ = false;
    }
    std::fputc('\n', map);
    rule(map, '-');
    std::fprintf(map, "%08lx..%08lx  Page=%d  Memory Width=%d  ROM Width=%d", ul(range.origin),
                 ul(range.end), range.page, range.memwidth * 8, range.romwidth * 8);
    if (std::strcmp(range.name, "*DEFAULT*") != 0) std::fprintf(map, "  \"%s\"", range.name);
    std::fputc('\n', map);
    rule(map, '-');
}

// OUTPUT FILES: each file with its bits of the memory word; under
// -checksum the figures of each file the range wrote go on a line under
// its name, the byte counts padded to the widest of the range.
void MapReport::write_output_files(const RomRange& range) {
    FILE* map = map_;
    std::fputs("   OUTPUT FILES: ", map);
    size_t files = range.files.size();
    if (range.file_count >= 0 && static_cast<size_t>(range.file_count) < files)
        files = static_cast<size_t>(range.file_count);
    std::vector<const WrittenFile*> written(files, nullptr);
    int count_width = 0;
    if (checksums_ != nullptr) {
        for (const WrittenFile& file : checksums_->written_files()) {
            if (file.range != &range || file.position < 0 || static_cast<size_t>(file.position) >= files)
                continue;
            written[static_cast<size_t>(file.position)] = &file;
            count_width = std::max(count_width, count_digits(file.figures.bytes));
        }
    }
    for (size_t i = 0; i < files; ++i) {
        if (i > 0) std::fputs(FILES_INDENT, map);
        int lane = static_cast<int>(i) * range.romwidth * 8;
        std::fprintf(map, "%s [b%d..b%d]\n", range.files[i].name.c_str(), lane,
                     lane + range.romwidth * 8 - 1);
        if (written[i] != nullptr)
            std::fprintf(map, "%s%s\n", FILES_INDENT,
                         checksum_text(written[i]->figures, count_width).c_str());
    }
}

// CONTENTS: the walk starts at the lowest start and takes, after each
// line, the next item that starts beyond it. Returns the address after the
// last item shown.
uint64_t MapReport::write_contents(const RomRange& range, const std::vector<Item>& items) {
    std::fputs("\n   CONTENTS: ", map_);
    uint64_t next = range.origin;
    bool boot_table_shown = false;
    bool first = true;
    for (const Item& item : items) {
        if (!first && item.start < next) continue;
        if (!first) std::fputs(CONTENTS_INDENT, map_);
        first = false;
        if (!item.entry->boot_loaded())
            write_section_line(range, item, next);
        else
            write_boot_line(range, item, next, boot_table_shown);
        const uint32_t end = item.last > item.start ? item.last : item.start;
        next = static_cast<uint64_t>(end) + 1;
        note_shown(*item.entry);
        if (next > 0xFFFFFFFFull) break;
    }
    return next;
}

// A section's line, after the fill of the gap before it (image mode).
void MapReport::write_section_line(const RomRange& range, const Item& item, uint64_t next) {
    if (settings_.image && next != item.start)
        fill_line(map_, static_cast<uint32_t>(next), item.start - 1, range.fill);
    std::fprintf(map_, "%08lx..%08lx   %s", ul(item.start), ul(item.last), item.entry->name.c_str());
    if (placement_.entry_state(*item.entry).reported) std::fputs(" (INCOMPLETE)", map_);
    std::fputc('\n', map_);
}

// A boot-loaded entry's line under the BOOT TABLE line, which the first
// of them in the range brings (after the fill of the gap before it).
void MapReport::write_boot_line(const RomRange& range, const Item& item, uint64_t next,
                                bool& table_shown) {
    const SectionSpec& entry = *item.entry;
    if (!table_shown) {
        if (settings_.image && next != item.start)
            fill_line(map_, static_cast<uint32_t>(next), item.start - 1, range.fill);
        std::fprintf(map_, "%08lx..%08lx   BOOT TABLE", ul(boot_.boot_org()), ul(boot_table_last(range)));
        if (boot_table_incomplete(range)) std::fputs(" (INCOMPLETE)", map_);
        std::fprintf(map_, "\n%s", CONTENTS_INDENT);
        table_shown = true;
    }
    std::fprintf(map_, " %19s : ", entry.name.c_str());
    if (shown_before(entry)) {
        std::fputs("(continued)\n", map_);
    } else {
        const SectionEntry* section = input_section(coff_, entry);
        std::fprintf(map_, "btad=%08lx  dest=%08lx size=%08x\n", ul(item.start), ul(section->vaddr),
                     section->size);
    }
}

void MapReport::write_checksum_fields(const ChecksumConfig& config,
                                      const std::vector<FieldResult>& results) {
    if (map_ == nullptr || config.empty()) return;
    int name_width = 0;
    for (const ChecksumField& field : config.fields())
        name_width = std::max(name_width, static_cast<int>(field.name.size()));
    std::fputs("\n\nCHECKSUM FIELDS\n", map_);
    const auto& fields = config.fields();
    for (size_t i = 0; i < fields.size() && i < results.size(); ++i)
        std::fprintf(map_, "   %s\n", checksum_field_text(fields[i], results[i], name_width).c_str());
}

}  // namespace coffhex
