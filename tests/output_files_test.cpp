// Width splitting and output files: byte order, lane assignment, the writer
// protocol (new address, data per lane, end record, end file), -zero, -byte,
// opening and closing real files, and the internal errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "formats/format_table.h"
#include "image/output_files.h"
#include "image/placement.h"
#include "support/harness.h"
#include "support/recording_writer.h"

using namespace coffhex;

namespace {

using Call = testsupport::WriterCall;
std::vector<Call>& g_calls = testsupport::recorded_calls;
constexpr auto recorder = testsupport::recording_writer;

// A writer that really writes: "B" at the start, one "@addr:hex" line per
// data call, "E" at the end.
void text_writer(int op, OutputStream& os, const uint8_t* data, int count, const WriterEnv& env) {
    switch (op) {
    case OP_BEGIN_FILE: std::fputs("B\n", os.stream); break;
    case OP_DATA:
        std::fprintf(os.stream, "@%x:", env.output_address);
        for (int i = 0; i < count; ++i) std::fprintf(os.stream, "%02X", data[i]);
        std::fputs("\n", os.stream);
        break;
    case OP_END_FILE: std::fputs("E\n", os.stream); break;
    default: break;
    }
}

using testsupport::bytes;
using testsupport::unwrap;

class OutputFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_option_values();
        reset_coff_input();
        reset_sections();
        reset_placement();
        reset_output_files();
        reset_diagnostics();
        set_writer_override(recorder);
        g_calls.clear();
    }
    void TearDown() override {
        abandon_output_files();
        reset_placement();
        reset_output_files();
    }

    RomRange* make_range(uint32_t origin, uint32_t end, int32_t memwidth, int32_t romwidth) {
        auto range = std::make_unique<RomRange>();
        std::snprintf(range->name, sizeof range->name, "r%zu", ranges_.size());
        range->origin = origin;
        range->end = end;
        range->address = origin;
        range->memwidth = memwidth;
        range->romwidth = romwidth;
        range->file_count = lane_count(memwidth, romwidth);
        for (int i = 0; i < range->file_count; ++i)
            range->files.push_back(
                {dir_.file(std::string(range->name) + ".f" + std::to_string(i))});
        if (!ranges_.empty()) ranges_.back()->next = range.get();
        ranges_.push_back(std::move(range));
        set_current_range(ranges_.back().get());
        return ranges_.back().get();
    }

    // Orders and writes one buffer as placement does.
    static void put(std::vector<uint8_t> data) {
        apply_byte_order(data.data(), static_cast<uint32_t>(data.size()));
        write_range_data(data.data(), static_cast<uint32_t>(data.size()));
    }

    // Data bytes per output file, keyed by the file's list position (the
    // stream entry is looked up by the file name it was opened with).
    std::map<int, std::vector<uint8_t>> lanes_by_file(const RomRange& range) const {
        std::map<int, std::vector<uint8_t>> out;
        for (const Call& c : g_calls) {
            if (c.op != OP_DATA) continue;
            const std::string& name = output_stream(c.stream).name;
            for (size_t i = 0; i < range.files.size(); ++i)
                if (range.files[i].name == name)
                    out[static_cast<int>(i)].insert(out[static_cast<int>(i)].end(),
                                                    c.bytes.begin(), c.bytes.end());
        }
        return out;
    }
    static std::vector<const Call*> calls_with(int op) {
        std::vector<const Call*> out;
        for (const Call& c : g_calls)
            if (c.op == op) out.push_back(&c);
        return out;
    }

    testsupport::TempDir dir_;
    std::vector<std::unique_ptr<RomRange>> ranges_;
};

// ---------------------------------------------------------------------------
// Byte order and lanes

