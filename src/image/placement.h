// Placement of section data into the memory ranges: gaps, fill, padding to
// whole memory words, unplaced data, moving from range to range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/byte_order.h"

namespace coffhex {

class ObjectFile;
class Diagnostics;
class RangeOutput;
struct RomRange;
class SectionSelection;
struct SectionSpec;

// Told when placement leaves a range (after its files are closed): the map
// report writes the range's block then.
class RangeObserver {
public:
    virtual ~RangeObserver() = default;
    virtual void range_finished(const RomRange& range) = 0;
};

// Told of every piece of data placement writes, with its address, before
// its bytes are put into lane order: the memory as the target sees it.
class DataObserver {
public:
    virtual ~DataObserver() = default;
    virtual void data_placed(const RomRange& range, uint32_t address, const uint8_t* bytes,
                             uint32_t length, const SectionSpec* entry, bool boot_table) = 0;
};

// A stretch of consecutive addresses written for an entry whose data
// arrives as records (a RAM-model .cinit): where the records went.
struct PlacedExtent {
    const RomRange* range = nullptr;
    uint32_t start = 0;
    uint32_t last = 0;
};

// What placement learns of a selection entry during the run.
struct EntryState {
    const RomRange* range = nullptr;      // range that received the first byte
    uint32_t start_address = 0xFFFFFFFFu; // where its data starts there
    uint32_t last_address = 0;            // the last address written
    bool reported = false;                // a placement diagnostic was issued
    bool record_reported = false;         // records: the current record drew one
    // With SPEC_RECORDS: every stretch written, in the order written.
    std::vector<PlacedExtent> extents;
};

struct PlacementSettings {
    bool image = false;            // -image: ranges are written whole, gaps filled
    int32_t data_width = 1;        // bytes: data of no section (fill)
    int order = ORDER_LS;          // ORDER_LS or ORDER_MS
    bool big_endian_input = false;
};

// Sections arrive ordered by page and address, and so are the ranges, so
// placement is one forward merge of the two: the current range only moves
// forward. Gaps are filled in image mode and skipped otherwise; data that
// falls outside every range or onto data already placed is dropped with one
// warning per entry.
class Placement {
public:
    Placement(const PlacementSettings& settings, const ObjectFile& coff,
              const SectionSelection& selection, RangeOutput& output, Diagnostics& diag);

    // What placement has learnt of an entry so far (by the entry's id).
    const EntryState& entry_state(const SectionSpec& entry) const;
    // A new record of an entry made of records begins: it may draw a
    // diagnostic of its own.
    void begin_record(const SectionSpec& entry);
    Placement(const Placement&) = delete;
    Placement& operator=(const Placement&) = delete;

    // Places a chunk of the current entry's section data at `address`:
    // copies it (placement reorders bytes in place and may append pad bytes)
    // and places it in pieces of at most LOADBUFSIZE bytes.
    void place_chunk(const uint8_t* data, uint32_t length, uint32_t address);

    // Places length bytes whose first byte belongs at `address`, for the
    // current entry; returns the number of bytes written. The buffer must
    // have room for memwidth - 1 pad bytes beyond length.
    uint32_t place_data(uint8_t* buffer, uint32_t length, uint32_t address);

    // Brings the current range's address past limit.
    void fill_to(uint32_t limit);
    // Issues the one placement diagnostic of the current entry (for an
    // entry made of records: of the current record), for data of `length`
    // bytes from `address` that cannot be written.
    void report_unplaced(uint32_t address, uint32_t length = 0);
    // Leaves the current range: closes its files, tells the observer.
    void next_range();
    // At the end of the conversion: fills every remaining range to its end.
    void finish_ranges();
    // Ends the pending records of the current range's files.
    void flush_range_files();

    // The chunk checks of the data sink: LOADBUFSIZE must be a multiple of
    // the range's ROM width and memory width and, when boot_alignment is not
    // 0, of the boot alignment. A failure is an internal error.
    void check_load_buffer_widths(const RomRange& range, uint32_t boot_alignment);

    // The largest memory width from the current range on: a buffer handed
    // to place_data needs room for that many pad bytes minus one.
    uint32_t widest_memory_word() const;

