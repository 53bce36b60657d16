// The bulk data path of the writers against the piece-by-piece protocol:
// for every format, the same data handed over as whole lane runs and as
// one operation 3 per piece must give the same file, byte for byte, and
// the same diagnostics. Runs of random length put record ends anywhere,
// start addresses put 64 KB, 16 MB and 4 GB crossings inside the runs, and
// address jumps and record flushes come between runs as the width splitter
// sends them. The splitter itself is compared the same way: its bulk path
// against a replacement writer that forces the per-piece path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "formats/format_table.h"
#include "formats/writer.h"
#include "image/output_files.h"
#include "image/placement.h"
#include "support/harness.h"

using namespace coffhex;

namespace {

std::vector<uint8_t> random_bytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

std::string file_text(FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, n);
    return text;
}

// Empty when the two texts are equal; otherwise the first line where they
// differ, both ways (whole files would flood the failure message).
std::string first_difference(const std::string& got, const std::string& want) {
    if (got == want) return "";
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    const size_t start = want.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t from = start == std::string::npos || at == 0 ? 0 : start + 1;
    size_t line = 1;
    for (size_t i = 0; i < from; ++i) line += want[i] == '\n';
    auto line_at = [from](const std::string& text) {
        const size_t end = text.find('\n', from);
        return from >= text.size() ? std::string("<end>")
                                   : text.substr(from, end == std::string::npos ? end : end - from);
    };
    return "line " + std::to_string(line) + ": got \"" + line_at(got) + "\", want \"" +
           line_at(want) + "\"";
}

// One step of what the splitter sends a stream: a run of data pieces, an
// address jump, or the flush of a pending record.
struct Step {
    enum Kind { DATA, JUMP, FLUSH } kind;
    size_t pieces = 0;     // DATA
    uint32_t address = 0;  // JUMP
};

// A lane layout: piece width, distance between pieces, address step.
struct Layout {
    int piece;
    size_t stride;
    uint32_t step;
};

// Random steps from `start` on: runs of 1 to 150 pieces (some long ones),
// now and then a flush or a jump (often to just below a 64 KB, 16 MB or
// 4 GB boundary).
std::vector<Step> make_script(uint32_t seed, size_t total_pieces) {
    std::mt19937 random(seed);
    std::vector<Step> steps;
    size_t placed = 0;
    while (placed < total_pieces) {
        const int dice = static_cast<int>(random() % 20);
        if (dice == 0) {
            steps.push_back({Step::FLUSH});
        } else if (dice == 1) {
            static const uint32_t near[] = {0x0000FFF0u, 0x0001FFE7u, 0x00FFFFE1u,
                                            0xFFFFFFC3u, 0x00012340u, 0x00000100u};
            uint32_t to = near[random() % 6] + static_cast<uint32_t>(random() % 7);
            steps.push_back({Step::JUMP, 0, to});
        } else {
            size_t n = dice == 2 ? 600 + random() % 900 : 1 + random() % 150;
            if (n > total_pieces - placed) n = total_pieces - placed;
            steps.push_back({Step::DATA, n});
            placed += n;
        }
    }
    return steps;
}

// Plays a script on a fresh stream of `format`, data from `start`, either
// piece by piece or in bulk, and returns the file and the diagnostics.
struct Played {
    std::string file;
    std::string messages;
    bool failed = false;
};

const int SECTION_TAG = 0;  // the S1/S2 warning is given once per section entry

