// Command-file grammar: parses the open command file and carries out its
// options, input names and ROMS/SECTIONS directives as they are recognised.
#pragma once

#include <cstdint>

namespace coffhex {

// 0 accepted, 1 abandoned after a syntax error, 2 parse stack overflow.
int parse_command_file();

// The operations the grammar's actions call, one per kind of action. The
// parser calls them through this table so that a different set (for
// example one that records the calls) can be put in its place.
struct CommandActions {
    void (*option)(const char* text);        // option text without its first dash
    void (*input_name)(const char* name);    // a bare name at the top level
    void (*begin_roms)();                    // ROMS keyword; switches keywords on
    void (*set_page)(int32_t page);          // page header of a ROMS block
    void (*new_range)(const char* name);
    void (*set_origin)(uint32_t value);
    void (*set_length)(uint32_t value);
    void (*set_romwidth)(uint32_t bits);
    void (*set_memwidth)(uint32_t bits);
    void (*set_fill)(uint32_t value);
    void (*add_output_file)(const char* name);
    void (*finish_range)();
    void (*begin_sections)();                // SECTIONS keyword; switches keywords on
    void (*new_section_spec)(const char* name);
    void (*set_boot)();
    void (*set_paddr)(uint32_t value);
    void (*set_datawidth)(uint32_t bits);
    void (*append_section_spec)();
    void (*keywords_on)();
    void (*keywords_off)();
};

// The operations of the option parser, input classification, the ROMS and
// SECTIONS directives and the lexer.
const CommandActions& default_command_actions();
// Puts `actions` in place for the following parses; nullptr restores the
// defaults. The table must stay valid while it is in use.
void set_command_actions(const CommandActions* actions);

}  // namespace coffhex
