// Width splitting and output files: byte order, ROM-width lanes, the table
// of open output streams and the calls into the format writer.
#pragma once

#include <cstdint>

namespace coffhex {

struct OutputStream;

// Maximum number of output files per range.
inline constexpr int MAX_OUTPUT_FILES = 8;

void apply_byte_order(uint8_t* buffer, uint32_t length);
void write_range_data(const uint8_t* buffer, uint32_t length);
void open_range_files();
void flush_range_files();
void close_range_files();

// Entry k of the output stream table.
OutputStream& output_stream(int k);

// Closes every stream left open by an aborted run (no trailers written).
void abandon_output_files();

void reset_output_files();

}  // namespace coffhex
