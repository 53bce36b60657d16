// Placement of section data into memory ranges: fill, padding, gaps,
// unplaced and overlapping data, moving from range to range, and the data
// sink's per-section steps. The format writer is replaced by a recorder that
// logs every protocol call with its stream entry, bytes and output address.
#include <gtest/gtest.h>

#include "boot/boot.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"
#include "image/output_files.h"
#include "image/placement.h"
#include "support/harness.h"
#include "support/recording_writer.h"

using namespace coffhex;

namespace {

using Call = testsupport::WriterCall;
std::vector<Call>& g_calls = testsupport::recorded_calls;
constexpr auto recorder = testsupport::recording_writer;

using testsupport::bytes;
using testsupport::unwrap;

// Section data with room for pad bytes behind it; byte i is first + i.
std::vector<uint8_t> data_run(uint32_t length, int first) {
    std::vector<uint8_t> out(length + 16, 0xEE);
    for (uint32_t i = 0; i < length; ++i) out[i] = static_cast<uint8_t>(first + i);
    return out;
}

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_option_values();
        reset_coff_input();
        reset_sections();
        reset_placement();
        reset_output_files();
        reset_diagnostics();
        set_coff_file_name("app.out");
        set_writer_override(recorder);
        g_calls.clear();
        options().order = ORDER_LS;
    }
    void TearDown() override {
        abandon_output_files();
        reset_placement();
        reset_output_files();
    }

    RomRange* add_range(uint32_t origin, uint32_t end, int32_t page = 0, int32_t memwidth = 1,
                        int32_t romwidth = 1, uint32_t fill = 0) {
        auto range = std::make_unique<RomRange>();
        std::snprintf(range->name, sizeof range->name, "r%zu", ranges_.size());
        range->origin = origin;
        range->end = end;
        range->address = origin;
        range->length = end - origin + 1;
        range->page = page;
        range->memwidth = memwidth;
        range->romwidth = romwidth;
        range->fill = fill;
        range->file_count = lane_count(memwidth, romwidth);
        for (int i = 0; i < range->file_count; ++i)
            range->files.push_back(
                {dir_.file(std::string(range->name) + "_f" + std::to_string(i))});
        if (!ranges_.empty()) ranges_.back()->next = range.get();
        ranges_.push_back(std::move(range));
        if (ranges_.size() == 1) set_current_range(ranges_.front().get());
        return ranges_.back().get();
    }

    // An entry linked to a new input section of `size` bytes at `vaddr`.
    SectionSpec* add_entry(const char* name, uint32_t address, uint32_t size, int32_t page = 0,
                           uint32_t vaddr = 0xFFFFFFFFu) {
        SectionEntry section;
        std::snprintf(section.name, sizeof section.name, "%s", name);
        section.vaddr = vaddr == 0xFFFFFFFFu ? address : vaddr;
        section.paddr = address;
        section.size = size;
        section.data_pos = 0x100;
        section.page = static_cast<uint16_t>(page);
        coff_input().sections.push_back(section);
        auto entry = std::make_unique<SectionSpec>();
        entry->name = name;
        entry->section = static_cast<int>(coff_input().sections.size() - 1);
        entry->address = address;
        entry->start_address = address;
        entry->page = page;
        entry->datawidth = 1;
        if (!entries_.empty()) entries_.back()->next = entry.get();
        entries_.push_back(std::move(entry));
        set_selection_override(entries_.front().get());
        return entries_.back().get();
    }

    // Places the whole section of `entry` as one chunk of data first, first+1...
    uint32_t place(SectionSpec* entry, uint32_t length, int first) {
        set_current_entry(entry);
        std::vector<uint8_t> buffer = data_run(length, first);
        return place_data(buffer.data(), length, entry->address);
    }

    // Data calls of one stream entry as (address, bytes).
    static std::vector<std::pair<uint32_t, std::vector<uint8_t>>> data_of(int stream) {
        std::vector<std::pair<uint32_t, std::vector<uint8_t>>> out;
        for (const Call& c : g_calls)
            if (c.op == OP_DATA && c.stream == stream) out.emplace_back(c.address, c.bytes);
        return out;
    }
    static std::vector<int> ops() {
        std::vector<int> out;
        for (const Call& c : g_calls) out.push_back(c.op);
        return out;
    }
    static int count_op(int op) {
        int n = 0;
        for (const Call& c : g_calls) n += c.op == op;
        return n;
    }

    testsupport::TempDir dir_;
    std::vector<std::unique_ptr<RomRange>> ranges_;
    std::vector<std::unique_ptr<SectionSpec>> entries_;
};