TEST_F(OutputFilesTest, LittleEndianLsPutsLeastSignificantByteInFileZero) {
    options().order = ORDER_LS;
    RomRange* range = make_range(0x0, 0xFF, 4, 1);
    // Little-endian words 0x44332211 and 0x88776655.
    put(bytes({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
    auto lanes = lanes_by_file(*range);
    EXPECT_EQ(lanes[0], bytes({0x11, 0x55}));
    EXPECT_EQ(lanes[1], bytes({0x22, 0x66}));
    EXPECT_EQ(lanes[2], bytes({0x33, 0x77}));
    EXPECT_EQ(lanes[3], bytes({0x44, 0x88}));
    // LS: the file at list position i uses stream entry i.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(output_stream(i).name, range->files[i].name);
    // All four files carry the same address for a word.
    auto data = calls_with(OP_DATA);
    ASSERT_EQ(data.size(), 8u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(data[i]->address, 0u);
    for (int i = 4; i < 8; ++i) EXPECT_EQ(data[i]->address, 4u);
}

TEST_F(OutputFilesTest, BigEndianMsGivesTheSameLanes) {
    coff_input().big_endian_data = true;
    options().order = ORDER_MS;
    RomRange* range = make_range(0x0, 0xFF, 4, 1);
    // The same words 0x44332211 and 0x88776655, big-endian.
    put(bytes({0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}));
    auto lanes = lanes_by_file(*range);
    EXPECT_EQ(lanes[0], bytes({0x11, 0x55}));
    EXPECT_EQ(lanes[1], bytes({0x22, 0x66}));
    EXPECT_EQ(lanes[2], bytes({0x33, 0x77}));
    EXPECT_EQ(lanes[3], bytes({0x44, 0x88}));
    // MS: the file at list position i uses stream entry 3 - i.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(output_stream(3 - i).name, range->files[i].name);
}

TEST_F(OutputFilesTest, DataWidth16InOne32BitLane) {
    // Little-endian 16-bit words A = 0xA1A0 (lower address) and B = 0xB1B0.
    const std::vector<uint8_t> words = bytes({0xA0, 0xA1, 0xB0, 0xB1});
    options().data_width = 2;

    // LS: the word at the lower address is the less significant half,
    // printed second.
    options().order = ORDER_LS;
    make_range(0x0, 0xFF, 4, 4);
    put(words);
    ASSERT_EQ(calls_with(OP_DATA).size(), 1u);
    EXPECT_EQ(calls_with(OP_DATA)[0]->bytes, bytes({0xB1, 0xB0, 0xA1, 0xA0}));

    // MS: printed first.
    g_calls.clear();
    options().order = ORDER_MS;
    put(words);
    EXPECT_EQ(calls_with(OP_DATA)[0]->bytes, bytes({0xA1, 0xA0, 0xB1, 0xB0}));

    // A big-endian input with LS holds the same words and gives the same lane.
    g_calls.clear();
    coff_input().big_endian_data = true;
    options().order = ORDER_LS;
    put(bytes({0xA1, 0xA0, 0xB1, 0xB0}));
    EXPECT_EQ(calls_with(OP_DATA)[0]->bytes, bytes({0xB1, 0xB0, 0xA1, 0xA0}));
}

TEST_F(OutputFilesTest, DataWidthOfCurrentEntryWins) {
    options().order = ORDER_MS;  // little-endian input: data words are reversed
    options().data_width = 1;
    SectionSpec entry;
    entry.datawidth = 4;
    set_current_entry(&entry);
    make_range(0x0, 0xFF, 4, 4);
    put(bytes({1, 2, 3, 4}));
    EXPECT_EQ(calls_with(OP_DATA)[0]->bytes, bytes({4, 3, 2, 1}));
}

TEST_F(OutputFilesTest, ByteOrderLeavesPartialGroupsAlone) {
    options().order = ORDER_LS;
    make_range(0x0, 0xFF, 4, 4);
    std::vector<uint8_t> buffer = bytes({1, 2, 3, 4, 5, 6});
    apply_byte_order(buffer.data(), 6);
    EXPECT_EQ(buffer, bytes({4, 3, 2, 1, 5, 6}));
}

TEST_F(OutputFilesTest, RomWiderThanMemory) {
    options().order = ORDER_LS;
    RomRange* range = make_range(0x10, 0xFF, 1, 2);
    put(bytes({0xB0, 0xB1, 0xB2, 0xB3, 0xB4}));
    // One file; each lane holds two memory bytes, the lower address first;
    // the last lane is what is left.
    ASSERT_EQ(g_calls.size(), 5u);
    EXPECT_EQ(g_calls[0].op, OP_BEGIN_FILE);
    EXPECT_EQ(g_calls[1].op, OP_NEW_ADDRESS);
    EXPECT_EQ(g_calls[1].address, 0x10u);
    EXPECT_EQ(g_calls[2].bytes, bytes({0xB0, 0xB1}));
    EXPECT_EQ(g_calls[2].address, 0x10u);
    EXPECT_EQ(g_calls[3].bytes, bytes({0xB2, 0xB3}));
    EXPECT_EQ(g_calls[3].address, 0x12u);
    EXPECT_EQ(g_calls[4].bytes, bytes({0xB4}));
    EXPECT_EQ(g_calls[4].address, 0x14u);
    EXPECT_EQ(range->address, 0x15u);
    EXPECT_EQ(range->last_written, 0x15u);
    EXPECT_EQ(range->output_address, 0x15u);
}

// ---------------------------------------------------------------------------
// Addresses: jumps, -zero, -byte

TEST_F(OutputFilesTest, GapStartsNewAddressInEveryFile) {
    options().order = ORDER_LS;
    RomRange* range = make_range(0x0, 0xFF, 4, 1);
    put(bytes({1, 2, 3, 4}));
    put(bytes({5, 6, 7, 8}));  // consecutive: no new address
    EXPECT_TRUE(calls_with(OP_NEW_ADDRESS).empty());

    range->address = 0x20;  // placement skipped a gap
    put(bytes({9, 10, 11, 12}));
    auto jumps = calls_with(OP_NEW_ADDRESS);
    ASSERT_EQ(jumps.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(jumps[k]->stream, k);
        EXPECT_EQ(jumps[k]->address, 0x20u);
    }
    // The jump comes before the word's data.
    EXPECT_EQ(g_calls.back().op, OP_DATA);
    EXPECT_EQ(g_calls.back().address, 0x20u);
}

TEST_F(OutputFilesTest, ZeroBasedImageStartsEveryRangeAtZero) {
    options().order = ORDER_LS;
    options().image = true;
    options().zero_based = true;
    RomRange* first = make_range(0x100, 0x107, 1, 1);
    RomRange* second = make_range(0x200, 0x203, 1, 1);
    set_current_range(first);
    finish_ranges();
    EXPECT_TRUE(calls_with(OP_NEW_ADDRESS).empty());
    auto data = calls_with(OP_DATA);
    ASSERT_EQ(data.size(), 12u);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(data[i]->address, i);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(data[8 + i]->address, i);
    EXPECT_EQ(second->address, 0x204u);
}

TEST_F(OutputFilesTest, ByteAddressingCountsRomBytesPerLane) {
    options().order = ORDER_LS;
    options().byte_addressing = true;
    RomRange* range = make_range(0x0, 0xFF, 4, 1);
    range->address = 0x10;  // memory word 4
    put(bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    auto jumps = calls_with(OP_NEW_ADDRESS);
    ASSERT_EQ(jumps.size(), 4u);
    EXPECT_EQ(jumps[0]->address, 4u);
    auto data = calls_with(OP_DATA);
    EXPECT_EQ(data[0]->address, 4u);
    EXPECT_EQ(data[4]->address, 5u);

    // Two 16-bit lanes: word 4 starts at ROM byte 8 of each, one lane
    // (2 bytes) per word.
    g_calls.clear();
    ranges_.clear();
    reset_output_files();
    set_writer_override(recorder);
    RomRange* wide = make_range(0x0, 0xFF, 4, 2);
    wide->address = 0x10;
    put(bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    data = calls_with(OP_DATA);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0]->address, 8u);
    EXPECT_EQ(data[2]->address, 10u);

    // ROM at least as wide as memory: addresses are unchanged.
    g_calls.clear();
    ranges_.clear();
    reset_output_files();
    set_writer_override(recorder);
    RomRange* narrow_mem = make_range(0x0, 0xFF, 1, 2);
    narrow_mem->address = 0x10;
    put(bytes({1, 2, 3, 4}));
    data = calls_with(OP_DATA);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0]->address, 0x10u);
    EXPECT_EQ(data[1]->address, 0x12u);
}

// ---------------------------------------------------------------------------
// Writer environment

TEST_F(OutputFilesTest, WriterSeesRangeAndEntrySettings) {
    options().format = FMT_GENERIC;
    options().olength = 7;
    coff_input().entry_address = 0x1234;
    SectionSpec entry;
    entry.name = ".text";
    entry.datawidth = 1;
    set_current_entry(&entry);
    static WriterEnv seen;
    set_writer_override([](int op, OutputStream&, const uint8_t*, int, const WriterEnv& env) {
        if (op == OP_DATA) seen = env;
    });
    make_range(0x40, 0xFF, 2, 2);
    put(bytes({1, 2}));
    EXPECT_EQ(seen.output_address, 0x40u);
    EXPECT_EQ(seen.rom_width, 2);
    EXPECT_EQ(seen.format, FMT_GENERIC);
    EXPECT_EQ(seen.olength, 7);
    EXPECT_EQ(seen.entry_address, 0x1234u);
    EXPECT_EQ(seen.section, &entry);
    EXPECT_STREQ(seen.section_name, ".text");
}

// ---------------------------------------------------------------------------
// Opening, flushing and closing files

TEST_F(OutputFilesTest, FilesAreOpenedInListOrderAndClosedWithTrailers) {
    options().order = ORDER_MS;
    set_writer_override(text_writer);
    RomRange* range = make_range(0x0, 0xFF, 2, 1);
    put(bytes({0xAA, 0xBB}));
    EXPECT_TRUE(range->open);
    close_range_files();
    put_output_files_in_place();
    EXPECT_FALSE(range->open);
    for (int k = 0; k < MAX_OUTPUT_FILES; ++k) EXPECT_EQ(output_stream(k).stream, nullptr);
    // MS order with 8-bit data words: the byte at the lower address (AA) is
    // the more significant half of the memory word, which file 1 holds;
    // file 0 is stream entry 1.
    EXPECT_EQ(output_stream(1).name, range->files[0].name);
    EXPECT_EQ(testsupport::read_text(range->files[0].name), "B\n@0:BB\nE\n");
    EXPECT_EQ(testsupport::read_text(range->files[1].name), "B\n@0:AA\nE\n");
}

TEST_F(OutputFilesTest, FlushEndsOnlyPendingRecords) {
    options().order = ORDER_LS;
    make_range(0x0, 0xFF, 4, 1);
    flush_range_files();  // files not open yet: nothing
    EXPECT_TRUE(g_calls.empty());
    put(bytes({1, 2, 3, 4}));
    output_stream(2).cursor = 0;  // entry 2 has no record pending
    g_calls.clear();
    flush_range_files();
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].stream, 0);
    EXPECT_EQ(g_calls[1].stream, 1);
    EXPECT_EQ(g_calls[2].stream, 3);
    for (const Call& c : g_calls) EXPECT_EQ(c.op, OP_END_RECORD);

    g_calls.clear();
    close_range_files();  // nothing pending any more: only the trailers
    ASSERT_EQ(g_calls.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(g_calls[k].op, OP_END_FILE);
        EXPECT_EQ(g_calls[k].stream, k);
    }
}

