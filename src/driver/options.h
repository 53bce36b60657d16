// The settings of a conversion, filled from the command line and command
// files, and the option parser that serves both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/writer.h"
#include "image/byte_order.h"
#include "image/section_list.h"

namespace coffhex {

class Diagnostics;
class Lexer;

struct Settings {
    Format format = Format::Tektronix;
    int32_t rom_width = 1;         // bytes
    bool rom_width_given = false;  // -romwidth seen
    int32_t mem_width = 4;         // bytes
    int32_t data_width = 1;        // bytes
    int order = ORDER_NONE;        // as given; the input file's own when none
    bool image = false;
    bool linker_fill = false;
    bool zero_based = false;
    bool byte_addressing = false;
    bool checksum = false;         // -checksum: the figures of every output file
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
    std::string map_file_name;  // name given with -map; empty = none
    int trace_level = 0;
    int symbol_trace = 0;
    std::vector<ExcludePattern> exclude_patterns;
    // Output file names given with -o, in order.
    std::vector<std::string> output_names;
};

// The command-line arguments still to be walked, shared by the argument
// walk and the option parser (an option's value is the next argument).
class ArgumentCursor {
public:
    ArgumentCursor(int count, char** vector) : vector_(vector), remaining_(count - 1) {}
    bool done() const { return remaining_ <= 0; }
    int remaining() const { return remaining_; }
    const char* current() const { return vector_[index_]; }
    void advance() {
        ++index_;
        --remaining_;
    }
    // The next argument as the value of the option being parsed, or nullptr
    // when none is left; taking it moves the cursor past it.
    const char* take_next() {
        if (remaining_ <= 1) return nullptr;
        advance();
        return vector_[index_];
    }

private:
    char** vector_;
    int index_ = 1;
    int remaining_;
};

// Parses options into the settings: from the command line (values from the
// next argument) or from a command file (values from the lexer).
class OptionParser {
public:
    OptionParser(Settings& settings, Lexer& lexer, Diagnostics& diag, const char* program_name)
        : settings_(settings), lexer_(lexer), diag_(diag), program_name_(program_name) {}

    // Parses one option; `text` is the option without its first dash.
    // `cursor` is the command line's cursor, nullptr inside a command file.
    void parse_option(const char* text, ArgumentCursor* cursor);

    // -exclude: adds a section name pattern.
    void add_exclude(const char* pattern);

private:
    int take_number(ArgumentCursor* cursor);
    bool take_name(ArgumentCursor* cursor);
    bool take_number_or_warn(const char* option_text, ArgumentCursor* cursor);
    bool parse_letter_option(char letter, const char* text, ArgumentCursor* cursor);
    bool parse_word_option(const std::string& lower, const char* text, ArgumentCursor* cursor);
    bool parse_switch_option(const std::string& lower);
    bool parse_width_option(const std::string& lower, const char* text, ArgumentCursor* cursor);
    void parse_rom_width(const char* text, ArgumentCursor* cursor);
    void parse_mem_width(const char* text, ArgumentCursor* cursor);
    void parse_data_width(const char* text, ArgumentCursor* cursor);
    bool parse_boot_option(const std::string& lower, const char* text, ArgumentCursor* cursor);
    void parse_boot_org(ArgumentCursor* cursor);
    bool parse_valued_option(const std::string& lower, const char* text, ArgumentCursor* cursor);
    void parse_olength(const char* text, ArgumentCursor* cursor);
    void parse_order(ArgumentCursor* cursor);
    bool parse_dash_option(const std::string& lower);

    Settings& settings_;
    Lexer& lexer_;
    Diagnostics& diag_;
    const char* program_name_;
};

}  // namespace coffhex