// ---------------------------------------------------------------------------
// Image mode and fill

TEST_F(PlacementTest, ImageModeFillsBeforeAndAfterSection) {
    options().image = true;
    // Fill 0xAABBCCDD in a little-endian input: pattern DD CC BB AA; with a
    // one-byte memory word the pattern offset cycles 0,1,2,3 from each gap's
    // start.
    add_range(0x0, 0xFF, 0, 1, 1, 0xAABBCCDDu);
    SectionSpec* s = add_entry("sect", 0x10, 16);
    EXPECT_EQ(place(s, 16, 0x40), 16u);
    finish_ranges();

    auto data = data_of(0);
    ASSERT_EQ(data.size(), 256u);
    const uint8_t fill[4] = {0xDD, 0xCC, 0xBB, 0xAA};
    for (uint32_t a = 0; a < 256; ++a) {
        SCOPED_TRACE(a);
        EXPECT_EQ(data[a].first, a);
        ASSERT_EQ(data[a].second.size(), 1u);
        if (a < 0x10)
            EXPECT_EQ(data[a].second[0], fill[a % 4]);
        else if (a < 0x20)
            EXPECT_EQ(data[a].second[0], 0x40 + (a - 0x10));
        else
            EXPECT_EQ(data[a].second[0], fill[(a - 0x20) % 4]);
    }
    // Written from address 0 without a jump: no new-address call at all.
    EXPECT_EQ(count_op(OP_NEW_ADDRESS), 0);
    EXPECT_EQ(count_op(OP_BEGIN_FILE), 1);
    EXPECT_EQ(count_op(OP_END_FILE), 1);
    EXPECT_EQ(current_range(), nullptr);
    EXPECT_EQ(s->range, ranges_[0].get());
    EXPECT_EQ(s->start_address, 0x10u);
    EXPECT_EQ(s->last_address, 0x1Fu);
}

TEST_F(PlacementTest, NonImageModeWritesOnlyTheSection) {
    add_range(0x0, 0xFF, 0, 1, 1, 0xAABBCCDDu);
    SectionSpec* s = add_entry("sect", 0x10, 16);
    place(s, 16, 0x40);
    finish_ranges();

    ASSERT_EQ(g_calls.size(), 1u + 1u + 16u + 1u + 1u);
    EXPECT_EQ(g_calls[0].op, OP_BEGIN_FILE);
    EXPECT_EQ(g_calls[1].op, OP_NEW_ADDRESS);
    EXPECT_EQ(g_calls[1].address, 0x10u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(g_calls[2 + i].op, OP_DATA);
        EXPECT_EQ(g_calls[2 + i].address, 0x10u + i);
        EXPECT_EQ(g_calls[2 + i].bytes, bytes({0x40 + i}));
    }
    EXPECT_EQ(g_calls[18].op, OP_END_RECORD);  // the pending record is flushed on close
    EXPECT_EQ(g_calls[19].op, OP_END_FILE);
    EXPECT_EQ(current_range(), nullptr);
}

TEST_F(PlacementTest, NonImageRangeWithoutDataGetsNoFiles) {
    add_range(0x0, 0xFF);
    add_range(0x100, 0x1FF);
    finish_ranges();
    EXPECT_TRUE(g_calls.empty());
    EXPECT_FALSE(testsupport::file_exists(ranges_[0]->files[0].name));
    EXPECT_EQ(current_range(), nullptr);
}