Played play(int format, const Layout& layout, uint32_t start, const std::vector<Step>& script,
            const std::vector<uint8_t>& data, bool bulk) {
    reset_writers();
    reset_diagnostics();
    OutputStream os;
    os.stream = std::tmpfile();
    EXPECT_NE(os.stream, nullptr);
    os.prepare(layout.piece);
    const size_t line_size = os.line.size();
    WriterEnv env;
    env.format = format;
    env.rom_width = layout.piece;
    env.section = &SECTION_TAG;
    env.section_name = "s";
    const HexFormat& row = hex_format(format);

    testing::internal::CaptureStderr();
    row.writer(OP_BEGIN_FILE, os, nullptr, 0, env);
    uint32_t address = start;
    env.output_address = address;
    row.writer(OP_NEW_ADDRESS, os, nullptr, 0, env);
    const uint8_t* next = data.data();
    for (const Step& step : script) {
        switch (step.kind) {
        case Step::FLUSH:
            if (os.pending()) row.writer(OP_END_RECORD, os, nullptr, 0, env);
            break;
        case Step::JUMP:
            address = step.address;
            env.output_address = address;
            row.writer(OP_NEW_ADDRESS, os, nullptr, 0, env);
            break;
        case Step::DATA:
            env.output_address = address;
            if (bulk) {
                row.bulk(os, LaneRun{next, step.pieces, layout.piece, layout.stride, layout.step},
                         env);
            } else {
                for (size_t i = 0; i < step.pieces; ++i) {
                    env.output_address = address + static_cast<uint32_t>(i * layout.step);
                    row.writer(OP_DATA, os, next + i * layout.stride, layout.piece, env);
                }
            }
            next += step.pieces * layout.stride;
            address += static_cast<uint32_t>(step.pieces * layout.step);
            break;
        }
    }
    env.output_address = address;
    if (os.pending()) row.writer(OP_END_RECORD, os, nullptr, 0, env);
    row.writer(OP_END_FILE, os, nullptr, 0, env);
    Played played;
    played.messages = testing::internal::GetCapturedStderr();
    played.file = file_text(os.stream);
    played.failed = os.write_failed;
    std::fclose(os.stream);
    // The bulk path stays inside the line the stream was prepared with.
    EXPECT_EQ(os.line.size(), line_size);
    return played;
}

class BulkMatchesPieces : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        reset_writers();
        reset_diagnostics();
        reset_option_values();
    }
};

