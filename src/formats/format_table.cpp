#include "formats/format_table.h"

namespace coffhex {

namespace {
// Writers are filled in as each format family is built.
const HexFormat FORMATS[FORMAT_COUNT] = {
    {"DEBUG", 1, ".d00", nullptr},
    {"Intel", 1, ".i00", nullptr},
    {"Motorola-S", 1, ".m00", nullptr},
    {"Motorola-S1", 1, ".m00", nullptr},
    {"Motorola-S2", 1, ".m00", nullptr},
    {"Motorola-S3", 1, ".m00", nullptr},
    {"QV-Tagged", 2, ".t00", nullptr},
    {"Extended Tektronix", 1, ".x00", nullptr},
    {"ASCII-Hex", 1, ".a00", nullptr},
    {"Generic", 1, ".s00", nullptr},
    {"Binary", 1, ".b00", nullptr},
};
}  // namespace

const HexFormat& hex_format(int index) {
    if (index < 0 || index >= FORMAT_COUNT) index = 7;
    return FORMATS[index];
}

}  // namespace coffhex
