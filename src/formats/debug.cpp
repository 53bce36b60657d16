// DEBUG: a readable dump, one line per run of lane pieces, framed by a file
// header and footer.
#include <algorithm>
#include <vector>

#include "formats/encoders.h"
#include "formats/output_buffer.h"

namespace coffhex {

namespace {

// A line is ended before a piece once it holds this many characters.
constexpr size_t DEBUG_LIMIT = 68;
// Characters of "ADDR:%08lx: DATA:".
constexpr size_t DEBUG_HEAD = 20;
// Pieces a line can hold: each takes at least 3 characters, and one is
// added only while the line holds fewer than DEBUG_LIMIT.
constexpr size_t DEBUG_MAX_GROUPS = (DEBUG_LIMIT - DEBUG_HEAD + 2) / 3;

class DebugWriter final : public LineWriter<DebugWriter> {
public:
    static constexpr const char* TRAILER = "*** FILE FOOTER ***\n";

    DebugWriter(int32_t rom_width, ByteSink& sink, FileChecksum* checksum)
        : LineWriter(sink, checksum), bytes_(line_bytes(DEBUG_LIMIT / 2, rom_width)) {}

    void begin_file() override { out_.write("*** FILE HEADER ***\n"); }
    void new_address(uint32_t address, SectionId) override { start(address); }
    void data(const LaneRun& run, SectionId) override;
    bool pending() const override { return pending_; }

private:
    friend LineWriter;

    void start(uint32_t address) {
        end();
        pending_ = true;
        line_address_ = address;
        chars_ = DEBUG_HEAD;
    }
    void end();

    bool pending_ = false;
    uint32_t line_address_ = 0;
    size_t chars_ = 0;            // characters of the pending line before ":END:"
    std::vector<uint8_t> bytes_;  // the bytes of the pending line's pieces
    size_t count_ = 0;
    uint32_t groups_[DEBUG_MAX_GROUPS];  // bytes per piece
    size_t group_count_ = 0;
};

void DebugWriter::end() {
    if (!pending_) return;
    out_.commit(encode_debug_line(out_.room(debug_line_length(count_, group_count_)),
                                  line_address_, bytes_.data(), groups_, group_count_));
    if (checksum_ != nullptr) checksum_->add(line_address_, bytes_.data(), count_);
    pending_ = false;
    chars_ = 0;
    count_ = 0;
    group_count_ = 0;
}

void DebugWriter::data(const LaneRun& run, SectionId) {
    if (run.data == nullptr || run.piece <= 0) return;
    const size_t width = static_cast<size_t>(run.piece);
    const size_t group_chars = 2 * width + 1;
    size_t i = 0;
    while (i < run.pieces) {
        if (chars_ >= DEBUG_LIMIT) end();
        if (!pending_) start(piece_address(run, i));
        // The pieces the line takes as it stands: while it holds fewer than
        // DEBUG_LIMIT characters.
        const size_t below_limit = (DEBUG_LIMIT - chars_ + group_chars - 1) / group_chars;
        const size_t n = std::min(run.pieces - i, below_limit);
        if (count_ + n * width > bytes_.size()) bytes_.resize(count_ + n * width);
        gather_pieces(bytes_.data() + count_, run.data + i * run.stride, n, width, run.stride);
        count_ += n * width;
        std::fill_n(groups_ + group_count_, n, static_cast<uint32_t>(width));
        group_count_ += n;
        chars_ += n * group_chars;
        i += n;
        // Full: every later operation would end it first.
        if (chars_ >= DEBUG_LIMIT) end();
    }
}

}  // namespace

std::unique_ptr<RecordWriter> make_debug_writer(int32_t rom_width, ByteSink& sink,
                                                FileChecksum* checksum) {
    return std::make_unique<DebugWriter>(rom_width, sink, checksum);
}

}  // namespace coffhex
