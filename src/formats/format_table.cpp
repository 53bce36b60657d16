// The output format table, one row per Format in enum order.
#include "formats/format_table.h"

namespace coffhex {

namespace {
const HexFormat FORMATS[FORMAT_COUNT] = {
    {"DEBUG", 1, ".d00", false},
    {"Intel", 1, ".i00", false},
    {"Motorola-S", 1, ".m00", false},
    {"Motorola-S1", 1, ".m00", false},
    {"Motorola-S2", 1, ".m00", false},
    {"Motorola-S3", 1, ".m00", false},
    {"QV-Tagged", 2, ".t00", false},
    {"Extended Tektronix", 1, ".x00", false},
    {"ASCII-Hex", 1, ".a00", false},
    {"Generic", 1, ".s00", false},
    {"Binary", 1, ".b00", true},
};
}  // namespace

const HexFormat& hex_format(Format format) {
    int index = static_cast<int>(format);
    // A value outside the table reads the default row.
    if (index < 0 || index >= FORMAT_COUNT) index = static_cast<int>(Format::Tektronix);
    return FORMATS[index];
}

}  // namespace coffhex
