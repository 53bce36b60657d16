// The format table, the shared line helpers, line sizing for every lane
// width, and the bookkeeping of failed writes.
#include "formats_fixture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/harness.h"

namespace formats_test {
namespace {

using namespace coffhex;

TEST(FormatTable, RowsInIndexOrder) {
    struct Row {
        const char* name;
        int min_width;
        const char* extension;
        HexWriter writer;
    };
    const Row rows[FORMAT_COUNT] = {
        {"DEBUG", 1, ".d00", debug_writer},
        {"Intel", 1, ".i00", intel_writer},
        {"Motorola-S", 1, ".m00", motorola_writer},
        {"Motorola-S1", 1, ".m00", motorola_writer},
        {"Motorola-S2", 1, ".m00", motorola_writer},
        {"Motorola-S3", 1, ".m00", motorola_writer},
        {"QV-Tagged", 2, ".t00", tagged_writer},
        {"Extended Tektronix", 1, ".x00", tektronix_writer},
        {"ASCII-Hex", 1, ".a00", ascii_hex_writer},
        {"Generic", 1, ".s00", generic_writer},
        {"Binary", 1, ".b00", binary_writer},
    };
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        SCOPED_TRACE(i);
        const HexFormat& row = hex_format(i);
        EXPECT_STREQ(row.name, rows[i].name);
        EXPECT_EQ(row.min_width, rows[i].min_width);
        EXPECT_STREQ(row.extension, rows[i].extension);
        EXPECT_EQ(row.writer, rows[i].writer);
    }
    // An index outside the table reads the default row.
    EXPECT_STREQ(hex_format(11).name, "Extended Tektronix");
    EXPECT_STREQ(hex_format(-1).name, "Extended Tektronix");
}

TEST(WriterHelpers, HexPairsUpperCaseHighNibbleFirstNoTerminator) {
    const uint8_t bytes[] = {0x00, 0x9A, 0xF0, 0x5C};
    char out[10];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(hex_pairs(out, bytes, 4), 8);
    EXPECT_EQ(std::string(out, 10), "009AF05C##");
    EXPECT_EQ(hex_pairs(out, bytes, 0), 0);
}

TEST(WriterHelpers, LineAppendAndOverwrite) {
    OutputStream os;
    os.prepare(1);
    line_append(os, "S1");
    line_append_hex(os, 0xABC, 6);
    line_append_char(os, '/');
    const uint8_t bytes[] = {0x01, 0xEF};
    line_append_bytes(os, bytes, 2);
    line_append_format(os, "%04lx", 0x12345ul);
    line_put_hex(os, 2, 0x7F, 2);
    EXPECT_EQ(std::string(os.line.data(), static_cast<size_t>(os.cursor)), "S17F0ABC/01EF12345");
}

// Address prefixes are printed the way "%04lx" and "%08lx" print them.
TEST(WriterHelpers, LowerHexMatchesPrintf) {
    const uint32_t values[] = {0, 0xA, 0xFFF, 0xFFFF, 0x10000, 0x12345, 0xABCDEF, 0xFFFFFFFFu};
    for (uint32_t value : values) {
        for (int digits : {4, 8}) {
            OutputStream os;
            os.prepare(1);
            line_append_lower_hex(os, value, digits);
            char expected[32];
            std::snprintf(expected, sizeof expected, digits == 4 ? "%04lx" : "%08lx",
                          static_cast<unsigned long>(value));
            EXPECT_EQ(std::string(os.line.data(), static_cast<size_t>(os.cursor)), expected);
        }
    }
}

TEST(WriterHelpers, PiecePartsStopAtSegmentBoundaries) {
    EXPECT_EQ(piece_part(0xFFFE, 4, 128, 16), 2);
    EXPECT_EQ(piece_part(0x10000, 4, 128, 16), 4);
    EXPECT_EQ(piece_part(0x1FFFF, 4, 128, 16), 1);
    EXPECT_EQ(piece_part(0x100, 300, 128, 16), 128);
    EXPECT_EQ(piece_part(0xFFFFFF, 10, 128, 24), 1);
    EXPECT_EQ(piece_part(0xFFFFFFFFu, 4, 128, 0), 4);
}

TEST(WriterHelpers, PrepareSizesTheLineAndClearsTheState) {
    OutputStream os;
    os.cursor = 5;
    os.last_address = 9;
    os.format_flag = 3;
    os.record_sum = 77;
    os.write_failed = true;
    os.write_errno = ENOSPC;
    os.prepare(4);
    EXPECT_EQ(os.line.size(), LINE_ROOM + 8);
    EXPECT_EQ(os.cursor, 0);
    EXPECT_EQ(os.last_address, 0u);
    EXPECT_EQ(os.format_flag, 0);
    EXPECT_EQ(os.record_sum, 0u);
    EXPECT_FALSE(os.write_failed);
    EXPECT_EQ(os.write_errno, 0);
    os.prepare(0);  // no lane width: sized as for one byte
    EXPECT_EQ(os.line.size(), LINE_ROOM + 2);
}

// Every writer, every lane width the configuration can give (and some it
// cannot): the line sized at open is never outgrown, so no writer ever
// writes past the room it was given.
TEST(WriterHelpers, NoWriterOutgrowsThePreparedLine) {
    const int widths[] = {1, 2, 3, 4, 8, 16, 50, 64, 100, 128, 256, 1024, 16384};
    for (int format = 0; format < FORMAT_COUNT; ++format) {
        for (int rom : widths) {
            for (int32_t olength : {1, 20, 1000}) {
                SCOPED_TRACE(testing::Message() << "format " << format << " rom " << rom
                                                << " olength " << olength);
                reset_writers();
                OutputStream os;
                os.stream = std::fopen("/dev/null", "w");
                ASSERT_NE(os.stream, nullptr);
                os.prepare(rom);
                const size_t size = os.line.size();
                WriterEnv env;
                env.format = format;
                env.rom_width = rom;
                env.olength = olength;
                env.output_address = 0xFFF0;
                HexWriter writer = hex_format(format).writer;
                std::vector<uint8_t> piece = counting(rom, 0x5A);
                writer(OP_BEGIN_FILE, os, nullptr, 0, env);
                writer(OP_NEW_ADDRESS, os, nullptr, 0, env);
                int pieces = rom >= 1024 ? 3 : 2 + 300 / rom;
                for (int p = 0; p < pieces; ++p) {
                    writer(OP_DATA, os, piece.data(), rom, env);
                    env.output_address += static_cast<uint32_t>(rom);
                    EXPECT_EQ(os.line.size(), size);
                }
                writer(OP_DATA, os, piece.data(), rom > 1 ? rom - 1 : 1, env);
                env.output_address = 0x7FFFFFFF;
                writer(OP_NEW_ADDRESS, os, nullptr, 0, env);
                writer(OP_NEW_ADDRESS, os, nullptr, 0, env);
                writer(OP_DATA, os, piece.data(), rom, env);
                if (os.pending()) writer(OP_END_RECORD, os, nullptr, 0, env);
                writer(OP_END_FILE, os, nullptr, 0, env);
                EXPECT_EQ(os.line.size(), size);
                EXPECT_FALSE(os.write_failed);
                std::fclose(os.stream);
            }
        }
    }
}

// A stream that was never prepared gets room as it is needed instead of
// being written past its end.
TEST(WriterHelpers, UnpreparedLineGrows) {
    OutputStream os;
    os.stream = std::tmpfile();
    ASSERT_NE(os.stream, nullptr);
    WriterEnv env;
    env.format = FMT_INTEL;
    const uint8_t bytes[] = {0x01, 0x02, 0x03};
    intel_writer(OP_DATA, os, bytes, 3, env);
    intel_writer(OP_END_RECORD, os, nullptr, 0, env);
    std::fflush(os.stream);
    std::rewind(os.stream);
    char text[64] = {};
    ASSERT_GT(std::fread(text, 1, sizeof text - 1, os.stream), 0u);
    // 03+00+00+00+01+02+03 = 9 -> 0x100 - 9 = F7.
    EXPECT_STREQ(text, ":03000000010203F7\n");
    std::fclose(os.stream);
}

TEST(WriterHelpers, FailedWritesKeepTheFirstError) {
    testsupport::TempDir dir;
    const std::string path = dir.file("readonly.hex");
    testsupport::write_text(path, "");
    OutputStream os;
    os.prepare(1);
    os.stream = std::fopen(path.c_str(), "r");  // writes to it fail
    ASSERT_NE(os.stream, nullptr);
    emit_text(os, "abc");
    EXPECT_TRUE(os.write_failed);
    EXPECT_EQ(os.write_errno, EBADF);
    std::fclose(os.stream);

    // A later failure of another kind does not replace the first errno, and
    // a later good write does not clear the failure.
    os.stream = nullptr;
    errno = 0;
    emit_format(os, "%d", 42);
    EXPECT_EQ(os.write_errno, EBADF);
    os.stream = std::tmpfile();
    ASSERT_NE(os.stream, nullptr);
    emit_text(os, "ok\n");
    EXPECT_TRUE(os.write_failed);
    std::fclose(os.stream);
}

TEST(WriterHelpers, MissingStreamIsAFailureNotACrash) {
    OutputStream os;
    os.prepare(1);
    WriterEnv env;
    const uint8_t byte = 0x42;
    tektronix_writer(OP_DATA, os, &byte, 1, env);
    tektronix_writer(OP_END_RECORD, os, nullptr, 0, env);
    EXPECT_TRUE(os.write_failed);
    EXPECT_EQ(os.write_errno, EBADF);
    EXPECT_EQ(os.cursor, 0);
}

using WriterOpsTest = WriterTest;

// Ending a record when none is pending, or data of no bytes, writes nothing.
TEST_F(WriterOpsTest, IdleOperationsWriteNothing) {
    const char* trailers[FORMAT_COUNT] = {
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
    for (int format = 0; format < FORMAT_COUNT; ++format) {
        if (trailers[format] == nullptr) continue;
        SCOPED_TRACE(format);
        SetUp();
        open(format);
        const uint8_t byte = 0;
        op(OP_END_RECORD);
        op(OP_DATA, &byte, 0);
        op(OP_DATA, nullptr, 1);
        op(OP_END_RECORD);
        op(OP_END_FILE);
        EXPECT_EQ(contents(), trailers[format]);
        close_file();
    }
}

// A pending record is not lost when the file is ended without a flush.
TEST_F(WriterOpsTest, EndOfFileEndsAPendingRecord) {
    open(FMT_INTEL);
    write(0x10, {0x5A});
    op(OP_END_FILE);
    // 01+00+10+00+5A = 0x6B -> 0x100 - 0x6B = 95.
    EXPECT_EQ(contents(), ":010010005A95\n:00000001FF\n");
}

}  // namespace
}  // namespace formats_test