TEST_F(PlacementTest, ImageModeEmptySecondRangeIsAllFill) {
    options().image = true;
    add_range(0x0, 0xF, 0, 4, 1, 0);
    add_range(0x10, 0x1F, 0, 4, 1, 0x44332211u);
    SectionSpec* s = add_entry("sect", 0x0, 16);
    place(s, 16, 0);
    finish_ranges();

    // The second range: open, four words of fill in four lanes, close.
    // Lane k of a little-endian fill word 0x44332211 holds byte k: 11 22 33 44.
    size_t first_of_second = 0;
    int begins = 0;
    for (size_t i = 0; i < g_calls.size(); ++i)
        if (g_calls[i].op == OP_BEGIN_FILE && ++begins == 5) first_of_second = i;
    ASSERT_EQ(begins, 8);
    std::vector<Call> second(g_calls.begin() + static_cast<long>(first_of_second), g_calls.end());
    int data = 0;
    for (const Call& c : second) {
        if (c.op != OP_DATA) continue;
        ++data;
        EXPECT_EQ(c.bytes, bytes({0x11 * (c.stream + 1)})) << "stream " << c.stream;
        EXPECT_GE(c.address, 0x10u);
        EXPECT_LE(c.address, 0x1Cu);
    }
    EXPECT_EQ(data, 16);
    EXPECT_EQ(g_calls.back().op, OP_END_FILE);
}

TEST_F(PlacementTest, FillPatternFollowsMemoryWidthOffsets) {
    options().image = true;
    // Two-byte words take the pattern at offsets 0, 2, 0, 2...: the fill
    // 0x11223344 of a big-endian input is the byte stream 11 22 33 44 ...;
    // MS order leaves it unchanged, so the lane of each word is 1122, 3344.
    coff_input().big_endian_data = true;
    options().order = ORDER_MS;
    add_range(0x0, 0x7, 0, 2, 2, 0x11223344u);
    finish_ranges();
    auto data = data_of(0);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0].second, bytes({0x11, 0x22}));
    EXPECT_EQ(data[1].second, bytes({0x33, 0x44}));
    EXPECT_EQ(data[2].second, bytes({0x11, 0x22}));
    EXPECT_EQ(data[3].second, bytes({0x33, 0x44}));
    EXPECT_EQ(data[3].first, 6u);
}

TEST_F(PlacementTest, FillWithThreeByteWordsWrapsThePattern) {
    options().image = true;
    // Offsets 0, 3, 0, 3...: the word at offset 3 takes pattern bytes 3, 0, 1.
    add_range(0x0, 0x8, 0, 3, 3, 0x44332211u);
    finish_ranges();
    auto data = data_of(0);
    ASSERT_EQ(data.size(), 3u);
    // Pattern (little-endian) 11 22 33 44 then three-byte groups reversed by
    // the byte order step: 33 22 11 | 44 (partial group left alone).
    EXPECT_EQ(data[0].second, bytes({0x33, 0x22, 0x11}));
    EXPECT_EQ(data[1].second, bytes({0x44, 0x33, 0x22}));
    EXPECT_EQ(data[2].second, bytes({0x33, 0x22, 0x11}));
}

TEST_F(PlacementTest, FillAtTopOfAddressSpaceStops) {
    options().image = true;
    // 0x100 addresses in three-byte words: the 86th word runs past the top
    // of the address space; the fill stops there instead of starting over
    // at address 2.
    add_range(0xFFFFFF00u, 0xFFFFFFFFu, 0, 3, 3, 0);
    finish_ranges();
    EXPECT_EQ(current_range(), nullptr);
    EXPECT_EQ(data_of(0).size(), 86u);

    g_calls.clear();
    ranges_.clear();
    reset_placement();
    add_range(0xFFFFFFF0u, 0xFFFFFFFFu, 0, 4, 1, 0);
    finish_ranges();
    EXPECT_EQ(current_range(), nullptr);
    EXPECT_EQ(data_of(0).size(), 4u);
    EXPECT_EQ(data_of(0).back().first, 0xFFFFFFFCu);
}

namespace {
uint64_t g_data_calls = 0;
uint64_t g_data_sum = 0;
void counter(int op, OutputStream&, const uint8_t* data, int count, const WriterEnv&) {
    if (op != OP_DATA) return;
    ++g_data_calls;
    for (int i = 0; i < count; ++i) g_data_sum += data[i];
}
}  // namespace

