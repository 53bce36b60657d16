// Extended Tektronix records: "%" LL T CC N address data, where LL counts
// the characters after the "%" and CC is the sum of the values of all hex
// digits after the "%" (the CC digits counting 0).
#include <algorithm>

#include "formats/encoders.h"
#include "formats/output_buffer.h"

namespace coffhex {

namespace {

// A record is ended before a piece once its line holds 79 characters: with
// the 15-character header that is once it holds 32 data bytes, so 32 data
// bytes per record for lanes of 1, 2, 4 or 8 bytes.
constexpr size_t TEKTRONIX_FULL = (79 - 15 + 1) / 2;
// Longest part of a lane piece put into a record in one go, so that the
// two-digit length field (at most 255 characters) never overflows whatever
// the ROM width.
constexpr size_t TEKTRONIX_MAX_PART = 64;

constexpr uint8_t TYPE_DATA = 6;
constexpr uint8_t TYPE_TERMINATION = 8;

class TektronixWriter final : public RecordWriter {
public:
    TektronixWriter(uint32_t entry_address, ByteSink& sink, FileChecksum* checksum)
        : entry_address_(entry_address), out_(sink), checksum_(checksum) {}

    void begin_file() override {}
    void new_address(uint32_t address, SectionId) override { start(TYPE_DATA, address); }
    void data(const LaneRun& run, SectionId) override;
    void end_record() override { end(); }
    // The termination record carries the entry point of the input file.
    void end_file() override {
        start(TYPE_TERMINATION, entry_address_);
        end();
        out_.flush();
    }
    bool pending() const override { return pending_; }

private:
    bool full() const { return count_ >= TEKTRONIX_FULL; }
    void start(uint8_t type, uint32_t address) {
        end();
        pending_ = true;
        type_ = type;
        record_address_ = address;
        count_ = 0;
    }
    void end();

    const uint32_t entry_address_;
    OutputBuffer out_;
    FileChecksum* const checksum_;
    bool pending_ = false;
    uint8_t type_ = TYPE_DATA;
    uint32_t record_address_ = 0;
    size_t count_ = 0;  // data bytes of the pending record
    // Below TEKTRONIX_FULL bytes, then at most one more part.
    uint8_t bytes_[TEKTRONIX_FULL + TEKTRONIX_MAX_PART];
};

void TektronixWriter::end() {
    if (!pending_) return;
    out_.commit(encode_tektronix_record(out_.room(tektronix_record_length(count_)), type_,
                                        record_address_, bytes_, count_));
    if (checksum_ != nullptr && type_ == TYPE_DATA) checksum_->add(record_address_, bytes_, count_);
    pending_ = false;
    count_ = 0;
}

void TektronixWriter::data(const LaneRun& run, SectionId) {
    if (run.data == nullptr || run.piece <= 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    size_t i = 0;
    if (width > TEKTRONIX_MAX_PART) {
        // Part after part, each continuing the pending record or starting
        // its own at the part's address.
        for (; i < run.pieces; ++i) {
            const uint8_t* piece = run.data + i * run.stride;
            uint32_t address = piece_address(run, i);
            for (size_t done = 0; done < width;) {
                const size_t part = std::min(width - done, TEKTRONIX_MAX_PART);
                if (full()) end();
                if (!pending_) start(TYPE_DATA, address);
                std::memcpy(bytes_ + count_, piece + done, part);
                count_ += part;
                done += part;
                address += static_cast<uint32_t>(part);
            }
        }
        return;
    }
    // Pieces a record started afresh takes before it is full.
    const size_t per_record = (TEKTRONIX_FULL + width - 1) / width;
    while (i < run.pieces) {
        const uint8_t* piece = run.data + i * run.stride;
        if (full()) end();
        if (!pending_) start(TYPE_DATA, piece_address(run, i));
        // The pieces the record takes as it stands: while it is not full.
        size_t n = count_ == 0 ? per_record : (TEKTRONIX_FULL - count_ + width - 1) / width;
        n = std::min(n, run.pieces - i);
        if (count_ == 0 && n == per_record) {
            // A whole record straight from the run's bytes.
            const RecordBytes record{piece, n, width, run.stride};
            out_.commit(encode_tektronix_record(out_.room(tektronix_record_length(n * width)),
                                                TYPE_DATA, record_address_, record));
            if (checksum_ != nullptr) checksum_->add(record_address_, record);
            pending_ = false;
        } else {
            gather_pieces(bytes_ + count_, piece, n, width, run.stride);
            count_ += n * width;
            // Full: every later operation would end it first.
            if (full()) end();
        }
        i += n;
    }
}

}  // namespace

std::unique_ptr<RecordWriter> make_tektronix_writer(uint32_t entry_address, ByteSink& sink,
                                                    FileChecksum* checksum) {
    return std::make_unique<TektronixWriter>(entry_address, sink, checksum);
}

}  // namespace coffhex
