// The ROMS directive and the completion of the memory configuration.
#include "cmdfile/roms.h"

#include <cstring>
#include <deque>

#include "cmdfile/lexer.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"
#include "formats/format_table.h"
#include "image/filename.h"
#include "image/output_files.h"

namespace coffhex {

namespace {

// Every range ever created, listed or not; a deque keeps their addresses
// stable, so the list links and the range being defined never dangle.
std::deque<RomRange> g_ranges;
RomRange* g_first = nullptr;
RomRange* g_last = nullptr;
int g_count = 0;
RomRange* g_defining = nullptr;
int32_t g_current_page = 0;

// Widths are kept in bytes and shown in bits.
long long bits_of(int32_t bytes) { return static_cast<long long>(bytes) * 8; }

bool valid_width_bits(uint32_t bits) { return bits % 8 == 0 && is_power_of_two(bits); }

void append_file(RomRange& range, const std::string& name) {
    range.files.push_back(OutputFile{name});
    ++range.file_count;
}

// Default name of file k of range i: the input file's base name with the
// format's extension letter followed by the digits of k (one range) or of
// i and then k (several ranges).
std::string default_file_name(int i, int k) {
    std::string name = split_path(coff_file_name().c_str()).base;
    std::string extension(hex_format(options().format).extension, 2);
    if (g_count != 1) extension += std::to_string(i);
    extension += std::to_string(k);
    set_extension(name, extension.c_str(), true);
    return name;
}

void assign_output_files(RomRange& range, int i) {
    const int32_t mem = range.memwidth;
    const int32_t rom = range.romwidth;
    if ((mem > rom && mem % rom != 0) || (mem < rom && rom % mem != 0)) {
        report(FATAL, "memwidth(%lld) not a factor of romwidth(%lld)", bits_of(mem), bits_of(rom));
    }

    const int32_t needed = mem > rom ? mem / rom : 1;
    // Each output file takes one entry of the output stream table.
    if (needed > MAX_OUTPUT_FILES) {
        report(FATAL,
               "%s needs %d output files for memwidth(%lld) and romwidth(%lld); "
               "at most %d are supported",
               range.name, static_cast<int>(needed), bits_of(mem), bits_of(rom),
               MAX_OUTPUT_FILES);
    }

    const int32_t given = range.file_count;
    if (given > needed) {
        report(WARNING, "too many output files for %s (%d given, %d used)", range.name,
               static_cast<int>(given), static_cast<int>(needed));
        range.files.resize(static_cast<size_t>(needed));
    } else if (given < needed) {
        if (given != 0) {
            report(ERROR, "not enough output files for %s (%d given, %d needed)", range.name,
                   static_cast<int>(given), static_cast<int>(needed));
        }
        auto& names = options().output_names;
        for (int32_t k = given; k < needed; ++k) {
            if (!names.empty()) {
                append_file(range, names.front());
                names.pop_front();
            } else {
                append_file(range, default_file_name(i, static_cast<int>(k)));
            }
        }
    }
    range.file_count = needed;
}

// Placement writes whole memory words from the range's origin, so a range
// must hold a whole number of them. Widths that do not divide the chunk size
// are refused later by placement's own chunk checks and are left to them.
void check_range_length(const RomRange& range) {
    const uint32_t mem = static_cast<uint32_t>(range.memwidth);
    if (mem <= 1 || LOADBUFSIZE % mem != 0) return;
    if (range.end < range.origin) return;  // already reported as an invalid length
    const uint64_t span = static_cast<uint64_t>(range.end) - range.origin + 1;
    if (span % mem != 0) {
        report(ERROR, "length of %s (0%lxh) is not a multiple of its memory width (%lld bits)",
               range.name, static_cast<unsigned long>(span), bits_of(range.memwidth));
    }
}

}  // namespace

void begin_roms() {
    keywords_on();
    g_current_page = 0;
    if (g_first != nullptr) report(ERROR, "ROMS directive redefined");
    g_defining = nullptr;
}

void set_current_page(int32_t page) { g_current_page = page; }

void new_range(const char* name) {
    RomRange& range = g_ranges.emplace_back();
    if (name != nullptr) {
        std::strncpy(range.name, name, sizeof range.name - 1);
        range.name[sizeof range.name - 1] = '\0';
    }
    range.page = g_current_page;
    g_defining = &range;
}

void set_origin(uint32_t value) {
    if (g_defining == nullptr) return;
    if (g_defining->origin != ALL_ONES) report(ERROR, "origin redefined for %s", g_defining->name);
    g_defining->origin = value;
}

void set_length(uint32_t value) {
    if (g_defining == nullptr) return;
    if (g_defining->length != ALL_ONES) report(ERROR, "length redefined for %s", g_defining->name);
    g_defining->length = value;
}

void set_romwidth(uint32_t bits) {
    if (g_defining == nullptr) return;
    if (g_defining->romwidth != -1) report(ERROR, "width redefined for %s", g_defining->name);
    if (valid_width_bits(bits)) {
        g_defining->romwidth = static_cast<int32_t>(bits / 8);
    } else {
        report(WARNING, "illegal width of %u specified for %s", bits, g_defining->name);
    }
}

void set_memwidth(uint32_t bits) {
    if (g_defining == nullptr) return;
    if (g_defining->memwidth != -1) {
        report(ERROR, "memory width redefined for %s", g_defining->name);
    }
    if (bits > static_cast<uint32_t>(TARGET_WIDTH_BITS)) {
        report(WARNING, "memwidth(%ld) is greater than target width(%d)", static_cast<long>(bits),
               TARGET_WIDTH_BITS);
    }
    if (valid_width_bits(bits)) {
        g_defining->memwidth = static_cast<int32_t>(bits / 8);
    } else {
        report(WARNING, "illegal memory width of %u specified for %s", bits, g_defining->name);
    }
}

void set_fill(uint32_t value) {
    if (g_defining == nullptr) return;
    if (g_defining->fill_given) report(ERROR, "fill redefined for %s", g_defining->name);
    g_defining->fill_given = true;
    g_defining->fill = value;
}

void add_output_file(const char* name) {
    if (g_defining == nullptr) return;
    append_file(*g_defining, name != nullptr ? name : "");
}

void finish_range() {
    if (g_defining == nullptr) return;
    RomRange& range = *g_defining;
    const bool image = options().image;

    if (range.origin == ALL_ONES) {
        range.origin = 0;
        if (image) report(ERROR, "origin missing on %s (required for -image)", range.name);
    }
    if (range.length == ALL_ONES) {
        range.end = ALL_ONES;
        range.length = range.end - range.origin + 1;
        if (image) report(ERROR, "length missing on %s (required for -image)", range.name);
    } else {
        range.end = range.origin + range.length - 1;
        if (range.end < range.origin) report(ERROR, "invalid length on %s", range.name);
    }
    range.address = range.origin;

    if (g_first == nullptr) {
        g_first = &range;
    } else {
        if (g_last->page > range.page || (g_last->page == range.page && g_last->end > range.origin)) {
            report(ERROR, "memory ranges %s and %s out of order", g_last->name, range.name);
        }
        g_last->next = &range;
    }
    g_last = &range;
    ++g_count;
    g_defining = nullptr;
}

void finish_rom_ranges() {
    ConverterOptions& opt = options();
    const int32_t unit = hex_format(opt.format).min_width;

    if (g_first == nullptr) {
        if (opt.image) report(ERROR, "-image requires ROMS directive");
        new_range("*DEFAULT*");
        RomRange& range = *g_defining;
        range.origin = 0;
        range.end = ALL_ONES;
        range.page = 0;
        range.length = range.end - range.origin + 1;
        range.romwidth = opt.rom_width;
        range.memwidth = opt.mem_width;
        finish_range();
    }

    int i = 0;
    for (RomRange* range = g_first; range != nullptr; range = range->next, ++i) {
        if (range->romwidth == -1) range->romwidth = opt.rom_width;
        if (range->romwidth < unit) range->romwidth = unit;
        if (range->memwidth == -1) range->memwidth = opt.mem_width;
        if (range->memwidth < unit) range->memwidth = unit;
        if (!range->fill_given) range->fill = opt.fill_value;
        assign_output_files(*range, i);
        check_range_length(*range);
    }

    if (opt.zero_based && !opt.image) {
        report(WARNING, "-zero requires -image: ignored");
        opt.zero_based = false;
    }
}

RomRange* first_range() { return g_first; }

int range_count() { return g_count; }

RomRange* range_being_defined() { return g_defining; }

void reset_roms() {
    g_ranges.clear();
    g_first = nullptr;
    g_last = nullptr;
    g_count = 0;
    g_defining = nullptr;
    g_current_page = 0;
}

}  // namespace coffhex
