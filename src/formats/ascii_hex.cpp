// ASCII-Hex: start-of-text, "$A" address lines and data lines of hex byte
// pairs each followed by a blank, end-of-text.
#include <algorithm>

#include "formats/encoders.h"
#include "formats/output_buffer.h"

namespace coffhex {

namespace {

// A data line is ended before a byte once it holds 72 characters: 24 bytes
// of three characters each.
constexpr size_t ASCII_HEX_LINE_BYTES = 72 / 3;

class AsciiHexWriter final : public LineWriter<AsciiHexWriter> {
public:
    static constexpr const char* TRAILER = "\x03";

    AsciiHexWriter(ByteSink& sink, FileChecksum* checksum) : LineWriter(sink, checksum) {}

    void begin_file() override {
        out_.write("\x02\n", 2);
        cursor_ = 0;
    }
    // The address line goes out at once.
    void new_address(uint32_t address, SectionId) override {
        end();
        out_.commit(encode_ascii_hex_address(out_.room(ASCII_HEX_ADDRESS_MAX), address));
        cursor_ = address;
    }
    void data(const LaneRun& run, SectionId) override;
    bool pending() const override { return count_ != 0; }

private:
    friend LineWriter;

    void end() {
        if (count_ == 0) return;
        out_.commit(encode_ascii_hex_line(out_.room(ascii_hex_line_length(count_)), bytes_, count_));
        if (checksum_ != nullptr) checksum_->add(cursor_, bytes_, count_);
        cursor_ += static_cast<uint32_t>(count_);
        count_ = 0;
    }
    // Bytes one after the other, line after line.
    void put_bytes(const uint8_t* bytes, size_t length) {
        while (length > 0) {
            const size_t n = std::min(length, ASCII_HEX_LINE_BYTES - count_);
            std::memcpy(bytes_ + count_, bytes, n);
            count_ += n;
            bytes += n;
            length -= n;
            // Full: every later operation would end it first.
            if (count_ == ASCII_HEX_LINE_BYTES) end();
        }
    }

    uint8_t bytes_[ASCII_HEX_LINE_BYTES];
    size_t count_ = 0;  // bytes of the pending line
    // Address of the pending line's first byte: data lines carry no
    // address, they go on from the last address line (0 at the start).
    uint32_t cursor_ = 0;
};

void AsciiHexWriter::data(const LaneRun& run, SectionId) {
    if (run.data == nullptr || run.piece <= 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    if (run.stride == width) {
        put_bytes(run.data, run.pieces * width);
    } else if (width == 1) {
        for (size_t i = 0; i < run.pieces;) {
            const size_t n = std::min(run.pieces - i, ASCII_HEX_LINE_BYTES - count_);
            gather_pieces(bytes_ + count_, run.data + i * run.stride, n, 1, run.stride);
            count_ += n;
            i += n;
            if (count_ == ASCII_HEX_LINE_BYTES) end();
        }
    } else {
        for (size_t i = 0; i < run.pieces; ++i) put_bytes(run.data + i * run.stride, width);
    }
}

}  // namespace

std::unique_ptr<RecordWriter> make_ascii_hex_writer(ByteSink& sink, FileChecksum* checksum) {
    return std::make_unique<AsciiHexWriter>(sink, checksum);
}

}  // namespace coffhex
