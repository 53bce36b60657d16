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

bool placed_in(const ObjectFile& coff, const SectionSpec& entry, const RomRange* range) {
    return entry.range == range && input_section(coff, entry) != nullptr;
}

// One line of a range's CONTENTS: an entry and the addresses it took in
// the range. An entry made of records has a line for every stretch.
struct MapItem {
    SectionSpec* entry;
    uint32_t start;
    uint32_t last;
};

// What the range holds, by output start (unsigned); on a tie the entry
// earlier in the list comes first.
std::vector<MapItem> placed_items(const SectionSelection& selection, const ObjectFile& coff,
                                  const RomRange* range, const std::vector<SectionSpec*>& fields) {
    std::vector<MapItem> items;
    for (SectionSpec* field : fields)
        if (field->range == range) items.push_back(MapItem{field, field->start_address, field->last_address});
    for (SectionSpec* s = selection.first(); s != nullptr; s = s->next) {
        if (input_section(coff, *s) == nullptr) continue;
        if ((s->flags & SPEC_RECORDS) != 0) {
            for (const PlacedExtent& extent : s->extents)
                if (extent.range == range) items.push_back(MapItem{s, extent.start, extent.last});
        } else if (s->range == range) {
            items.push_back(MapItem{s, s->start_address, s->last_address});
        }
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const MapItem& a, const MapItem& b) { return a.start < b.start; });
    return items;
}

// Last address of the boot table as this range shows it: the table's next
// free address minus one, or the last byte written for a boot-loaded entry
// of the range when that lies further on (the table address trails a write
// that is still going on when the range is left in its middle, and it does
// not count the addresses that placement skipped over a gap).
uint32_t boot_table_last(const SectionSelection& selection, const ObjectFile& coff,
                         uint32_t table_address, const RomRange* range) {
    uint32_t last = table_address - 1;
    for (const SectionSpec* s = selection.first(); s != nullptr; s = s->next)
        if (s->boot_loaded() && placed_in(coff, *s, range) && s->last_address > last)
            last = s->last_address;
    return last;
}

bool boot_table_incomplete(const SectionSelection& selection, const ObjectFile& coff,
                           const RomRange* range) {
    for (const SectionSpec* s = selection.first(); s != nullptr; s = s->next)
        if (s->boot_loaded() && placed_in(coff, *s, range) && (s->flags & SPEC_REPORTED) != 0)
            return true;
    return false;
}

void fill_line(FILE* map, uint32_t from, uint32_t to, uint32_t fill) {
    std::fprintf(map, "%08lx..%08lx   FILL = %08lx\n%s", ul(from), ul(to), ul(fill),
                 CONTENTS_INDENT);
}

}  // namespace

MapReport::MapReport(FILE* map, const MapSettings& settings, const SectionSelection& selection,
                     const ObjectFile& coff, const BootTable& boot)
    : map_(map), settings_(settings), selection_(selection), coff_(coff), boot_(boot) {}

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

