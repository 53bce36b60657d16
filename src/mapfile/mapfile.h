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
    MapReport(FILE* map, const MapSettings& settings, const SectionSelection& selection,
              const ObjectFile& coff, const BootTable& boot);

    // Under -checksum: each output file of a range's block gets a line with
    // its figures, taken from the files `output` has closed.
    void show_checksums(const RangeOutput& output) { checksums_ = &output; }

    // The header; `entry_point` is the boot table's entry point.
    void write_map_header(uint32_t entry_point);
    // The block of a range, once placement has left it.
    void write_range_map(const RomRange& range);
    void range_finished(const RomRange& range) override { write_range_map(range); }
    // The checksum fields' words, shown among the contents of their range.
    void show_fields(std::vector<SectionSpec*> fields) { fields_ = std::move(fields); }
    // The block of the checksum fields, after the ranges' blocks.
    void write_checksum_fields(const ChecksumConfig& config, const std::vector<FieldResult>& results);

private:
    FILE* map_;
    MapSettings settings_;
    const SectionSelection& selection_;
    const ObjectFile& coff_;
    const BootTable& boot_;
    const RangeOutput* checksums_ = nullptr;
    std::vector<SectionSpec*> fields_;
    // The "OUTPUT TRANSLATION MAP" title is written before the first block only.
    bool title_pending_ = true;
};

}  // namespace coffhex
