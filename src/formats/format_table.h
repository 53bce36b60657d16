// The output format table: one row per format with its name, the minimum
// width it needs and its default file extension. The writer of a row comes
// from make_record_writer.
#pragma once

#include <cstdint>

#include "formats/writer.h"

namespace coffhex {

struct HexFormat {
    const char* name;       // shown in the "Translating" line and the map file
    int32_t min_width;      // bytes: ranges get at least this ROM and memory width
    const char* extension;  // ".", a letter and "00"
    bool binary;            // written as raw bytes (binary-mode file)
};

const HexFormat& hex_format(Format format);

}  // namespace coffhex
