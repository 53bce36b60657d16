// The translation map report written with -map.
#pragma once

namespace coffhex {

void write_map_header();
// Block of the current range; called as each range is finished.
void write_range_map();

void reset_mapfile();

}  // namespace coffhex
