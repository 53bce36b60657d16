// The output format table: one row per format with its name, minimum
// width, default extension and writer.
#pragma once

#include <cstdint>

#include "formats/writer.h"

namespace coffhex {

struct HexFormat {
    const char* name;
    int32_t min_width;      // bytes
    const char* extension;  // ".", a letter and "00"
    HexWriter writer;       // nullptr until the format is built
    HexBulkWriter bulk;     // the writer's bulk data entry point
};

inline constexpr int FORMAT_COUNT = 11;

const HexFormat& hex_format(int index);

// Writers, one per format family.
void debug_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env);
void intel_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env);
void motorola_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env);
void tagged_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env);
void tektronix_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env);
void ascii_hex_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env);
void generic_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env);
void binary_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env);

// Bulk data entry points (see HexBulkWriter).
void intel_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env);
void motorola_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env);
void tektronix_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env);
void binary_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env);
void ascii_hex_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env);
void debug_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env);
void generic_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env);
void tagged_bulk(OutputStream& os, const LaneRun& run, const WriterEnv& env);

}  // namespace coffhex
