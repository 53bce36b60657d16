// Motorola-S records: "S" type, LL, address, data, CC, in three address
// sizes (S1 16-bit, S2 24-bit, S3 32-bit) chosen by the format row.
#include <algorithm>

#include "diag/diag.h"
#include "formats/encoders.h"
#include "formats/output_buffer.h"

namespace coffhex {

namespace {

// A record is ended before a piece once its line holds this many characters.
constexpr size_t MOTOROLA_LIMIT = 69;
// Longest part of a lane piece put into a record in one go, so that the
// count field never exceeds 255 bytes whatever the ROM width.
constexpr size_t MOTOROLA_MAX_PART = 128;

struct Variant {
    uint8_t data_type;        // record type of data records
    uint8_t terminator_type;  // record type of the end-of-file record
    int address_bytes;        // 2, 3 or 4
    int segment_bits;         // address bits the record can carry (0 = all 32)
};

constexpr Variant S1 = {1, 9, 2, 16};
constexpr Variant S2 = {2, 8, 3, 24};
constexpr Variant S3 = {3, 7, 4, 0};

// The header record: type 0, address 0, the data "HDR".
constexpr uint8_t HEADER_DATA[3] = {'H', 'D', 'R'};

// The writer of one variant (a type of its own for each, so that the data
// loop is compiled for its address size).
template <const Variant& v_>
class MotorolaWriter final : public RecordWriter {
public:
    MotorolaWriter(WriterShared& shared, ByteSink& sink, FileChecksum* checksum)
        : shared_(shared), out_(sink), checksum_(checksum) {}

    void begin_file() override {
        out_.commit(encode_srecord(out_.room(srecord_length(2, 3)), 0, 0, 2, HEADER_DATA, 3));
    }
    void new_address(uint32_t address, SectionId section) override { start(address, section); }
    void data(const LaneRun& run, SectionId section) override;
    void end_record() override { end(); }
    void end_file() override {
        end();
        out_.commit(encode_srecord(out_.room(srecord_length(v_.address_bytes, 0)),
                                   v_.terminator_type, 0, v_.address_bytes, nullptr, 0));
        out_.flush();
    }
    bool pending() const override { return pending_; }

private:
    bool full() const { return count_ >= full_; }
    // Both addresses lie in the range of one value of the address field.
    bool same_segment(uint32_t a, uint32_t b) const {
        return v_.segment_bits == 0 || (a >> v_.segment_bits) == (b >> v_.segment_bits);
    }
    void start(uint32_t address, SectionId section);
    void end();
    void put_in_parts(const uint8_t* bytes, size_t width, uint32_t address, SectionId section);

    // The data bytes at which the line holds the limit: its header is "S",
    // the type, LL and the address digits.
    static constexpr size_t full_ = (MOTOROLA_LIMIT - 4 - 2 * v_.address_bytes + 1) / 2;