TEST_F(OutputFilesTest, MissingDirectoryIsFatal) {
    RomRange* range = make_range(0x0, 0xFF, 1, 1);
    const std::string name = dir_.file("missing/out.x0");
    range->files[0].name = name;
    testing::internal::CaptureStderr();
    EXPECT_THROW(put(bytes({1})), RunAbort);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> FATAL ERROR: cannot open output file '" + name +
                  "': No such file or directory (aborting)\n");
    EXPECT_TRUE(calls_with(OP_DATA).empty());
}

TEST_F(OutputFilesTest, AbandonClosesWithoutTrailersAndRemovesTheFiles) {
    set_writer_override(text_writer);
    RomRange* range = make_range(0x0, 0xFF, 2, 1);
    put(bytes({1, 2}));
    abandon_output_files();
    for (int k = 0; k < MAX_OUTPUT_FILES; ++k) EXPECT_EQ(output_stream(k).stream, nullptr);
    // The half-written files were under temporary names and are gone.
    EXPECT_FALSE(testsupport::file_exists(range->files[0].name));
    EXPECT_EQ(testsupport::list_files(dir_.path()), std::vector<std::string>{});
}

TEST_F(OutputFilesTest, FailedWriteIsReportedOnClose) {
    RomRange* range = make_range(0x0, 0xFF, 1, 1);
    range->files[0].name = "/dev/full";
    set_writer_override(text_writer);
    put(bytes({1}));
    testing::internal::CaptureStderr();
    close_range_files();
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">>   ERROR: cannot write output file '/dev/full': No space left on device\n");
    EXPECT_EQ(worst_severity(), ERROR);
    EXPECT_EQ(output_stream(0).stream, nullptr);
}

