// Banner, usage text and tool version.
#pragma once

#include <cstdio>

#include "coffhex_version.h"

namespace coffhex {

class Diagnostics;

inline constexpr const char* PROGRAM_NAME = "coffhex";
inline constexpr const char* TOOL_TITLE = "coffhex COFF/ELF Hex Converter";
inline constexpr const char* TOOL_VERSION_TEXT = "v" COFFHEX_VERSION;
inline constexpr const char* TOOL_VERSION_SUFFIX = "";

void print_banner(FILE* stream);
// Writes the usage text to the run's standard output and ends the run with
// status 1.
[[noreturn]] void print_usage(bool full, const char* program_name, Diagnostics& diag);
// Writes prefix, the build number (which names the source the program was
// built from) and a newline.
void print_tool_version(FILE* stream, const char* prefix);
// --toolversion: first banner line and build number; ends the run with 0.
[[noreturn]] void show_tool_version(Diagnostics& diag);
// --version: "coffhex X.Y.Z"; ends the run with 0.
[[noreturn]] void show_version(Diagnostics& diag);

}  // namespace coffhex
