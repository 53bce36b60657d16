// Banner, usage text and tool version.
#pragma once

#include <cstdio>

namespace coffhex {

class Diagnostics;

inline constexpr const char* TOOL_TITLE = "KRV550Q9z COFF/Hex Converter";
inline constexpr const char* TOOL_VERSION_TEXT = "v5.0.0";
inline constexpr const char* TOOL_VERSION_SUFFIX = "";

void print_banner(FILE* stream);
// Writes the usage text to the run's standard output and ends the run with
// status 1.
[[noreturn]] void print_usage(bool full, const char* program_name, Diagnostics& diag);
// Writes prefix, the coded build number and a newline.
void print_tool_version(FILE* stream, const char* prefix);
// --toolversion: first banner line and build number; ends the run with 0.
[[noreturn]] void show_tool_version(Diagnostics& diag);

}  // namespace coffhex