TEST_F(PlacementTest, LargeFillRangeIsWrittenWordByWord) {
    options().image = true;
    set_writer_override(counter);
    g_data_calls = g_data_sum = 0;
    // 64 MiB of fill in four lanes: 16 Mi words, one call per lane each.
    add_range(0x0, 0x3FFFFFF, 0, 4, 1, 0x04030201u);
    finish_ranges();
    EXPECT_EQ(g_data_calls, 64ull << 20);
    EXPECT_EQ(g_data_sum, (16ull << 20) * (1 + 2 + 3 + 4));
    EXPECT_EQ(current_range(), nullptr);
}

// ---------------------------------------------------------------------------
// Padding

TEST_F(PlacementTest, PartialWordIsPaddedFromFillWithWarning) {
    // Four lanes of one byte: the fill pattern keeps the input's order, so
    // the pad bytes at positions 2 and 3 are bytes 2 and 3 of the LE fill
    // 0x11223344: 22 and 11.
    add_range(0x0, 0xFF, 0, 4, 1, 0x11223344u);
    SectionSpec* s = add_entry("pad6", 0x0, 6);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 6, 0xA0), 8u);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'pad6' was padded by 2 bytes to a size of 8 to satisfy the "
              "specified memory width of 4\n");
    ASSERT_EQ(data_of(0).size(), 2u);
    EXPECT_EQ(data_of(0)[1].second, bytes({0xA4}));
    EXPECT_EQ(data_of(1)[1].second, bytes({0xA5}));
    EXPECT_EQ(data_of(2)[1].second, bytes({0x22}));
    EXPECT_EQ(data_of(3)[1].second, bytes({0x11}));
    EXPECT_EQ(s->last_address, 7u);
    EXPECT_EQ(ranges_[0]->address, 8u);
}

TEST_F(PlacementTest, PadBytesPassThroughByteOrderTwice) {
    // One 32-bit lane, LS: the pattern 44 33 22 11 is reversed to 11 22 33 44
    // before the pad bytes 33 44 are taken; the padded word A4 A5 33 44 is
    // then reversed with the data: 44 33 A5 A4.
    add_range(0x0, 0xFF, 0, 4, 4, 0x11223344u);
    SectionSpec* s = add_entry("pad6", 0x0, 6);
    testing::internal::CaptureStderr();
    place(s, 6, 0xA0);
    testing::internal::GetCapturedStderr();
    auto data = data_of(0);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].second, bytes({0xA3, 0xA2, 0xA1, 0xA0}));
    EXPECT_EQ(data[1].second, bytes({0x44, 0x33, 0xA5, 0xA4}));
}

// ---------------------------------------------------------------------------
// Unplaced and overlapping data

TEST_F(PlacementTest, SectionEntirelyBelowOriginIsSkipped) {
    add_range(0x100, 0x1FF);
    SectionSpec* s = add_entry("low", 0x80, 0x10);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 0x10, 0), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ">> WARNING: section 'low' at 080h falls in unconfigured memory (skipped)\n");
    EXPECT_TRUE(g_calls.empty());
    EXPECT_TRUE(s->flags & SPEC_REPORTED);
    EXPECT_EQ(s->range, nullptr);
}

TEST_F(PlacementTest, SectionEndingRightBelowOriginIsSkipped) {
    // Its last byte is at origin - 1: none of it lands in the range, so it
    // is reported as skipped, not as incomplete.
    add_range(0x100, 0x1FF);
    SectionSpec* s = add_entry("edge", 0xF0, 0x10);
    testing::internal::CaptureStderr();
    place(s, 0x10, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ">> WARNING: section 'edge' at 0f0h falls in unconfigured memory (skipped)\n");
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(PlacementTest, SectionReachingIntoRangeIsIncomplete) {
    add_range(0x100, 0x1FF);
    SectionSpec* s = add_entry("part", 0xF8, 0x10);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 0x10, 0), 8u);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'part' overlaps unconfigured memory at 0f8h (part "
              "incomplete)\n");
    auto data = data_of(0);
    ASSERT_EQ(data.size(), 8u);
    EXPECT_EQ(data.front().first, 0x100u);
    EXPECT_EQ(data.front().second, bytes({0x08}));  // byte 8 of the section
    EXPECT_EQ(s->start_address, 0x100u);
    EXPECT_EQ(s->last_address, 0x107u);
}

