// The format table, and what every writer shares: idle operations, the end
// of a file, the hand-over of text to the sink.
#include "formats_fixture.h"

#include "formats/format_table.h"

namespace formats_test {
namespace {

using coffhex::FORMAT_COUNT;
using coffhex::hex_format;

Format format_at(int index) { return static_cast<Format>(index); }

TEST(FormatTable, RowsInFormatOrder) {
    const struct {
        const char* name;
        int min_width;
        const char* extension;
    } rows[FORMAT_COUNT] = {
        {"DEBUG", 1, ".d00"},       {"Intel", 1, ".i00"},       {"Motorola-S", 1, ".m00"},
        {"Motorola-S1", 1, ".m00"}, {"Motorola-S2", 1, ".m00"}, {"Motorola-S3", 1, ".m00"},
        {"QV-Tagged", 2, ".t00"},   {"Extended Tektronix", 1, ".x00"},
        {"ASCII-Hex", 1, ".a00"},   {"Generic", 1, ".s00"},     {"Binary", 1, ".b00"},
    };
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        SCOPED_TRACE(i);
        const coffhex::HexFormat& row = hex_format(format_at(i));
        EXPECT_STREQ(row.name, rows[i].name);
        EXPECT_EQ(row.min_width, rows[i].min_width);
        EXPECT_STREQ(row.extension, rows[i].extension);
        EXPECT_EQ(row.binary, format_at(i) == Format::Binary);
    }
    // A value outside the table reads the default row.
    EXPECT_STREQ(hex_format(format_at(11)).name, "Extended Tektronix");
    EXPECT_STREQ(hex_format(format_at(-1)).name, "Extended Tektronix");
}

// What a file holds that has no data: header and trailer.
const char* const EMPTY_FILES[FORMAT_COUNT] = {
    "*** FILE HEADER ***\n*** FILE FOOTER ***\n",
    ":00000001FF\n",
    "S00600004844521B\nS70500000000FA\n",
    "S00600004844521B\nS9030000FC\n",
    "S00600004844521B\nS804000000FB\n",
    "S00600004844521B\nS70500000000FA\n",
    nullptr,  // the tagged header is a pending record of its own
    "%0E81E800000000\n",
    "\x02\n\x03",
    "ADDRESS\tDATA\n-------\t----\n",
    "",
};

// Ending a record when none is pending, or a run without pieces or without
// data, writes nothing.
TEST_F(WriterTest, IdleOperationsWriteNothing) {
    for (int format = 0; format < FORMAT_COUNT; ++format) {
        if (EMPTY_FILES[format] == nullptr) continue;
        SCOPED_TRACE(format);
        open(format_at(format));
        const uint8_t byte = 0x5A;
        writer_->end_record();
        writer_->data({&byte, 0, 1, 1, 0, 1}, -1);
        writer_->data({nullptr, 4, 1, 1, 0, 1}, -1);
        writer_->data({&byte, 1, 0, 1, 0, 1}, -1);
        EXPECT_FALSE(writer_->pending());
        writer_->end_record();
        writer_->end_file();
        EXPECT_EQ(sink_.text, EMPTY_FILES[format]);
    }
}

TEST_F(WriterTest, EndOfFileEndsAPendingRecord) {
    open(Format::Intel);
    write(0x10, {0x5A});
    EXPECT_TRUE(writer_->pending());
    writer_->end_file();
    // 01+00+10+00+5A = 0x6B -> 0x100 - 0x6B = 95.
    EXPECT_EQ(sink_.text, ":010010005A95\n:00000001FF\n");
}

// Text reaches the sink in blocks of at most 64 KiB, nothing of a file
// before it fills a block, and everything at its end.
TEST_F(WriterTest, TextGoesToTheSinkInBlocks) {
    open(Format::Intel);
    write(0x100, counting(1000));
    EXPECT_EQ(sink_.writes, 0);
    write(0x10000, std::vector<uint8_t>(64 * 1024, 0x42));
    EXPECT_GE(sink_.writes, 2);
    EXPECT_LE(sink_.text.size(), 64u * 1024 * static_cast<size_t>(sink_.writes));
    const size_t before_end = sink_.text.size();
    const std::string text = finish();
    EXPECT_GT(text.size(), before_end);
    EXPECT_EQ(text.substr(text.size() - 12), ":00000001FF\n");
    // 1000 bytes: 31 full records and one of 8; then the extended address
    // record, 2048 full records and the end-of-file record.
    EXPECT_EQ(lines_of(text).size(), 32u + 1 + 2048 + 1);
}

}  // namespace
}  // namespace formats_test
