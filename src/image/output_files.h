// Width splitting and output files: byte order, ROM-width lanes, the table
// of open output streams and the calls into the format writer.
#pragma once

#include <cstdint>

#include "formats/writer.h"

namespace coffhex {

// Maximum number of output files per range.
inline constexpr int MAX_OUTPUT_FILES = 8;

// Size of the stdio buffer given to every output stream.
inline constexpr size_t OUTPUT_BUFFER_SIZE = 1u << 20;

// Puts the bytes of whole memory words into the agreed byte order, in place.
// Trailing bytes that do not make up a whole group are left as they are.
void apply_byte_order(uint8_t* buffer, uint32_t length);

// Writes length bytes (whole memory words) to the files of the current
// range, one writer call per lane piece, and advances the range's address.
// When the ROM is wider than the memory word, a lane piece is at most
// `call_length` bytes: the buffer stands for consecutive writes of that
// many bytes each (fill goes out one memory word per write, so each fill
// word is a piece of its own and records end where they would then).
// 0 means one write of the whole buffer.
void write_range_data(const uint8_t* buffer, uint32_t length, uint32_t call_length = 0);

void open_range_files();
// Ends the pending record of every file of the current range.
void flush_range_files();
// Flushes, writes the trailers and closes every file of the current range.
void close_range_files();

// Entry k of the output stream table.
OutputStream& output_stream(int k);

// Number of output files (lanes) of a range with these widths in bytes.
int lane_count(int32_t memwidth, int32_t romwidth);

// Closes every stream left open by an aborted run (no trailers written)
// and removes every file of the run still under its temporary name: the
// files of an earlier run stay as they were.
void abandon_output_files();

// True once a write to an output file has failed in this run.
bool output_write_failed();

// Puts every closed output file of the run in place under its final name
// (an ERROR names a file that could not be).
void put_output_files_in_place();

// Replaces the format table's writer for every call (tests record the
// protocol with it); nullptr restores the table's writer.
void set_writer_override(HexWriter writer);

void reset_output_files();

}  // namespace coffhex