void MapReport::write_range_map(const RomRange& current) {
    const MapSettings& o = settings_;
    FILE* map = map_;
    const RomRange* range = &current;
    if (map == nullptr) return;

    if (title_pending_) {
        std::fputs("\n\nOUTPUT TRANSLATION MAP", map);
        title_pending_ = false;
    }
    std::fputc('\n', map);
    rule(map, '-');
    std::fprintf(map, "%08lx..%08lx  Page=%d  Memory Width=%d  ROM Width=%d", ul(range->origin),
                 ul(range->end), range->page, range->memwidth * 8, range->romwidth * 8);
    if (std::strcmp(range->name, "*DEFAULT*") != 0) std::fprintf(map, "  \"%s\"", range->name);
    std::fputc('\n', map);
    rule(map, '-');

    // Addresses are carried in 64 bits so that an entry ending at the top
    // of the address space ends the walk instead of wrapping to 0.
    uint64_t next = range->origin;
    const std::vector<MapItem> items = placed_items(selection_, coff_, range, fields_);
    if (items.empty() && !o.image) {
        std::fputs("   NO CONTENTS\n", map);
        return;
    }

    std::fputs("   OUTPUT FILES: ", map);
    size_t files = range->files.size();
    if (range->file_count >= 0 && static_cast<size_t>(range->file_count) < files)
        files = static_cast<size_t>(range->file_count);
    // Under -checksum the figures of each file the range wrote go on a line
    // under its name, the byte counts padded to the widest of the range.
    std::vector<const WrittenFile*> written(files, nullptr);
    int count_width = 0;
    if (checksums_ != nullptr) {
        for (const WrittenFile& file : checksums_->written_files()) {
            if (file.range != range || file.position < 0 || static_cast<size_t>(file.position) >= files)
                continue;
            written[static_cast<size_t>(file.position)] = &file;
            count_width = std::max(count_width, count_digits(file.figures.bytes));
        }
    }
    for (size_t i = 0; i < files; ++i) {
        if (i > 0) std::fputs(FILES_INDENT, map);
        int lane = static_cast<int>(i) * range->romwidth * 8;
        std::fprintf(map, "%s [b%d..b%d]\n", range->files[i].name.c_str(), lane,
                     lane + range->romwidth * 8 - 1);
        if (written[i] != nullptr)
            std::fprintf(map, "%s%s\n", FILES_INDENT,
                         checksum_text(written[i]->figures, count_width).c_str());
    }
    if (items.empty()) return;

    // The walk starts at the lowest start and takes, after each line, the
    // next item that starts beyond it.
    std::fputs("\n   CONTENTS: ", map);
    bool boot_table_shown = false;
    bool first = true;
    for (const MapItem& item : items) {
        if (!first && item.start < next) continue;
        SectionSpec* cur = item.entry;
        if (!first) std::fputs(CONTENTS_INDENT, map);
        first = false;
        const SectionEntry* section = input_section(coff_, *cur);
        const bool gap = o.image && next != item.start;
        if (!cur->boot_loaded()) {
            if (gap) fill_line(map, static_cast<uint32_t>(next), item.start - 1, range->fill);
            std::fprintf(map, "%08lx..%08lx   %s", ul(item.start), ul(item.last), cur->name.c_str());
            if ((cur->flags & SPEC_REPORTED) != 0) std::fputs(" (INCOMPLETE)", map);
            std::fputc('\n', map);
        } else {
            if (!boot_table_shown) {
                if (gap) fill_line(map, static_cast<uint32_t>(next), item.start - 1, range->fill);
                std::fprintf(map, "%08lx..%08lx   BOOT TABLE", ul(boot_.boot_org()),
                             ul(boot_table_last(selection_, coff_, boot_.table_address(), range)));
                if (boot_table_incomplete(selection_, coff_, range)) std::fputs(" (INCOMPLETE)", map);
                std::fprintf(map, "\n%s", CONTENTS_INDENT);
                boot_table_shown = true;
            }
            std::fprintf(map, " %19s : ", cur->name.c_str());
            if ((cur->flags & SPEC_CONTINUED) != 0)
                std::fputs("(continued)\n", map);
            else
                std::fprintf(map, "btad=%08lx  dest=%08lx size=%08x\n", ul(item.start),
                             ul(section->vaddr), section->size);
        }
        const uint32_t end = item.last > item.start ? item.last : item.start;
        next = static_cast<uint64_t>(end) + 1;
        cur->flags |= SPEC_CONTINUED;
        if (next > 0xFFFFFFFFull) break;
    }

    if (o.image && next <= range->end) {
        std::fputs(CONTENTS_INDENT, map);
        std::fprintf(map, "%08lx..%08lx   FILL = %08lx\n", ul(static_cast<uint32_t>(next)),
                     ul(range->end), ul(range->fill));
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
