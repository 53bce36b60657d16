// The settings records of the subsystems, each filled in one place from
// the settings and from what the conversion has settled.
#pragma once

#include <cstdint>
#include <string>

#include "boot/boot.h"
#include "cmdfile/roms.h"
#include "driver/options.h"
#include "image/output_files.h"
#include "image/placement.h"
#include "image/section_list.h"
#include "mapfile/mapfile.h"

namespace coffhex {

// What the conversion settles once from the settings and the input file,
// before any subsystem's settings record is filled: the records take these
// from here, never from the settings.
struct RunFacts {
    bool image = false;            // -image
    bool zero_based = false;       // -zero, kept only with -image
    std::string input_name;        // the input object file's name
    // Known once the input file's headers are read:
    int order = ORDER_LS;          // the data order: the one given, else the input's own
    bool big_endian_input = false;
    uint32_t entry_address = 0;    // the input file's entry point
};

RangeDefaults range_defaults(const Settings& settings, const RunFacts& facts);
OutputSettings output_settings(const Settings& settings, const RunFacts& facts);
PlacementSettings placement_settings(const Settings& settings, const RunFacts& facts);
BootSettings boot_settings(const Settings& settings);
MapSettings map_settings(const Settings& settings, const RunFacts& facts);
// `boot_org` and `boot_page` are the boot table's, once its origin is complete.
SectionListSettings section_list_settings(const Settings& settings, const RunFacts& facts,
                                          uint32_t boot_org, int32_t boot_page);
SinkSettings sink_settings(const Settings& settings, const RunFacts& facts);

}  // namespace coffhex