    // Told whenever placement leaves a range (nullptr: nobody).
    void set_range_observer(RangeObserver* observer) { observer_ = observer; }
    // Told of every piece of data written (nullptr: nobody).
    void set_data_observer(DataObserver* observer) { data_observer_ = observer; }

    // The fill pattern of a range in lane byte order (max(4, memwidth)
    // bytes), as placement pads a memory word with it.
    std::vector<uint8_t> fill_pattern(const RomRange& range) const;

    // The range being filled (nullptr after the last); placement starts it
    // at its origin.
    const RomRange* current_range() const { return range_; }
    void set_current_range(const RomRange* range);
    // The next address to be filled in the current range.
    uint32_t current_address() const { return address_; }
    // The selection entry of the chunk being placed, or nullptr.
    const SectionSpec* current_entry() const { return entry_; }
    void set_current_entry(const SectionSpec* entry) { entry_ = entry; }
    // Set while the boot table's own data is placed (diagnostic wording).
    void set_boot_table_mode(bool on) { boot_table_mode_ = on; }
    bool boot_table_mode() const { return boot_table_mode_; }

private:
    // The data of a place_data call not placed yet.
    struct Pending {
        uint8_t* buffer;
        uint32_t length;
        uint32_t address;
        uint32_t written;
        // Passes over n bytes that were written (or dropped).
        void advance(uint32_t n) {
            written += n;
            skip(n);
        }
        void skip(uint32_t n) {
            buffer += n;
            length -= n;
            address += n;
        }
    };
    // The steps of place_data.
    void reach_data(Pending& at);
    void write_first_word(Pending& at, uint32_t gap, uint32_t width);
    bool drop_overlapped(Pending& at);
    void write_at_cursor(Pending& at);
    void pad_last_word(Pending& at, uint32_t width);
    void write_range_end(Pending& at, uint32_t n, uint32_t width);
    void write_whole_words(Pending& at, uint32_t n);
    void leave_range_if_full();

    EntryState& state_of(const SectionSpec& entry);
    ByteOrder byte_order(const RomRange& range, const SectionSpec* entry) const;
    void build_pattern(const RomRange& range);
    void make_pattern(const RomRange& range, std::vector<uint8_t>& pattern) const;
    void observe(const RomRange& range, const uint8_t* bytes, uint32_t length);
    uint8_t pattern_byte(size_t j) const { return pattern_[j % pattern_.size()]; }
    bool section_below_origin(const SectionSpec& entry, uint32_t address, const RomRange& range) const;
    bool holds_address(const SectionSpec& s, const SectionSpec* entry, uint32_t address) const;
    void note_first_write(uint32_t start);
    void note_written(uint32_t first, uint32_t last);
    void report_padding(const SectionSpec* entry, uint32_t pad, uint32_t size, uint32_t width);
    void write_mixed_word(const RomRange& range, uint32_t lead, const uint8_t* data, uint32_t count);
    void write(const RomRange& range, const uint8_t* buffer, uint32_t length, uint32_t call_length);

    PlacementSettings settings_;
    const ObjectFile& coff_;
    const SectionSelection& selection_;
    RangeOutput& output_;
    RangeObserver* observer_ = nullptr;
    DataObserver* data_observer_ = nullptr;
    Diagnostics& diag_;

    const RomRange* range_ = nullptr;
    uint32_t address_ = 0;  // next address to be filled in range_
    const SectionSpec* entry_ = nullptr;
    bool boot_table_mode_ = false;
    // What placement learnt of each entry, by id; an entry placement has not
    // seen yet reads as `unseen_`.
    std::vector<EntryState> entries_;
    EntryState unseen_;

    // Private copy of a chunk.
    std::vector<uint8_t> chunk_;
    // The fill pattern: max(4, memwidth) bytes, in output byte order.
    std::vector<uint8_t> pattern_;
    // A run of whole fill words, written in one call per run.
    std::vector<uint8_t> fill_run_;
    // One memory word put together from data and fill bytes.
    std::vector<uint8_t> word_;
};

}  // namespace coffhex