TEST_P(BulkMatchesPieces, RandomRunsEveryLayoutAndBoundary) {
    const int format = GetParam();
    const Layout layouts[] = {
        {1, 1, 1},     {2, 2, 2},     {3, 3, 3},    {4, 4, 4},      {8, 8, 8},
        {16, 16, 16},  {32, 32, 32},  {33, 33, 33}, {64, 64, 64},   {100, 100, 100},
        {200, 200, 200}, {1, 4, 4},   {2, 4, 4},    {1, 2, 2},      {1, 8, 8},
        {4, 8, 8},     {1, 4, 1},     {2, 8, 2},    {8, 16, 16},    {3, 6, 6},
    };
    const uint32_t starts[] = {0x0, 0x12340, 0xFFE1, 0x1FFF0, 0xFFFFE3, 0xFFFFFFC0u, 0x7FFFFFF1};
    uint32_t seed = 1000u * static_cast<uint32_t>(format);
    for (const Layout& layout : layouts) {
        for (uint32_t start : starts) {
            ++seed;
            SCOPED_TRACE(testing::Message() << "format " << format << " piece " << layout.piece
                                            << " stride " << layout.stride << " step "
                                            << layout.step << " start 0x" << std::hex << start);
            const size_t pieces = layout.piece >= 64 ? 300 : 3000;
            const std::vector<Step> script = make_script(seed, pieces);
            const std::vector<uint8_t> data =
                random_bytes(pieces * layout.stride + static_cast<size_t>(layout.piece), seed);
            const Played by_piece = play(format, layout, start, script, data, false);
            const Played in_bulk = play(format, layout, start, script, data, true);
            ASSERT_FALSE(by_piece.file.empty());
            ASSERT_EQ(first_difference(in_bulk.file, by_piece.file), "");
            ASSERT_EQ(in_bulk.messages, by_piece.messages);
            ASSERT_EQ(in_bulk.failed, by_piece.failed);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, BulkMatchesPieces, ::testing::Range(0, FORMAT_COUNT),
                         [](const testing::TestParamInfo<int>& info) {
                             std::string name = hex_format(info.param).name;
                             for (char& c : name)
                                 if (c == ' ' || c == '-') c = '_';
                             return name;
                         });

// ---------------------------------------------------------------------------
// Whole records from the bulk path, checked against records worked out by
// hand.

class BulkRecords : public ::testing::Test {
protected:
    void SetUp() override {
        reset_writers();
        reset_diagnostics();
        reset_option_values();
    }

    // One bulk call of `bytes` in pieces of one byte from `address`, then
    // the end of the file.
    std::string bulk_file(int format, uint32_t address, const std::vector<uint8_t>& bytes) {
        OutputStream os;
        os.stream = std::tmpfile();
        EXPECT_NE(os.stream, nullptr);
        os.prepare(1);
        WriterEnv env;
        env.format = format;
        const HexFormat& row = hex_format(format);
        row.writer(OP_BEGIN_FILE, os, nullptr, 0, env);
        env.output_address = address;
        row.writer(OP_NEW_ADDRESS, os, nullptr, 0, env);
        row.bulk(os, LaneRun{bytes.data(), bytes.size(), 1, 1, 1}, env);
        if (os.pending()) row.writer(OP_END_RECORD, os, nullptr, 0, env);
        row.writer(OP_END_FILE, os, nullptr, 0, env);
        std::string text = file_text(os.stream);
        std::fclose(os.stream);
        return text;
    }

    static std::vector<uint8_t> counting(int count) {
        std::vector<uint8_t> bytes(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        return bytes;
    }
    static std::string hex_of(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
        std::string text;
        char pair[3];
        for (size_t i = from; i < from + count; ++i) {
            std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
            text += pair;
        }
        return text;
    }
};

TEST_F(BulkRecords, IntelFullRecordsAndTheTail) {
    const std::vector<uint8_t> bytes = counting(40);
    // First record: 0x20 bytes 00..1F at 0000. Sum 0x20 + 0x1F0 (0 + 1 +
    // ... + 31 = 496) = 0x210 -> low byte 10 -> checksum 0x100 - 0x10 = F0.
    // Tail: 8 bytes 20..27 at 0020. Sum 0x08 + 0x20 + (32 + ... + 39 = 284 =
    // 0x11C) = 0x144 -> 44 -> BC.
    EXPECT_EQ(bulk_file(FMT_INTEL, 0, bytes),
              ":20000000" + hex_of(bytes, 0, 32) + "F0\n" + ":08002000" + hex_of(bytes, 32, 8) +
                  "BC\n:00000001FF\n");
}

TEST_F(BulkRecords, IntelCrossesA64KBoundaryWithAnAddressRecord) {
    const std::vector<uint8_t> zeros(48, 0);
    // 16 bytes up to 0xFFFF: 10 + FF + F0 = 0x1FF -> FF -> checksum 01.
    // Then the extended address record of segment 1 and 32 bytes at 0000:
    // 0x20 -> E0.
    EXPECT_EQ(bulk_file(FMT_INTEL, 0xFFF0, zeros),
              ":10FFF000" + std::string(32, '0') + "01\n:020000040001F9\n:20000000" +
                  std::string(64, '0') + "E0\n:00000001FF\n");
}

TEST_F(BulkRecords, MotorolaS3TakesTwentyNineBytes) {
    const std::vector<uint8_t> bytes = counting(29);
    // Count 4 address + 29 data + 1 checksum = 0x22. Sum 0x22 + 0x10 (the
    // address byte of 0x1000) + (0 + ... + 28 = 406 = 0x196) = 0x1C8 ->
    // C8, one's complement 37.
    EXPECT_EQ(bulk_file(FMT_MOTOROLA_S3, 0x1000, bytes),
              "S00600004844521B\nS32200001000" + hex_of(bytes, 0, 29) +
                  "37\nS70500000000FA\n");
}

TEST_F(BulkRecords, TektronixChecksumCountsDigitValues) {
    const std::vector<uint8_t> bytes = counting(32);
    // Length 14 + 64 = 78 = 4E. Digit sum: type 6, the address-digit count
    // 8, the address 00000000 (0), the length 4 + 14 = 18, the data: high
    // digits 1 for 0x10..0x1F (16), low digits 0..15 twice (240) -> 288 =
    // 0x120 -> checksum 20.
    // The termination record with entry point 0: %0E81E800000000.
    EXPECT_EQ(bulk_file(FMT_TEKTRONIX, 0, bytes),
              "%4E6208" + std::string(8, '0') + hex_of(bytes, 0, 32) + "\n%0E81E800000000\n");
}

TEST_F(BulkRecords, BinaryWritesTheBytesThemselves) {
    const std::vector<uint8_t> bytes = random_bytes(5000, 7);
    EXPECT_EQ(bulk_file(FMT_BINARY, 0x100, bytes),
              std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// A run of no pieces, or without data, writes nothing, as operation 3
// with no bytes does.
TEST_F(BulkRecords, EmptyRunsWriteNothing) {
    for (int format = 0; format < FORMAT_COUNT; ++format) {
        SCOPED_TRACE(format);
        reset_writers();
        OutputStream os;
        os.stream = std::tmpfile();
        ASSERT_NE(os.stream, nullptr);
        os.prepare(1);
        WriterEnv env;
        env.format = format;
        const uint8_t byte = 0x5A;
        hex_format(format).bulk(os, LaneRun{&byte, 0, 1, 1, 1}, env);
        hex_format(format).bulk(os, LaneRun{nullptr, 4, 1, 1, 1}, env);
        EXPECT_FALSE(os.pending());
        EXPECT_EQ(file_text(os.stream), "");
        std::fclose(os.stream);
    }
}

// ---------------------------------------------------------------------------
// The width splitter: bulk calls per lane against one writer call per
// piece (a replacement writer, the format's own, turns the bulk path off).

class SplitterBulk : public ::testing::Test {
protected:
    void SetUp() override {
        reset_option_values();
        reset_coff_input();
        reset_sections();
        reset_placement();
        reset_output_files();
        reset_diagnostics();
        reset_writers();
    }
    void TearDown() override {
        abandon_output_files();
        reset_placement();
        reset_output_files();
    }

    // Writes the same buffers through one range and returns its files.
    std::vector<std::string> convert(int format, int32_t memwidth, int32_t romwidth, bool bulk,
                                     const std::string& tag) {
        reset_output_files();
        reset_writers();
        reset_diagnostics();
        options().format = format;
        set_writer_override(bulk ? nullptr : hex_format(format).writer);
        RomRange range;
        std::snprintf(range.name, sizeof range.name, "r");
        range.origin = 0;
        range.end = 0xFFFFFFFFu;
        range.memwidth = memwidth;
        range.romwidth = romwidth;
        range.file_count = lane_count(memwidth, romwidth);
        for (int i = 0; i < range.file_count; ++i)
            range.files.push_back({dir_.file(tag + ".f" + std::to_string(i))});
        set_current_range(&range);

        // Three writes: two back to back that cross 0x10000, one after a
        // gap; each a whole number of memory words and, where the lane is
        // wider than the memory word, one ending in a short lane.
        const uint32_t word = static_cast<uint32_t>(memwidth);
        const uint32_t lane = static_cast<uint32_t>(std::max(memwidth, romwidth));
        const struct {
            uint32_t address;
            uint32_t length;
        } writes[] = {
            {0xFF00, 64 * lane},
            {0xFF00 + 64 * lane, 300 * lane + (lane > word ? word : 0)},
            {0x20000 + 3 * lane, 777 * word},
        };
        uint32_t seed = 11;
        for (const auto& w : writes) {
            std::vector<uint8_t> data = random_bytes(w.length, ++seed);
            range.address = w.address;
            apply_byte_order(data.data(), w.length);
            write_range_data(data.data(), w.length);
        }
        close_range_files();
        put_output_files_in_place();
        set_current_range(nullptr);
        std::vector<std::string> files;
        for (const OutputFile& f : range.files) files.push_back(testsupport::read_text(f.name));
        return files;
    }

    testsupport::TempDir dir_;
};

TEST_F(SplitterBulk, EveryFormatAndWidthGivesTheSameFiles) {
    const struct {
        int32_t memwidth, romwidth;
    } widths[] = {{1, 1}, {4, 1}, {4, 2}, {2, 1}, {8, 1}, {8, 4}, {4, 4},
                  {1, 2}, {2, 8}, {1, 16}, {4, 16}};
    int run = 0;
    for (int format = 0; format < FORMAT_COUNT; ++format) {
        for (const auto& w : widths) {
            for (bool byte_addressing : {false, true}) {
                SCOPED_TRACE(testing::Message() << "format " << format << " memwidth "
                                                << w.memwidth << " romwidth " << w.romwidth
                                                << " -byte " << byte_addressing);
                options().byte_addressing = byte_addressing;
                testing::internal::CaptureStderr();
                const std::vector<std::string> by_piece =
                    convert(format, w.memwidth, w.romwidth, false, "p" + std::to_string(run));
                const std::string piece_messages = testing::internal::GetCapturedStderr();
                options().byte_addressing = byte_addressing;
                testing::internal::CaptureStderr();
                const std::vector<std::string> in_bulk =
                    convert(format, w.memwidth, w.romwidth, true, "b" + std::to_string(run));
                const std::string bulk_messages = testing::internal::GetCapturedStderr();
                ++run;
                ASSERT_EQ(in_bulk.size(), by_piece.size());
                for (size_t i = 0; i < in_bulk.size(); ++i) {
                    ASSERT_FALSE(by_piece[i].empty()) << "file " << i;
                    ASSERT_EQ(first_difference(in_bulk[i], by_piece[i]), "") << "file " << i;
                }
                ASSERT_EQ(bulk_messages, piece_messages);
            }
        }
    }
}

}  // namespace
