// Placeholder until the option parser is built.
#include "driver/options.h"

namespace coffhex {
namespace {
ConverterOptions g_options;
}
ConverterOptions& options() { return g_options; }
void reset_option_values() { g_options = ConverterOptions{}; }
void parse_option(const char*, bool) {}
void add_exclude(const char*) {}
bool is_excluded(const char*) { return false; }
}  // namespace coffhex
