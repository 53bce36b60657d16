#include "formats/format_table.h"

namespace coffhex {

namespace {
const HexFormat FORMATS[FORMAT_COUNT] = {
    {"DEBUG", 1, ".d00", debug_writer},
    {"Intel", 1, ".i00", intel_writer},
    {"Motorola-S", 1, ".m00", motorola_writer},
    {"Motorola-S1", 1, ".m00", motorola_writer},
    {"Motorola-S2", 1, ".m00", motorola_writer},
    {"Motorola-S3", 1, ".m00", motorola_writer},
    {"QV-Tagged", 2, ".t00", tagged_writer},
    {"Extended Tektronix", 1, ".x00", tektronix_writer},
    {"ASCII-Hex", 1, ".a00", ascii_hex_writer},
    {"Generic", 1, ".s00", generic_writer},
    {"Binary", 1, ".b00", binary_writer},
};
}  // namespace

const HexFormat& hex_format(int index) {
    if (index < 0 || index >= FORMAT_COUNT) index = 7;
    return FORMATS[index];
}

}  // namespace coffhex
