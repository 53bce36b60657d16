// Intel hex records: ":" LL AAAA TT data CC, with extended linear address
// records (type 04) whenever the upper 16 bits of the address change.
#include <algorithm>

#include "formats/encoders.h"
#include "formats/output_buffer.h"

namespace coffhex {

namespace {

// A record is ended before a piece once its line holds 73 characters: with
// the 9-character header that is once it holds 32 data bytes, so 32 data
// bytes per record for lanes of 1, 2, 4 or 8 bytes.
constexpr size_t INTEL_FULL = (73 - 9 + 1) / 2;
// Longest part of a lane piece put into a record in one go, so that the
// count field never exceeds 255 bytes whatever the ROM width.
constexpr size_t INTEL_MAX_PART = 128;

constexpr uint8_t TYPE_DATA = 0x00;
constexpr uint8_t TYPE_END_OF_FILE = 0x01;
constexpr uint8_t TYPE_EXTENDED_LINEAR = 0x04;

class IntelWriter final : public RecordWriter {
public:
    IntelWriter(ByteSink& sink, FileChecksum* checksum) : out_(sink), checksum_(checksum) {}

    void begin_file() override {}
    void new_address(uint32_t address, SectionId) override { start(address); }
    void data(const LaneRun& run, SectionId) override;
    void end_record() override { end(); }
    void end_file() override {
        end();
        out_.commit(encode_intel_record(out_.room(intel_record_length(0)), TYPE_END_OF_FILE, 0,
                                        nullptr, 0));
        out_.flush();
    }
    bool pending() const override { return pending_; }

private:
    bool full() const { return count_ >= INTEL_FULL; }
    static bool same_segment(uint32_t a, uint32_t b) { return (a >> 16) == (b >> 16); }
    void start(uint32_t address);
    void end();
    void put_in_parts(const uint8_t* bytes, size_t width, uint32_t address);

    OutputBuffer out_;
    FileChecksum* const checksum_;
    bool pending_ = false;
    uint16_t record_address_ = 0;
    // The address of the record's first byte as the file gives it: the
    // upper 16 bits of the extended linear address in force, then the
    // record's own 16.
    uint32_t record_start_ = 0;
    size_t count_ = 0;           // data bytes of the pending record
    uint32_t last_address_ = 0;  // of the last record start or piece
    // Below INTEL_FULL bytes, then at most one more part.
    uint8_t bytes_[INTEL_FULL + INTEL_MAX_PART];
};

// Ends the pending record and starts a data record at `address`, preceded
// by an extended linear address record when the upper 16 bits differ from
// those of the last address of the file (0 at its start).
void IntelWriter::start(uint32_t address) {
    end();
    if (!same_segment(address, last_address_)) {
        const uint8_t upper[2] = {static_cast<uint8_t>(address >> 24),
                                  static_cast<uint8_t>(address >> 16)};
        out_.commit(encode_intel_record(out_.room(intel_record_length(2)), TYPE_EXTENDED_LINEAR,
                                        0, upper, 2));
    }
    pending_ = true;
    record_address_ = static_cast<uint16_t>(address);
    record_start_ = address;
    count_ = 0;
    last_address_ = address;
}

void IntelWriter::end() {
    if (!pending_) return;
    out_.commit(encode_intel_record(out_.room(intel_record_length(count_)), TYPE_DATA,
                                    record_address_, bytes_, count_));
    if (checksum_ != nullptr) checksum_->add(record_start_, bytes_, count_);
    pending_ = false;
    count_ = 0;
}

// A piece too long for one part, or running across a 64 KB boundary: part
// after part, each continuing the pending record or starting its own.
void IntelWriter::put_in_parts(const uint8_t* bytes, size_t width, uint32_t address) {
    size_t done = 0;
    while (done < width) {
        const size_t part = piece_part(address, width - done, INTEL_MAX_PART, 16);
        if (full()) end();
        if (!pending_ || !same_segment(address, last_address_)) start(address);
        std::memcpy(bytes_ + count_, bytes + done, part);
        count_ += part;
        last_address_ = address;
        done += part;
        address += static_cast<uint32_t>(part);
    }
}

void IntelWriter::data(const LaneRun& run, SectionId) {
    if (run.data == nullptr || run.piece <= 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    // Pieces a record started afresh takes before it is full.
    const size_t per_record = (INTEL_FULL + width - 1) / width;
    size_t i = 0;
    while (i < run.pieces) {
        const uint32_t address = piece_address(run, i);
        const uint8_t* piece = run.data + i * run.stride;
        const uint64_t offset = address & 0xFFFF;
        if (width > INTEL_MAX_PART || offset + width > 0x10000) {
            put_in_parts(piece, width, address);
            ++i;
            continue;
        }
        if (full()) end();
        if (!pending_ || !same_segment(address, last_address_)) start(address);
        // The pieces the record takes as it stands: while it is not full,
        // and none in the next segment.
        size_t n = count_ == 0 ? per_record : (INTEL_FULL - count_ + width - 1) / width;
        n = std::min(n, run.pieces - i);
        if (offset + (n - 1) * uint64_t{run.step} + width > 0x10000)
            n = static_cast<size_t>((0x10000 - width - offset) / run.step + 1);
        if (count_ == 0 && n == per_record) {
            // A whole record straight from the run's bytes.
            const RecordBytes record{piece, n, width, run.stride};
            out_.commit(encode_intel_record(out_.room(intel_record_length(n * width)), TYPE_DATA,
                                            record_address_, record));
            if (checksum_ != nullptr) checksum_->add(record_start_, record);
            pending_ = false;
        } else {
            gather_pieces(bytes_ + count_, piece, n, width, run.stride);
            count_ += n * width;
            // Full: every later operation would end it first.
            if (full()) end();
        }
        last_address_ = piece_address(run, i + n - 1);
        i += n;
    }
}

}  // namespace

std::unique_ptr<RecordWriter> make_intel_writer(ByteSink& sink, FileChecksum* checksum) {
    return std::make_unique<IntelWriter>(sink, checksum);
}

}  // namespace coffhex