TEST_F(OutputFilesTest, WithoutAWriterNothingIsWrittenButAddressesMove) {
    set_writer_override(nullptr);
    options().format = FMT_TEKTRONIX;
    RomRange* range = make_range(0x0, 0xFF, 4, 1);
    put(bytes({1, 2, 3, 4}));
    EXPECT_EQ(range->address, 4u);
    EXPECT_EQ(range->output_address, 4u);
    close_range_files();
    put_output_files_in_place();
    // A format whose writer is not there yet leaves its files empty.
    const bool has_writer = hex_format(FMT_TEKTRONIX).writer != nullptr;
    EXPECT_EQ(testsupport::read_text(range->files[0].name).empty(), !has_writer);
}

// ---------------------------------------------------------------------------
// Internal errors and refused configurations

TEST_F(OutputFilesTest, PartialMemoryWordIsInternalErrorBeforeAnyOutput) {
    make_range(0x0, 0xFF, 4, 1);
    const std::vector<uint8_t> data = bytes({1, 2, 3, 4, 5, 6});
    testing::internal::CaptureStderr();
    EXPECT_THROW(write_range_data(data.data(), 6), RunAbort);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ">> INTERNAL ERROR: nbytes not a multiple of mem width/rom width\n");
    EXPECT_TRUE(g_calls.empty());  // no file opened, no byte written
}