    WriterShared& shared_;
    OutputBuffer out_;
    FileChecksum* const checksum_;
    bool pending_ = false;
    uint32_t record_address_ = 0;  // as the address field holds it (cut for S1 and S2)
    size_t count_ = 0;           // data bytes of the pending record
    uint32_t last_address_ = 0;  // of the last record start or piece
    // Below the full count, then at most one more part.
    uint8_t bytes_[full_ + MOTOROLA_MAX_PART];
};

// Ends the pending record and starts one at `address`. An address too wide
// for the variant's address field is cut to the field, with a warning once
// per section entry of the run.
template <const Variant& v_>
void MotorolaWriter<v_>::start(uint32_t address, SectionId section) {
    end();
    last_address_ = address;
    if (v_.segment_bits != 0 && (address >> v_.segment_bits) != 0) {
        if (section >= 0 && section != shared_.warned_section) {
            shared_.warned_section = section;
            const unsigned long full_address = address;
            if (v_.segment_bits == 16) {
                shared_.diag.report(
                    WARNING, "address 0x%08lx exceeds 4 digits - truncated (use -m or -m2)",
                    full_address);
            } else {
                shared_.diag.report(
                    WARNING, "address 0x%08lx exceeds 6 digits - truncated (use -m or -m3)",
                    full_address);
            }
        }
        address &= (uint32_t{1} << v_.segment_bits) - 1;
    }
    pending_ = true;
    record_address_ = address;
    count_ = 0;
}

template <const Variant& v_>
void MotorolaWriter<v_>::end() {
    if (!pending_) return;
    out_.commit(encode_srecord(out_.room(srecord_length(v_.address_bytes, count_)), v_.data_type,
                               record_address_, v_.address_bytes, bytes_, count_));
    if (checksum_ != nullptr) checksum_->add(record_address_, bytes_, count_);
    pending_ = false;
    count_ = 0;
}

// A piece too long for one part, or running past the range of the address
// field: part after part; a part beyond that range starts a record of its
// own (and draws the warning).
template <const Variant& v_>
void MotorolaWriter<v_>::put_in_parts(const uint8_t* bytes, size_t width, uint32_t address,
                                      SectionId section) {
    size_t done = 0;
    while (done < width) {
        const size_t part = piece_part(address, width - done, MOTOROLA_MAX_PART, v_.segment_bits);
        if (full()) end();
        if (!pending_ || !same_segment(address, last_address_)) start(address, section);
        std::memcpy(bytes_ + count_, bytes + done, part);
        count_ += part;
        last_address_ = address;
        done += part;
        address += static_cast<uint32_t>(part);
    }
}

template <const Variant& v_>
void MotorolaWriter<v_>::data(const LaneRun& run, SectionId section) {
    if (run.data == nullptr || run.piece <= 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    // Addresses one value of the address field covers (0: all of them).
    const uint64_t segment = v_.segment_bits == 0 ? 0 : uint64_t{1} << v_.segment_bits;
    // Pieces a record started afresh takes before it is full.
    const size_t per_record = (full_ + width - 1) / width;
    size_t i = 0;
    while (i < run.pieces) {
        const uint32_t address = piece_address(run, i);
        const uint8_t* piece = run.data + i * run.stride;
        const uint64_t offset = segment == 0 ? 0 : address & (segment - 1);
        if (width > MOTOROLA_MAX_PART || (segment != 0 && offset + width > segment)) {
            put_in_parts(piece, width, address, section);
            ++i;
            continue;
        }
        if (full()) end();
        if (!pending_ || !same_segment(address, last_address_)) start(address, section);
        // The pieces the record takes as it stands: while it is not full,
        // and none beyond the range of the address field.
        size_t n = count_ == 0 ? per_record : (full_ - count_ + width - 1) / width;
        n = std::min(n, run.pieces - i);
        if (segment != 0 && offset + (n - 1) * uint64_t{run.step} + width > segment)
            n = static_cast<size_t>((segment - width - offset) / run.step + 1);
        if (count_ == 0 && n == per_record) {
            // A whole record straight from the run's bytes.
            const RecordBytes record{piece, n, width, run.stride};
            out_.commit(encode_srecord(out_.room(srecord_length(v_.address_bytes, n * width)),
                                       v_.data_type, record_address_, v_.address_bytes, record));
            if (checksum_ != nullptr) checksum_->add(record_address_, record);
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

std::unique_ptr<RecordWriter> make_motorola_writer(Format format, WriterShared& shared,
                                                   ByteSink& sink, FileChecksum* checksum) {
    switch (format) {
    case Format::MotorolaS1:
        return std::make_unique<MotorolaWriter<S1>>(shared, sink, checksum);
    case Format::MotorolaS2:
        return std::make_unique<MotorolaWriter<S2>>(shared, sink, checksum);
    default:
        return std::make_unique<MotorolaWriter<S3>>(shared, sink, checksum);
    }
}

}  // namespace coffhex
