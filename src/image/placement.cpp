// Placement of section data into the memory ranges.
//
// Sections arrive ordered by page and address, and so are the ranges, so
// placement is one forward merge of the two: the current range only moves
// forward. Gaps are filled in image mode and skipped otherwise; data that
// falls outside every range or onto data already placed is dropped with one
// warning per entry.
#include "image/placement.h"

#include <algorithm>
#include <cstring>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "object/object_file.h"
#include "diag/diag.h"
#include "image/output_files.h"

namespace coffhex {

namespace {

constexpr uint64_t FILL_RUN_BYTES = 64 * 1024;

}  // namespace

Placement::Placement(const PlacementSettings& settings, const ObjectFile& coff,
                     const SectionSelection& selection, RangeOutput& output, Diagnostics& diag)
    : settings_(settings), coff_(coff), selection_(selection), output_(output), diag_(diag) {}

// The byte order of data of `entry` (of no section: the default data
// width) in `range`.
ByteOrder Placement::byte_order(const RomRange& range, const SectionSpec* entry) const {
    ByteOrder o;
    o.datawidth = entry != nullptr && entry->datawidth ? *entry->datawidth : settings_.data_width;
    o.romwidth = range.romwidth;
    o.memwidth = range.memwidth;
    o.order = settings_.order;
    o.big_endian_input = settings_.big_endian_input;
    return o;
}

// Tells the data observer of bytes about to be written at the range's
// address (before they are put into lane order).
void Placement::observe(const RomRange& range, const uint8_t* bytes, uint32_t length) {
    if (data_observer_ != nullptr)
        data_observer_->data_placed(range, address_, bytes, length, entry_, boot_table_mode_);
}

// Writes at the current address and advances it.
void Placement::write(const RomRange& range, const uint8_t* buffer, uint32_t length,
                      uint32_t call_length) {
    output_.write_range_data(range, address_, buffer, length, call_length,
                             entry_ != nullptr ? entry_->id : -1);
    address_ += length;
}

void Placement::set_current_range(const RomRange* range) {
    range_ = range;
    address_ = range != nullptr ? range->origin : 0;
}

const EntryState& Placement::entry_state(const SectionSpec& entry) const {
    if (entry.id < 0 || static_cast<size_t>(entry.id) >= entries_.size()) return unseen_;
    return entries_[static_cast<size_t>(entry.id)];
}

// The state of an entry, made when placement first meets the entry.
EntryState& Placement::state_of(const SectionSpec& entry) {
    if (entry.id < 0) diag_.internal("selection entry without id");
    const size_t id = static_cast<size_t>(entry.id);
    if (id >= entries_.size()) entries_.resize(id + 1);
    return entries_[id];
}

void Placement::begin_record(const SectionSpec& entry) { state_of(entry).record_reported = false; }

// Builds the fill pattern of a range: the fill value in the input's byte
// order, repeated every four bytes, then put into output byte order as data
// of no section.
void Placement::make_pattern(const RomRange& range, std::vector<uint8_t>& pattern) const {
    const size_t size = std::max<size_t>(4, static_cast<size_t>(std::max(range.memwidth, 1)));
    pattern.assign(size, 0);
    const uint32_t fill = range.fill;
    const bool big = settings_.big_endian_input;
    for (int j = 0; j < 4; ++j) {
        const int shift = big ? 8 * (3 - j) : 8 * j;
        pattern[static_cast<size_t>(j)] = static_cast<uint8_t>(fill >> shift);
    }
    for (size_t j = 4; j < size; ++j) pattern[j] = pattern[j - 4];
    // The fill belongs to no section: it is ordered with the default data
    // width, not with that of the section whose gap it happens to fill, so
    // that every fill word of a range reads the same.
    apply_byte_order(pattern.data(), static_cast<uint32_t>(size), byte_order(range, nullptr));
}

void Placement::build_pattern(const RomRange& range) { make_pattern(range, pattern_); }

std::vector<uint8_t> Placement::fill_pattern(const RomRange& range) const {
    std::vector<uint8_t> pattern;
    make_pattern(range, pattern);
    return pattern;
}

// True when the whole section starting at `address` lies below the range's
// origin, so none of it can be written there.
bool Placement::section_below_origin(const SectionSpec& entry, uint32_t address,
                                     const RomRange& range) const {
    const auto& sections = coff_.sections();
    const uint64_t size = entry.section >= 0 && static_cast<size_t>(entry.section) < sections.size()
                              ? sections[static_cast<size_t>(entry.section)].size
                              : 0;
    return static_cast<uint64_t>(address) + size <= range.origin;
}

// The largest memory width from the current range on: the chunk copy needs
// room for that many pad bytes minus one.
uint32_t Placement::widest_memory_word() const {
    int32_t widest = 1;
    for (const RomRange* r = range_; r != nullptr; r = r->next)
        widest = std::max(widest, r->memwidth);
    return static_cast<uint32_t>(widest);
}

void Placement::report_padding(const SectionSpec* entry, uint32_t pad, uint32_t size,
                               uint32_t width) {
    // A checksum field's words are whole words of their own making.
    if (entry != nullptr && (entry->flags & SPEC_FIELD) != 0) return;
    diag_.report(WARNING,
           "section '%s' was padded by %d bytes to a size of %d to satisfy the "
           "specified memory width of %d",
           entry != nullptr ? entry->name.c_str() : "", static_cast<int>(pad),
           static_cast<int>(size), static_cast<int>(width));
}

// Writes one memory word of the current range made of `lead` fill bytes,
// then `count` data bytes, then fill bytes to the end of the word. The fill
// bytes are those of the fill pattern at the same positions, as for the pad
// bytes of a short section.
void Placement::write_mixed_word(const RomRange& range, uint32_t lead, const uint8_t* data,
                                 uint32_t count) {
    const uint32_t width = static_cast<uint32_t>(range.memwidth);
    build_pattern(range);
    word_.resize(width);
    for (uint32_t k = 0; k < width; ++k)
        word_[k] = k >= lead && k - lead < count ? data[k - lead] : pattern_byte(k);
    observe(range, word_.data(), width);
    apply_byte_order(word_.data(), width, byte_order(range, entry_));
    write(range, word_.data(), width, 0);
}

// The first write of the current entry into the current range gives the
// entry its range and the address where its data starts there.
void Placement::note_first_write(uint32_t start) {
    if (entry_ == nullptr) return;
    EntryState& state = state_of(*entry_);
    if (state.range != range_) {
        state.range = range_;
        state.start_address = start;
    }
}

// After a write of `first`..`last` for the current entry: its last
// address, and for an entry made of records the stretch that the write
// adds to or begins.
void Placement::note_written(uint32_t first, uint32_t last) {
    if (entry_ == nullptr) return;
    EntryState& state = state_of(*entry_);
    state.last_address = last;
    if ((entry_->flags & SPEC_RECORDS) == 0) return;
    if (!state.extents.empty()) {
        PlacedExtent& previous = state.extents.back();
        if (previous.range == range_ && previous.last != 0xFFFFFFFFu && previous.last + 1 == first) {
            previous.last = last;
            return;
        }
    }
    state.extents.push_back(PlacedExtent{range_, first, last});
}

void Placement::check_load_buffer_widths(const RomRange& range, uint32_t boot_alignment) {
    if (range.romwidth <= 0 || LOADBUFSIZE % static_cast<uint32_t>(range.romwidth) != 0)
        diag_.internal("LOADBUFSIZE not a multiple of width");
    if (range.memwidth <= 0 || LOADBUFSIZE % static_cast<uint32_t>(range.memwidth) != 0)
        diag_.internal("LOADBUFSIZE not a multiple of memwidth");
    if (boot_alignment != 0 && LOADBUFSIZE % boot_alignment != 0)
        diag_.internal(" LOADBUFSIZE not a mult. of boot.alignment");
}

void Placement::place_chunk(const uint8_t* data, uint32_t length, uint32_t address) {
    uint32_t at = address;
    while (length > 0) {
        const uint32_t n = std::min(length, LOADBUFSIZE);
        const size_t room = static_cast<size_t>(n) + widest_memory_word();
        if (chunk_.size() < room) chunk_.resize(room);
        std::memcpy(chunk_.data(), data, n);
        place_data(chunk_.data(), n, at);
        data += n;
        at += n;
        length -= n;
    }
}

void Placement::flush_range_files() {
    if (range_ != nullptr) output_.flush_range_files(*range_);
}

// One forward step at a time: past a finished range, over a gap to the
// data, past data that falls where something was written already, or a
// write at the current address; data of no range is reported and dropped.
uint32_t Placement::place_data(uint8_t* buffer, uint32_t length, uint32_t address) {
    Pending at{buffer, length, address, 0};
    while (at.length > 0) {
        if (range_ == nullptr) {
            report_unplaced(at.address, at.length);
            break;
        }
        if (address_ > range_->end) {
            next_range();
            continue;
        }
        const int32_t page = entry_ != nullptr ? entry_->page : range_->page;
        if (page > range_->page) {
            fill_to(range_->end);  // the range is finished
            continue;
        }
        if (page < range_->page) {
            report_unplaced(at.address, at.length);
            break;
        }
        if (at.address > address_) {
            reach_data(at);
        } else if (at.address < address_) {
            if (drop_overlapped(at)) break;
        } else {
            write_at_cursor(at);
        }
    }
    return at.written;
}

// The data lies beyond the current address: the gap is filled (image mode)
// or skipped, or the range ends first.
void Placement::reach_data(Pending& at) {
    const RomRange& range = *range_;
    const uint32_t gap = at.address - address_;
    const uint32_t width = static_cast<uint32_t>(std::max(range.memwidth, 1));
    if (settings_.image && at.address - 1 <= range.end && gap % width != 0 &&
        static_cast<uint64_t>(address_) + gap / width * width + width - 1 <= range.end) {
        // The range is written whole memory words from its origin: fill
        // the words below the data, then the word the data starts in holds
        // fill up to the data's first byte.
        if (gap >= width)
            fill_to(address_ + gap / width * width - 1);
        else
            write_first_word(at, gap, width);
        return;
    }
    fill_to(std::min(at.address - 1, range.end));
}

// The memory word the data starts in, `gap` bytes into it: fill, the
// data's first bytes, and fill again when the data ends in the word.
void Placement::write_first_word(Pending& at, uint32_t gap, uint32_t width) {
    const uint32_t count = std::min(at.length, width - gap);
    const uint32_t pad = width - gap - count;
    if (pad != 0) report_padding(entry_, pad, count + pad, width);
    note_first_write(at.address);
    write_mixed_word(*range_, gap, at.buffer, count);
    note_written(at.address, address_ - 1);
    at.advance(count);
    leave_range_if_full();
}

// The data starts below the current address, where something was written
// already: reported, and the part below dropped. True when nothing is left.
bool Placement::drop_overlapped(Pending& at) {
    report_unplaced(at.address, at.length);
    const uint32_t dropped = address_ - at.address;
    if (dropped >= at.length) return true;
    at.skip(dropped);
    return false;
}

// The data starts at the current address: it is padded to whole memory
// words and written as far as the range reaches.
void Placement::write_at_cursor(Pending& at) {
    const RomRange& range = *range_;
    if (range.memwidth <= 0) diag_.internal("nbytes not a multiple of mem width/rom width");
    const uint32_t width = static_cast<uint32_t>(range.memwidth);
    pad_last_word(at, width);
    note_first_write(address_);
    // Room left in the range; a range spanning the whole address space
    // has 2^32 addresses of room.
    const uint64_t room = static_cast<uint64_t>(range.end) - address_ + 1;
    const uint32_t n = room >= at.length ? at.length : static_cast<uint32_t>(room);
    if (n % width != 0)
        write_range_end(at, n, width);
    else
        write_whole_words(at, n);
}

// Data that ends inside a memory word is padded from the fill pattern to
// the end of the word (the buffer has room for the pad bytes).
void Placement::pad_last_word(Pending& at, uint32_t width) {
    const uint32_t partial = at.length % width;
    if (partial == 0) return;
    build_pattern(*range_);
    uint8_t* word = at.buffer + (at.length - partial);
    for (uint32_t k = partial; k < width; ++k) word[k] = pattern_byte(k);
    const uint32_t pad = width - partial;
    at.length += pad;
    report_padding(entry_, pad, at.length, width);
}

// The range ends inside the memory word that this write started (data
// that did not start on the range's word grid): its whole words go out as
// they are, the cut word is padded from the fill pattern, and the rest of
// the data goes on beyond the range.
void Placement::write_range_end(Pending& at, uint32_t n, uint32_t width) {
    const RomRange& range = *range_;
    const uint32_t whole = n - n % width;
    if (whole != 0) {
        observe(range, at.buffer, whole);
        apply_byte_order(at.buffer, whole, byte_order(range, entry_));
        write(range, at.buffer, whole, 0);
    }
    report_padding(entry_, width - n % width, width, width);
    write_mixed_word(range, 0, at.buffer + whole, n - whole);
    note_written(at.address, address_ - 1);
    at.advance(n);
    next_range();
}

// n bytes of whole memory words at the current address.
void Placement::write_whole_words(Pending& at, uint32_t n) {
    const RomRange& range = *range_;
    observe(range, at.buffer, n);
    apply_byte_order(at.buffer, n, byte_order(range, entry_));
    write(range, at.buffer, n, 0);
    note_written(at.address, address_ - 1);
    at.advance(n);
    leave_range_if_full();
}

// Leaves the current range once its last address is written (or the write
// passed the top of the address space).
void Placement::leave_range_if_full() {
    if (address_ > range_->end || address_ == 0) next_range();
}

void Placement::fill_to(uint32_t limit) {
    const RomRange* range = range_;
    if (range == nullptr) return;
    bool wrapped = false;
    if (settings_.image) {
        if (address_ <= limit) {
            if (range->memwidth <= 0) diag_.internal("nbytes not a multiple of mem width/rom width");
            build_pattern(*range);
            const uint64_t width = static_cast<uint64_t>(range->memwidth);
            // Words are taken from the pattern at offsets 0, W, 2W, ...,
            // going back to 0 once the offset reaches 4: the byte stream
            // repeats after `cycle` words.
            uint64_t cycle = 0;
            for (uint64_t offset = 0;;) {
                ++cycle;
                offset += width;
                if (offset >= 4) break;
            }
            uint64_t words = (static_cast<uint64_t>(limit) - address_) / width + 1;
            uint64_t run_words = std::max<uint64_t>(1, FILL_RUN_BYTES / (width * cycle)) * cycle;
            run_words = std::min(run_words, (words + cycle - 1) / cycle * cycle);
            fill_run_.resize(static_cast<size_t>(run_words * width));
            uint64_t offset = 0;
            uint8_t* out = fill_run_.data();
            for (uint64_t w = 0; w < run_words; ++w) {
                for (uint64_t j = 0; j < width; ++j) *out++ = pattern_byte(offset + j);
                offset += width;
                if (offset >= 4) offset = 0;
            }
            while (words > 0) {
                const uint64_t n = std::min(words, run_words);
                const uint32_t before = address_;
                // One write per memory word, as fill is made of.
                write(*range, fill_run_.data(), static_cast<uint32_t>(n * width),
                      static_cast<uint32_t>(width));
                words -= n;
                if (address_ < before) {  // passed the top of the address space
                    wrapped = true;
                    break;
                }
            }
        }
    } else if (limit >= address_) {
        address_ = limit + 1;  // the gap is skipped
    }
    if (wrapped || address_ > range->end || address_ == 0) next_range();
}

// True when data at `address` of `entry` was already written: within the
// stretches of an entry made of records, within first to last address of
// any other entry. An entry made of records can meet its own earlier data.
bool Placement::holds_address(const SectionSpec& s, const SectionSpec* entry,
                              uint32_t address) const {
    const EntryState& state = entry_state(s);
    if ((s.flags & SPEC_RECORDS) != 0) {
        for (const PlacedExtent& extent : state.extents)
            if (extent.start <= address && address <= extent.last) return true;
        return false;
    }
    return &s != entry && s.address <= address && address <= state.last_address;
}

void Placement::report_unplaced(uint32_t address, uint32_t length) {
    const SectionSpec* entry = entry_;
    if (entry != nullptr) {
        // Once per entry; for an entry made of records, once per record.
        EntryState& state = state_of(*entry);
        const bool records = (entry->flags & SPEC_RECORDS) != 0;
        if (records ? state.record_reported : state.reported) return;
        state.reported = true;
        if (records) state.record_reported = true;
    }
    const RomRange* range = range_;
    const int32_t page = entry != nullptr ? entry->page : (range != nullptr ? range->page : 0);
    const unsigned long at = address;
    const char* name = entry != nullptr ? entry->name.c_str() : "";

    const SectionSpec* hit = nullptr;
    for (const SectionSpec* s = selection_.first(); s != nullptr; s = s->next) {
        if (entry_state(*s).range == nullptr || s->page != page) continue;
        if (holds_address(*s, entry, address)) {
            hit = s;
            break;
        }
    }

    if (hit != nullptr) {
        if (boot_table_mode_)
            diag_.report(WARNING, "boot table at 0%lxh overlaps section '%s' (table incomplete)", at,
                   hit->name.c_str());
        else
            diag_.report(WARNING, "section '%s' at 0%lxh overlaps %s (%s incomplete or skipped)", name,
                   at, hit->boot_loaded() ? "boot table" : hit->name.c_str(), name);
        return;
    }
    if (boot_table_mode_) {
        diag_.report(WARNING, "boot table falls in unconfigured memory at 0%lxh", at);
        return;
    }
    // A record is skipped when all of it lies below the range; a section
    // when it starts at its own address and all of it lies below the range.
    bool below = false;
    if (entry != nullptr && range != nullptr) {
        if ((entry->flags & SPEC_RECORDS) != 0)
            below = static_cast<uint64_t>(address) + length <= range->origin;
        else
            below = address == entry->address && section_below_origin(*entry, address, *range);
    }
    const bool skipped = range == nullptr || range->page != page || below;
    if (skipped)
        diag_.report(WARNING, "section '%s' at 0%lxh falls in unconfigured memory (skipped)", name, at);
    else
        diag_.report(WARNING, "section '%s' overlaps unconfigured memory at 0%lxh (%s incomplete)",
               name, at, name);
}

void Placement::next_range() {
    const RomRange* range = range_;
    if (range == nullptr) return;
    output_.close_range_files(*range);
    if (observer_ != nullptr) observer_->range_finished(*range);
    set_current_range(range->next);
}

void Placement::finish_ranges() {
    while (range_ != nullptr) fill_to(range_->end);
}

}  // namespace coffhex
