// The record cutter of the formats whose records are an address and up to
// a fixed number of data bytes (Intel, Motorola-S, Extended Tektronix). It
// decides where records start and end: how many data bytes a record takes,
// which address boundaries it may not cross, when a record (and before it an
// address record) is due, and it takes whole records straight from a lane
// run where it can. A format supplies only its limits, what comes before a
// data record, and its pure encoder (formats/encoders.h).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "formats/output_buffer.h"

namespace coffhex {

// What a format allows one data record.
struct RecordLimits {
    // A record is ended before a piece once it holds this many data bytes:
    // the character limit of the format's line, counted in data bytes.
    size_t full;
    // Longest part of a lane piece put into a record in one go, so that the
    // record's count field never overflows whatever the ROM width.
    size_t max_part;
    // No record crosses a multiple of 2^segment_bits (0: no boundary), and a
    // piece whose address lies in another segment than the last one starts a
    // record of its own.
    int segment_bits;
};

// Length of the next part of a lane piece of `remaining` bytes whose first
// byte belongs at `address`: at most `max_part` bytes, and none crossing a
// multiple of 2^segment_bits (0 = no boundary). Keeps records within the
// count field of their format and inside their address segment.
inline size_t piece_part(uint32_t address, size_t remaining, size_t max_part, int segment_bits) {
    size_t part = remaining < max_part ? remaining : max_part;
    if (segment_bits > 0 && segment_bits < 32) {
        const uint32_t mask = (uint32_t{1} << segment_bits) - 1;
        const uint64_t to_boundary = uint64_t{mask} + 1 - (address & mask);
        if (to_boundary < part) part = static_cast<size_t>(to_boundary);
    }
    return part;
}

// `Records` is the format's side:
//   static constexpr RecordLimits LIMITS;
//   static size_t length(size_t count);
//       characters of a data record of `count` bytes
//   static size_t encode(char* out, uint32_t address, const RecordBytes& bytes);
//       the data record's text (the format's pure encoder, inlined always)
//   uint32_t open(uint32_t address, bool new_segment, SectionId section, OutputBuffer& out);
//       a data record starts at `address`, in another segment than the last
//       record start or piece of the file when `new_segment`; writes what
//       must come before the record (an address record) and returns the
//       address the record carries, which is the address the file gives its
//       first byte
//   void begin_file(OutputBuffer& out);  // the file header, if any
//   void end_file(OutputBuffer& out);    // the file trailer, if any
template <class Records>
class RecordCutter final : public RecordWriter {
public:
    RecordCutter(Records records, ByteSink& sink, FileChecksum* checksum)
        : records_(records), out_(sink), checksum_(checksum) {}

    void begin_file() override { records_.begin_file(out_); }
    void new_address(uint32_t address, SectionId section) override { start(address, section); }
    void data(const LaneRun& run, SectionId section) override;
    void end_record() override { end(); }
    void end_file() override {
        end();
        records_.end_file(out_);
        out_.flush();
    }
    bool pending() const override { return pending_; }

private:
    static constexpr size_t FULL = Records::LIMITS.full;
    static constexpr size_t MAX_PART = Records::LIMITS.max_part;
    static constexpr int SEGMENT_BITS = Records::LIMITS.segment_bits;
    // Addresses one segment covers (0: all of them).
    static constexpr uint64_t SEGMENT = SEGMENT_BITS == 0 ? 0 : uint64_t{1} << SEGMENT_BITS;

    bool full() const { return count_ >= FULL; }
    static bool same_segment(uint32_t a, uint32_t b) {
        return SEGMENT_BITS == 0 || (a >> SEGMENT_BITS) == (b >> SEGMENT_BITS);
    }
    // Ends the pending record and starts one at `address`.
    void start(uint32_t address, SectionId section) {
        end();
        const bool new_segment = !same_segment(address, last_address_);
        record_address_ = records_.open(address, new_segment, section, out_);
        pending_ = true;
        count_ = 0;
        if constexpr (SEGMENT_BITS != 0) last_address_ = address;
    }
    void end() {
        if (!pending_) return;
        put_record(contiguous_bytes(bytes_, count_));
        pending_ = false;
        count_ = 0;
    }
    // The pending record with `bytes` as its data (inlined into the data
    // loop, which writes most records of an image through it).
    [[gnu::always_inline]] void put_record(const RecordBytes& bytes) {
        out_.commit(Records::encode(out_.room(Records::length(bytes.count())), record_address_, bytes));
        if (checksum_ != nullptr) checksum_->add(record_address_, bytes);
    }
    void put_in_parts(const uint8_t* bytes, size_t width, uint32_t address, SectionId section);

    Records records_;
    OutputBuffer out_;
    FileChecksum* const checksum_;
    bool pending_ = false;
    uint32_t record_address_ = 0;  // as the record carries it
    size_t count_ = 0;             // data bytes of the pending record
    // Of the last record start or piece (0 at the start); only segments
    // look at it.
    uint32_t last_address_ = 0;
    // Below the full count, then at most one more part.
    uint8_t bytes_[FULL + MAX_PART];
};

// A piece too long for one part, or running across a segment boundary:
// part after part, each continuing the pending record or starting its own.
template <class Records>
void RecordCutter<Records>::put_in_parts(const uint8_t* bytes, size_t width, uint32_t address,
                                         SectionId section) {
    size_t done = 0;
    while (done < width) {
        const size_t part = piece_part(address, width - done, MAX_PART, SEGMENT_BITS);
        if (full()) end();
        if (!pending_ || !same_segment(address, last_address_)) start(address, section);
        std::memcpy(bytes_ + count_, bytes + done, part);
        count_ += part;
        if constexpr (SEGMENT_BITS != 0) last_address_ = address;
        done += part;
        address += static_cast<uint32_t>(part);
    }
}

template <class Records>
void RecordCutter<Records>::data(const LaneRun& run, SectionId section) {
    if (run.data == nullptr || run.piece <= 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    // Pieces a record started afresh takes before it is full.
    const size_t per_record = (FULL + width - 1) / width;
    size_t i = 0;
    while (i < run.pieces) {
        const uint32_t address = piece_address(run, i);
        const uint8_t* piece = run.data + i * run.stride;
        const uint64_t offset = SEGMENT == 0 ? 0 : address & (SEGMENT - 1);
        if (width > MAX_PART || (SEGMENT != 0 && offset + width > SEGMENT)) {
            put_in_parts(piece, width, address, section);
            ++i;
            continue;
        }
        if (full()) end();
        if (!pending_ || !same_segment(address, last_address_)) start(address, section);
        // The pieces the record takes as it stands: while it is not full,
        // and none in the next segment.
        size_t n = count_ == 0 ? per_record : (FULL - count_ + width - 1) / width;
        n = std::min(n, run.pieces - i);
        if (SEGMENT != 0 && offset + (n - 1) * uint64_t{run.step} + width > SEGMENT)
            n = static_cast<size_t>((SEGMENT - width - offset) / run.step + 1);
        if (count_ == 0 && n == per_record) {
            // A whole record straight from the run's bytes.
            put_record({piece, n, width, run.stride});
            pending_ = false;
        } else {
            gather_pieces(bytes_ + count_, piece, n, width, run.stride);
            count_ += n * width;
            // Full: every later operation would end it first.
            if (full()) end();
        }
        if constexpr (SEGMENT_BITS != 0) last_address_ = piece_address(run, i + n - 1);
        i += n;
    }
}

}  // namespace coffhex
