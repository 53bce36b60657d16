// The translation map report written with -map: a header with the input,
// the format, the default widths and the boot parameters, then one block
// per memory range, written as placement leaves the range.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "image/checksum_fields.h"
#include "image/placement.h"

namespace coffhex {

class BootTable;
class ObjectFile;
class RangeOutput;
class SectionSelection;
struct RomRange;

struct MapSettings {
    std::string title;          // the tool's title, left of the version
    std::string version;        // the tool's version text, at the right margin
    std::string coff_file_name;
    std::string format_name;
    bool image = false;
    int32_t data_width = 1;     // bytes: the defaults of the settings
    int32_t mem_width = 4;
    int32_t rom_width = 1;
    int order = 1;              // ORDER_LS or ORDER_MS
    std::optional<std::string> entry_symbol;  // -e name
};

class MapReport : public RangeObserver {
public:
    // Writes to `map` (opened and closed by the caller).
    // What the ranges hold it learns from `placement`.
    MapReport(FILE* map, const MapSettings& settings, const SectionSelection& selection,
              const ObjectFile& coff, const BootTable& boot, const Placement& placement);

    // Under -checksum: each output file of a range's block gets a line with
    // its figures, taken from the files `output` has closed.
    void show_checksums(const RangeOutput& output) { checksums_ = &output; }

    // The header; `entry_point` is the boot table's entry point.
    void write_map_header(uint32_t entry_point);
    // The block of a range, once placement has left it.
    void write_range_map(const RomRange& range);
    void range_finished(const RomRange& range) override { write_range_map(range); }
    // The checksum fields' words, shown among the contents of their range.
    void show_fields(std::vector<const SectionSpec*> fields) { fields_ = std::move(fields); }
    // The block of the checksum fields, after the ranges' blocks.
    void write_checksum_fields(const ChecksumConfig& config, const std::vector<FieldResult>& results);

private:
    struct Item;
    void write_block_title(const RomRange& range);
    void write_output_files(const RomRange& range);
    uint64_t write_contents(const RomRange& range, const std::vector<Item>& items);
    void write_section_line(const RomRange& range, const Item& item, uint64_t next);
    void write_boot_line(const RomRange& range, const Item& item, uint64_t next, bool& table_shown);
    std::vector<Item> placed_items(const RomRange& range) const;
    uint32_t boot_table_last(const RomRange& range) const;
    bool boot_table_incomplete(const RomRange& range) const;
    bool shown_before(const SectionSpec& entry) const;
    void note_shown(const SectionSpec& entry);

    FILE* map_;
    MapSettings settings_;
    const SectionSelection& selection_;
    const ObjectFile& coff_;
    const BootTable& boot_;
    const Placement& placement_;
    const RangeOutput* checksums_ = nullptr;
    std::vector<const SectionSpec*> fields_;
    // By entry id: the entry was shown in an earlier range's block (a
    // boot-loaded one is "(continued)" in the next).
    std::vector<bool> shown_;
    // The "OUTPUT TRANSLATION MAP" title is written before the first block only.
    bool title_pending_ = true;
};

}  // namespace coffhex
