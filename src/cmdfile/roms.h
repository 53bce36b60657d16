// The ROMS directive: memory ranges, their widths, fill and output files,
// and the completion of the memory configuration.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace coffhex {

class Diagnostics;

struct OutputFile {
    std::string name;
};

// A memory range. Once the memory configuration is complete it is
// read-only: placement and the output files keep their cursors themselves.
struct RomRange {
    RomRange* next = nullptr;
    char name[32] = {};              // at most 31 characters
    uint32_t origin = 0;             // once the range is finished
    uint32_t end = 0xFFFFFFFFu;      // last address, inclusive, once finished
    int32_t page = 0;
    uint32_t length = 0;             // once finished (2^32 is 0)
    // Origin and length as the directive gave them (a value of all ones
    // written in the command file counts as not given).
    std::optional<uint32_t> origin_given;
    std::optional<uint32_t> length_given;
    int32_t romwidth = 0;            // bytes, once complete
    int32_t memwidth = 0;            // bytes, once complete
    uint32_t fill = 0;               // once complete
    // The widths (bytes) and the fill as the directive gave them; completing
    // the configuration takes the defaults for the others.
    std::optional<int32_t> romwidth_given;
    std::optional<int32_t> memwidth_given;
    std::optional<uint32_t> fill_given;
    int32_t file_count = 0;
    std::vector<OutputFile> files;
};

// Each output file of a range takes one entry of the output stream table.
inline constexpr int MAX_OUTPUT_FILES = 8;

// What completing the memory configuration needs from the settings.
struct RangeDefaults {
    int32_t min_width = 1;     // bytes: the format's minimum width
    int32_t rom_width = 1;     // bytes
    int32_t mem_width = 4;     // bytes
    uint32_t fill = 0;
    bool image = false;
    // Range lengths are checked against whole memory words only for widths
    // that divide this chunk size (placement refuses the others itself).
    uint32_t chunk_size = 16384;
    // Output file names given with -o, in order; ranges take them from the
    // front before default names.
    std::vector<std::string> output_names;
    // Default name of file `file` of range `range` when there are `ranges`
    // ranges.
    std::function<std::string(int range, int file, int ranges)> default_name;
};

// The memory ranges of a conversion: built by the ROMS directive, completed
// once every argument is read. Ranges are linked through `next` in list
// order and keep their addresses for the whole run.
class MemoryConfig {
public:
    explicit MemoryConfig(Diagnostics& diag) : diag_(diag) {}
    MemoryConfig(const MemoryConfig&) = delete;
    MemoryConfig& operator=(const MemoryConfig&) = delete;

    // Directive operations (called by the grammar's actions).
    void begin_roms();
    void set_current_page(int32_t page) { current_page_ = page; }
    void new_range(const char* name);
    void set_origin(uint32_t value);
    void set_length(uint32_t value);
    void set_romwidth(uint32_t bits);
    void set_memwidth(uint32_t bits);
    void set_fill(uint32_t value);
    void add_output_file(const char* name);
    void finish_range(bool image);

    // Completes the configuration after all arguments: default range,
    // default widths and fill, output file names.
    void finish_rom_ranges(const RangeDefaults& defaults);

    // First range of the list, or nullptr.
    const RomRange* first_range() const { return first_; }
    int range_count() const { return count_; }
    // The range being defined by the directive, or nullptr.
    const RomRange* range_being_defined() const { return defining_; }

private:
    void assign_output_files(RomRange& range, int i, const RangeDefaults& defaults, size_t& next_name);
    void check_range_length(const RomRange& range, uint32_t chunk_size);

    Diagnostics& diag_;
    // Every range ever created, listed or not; a deque keeps their
    // addresses stable, so the list links and the range being defined
    // never dangle.
    std::deque<RomRange> ranges_;
    RomRange* first_ = nullptr;
    RomRange* last_ = nullptr;
    int count_ = 0;
    RomRange* defining_ = nullptr;
    int32_t current_page_ = 0;
};

}  // namespace coffhex