TEST_F(OutputFilesTest, MisalignedRomLaneIsRawInternalError) {
    // A 3-byte ROM lane over 2-byte memory words cannot hold whole words.
    make_range(0x0, 0xFF, 2, 3);
    const std::vector<uint8_t> data = bytes({1, 2, 3, 4});
    testing::internal::CaptureStderr();
    try {
        write_range_data(data.data(), 4);
        ADD_FAILURE() << "no abort";
    } catch (const RunAbort& abort) {
        EXPECT_EQ(abort.status, 1);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "INTERNAL ERROR: misaligned internal data write (ABORT)\n");
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(OutputFilesTest, MoreThanEightLanesIsRefused) {
    make_range(0x0, 0xFF, 16, 1);
    const std::vector<uint8_t> data(16, 0);
    testing::internal::CaptureStderr();
    EXPECT_THROW(write_range_data(data.data(), 16), RunAbort);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> FATAL ERROR: memory range r0 needs 16 output files (at most 8 are "
              "supported) (aborting)\n");
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(OutputFilesTest, LaneCount) {
    EXPECT_EQ(lane_count(4, 1), 4);
    EXPECT_EQ(lane_count(4, 2), 2);
    EXPECT_EQ(lane_count(4, 4), 1);
    EXPECT_EQ(lane_count(1, 2), 1);
    EXPECT_EQ(lane_count(8, 1), 8);
}

}  // namespace
