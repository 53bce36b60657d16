#include "formats/format_table.h"

namespace coffhex {

namespace {
const HexFormat FORMATS[FORMAT_COUNT] = {
    {"DEBUG", 1, ".d00", debug_writer, debug_bulk},
    {"Intel", 1, ".i00", intel_writer, intel_bulk},
    {"Motorola-S", 1, ".m00", motorola_writer, motorola_bulk},
    {"Motorola-S1", 1, ".m00", motorola_writer, motorola_bulk},
    {"Motorola-S2", 1, ".m00", motorola_writer, motorola_bulk},
    {"Motorola-S3", 1, ".m00", motorola_writer, motorola_bulk},
    {"QV-Tagged", 2, ".t00", tagged_writer, tagged_bulk},
    {"Extended Tektronix", 1, ".x00", tektronix_writer, tektronix_bulk},
    {"ASCII-Hex", 1, ".a00", ascii_hex_writer, ascii_hex_bulk},
    {"Generic", 1, ".s00", generic_writer, generic_bulk},
    {"Binary", 1, ".b00", binary_writer, binary_bulk},
};
}  // namespace

const HexFormat& hex_format(int index) {
    if (index < 0 || index >= FORMAT_COUNT) index = 7;
    return FORMATS[index];
}

}  // namespace coffhex