TEST_F(PlacementTest, OverlappingSectionWritesOnlyItsTail) {
    add_range(0x0, 0xFF);
    SectionSpec* a = add_entry("A", 0x10, 0x10);
    SectionSpec* b = add_entry("B", 0x18, 0x10);
    place(a, 0x10, 0x00);
    g_calls.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(b, 0x10, 0x80), 8u);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'B' at 018h overlaps A (B incomplete or skipped)\n");
    auto data = data_of(0);
    ASSERT_EQ(data.size(), 8u);
    EXPECT_EQ(data.front().first, 0x20u);
    EXPECT_EQ(data.front().second, bytes({0x88}));

    // One diagnostic per entry: a later chunk of B that overlaps again is
    // dropped silently.
    ranges_[0]->address = 0x40;
    testing::internal::CaptureStderr();
    std::vector<uint8_t> more = data_run(4, 0);
    place_data(more.data(), 4, 0x30);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(PlacementTest, OverlapWithBootTableNamesTheTable) {
    add_range(0x0, 0xFF);
    SectionSpec* boot = add_entry("bootsec", 0x10, 0x10);
    boot->flags |= SPEC_BOOT;
    SectionSpec* b = add_entry("B", 0x14, 0x4);
    place(boot, 0x10, 0);
    testing::internal::CaptureStderr();
    place(b, 4, 0);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'B' at 014h overlaps boot table (B incomplete or skipped)\n");
}

TEST_F(PlacementTest, BootTableWordings) {
    add_range(0x100, 0x1FF);
    SectionSpec* a = add_entry("A", 0x100, 0x10);
    SectionSpec* boot = add_entry("bootsec", 0x108, 0x10);
    boot->flags |= SPEC_BOOT;
    place(a, 0x10, 0);
    set_boot_table_mode(true);
    EXPECT_TRUE(boot_table_mode());
    testing::internal::CaptureStderr();
    place(boot, 4, 0);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: boot table at 0108h overlaps section 'A' (table incomplete)\n");

    SectionSpec* boot2 = add_entry("boot2", 0x80, 0x10);
    testing::internal::CaptureStderr();
    place(boot2, 4, 0);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: boot table falls in unconfigured memory at 080h\n");
}

TEST_F(PlacementTest, PageOneSectionWithOnlyPageZeroRanges) {
    options().image = true;
    add_range(0x0, 0xF, 0, 1, 1, 0x5A5A5A5Au);
    add_range(0x20, 0x2F, 0, 1, 1, 0xA5A5A5A5u);
    SectionSpec* s = add_entry("p1", 0x0, 0x10, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 0x10, 0), 0u);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'p1' at 00h falls in unconfigured memory (skipped)\n");
    // Both page-0 ranges were finished with fill first: each opened, filled
    // and closed in turn.
    std::vector<int> expected{OP_BEGIN_FILE};
    expected.insert(expected.end(), 16, OP_DATA);
    expected.push_back(OP_END_RECORD);
    expected.push_back(OP_END_FILE);
    expected.push_back(OP_BEGIN_FILE);
    expected.push_back(OP_NEW_ADDRESS);
    expected.insert(expected.end(), 16, OP_DATA);
    expected.push_back(OP_END_RECORD);
    expected.push_back(OP_END_FILE);
    EXPECT_EQ(ops(), expected);
    EXPECT_EQ(g_calls[1].bytes, bytes({0x5A}));
    EXPECT_EQ(g_calls[21].address, 0x20u);
    EXPECT_EQ(g_calls[22].bytes, bytes({0xA5}));
    EXPECT_EQ(current_range(), nullptr);
}

