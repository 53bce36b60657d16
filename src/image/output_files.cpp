// Placeholder until width splitting is built.
#include "image/output_files.h"

#include "formats/writer.h"

namespace coffhex {
namespace {
OutputStream g_streams[MAX_OUTPUT_FILES];
}
void apply_byte_order(uint8_t*, uint32_t) {}
void write_range_data(const uint8_t*, uint32_t) {}
void open_range_files() {}
void flush_range_files() {}
void close_range_files() {}
OutputStream& output_stream(int k) { return g_streams[k]; }
void abandon_output_files() {}
void reset_output_files() {}
}  // namespace coffhex
