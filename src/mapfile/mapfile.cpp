// Placeholder until the map file is built.
#include "mapfile/mapfile.h"

namespace coffhex {
void write_map_header() {}
void write_range_map() {}
void reset_mapfile() {}
}  // namespace coffhex
