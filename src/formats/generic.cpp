// Generic: two header lines, then lines of an address, a tab and up to
// `olength` ROM words, each word followed by a blank.
#include <algorithm>
#include <vector>

#include "formats/encoders.h"
#include "formats/output_buffer.h"

namespace coffhex {

namespace {

// Lines are kept below this many characters of words.
constexpr int64_t GENERIC_ROOM = 100;
// Words a line can hold: a word is added to a line only while the line's
// words take fewer than GENERIC_ROOM - 3 characters, and every word takes
// at least 3 (a byte and its blank).
constexpr size_t GENERIC_MAX_WORDS = (GENERIC_ROOM - 3 + 2) / 3 + 1;

class GenericWriter final : public LineWriter<GenericWriter> {
public:
    static constexpr const char* TRAILER = "";

    GenericWriter(int32_t rom_width, int32_t olength, ByteSink& sink, FileChecksum* checksum)
        : LineWriter(sink, checksum),
          rom_(rom_width > 0 ? rom_width : 1),
          olength_(olength > 0 ? olength : 1),
          per_word_(2 * rom_ + 1),
          bytes_(line_bytes(GENERIC_ROOM / 2, rom_width)) {}

    void begin_file() override { out_.write("ADDRESS\tDATA\n-------\t----\n"); }
    void new_address(uint32_t address, SectionId) override { start(address); }
    void data(const LaneRun& run, SectionId) override {
        for_each_piece(run, [this](const uint8_t* piece, size_t width, uint32_t address) {
            put_piece(piece, width, address);
        });
    }
    // A line is pending from its address on, before any word.
    bool pending() const override { return has_line_; }

private:
    friend LineWriter;

    // A line is only written with at least one word, so an address change
    // that is followed by another one before any data leaves no empty line.
    void end() {
        if (has_line_ && word_chars_ > 0) {
            out_.commit(encode_generic_line(out_.room(generic_line_length(count_, group_count_)),
                                            line_address_, bytes_.data(), groups_, group_count_));
            if (checksum_ != nullptr) checksum_->add(line_address_, bytes_.data(), count_);
        }
        has_line_ = false;
        word_chars_ = 0;
        count_ = 0;
        group_count_ = 0;
    }
    void start(uint32_t address) {
        end();
        has_line_ = true;
        line_address_ = address;
    }
    void put_piece(const uint8_t* piece, size_t width, uint32_t address);

    const int64_t rom_;      // bytes per ROM word
    const int64_t olength_;  // ROM words per line
    const int64_t per_word_;  // characters of a whole word and its blank
    bool has_line_ = false;
    uint32_t line_address_ = 0;
    int64_t word_chars_ = 0;      // characters of the pending line's words
    std::vector<uint8_t> bytes_;  // the bytes of the pending line's words
    size_t count_ = 0;
    uint32_t groups_[GENERIC_MAX_WORDS];  // bytes per word
    size_t group_count_ = 0;
};

// The piece's bytes in ROM words (a shorter last one when the piece is not
// a whole number of words). A word starts a new line when the line holds
// `olength` words or has no room for it.
void GenericWriter::put_piece(const uint8_t* piece, size_t width, uint32_t address) {
    const int64_t w = static_cast<int64_t>(width);
    const int64_t need = w < rom_ ? 2 * w + 1 : per_word_;
    const size_t rom = static_cast<size_t>(rom_);
    for (size_t i = 0; i < width; i += rom) {
        if (!has_line_ || word_chars_ / per_word_ >= olength_ ||
            word_chars_ >= GENERIC_ROOM - need) {
            start(address + static_cast<uint32_t>(i));
        }
        const size_t n = std::min(rom, width - i);
        if (count_ + n > bytes_.size()) bytes_.resize(count_ + n);
        std::memcpy(bytes_.data() + count_, piece + i, n);
        count_ += n;
        groups_[group_count_++] = static_cast<uint32_t>(n);
        word_chars_ += 2 * static_cast<int64_t>(n) + 1;
    }
}

}  // namespace

std::unique_ptr<RecordWriter> make_generic_writer(int32_t rom_width, int32_t olength,
                                                  ByteSink& sink, FileChecksum* checksum) {
    return std::make_unique<GenericWriter>(rom_width, olength, sink, checksum);
}

}  // namespace coffhex
