// Command-file grammar: parses a command file and carries out its options,
// input names and ROMS/SECTIONS/CHECKSUMS directives as they are recognised.
#pragma once

#include <cstdint>

namespace coffhex {

class Diagnostics;
class Lexer;

// What the statements of a command file do, one operation per kind of
// action. The conversion carries them out; the grammar only recognises them.
class CommandActions {
public:
    virtual ~CommandActions() = default;
    virtual void option(const char* text) = 0;      // option text without its first dash
    virtual void input_name(const char* name) = 0;  // a bare name at the top level
    virtual void begin_roms() = 0;                  // ROMS keyword
    virtual void set_page(int32_t page) = 0;        // page header of a ROMS block
    virtual void new_range(const char* name) = 0;
    virtual void set_origin(uint32_t value) = 0;
    virtual void set_length(uint32_t value) = 0;
    virtual void set_romwidth(uint32_t bits) = 0;
    virtual void set_memwidth(uint32_t bits) = 0;
    virtual void set_fill(uint32_t value) = 0;
    virtual void add_output_file(const char* name) = 0;
    virtual void finish_range() = 0;
    virtual void begin_sections() = 0;              // SECTIONS keyword
    virtual void new_section_spec(const char* name) = 0;
    virtual void set_boot() = 0;
    virtual void set_paddr(uint32_t value) = 0;
    virtual void set_datawidth(uint32_t bits) = 0;
    virtual void append_section_spec() = 0;
    virtual void begin_checksums() = 0;             // CHECKSUMS keyword
    virtual void new_checksum(const char* name) = 0;
    virtual void set_checksum_algorithm(const char* name) = 0;
    virtual void set_checksum_at(uint32_t value) = 0;
    virtual void set_checksum_origin(uint32_t value) = 0;
    virtual void set_checksum_length(uint32_t value) = 0;
    virtual void set_checksum_order(const char* name) = 0;
    virtual void set_checksum_page(uint32_t value) = 0;
    virtual void unknown_checksum_attribute(const char* name) = 0;
    virtual void end_checksums() = 0;               // closing brace of CHECKSUMS
};

// Reads the lexer's command file to its end. Returns 0 when it was
// accepted, 1 when it was abandoned after a syntax error, 2 when the parse
// stack overflowed. Syntax errors are reported through `diag`. The lexer's
// keyword context is switched by the grammar itself (on after ROMS,
// SECTIONS and CHECKSUMS, off inside a files list and after a directive).
int parse_command_file(Lexer& lexer, CommandActions& actions, Diagnostics& diag);

}  // namespace coffhex
