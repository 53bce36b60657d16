// The conversion driver: main flow, argument walk, input classification and
// the translate step.
#pragma once

#include <cstdio>
#include <string>

namespace coffhex {

// The whole conversion as one function: resets every piece of run state,
// walks the arguments, converts, and returns the exit status (0 success,
// 1 errors or FATAL, 2 unexpected fault, 255 for the two COFF header texts).
int run_coffhex(int argc, char** argv);

// Resets every setting and every subsystem's run state.
void reset_options();

// Opens a non-option argument and decides whether it is a COFF file, a hex
// command file (parsed on the spot) or neither.
void classify_input(const char* name);

// The translate step, called by the COFF reader after the section headers.
bool begin_translation();
void check_format_widths();

// Name of the accepted COFF file (".out" added when it had no extension);
// empty before one is accepted.
const std::string& coff_file_name();
void set_coff_file_name(const std::string& name);

// Argument cursor shared with the option value getters: the next argument
// as the value of the option being parsed, or nullptr when none is left.
// Taking it moves the cursor so the argument is not walked again.
const char* take_next_argument();

}  // namespace coffhex
