// The settings record filled from the command line and command files, and
// the option parser that serves both.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace coffhex {

// Format table indices (rows of the output format table).
enum FormatIndex : int {
    FMT_DEBUG = 0,
    FMT_INTEL = 1,
    FMT_MOTOROLA = 2,
    FMT_MOTOROLA_S1 = 3,
    FMT_MOTOROLA_S2 = 4,
    FMT_MOTOROLA_S3 = 5,
    FMT_TAGGED = 6,
    FMT_TEKTRONIX = 7,
    FMT_ASCII_HEX = 8,
    FMT_GENERIC = 9,
    FMT_BINARY = 10,
};

enum Order : int { ORDER_NONE = 0, ORDER_LS = 1, ORDER_MS = 2 };

struct ExcludePattern {
    enum Kind { Exact, Prefix, Suffix };
    std::string text;  // without its "*"
    Kind kind = Exact;
};

struct ConverterOptions {
    int format = FMT_TEKTRONIX;
    int32_t rom_width = 1;         // bytes
    bool rom_width_given = false;  // -romwidth seen
    int32_t mem_width = 4;         // bytes
    int32_t data_width = 1;        // bytes
    int order = ORDER_NONE;
    bool image = false;
    bool linker_fill = false;
    bool zero_based = false;
    bool byte_addressing = false;
    bool boot_all = false;
    uint32_t fill_value = 0;
    int32_t olength = 20;
    uint32_t boot_org = 0xFFFFFFFFu;
    int32_t boot_page = 0;
    uint32_t entry_point = 0xFFFFFFFFu;
    std::optional<std::string> entry_symbol;
    std::optional<std::string> bootstrap_section;
    std::optional<std::string> boot_section_name;
    uint32_t boot_section_address = 0xFFFFFFFFu;
    int quiet = 0;
    FILE* map_file = nullptr;   // open map stream (after the arguments are walked)
    std::string map_file_name;  // name given with -map; empty = none
    int trace_level = 0;
    int symbol_trace = 0;
    std::vector<ExcludePattern> exclude_patterns;
    // Output file names given with -o, in order; the memory configuration
    // removes the names it uses from the front.
    std::deque<std::string> output_names;
};

// The one settings record.
ConverterOptions& options();

// Gives every setting its default (closing a map file left open).
void reset_option_values();

// Parses one option; `text` is the option without its first dash.
void parse_option(const char* text, bool from_command_file);

// Exclude patterns.
void add_exclude(const char* pattern);
bool is_excluded(const char* section_name);

}  // namespace coffhex
