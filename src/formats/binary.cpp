// Binary: the data bytes themselves, in the order they come, and nothing
// else; addresses are not recorded, so a byte's address is its offset in
// the file.
#include <algorithm>

#include "formats/output_buffer.h"

namespace coffhex {

namespace {

class BinaryWriter final : public RecordWriter {
public:
    BinaryWriter(ByteSink& sink, FileChecksum* checksum) : out_(sink), checksum_(checksum) {}

    void begin_file() override {}
    void new_address(uint32_t, SectionId) override {}
    void data(const LaneRun& run, SectionId) override;
    void end_record() override {}
    void end_file() override { out_.flush(); }
    // Bytes are never held back in a record.
    bool pending() const override { return false; }

private:
    OutputBuffer out_;
    FileChecksum* const checksum_;
    uint32_t offset_ = 0;  // bytes written so far (modulo 2^32)
};

void BinaryWriter::data(const LaneRun& run, SectionId) {
    if (run.data == nullptr || run.piece <= 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    if (checksum_ != nullptr) {
        checksum_->add(offset_, {run.data, run.pieces, width, run.stride});
        offset_ += static_cast<uint32_t>(run.pieces * width);
    }
    if (run.stride == width || run.pieces == 1) {
        out_.write(reinterpret_cast<const char*>(run.data), run.pieces * width);
        return;
    }
    if (width >= OutputBuffer::SIZE / 4) {
        for (size_t i = 0; i < run.pieces; ++i)
            out_.write(reinterpret_cast<const char*>(run.data + i * run.stride), width);
        return;
    }
    // Narrow pieces: as many as fill the buffer at a time.
    for (size_t i = 0; i < run.pieces;) {
        if (out_.available() < width) out_.flush();
        const size_t n = std::min(run.pieces - i, out_.available() / width);
        char* room = out_.room(n * width);
        gather_pieces(reinterpret_cast<uint8_t*>(room), run.data + i * run.stride, n, width,
                      run.stride);
        out_.commit(n * width);
        i += n;
    }
}

}  // namespace

std::unique_ptr<RecordWriter> make_binary_writer(ByteSink& sink, FileChecksum* checksum) {
    return std::make_unique<BinaryWriter>(sink, checksum);
}

}  // namespace coffhex
