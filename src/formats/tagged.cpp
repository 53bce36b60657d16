// QV-Tagged records: a run of tagged fields (K header, 9 load address,
// B data word, * data byte) closed by a 7 checksum field and an F tag, and
// padded to an 80-column card that ends with the program name.
#include "formats/encoders.h"
#include "formats/output_buffer.h"

namespace coffhex {

namespace {

// A record is ended before any field is added once its line holds this many
// characters: the first record of a file then holds the header, one load
// address and 9 data words, a continuing record 13 data words.
constexpr size_t TAGGED_LIMIT = 62;
// Fields a card can hold: one is added only while the card holds fewer
// than TAGGED_LIMIT characters, and a field takes at least 3.
constexpr size_t TAGGED_MAX_FIELDS = (TAGGED_LIMIT + 2) / 3;

class TaggedWriter final : public LineWriter<TaggedWriter> {
public:
    static constexpr const char* TRAILER = ":\n";

    TaggedWriter(ByteSink& sink, FileChecksum* checksum) : LineWriter(sink, checksum) {}

    // The header field opens the file's first card; it is not written yet.
    void begin_file() override {
        check();
        end();
        add({'K', 0});
        address_written_ = false;
    }
    // A load address joins the pending card rather than starting a new one.
    void new_address(uint32_t address, SectionId) override {
        check();
        add_address(address);
    }
    void data(const LaneRun& run, SectionId) override {
        for_each_piece(run, [this](const uint8_t* piece, size_t width, uint32_t address) {
            put_piece(piece, width, address);
        });
    }
    bool pending() const override { return field_count_ != 0; }

private:
    friend LineWriter;

    // Every operation but the end of a record first ends a full card.
    void check() {
        if (chars_ >= TAGGED_LIMIT) end();
    }
    void add(TaggedField field) {
        fields_[field_count_++] = field;
        chars_ += tagged_field_length(field.tag);
    }
    void add_address(uint32_t address) {
        add({'9', static_cast<uint16_t>(address)});
        address_written_ = true;
        cursor_ = address & 0xFFFFu;
    }
    void end() {
        if (field_count_ == 0) return;
        out_.commit(encode_tagged_card(out_.room(tagged_card_length(chars_)), fields_, field_count_));
        field_count_ = 0;
        chars_ = 0;
    }
    // Data words of two bytes, a data byte for the last of an odd piece;
    // the first data of the file is preceded by its load address.
    void put_piece(const uint8_t* piece, size_t width, uint32_t address) {
        check();
        if (!address_written_) add_address(address);
        if (checksum_ != nullptr) checksum_->add(cursor_, piece, width);
        cursor_ += static_cast<uint32_t>(width);
        for (size_t i = 0; i < width; i += 2) {
            check();
            if (i + 1 < width)
                add({'B', static_cast<uint16_t>(piece[i] << 8 | piece[i + 1])});
            else
                add({'*', piece[i]});
        }
    }

    TaggedField fields_[TAGGED_MAX_FIELDS];
    size_t field_count_ = 0;
    size_t chars_ = 0;  // characters of the pending card's fields
    // A load address has been written in this file; it stays set across
    // cards, so a card that continues the data starts with data words.
    bool address_written_ = false;
    // Address of the next data byte: the last load address (16 bits), and
    // the data bytes put since.
    uint32_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<RecordWriter> make_tagged_writer(ByteSink& sink, FileChecksum* checksum) {
    return std::make_unique<TaggedWriter>(sink, checksum);
}

}  // namespace coffhex
