// The settings records of the subsystems, filled from the settings.
#include "driver/settings_records.h"

#include "driver/banner.h"
#include "formats/format_table.h"
#include "image/filename.h"

namespace coffhex {

RangeDefaults range_defaults(const Settings& settings, const RunFacts& facts) {
    const HexFormat& row = hex_format(settings.format);
    RangeDefaults defaults;
    defaults.min_width = row.min_width;
    defaults.rom_width = settings.rom_width;
    defaults.mem_width = settings.mem_width;
    defaults.fill = settings.fill_value;
    defaults.image = facts.image;
    defaults.chunk_size = LOADBUFSIZE;
    defaults.output_names = settings.output_names;
    // Default name of file k of range i: the input file's base name with the
    // format's extension letter followed by the digits of k (one range) or
    // of i and then k (several ranges).
    defaults.default_name = [base = split_path(facts.input_name.c_str()).base,
                             letter = std::string(row.extension, 2)](int i, int k, int ranges) {
        std::string name = base;
        std::string extension = letter;
        if (ranges != 1) extension += std::to_string(i);
        extension += std::to_string(k);
        set_extension(name, extension.c_str(), true);
        return name;
    };
    return defaults;
}

OutputSettings output_settings(const Settings& settings, const RunFacts& facts) {
    OutputSettings output;
    output.format = settings.format;
    output.order = facts.order;
    output.zero_based = facts.zero_based;
    output.byte_addressing = settings.byte_addressing;
    output.olength = settings.olength;
    output.entry_address = facts.entry_address;
    output.checksum = settings.checksum;
    return output;
}

PlacementSettings placement_settings(const Settings& settings, const RunFacts& facts) {
    PlacementSettings placement;
    placement.image = facts.image;
    placement.data_width = settings.data_width;
    placement.order = facts.order;
    placement.big_endian_input = facts.big_endian_input;
    return placement;
}

BootSettings boot_settings(const Settings& settings) {
    BootSettings boot;
    boot.boot_org = settings.boot_org;
    boot.boot_page = settings.boot_page;
    boot.bootstrap = settings.bootstrap_section.has_value();
    boot.trace_level = settings.trace_level;
    return boot;
}

MapSettings map_settings(const Settings& settings, const RunFacts& facts) {
    MapSettings map;
    map.title = TOOL_TITLE;
    map.version = TOOL_VERSION_TEXT;
    map.coff_file_name = facts.input_name;
    map.format_name = hex_format(settings.format).name;
    map.image = facts.image;
    map.data_width = settings.data_width;
    map.mem_width = settings.mem_width;
    map.rom_width = settings.rom_width;
    map.order = facts.order;
    map.entry_symbol = settings.entry_symbol;
    return map;
}

SectionListSettings section_list_settings(const Settings& settings, const RunFacts& facts,
                                          uint32_t boot_org, int32_t boot_page) {
    SectionListSettings list;
    list.data_width = settings.data_width;
    list.boot_all = settings.boot_all;
    list.boot_section_name = settings.boot_section_name;
    list.boot_section_address = settings.boot_section_address;
    list.exclude = &settings.exclude_patterns;
    list.linker_fill = settings.linker_fill;
    list.image = facts.image;
    list.boot_org = boot_org;
    list.boot_page = boot_page;
    list.bootstrap_section = settings.bootstrap_section;
    list.coff_file_name = facts.input_name;
    return list;
}

SinkSettings sink_settings(const Settings& settings, const RunFacts& facts) {
    SinkSettings sink;
    sink.quiet = settings.quiet != 0;
    sink.trace_level = settings.trace_level;
    sink.image = facts.image;
    sink.coff_file_name = facts.input_name;
    return sink;
}

}  // namespace coffhex