TEST_F(PlacementTest, SectionRunsIntoAdjacentRange) {
    add_range(0x0, 0xF);
    add_range(0x10, 0x1F);
    SectionSpec* s = add_entry("S", 0x8, 0x10);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 0x10, 0), 0x10u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // First range: 0x8..0xF, then closed; second range: 0x10..0x17.
    std::vector<uint32_t> addresses;
    for (const Call& c : g_calls)
        if (c.op == OP_DATA) addresses.push_back(c.address);
    ASSERT_EQ(addresses.size(), 16u);
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(addresses[i], 0x8 + i);
    EXPECT_EQ(count_op(OP_END_FILE), 1);  // the first range is closed
    EXPECT_EQ(current_range(), ranges_[1].get());
    // The entry is recorded anew in each range it reaches: the map shows it
    // in the second range from that range's origin on.
    EXPECT_EQ(s->range, ranges_[1].get());
    EXPECT_EQ(s->start_address, 0x10u);
    EXPECT_EQ(s->last_address, 0x17u);
}

TEST_F(PlacementTest, SectionRunsAcrossGapIntoNextRange) {
    add_range(0x0, 0xF);
    add_range(0x14, 0x23);
    SectionSpec* s = add_entry("S", 0x8, 0x10);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 0x10, 0), 0xCu);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'S' overlaps unconfigured memory at 010h (S incomplete)\n");
    std::vector<std::pair<uint32_t, uint8_t>> written;
    for (const Call& c : g_calls)
        if (c.op == OP_DATA) written.emplace_back(c.address, c.bytes[0]);
    ASSERT_EQ(written.size(), 12u);
    EXPECT_EQ(written[7], std::make_pair(0xFu, uint8_t{7}));
    EXPECT_EQ(written[8], std::make_pair(0x14u, uint8_t{0xC}));  // bytes 8..11 dropped
    EXPECT_EQ(written[11], std::make_pair(0x17u, uint8_t{0xF}));
}

TEST_F(PlacementTest, DataPastTheLastRangeIsSkipped) {
    add_range(0x0, 0xF);
    SectionSpec* s = add_entry("S", 0x8, 0x10);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 0x10, 0), 8u);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'S' at 010h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(current_range(), nullptr);
}

TEST_F(PlacementTest, SectionOnLowerPageThanRangeIsSkipped) {
    add_range(0x0, 0xF, 1);
    SectionSpec* s = add_entry("S", 0x0, 0x4, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 4, 0), 0u);
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'S' at 00h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(current_range(), ranges_[0].get());
}

TEST_F(PlacementTest, WholeAddressSpaceRangeTakesSectionAtTop) {
    add_range(0x0, 0xFFFFFFFFu);
    SectionSpec* s = add_entry("top", 0xFFFFFFFCu, 8);
    testing::internal::CaptureStderr();
    EXPECT_EQ(place(s, 8, 0), 4u);
    // Four bytes reach the top; the rest has no range left.
    EXPECT_EQ(unwrap(testing::internal::GetCapturedStderr()),
              ">> WARNING: section 'top' at 00h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(s->last_address, 0xFFFFFFFFu);
    EXPECT_EQ(current_range(), nullptr);
}

// ---------------------------------------------------------------------------
// The data sink

class LoadChunkTest : public PlacementTest {
protected:
    // Makes `entry`'s section the one being read.
    void reading(const SectionSpec* entry) { coff_input().current_section = entry->section; }
};

TEST_F(LoadChunkTest, MapsChunkToOutputAddressAndPrintsProgress) {
    add_range(0x0, 0xFFFF);
    // Runs at 0x8000, placed at 0x100.
    SectionSpec* s = add_entry(".text", 0x100, 0x20, 0, 0x8000);
    reading(s);
    const std::vector<uint8_t> chunk = data_run(0x10, 0);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(load_chunk(chunk.data(), 0x10, 0x8000, 0));
    EXPECT_TRUE(load_chunk(chunk.data(), 0x10, 0x8010, 0));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "   \"app.out\"   ==> .text\n");
    EXPECT_EQ(current_entry(), s);
    auto data = data_of(0);
    ASSERT_EQ(data.size(), 0x20u);
    EXPECT_EQ(data[0].first, 0x100u);
    EXPECT_EQ(data[0x10].first, 0x110u);
}

