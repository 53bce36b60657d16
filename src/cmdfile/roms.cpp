// The ROMS directive and the completion of the memory configuration.
#include "cmdfile/roms.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "diag/common.h"
#include "diag/diag.h"

namespace coffhex {

namespace {

// Widths are kept in bytes and shown in bits.
long long bits_of(int32_t bytes) { return static_cast<long long>(bytes) * 8; }

bool valid_width_bits(uint32_t bits) { return bits % 8 == 0 && is_power_of_two(bits); }

void append_file(RomRange& range, const std::string& name) {
    range.files.push_back(OutputFile{name});
    ++range.file_count;
}

}  // namespace

void MemoryConfig::assign_output_files(RomRange& range, int i, const RangeDefaults& defaults,
                                       size_t& next_name) {
    const int32_t mem = range.memwidth;
    const int32_t rom = range.romwidth;
    if ((mem > rom && mem % rom != 0) || (mem < rom && rom % mem != 0)) {
        diag_.report(FATAL, "memwidth(%lld) not a factor of romwidth(%lld)", bits_of(mem), bits_of(rom));
    }

    const int32_t needed = mem > rom ? mem / rom : 1;
    // Each output file takes one entry of the output stream table.
    if (needed > MAX_OUTPUT_FILES) {
        diag_.report(FATAL,
               "%s needs %d output files for memwidth(%lld) and romwidth(%lld); "
               "at most %d are supported",
               range.name, static_cast<int>(needed), bits_of(mem), bits_of(rom),
               MAX_OUTPUT_FILES);
    }

    const int32_t given = range.file_count;
    if (given > needed) {
        diag_.report(WARNING, "too many output files for %s (%d given, %d used)", range.name,
               static_cast<int>(given), static_cast<int>(needed));
        range.files.resize(static_cast<size_t>(needed));
    } else if (given < needed) {
        if (given != 0) {
            diag_.report(ERROR, "not enough output files for %s (%d given, %d needed)", range.name,
                   static_cast<int>(given), static_cast<int>(needed));
        }
        const std::vector<std::string>& names = defaults.output_names;
        for (int32_t k = given; k < needed; ++k) {
            if (next_name < names.size()) {
                append_file(range, names[next_name++]);
            } else {
                append_file(range, defaults.default_name(i, static_cast<int>(k), count_));
            }
        }
    }
    range.file_count = needed;
}

// Placement writes whole memory words from the range's origin, so a range
// must hold a whole number of them. Widths that do not divide the chunk size
// are refused later by placement's own chunk checks and are left to them.
void MemoryConfig::check_range_length(const RomRange& range, uint32_t chunk_size) {
    const uint32_t mem = static_cast<uint32_t>(range.memwidth);
    if (mem <= 1 || chunk_size % mem != 0) return;
    if (range.end < range.origin) return;  // already reported as an invalid length
    const uint64_t span = static_cast<uint64_t>(range.end) - range.origin + 1;
    if (span % mem != 0) {
        diag_.report(ERROR, "length of %s (0%lxh) is not a multiple of its memory width (%lld bits)",
               range.name, static_cast<unsigned long>(span), bits_of(range.memwidth));
    }
}

void MemoryConfig::begin_roms() {
    current_page_ = 0;
    if (first_ != nullptr) diag_.report(ERROR, "ROMS directive redefined");
    defining_ = nullptr;
}

void MemoryConfig::new_range(const char* name) {
    RomRange& range = ranges_.emplace_back();
    if (name != nullptr) {
        std::strncpy(range.name, name, sizeof range.name - 1);
        range.name[sizeof range.name - 1] = '\0';
    }
    range.page = current_page_;
    defining_ = &range;
}

void MemoryConfig::set_origin(uint32_t value) {
    if (defining_ == nullptr) return;
    if (defining_->origin_given) diag_.report(ERROR, "origin redefined for %s", defining_->name);
    if (value != ALL_ONES)
        defining_->origin_given = value;
    else
        defining_->origin_given.reset();
}

void MemoryConfig::set_length(uint32_t value) {
    if (defining_ == nullptr) return;
    if (defining_->length_given) diag_.report(ERROR, "length redefined for %s", defining_->name);
    if (value != ALL_ONES)
        defining_->length_given = value;
    else
        defining_->length_given.reset();
}

void MemoryConfig::set_romwidth(uint32_t bits) {
    if (defining_ == nullptr) return;
    if (defining_->romwidth_given) diag_.report(ERROR, "width redefined for %s", defining_->name);
    if (valid_width_bits(bits)) {
        defining_->romwidth_given = static_cast<int32_t>(bits / 8);
    } else {
        diag_.report(WARNING, "illegal width of %u specified for %s", bits, defining_->name);
    }
}

void MemoryConfig::set_memwidth(uint32_t bits) {
    if (defining_ == nullptr) return;
    if (defining_->memwidth_given) {
        diag_.report(ERROR, "memory width redefined for %s", defining_->name);
    }
    if (bits > static_cast<uint32_t>(TARGET_WIDTH_BITS)) {
        diag_.report(WARNING, "memwidth(%ld) is greater than target width(%d)", static_cast<long>(bits),
               TARGET_WIDTH_BITS);
    }
    if (valid_width_bits(bits)) {
        defining_->memwidth_given = static_cast<int32_t>(bits / 8);
    } else {
        diag_.report(WARNING, "illegal memory width of %u specified for %s", bits, defining_->name);
    }
}

void MemoryConfig::set_fill(uint32_t value) {
    if (defining_ == nullptr) return;
    if (defining_->fill_given) diag_.report(ERROR, "fill redefined for %s", defining_->name);
    defining_->fill_given = value;
}

void MemoryConfig::add_output_file(const char* name) {
    if (defining_ == nullptr) return;
    append_file(*defining_, name != nullptr ? name : "");
}

void MemoryConfig::finish_range(bool image) {
    if (defining_ == nullptr) return;
    RomRange& range = *defining_;

    range.origin = range.origin_given.value_or(0);
    if (!range.origin_given && image)
        diag_.report(ERROR, "origin missing on %s (required for -image)", range.name);
    if (!range.length_given) {
        range.end = ALL_ONES;
        range.length = range.end - range.origin + 1;
        if (image) diag_.report(ERROR, "length missing on %s (required for -image)", range.name);
    } else {
        range.length = *range.length_given;
        range.end = range.origin + range.length - 1;
        if (range.end < range.origin) diag_.report(ERROR, "invalid length on %s", range.name);
    }

    if (first_ == nullptr) {
        first_ = &range;
    } else {
        if (last_->page > range.page || (last_->page == range.page && last_->end > range.origin)) {
            diag_.report(ERROR, "memory ranges %s and %s out of order", last_->name, range.name);
        }
        last_->next = &range;
    }
    last_ = &range;
    ++count_;
    defining_ = nullptr;
}

void MemoryConfig::finish_rom_ranges(const RangeDefaults& opt) {
    const int32_t unit = opt.min_width;

    if (first_ == nullptr) {
        if (opt.image) diag_.report(ERROR, "-image requires ROMS directive");
        new_range("*DEFAULT*");
        RomRange& range = *defining_;
        // The whole address space: 2^32 addresses from 0.
        range.origin_given = 0;
        range.length_given = 0;
        range.page = 0;
        finish_range(opt.image);
    }

    size_t next_name = 0;
    int i = 0;
    for (RomRange* range = first_; range != nullptr; range = range->next, ++i) {
        range->romwidth = std::max(range->romwidth_given.value_or(opt.rom_width), unit);
        range->memwidth = std::max(range->memwidth_given.value_or(opt.mem_width), unit);
        range->fill = range->fill_given.value_or(opt.fill);
        assign_output_files(*range, i, opt, next_name);
        check_range_length(*range, opt.chunk_size);
    }

}

}  // namespace coffhex
