// Placeholder until the driver is built.
#include "driver/run.h"

namespace coffhex {
namespace {
std::string g_coff_file_name;
}
int run_coffhex(int, char**) { return 1; }
void reset_options() {}
void classify_input(const char*) {}
bool begin_translation() { return true; }
void check_format_widths() {}
const std::string& coff_file_name() { return g_coff_file_name; }
void set_coff_file_name(const std::string& name) { g_coff_file_name = name; }
const char* take_next_argument() { return nullptr; }
}  // namespace coffhex
