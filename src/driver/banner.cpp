// Placeholder until the banner is built.
#include "driver/banner.h"

#include "diag/diag.h"

namespace coffhex {
void print_banner(FILE*) {}
void print_usage(bool) { end_run(1); }
void print_tool_version(FILE*, const char*) {}
void show_tool_version() { end_run(0); }
}  // namespace coffhex
