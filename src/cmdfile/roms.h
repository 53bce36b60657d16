// The ROMS directive: memory ranges, their widths, fill and output files,
// and the completion of the memory configuration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace coffhex {

struct OutputFile {
    std::string name;
};

struct RomRange {
    RomRange* next = nullptr;
    char name[32] = {};              // at most 31 characters
    uint32_t origin = 0xFFFFFFFFu;   // all ones = not given
    uint32_t end = 0xFFFFFFFFu;      // last address, inclusive
    uint32_t address = 0;            // next address to be filled
    uint32_t last_written = 0;       // address after the last data written
    uint32_t output_address = 0;     // address the record writers print
    int32_t page = 0;
    uint32_t length = 0xFFFFFFFFu;   // all ones = not given
    int32_t romwidth = -1;           // bytes; -1 = not given
    int32_t memwidth = -1;           // bytes; -1 = not given
    bool fill_given = false;
    uint32_t fill = 0;
    int32_t file_count = 0;
    std::vector<OutputFile> files;
    bool open = false;
};

// Directive operations (called by the grammar's actions).
void begin_roms();
void set_current_page(int32_t page);
void new_range(const char* name);
void set_origin(uint32_t value);
void set_length(uint32_t value);
void set_romwidth(uint32_t bits);
void set_memwidth(uint32_t bits);
void set_fill(uint32_t value);
void add_output_file(const char* name);
void finish_range();

// Completes the configuration after all arguments: default range, default
// widths and fill, output file names.
void finish_rom_ranges();

// First range of the list, or nullptr; ranges are linked through `next`.
RomRange* first_range();
int range_count();
// The range being defined by the directive, or nullptr.
RomRange* range_being_defined();

// Clears the range list and the directive state.
void reset_roms();

}  // namespace coffhex