TEST_F(LoadChunkTest, ProgressLineVariants) {
    add_range(0x0, 0xFFFF);
    SectionSpec* s = add_entry(".data", 0x0, 0x10);
    const std::vector<uint8_t> chunk = data_run(0x10, 0);
    reading(s);

    options().trace_level = 1;  // the trace writes its own line ends
    testing::internal::CaptureStdout();
    load_chunk(chunk.data(), 0x10, 0x0, 0);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "   \"app.out\"   ==> .data");

    options().trace_level = 0;
    options().quiet = 1;
    testing::internal::CaptureStderr();  // the repeated chunk overlaps itself
    testing::internal::CaptureStdout();
    load_chunk(chunk.data(), 0x10, 0x0, 0);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::GetCapturedStderr();
}

TEST_F(LoadChunkTest, BootLoadedEntryGoesToTheBootTable) {
    add_range(0x0, 0xFFFF);
    SectionSpec* s = add_entry(".boot", 0x0, 0x10);
    s->flags |= SPEC_BOOT;
    reading(s);
    const std::vector<uint8_t> chunk = data_run(0x10, 0);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(load_chunk(chunk.data(), 0x10, 0x0, 0));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "   \"app.out\"   ==> .boot \t(BOOT LOAD)\n");
    // The boot table took the chunk: it is open now, awaiting more sections.
    EXPECT_FALSE(boot_table_closed());
}

TEST_F(LoadChunkTest, UnselectedSectionIsIgnored) {
    add_range(0x0, 0xFFFF);
    SectionSpec* s = add_entry(".text", 0x0, 0x10);
    set_current_entry(s);
    coff_input().sections.push_back(SectionEntry{});
    coff_input().current_section = static_cast<int>(coff_input().sections.size() - 1);
    const std::vector<uint8_t> chunk = data_run(0x10, 0);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(load_chunk(chunk.data(), 0x10, 0x0, 0));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(current_entry(), nullptr);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(LoadChunkTest, EachSectionStartsANewRecordOutsideImageMode) {
    add_range(0x0, 0xFFFF);
    SectionSpec* a = add_entry(".a", 0x0, 0x4);
    SectionSpec* b = add_entry(".b", 0x4, 0x4);
    const std::vector<uint8_t> chunk = data_run(4, 0);
    options().quiet = 1;
    reading(a);
    load_chunk(chunk.data(), 4, 0x0, 0);
    reading(b);
    load_chunk(chunk.data(), 4, 0x4, 0);
    // .b's first chunk ends the record left pending by .a.
    std::vector<int> expected{OP_BEGIN_FILE, OP_DATA, OP_DATA, OP_DATA, OP_DATA,
                              OP_END_RECORD, OP_DATA, OP_DATA, OP_DATA, OP_DATA};
    EXPECT_EQ(ops(), expected);

    // In image mode records may run on from one section into the next.
    g_calls.clear();
    options().image = true;
    SectionSpec* c = add_entry(".c", 0x8, 0x4);
    reading(c);
    load_chunk(chunk.data(), 4, 0x8, 0);
    EXPECT_EQ(count_op(OP_END_RECORD), 0);
}

TEST_F(LoadChunkTest, RamModelCinitMapsThroughBss) {
    add_range(0x0, 0xFFFF);
    SectionSpec* bss = add_entry(".bss", 0x9000, 0x100);
    bss->section = -1;  // .bss itself is not converted
    SectionSpec* cinit = add_entry(".cinit", 0x200, 0x40, 0, 0x7000);
    cinit->flags |= SPEC_RAM_CINIT;
    reading(cinit);
    options().quiet = 1;
    const std::vector<uint8_t> chunk = data_run(4, 0x30);
    load_chunk(chunk.data(), 4, 0x9004, 0);  // a record for .bss + 4
    auto data = data_of(0);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0].first, 0x204u);
}

TEST_F(LoadChunkTest, RamModelCinitWithoutBssUsesItsOwnAddress) {
    add_range(0x0, 0xFFFF);
    // No .bss: record addresses are mapped from the .cinit section's own
    // address, so an unmoved .cinit puts each record at its destination.
    SectionSpec* cinit = add_entry(".cinit", 0x7000, 0x40);
    cinit->flags |= SPEC_RAM_CINIT;
    reading(cinit);
    options().quiet = 1;
    const std::vector<uint8_t> chunk = data_run(4, 0x30);
    load_chunk(chunk.data(), 4, 0x1234, 0);
    ASSERT_EQ(data_of(0).size(), 4u);
    EXPECT_EQ(data_of(0)[0].first, 0x1234u);
}

TEST_F(LoadChunkTest, UnconvertedRamModelCinitIsDropped) {
    // Under -image the section list leaves a RAM-model .cinit linked but
    // unconverted (no .bss mapping, address not given): its record data
    // must not land anywhere.
    options().image = true;
    add_range(0x0, 0xFFFF);
    SectionSpec* cinit = add_entry(".cinit", 0xFFFFFFFFu, 0x40, 0, 0x1010);
    coff_input().sections[static_cast<size_t>(cinit->section)].flags = STYP_COPY;
    reading(cinit);
    const std::vector<uint8_t> chunk = data_run(4, 0x30);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(load_chunk(chunk.data(), 4, 0x2000, 0));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(current_entry(), nullptr);
    EXPECT_EQ(cinit->range, nullptr);

    // Converted through .bss, the same section is placed.
    cinit->flags |= SPEC_RAM_CINIT;
    cinit->address = 0x100;
    options().quiet = 1;
    load_chunk(chunk.data(), 4, 0x1010, 0);
    auto data = data_of(0);
    ASSERT_EQ(data.size(), 0x104u);  // fill up to 0x100, then the record
    EXPECT_EQ(data[0x100].first, 0x100u);
    EXPECT_EQ(data[0x100].second, bytes({0x30}));
}

TEST_F(LoadChunkTest, ReaderBufferIsLeftUntouched) {
    // Byte ordering and padding work on a private copy: a one-lane 32-bit
    // memory reverses every word, and the 6-byte chunk gets 2 pad bytes.
    add_range(0x0, 0xFFFF, 0, 4, 4, 0);
    SectionSpec* s = add_entry(".text", 0x0, 6);
    reading(s);
    options().quiet = 1;
    const std::vector<uint8_t> chunk = bytes({1, 2, 3, 4, 5, 6, 7, 8});
    testing::internal::CaptureStderr();
    load_chunk(chunk.data(), 6, 0x0, 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(chunk, bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(data_of(0).size(), 2u);
    EXPECT_EQ(data_of(0)[0].second, bytes({4, 3, 2, 1}));
    EXPECT_EQ(data_of(0)[1].second, bytes({0, 0, 6, 5}));
}

TEST_F(LoadChunkTest, ChunkWidthChecks) {
    RomRange* range = add_range(0x0, 0xFFFF, 0, 3, 3, 0);
    SectionSpec* s = add_entry(".text", 0x0, 0x10);
    reading(s);
    const std::vector<uint8_t> chunk = data_run(0x10, 0);
    testing::internal::CaptureStderr();
    EXPECT_THROW(load_chunk(chunk.data(), 0x10, 0x0, 0), RunAbort);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ">> INTERNAL ERROR: LOADBUFSIZE not a multiple of width\n");

    range->romwidth = 1;
    range->memwidth = 3;
    testing::internal::CaptureStderr();
    EXPECT_THROW(load_chunk(chunk.data(), 0x10, 0x0, 0), RunAbort);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ">> INTERNAL ERROR: LOADBUFSIZE not a multiple of memwidth\n");

    range->memwidth = 4;
    testing::internal::CaptureStderr();
    EXPECT_THROW(check_load_buffer_widths(*range, 3), RunAbort);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              ">> INTERNAL ERROR:  LOADBUFSIZE not a mult. of boot.alignment\n");
    EXPECT_NO_THROW(check_load_buffer_widths(*range, 4));
}

TEST_F(PlacementTest, ResetClearsState) {
    add_range(0x0, 0xF);
    set_current_entry(add_entry("x", 0, 1));
    set_boot_table_mode(true);
    reset_placement();
    EXPECT_EQ(current_range(), nullptr);
    EXPECT_EQ(current_entry(), nullptr);
    EXPECT_FALSE(boot_table_mode());
}

}  // namespace
