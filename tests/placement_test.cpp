// Placement of section data into memory ranges: fill, padding, gaps,
// unplaced and overlapping data, moving from range to range, and the data
// sink's per-section steps, asserted on the files written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image_fixture.h"

using namespace imagetest;

namespace {

// A run of `count` one-byte groups of the same value: "5A 5A 5A".
std::string repeated(int value, size_t count) { return groups(Bytes(count, static_cast<uint8_t>(value))); }

// ---------------------------------------------------------------------------
// Image mode and fill

TEST(Placement, ImageModeFillsBeforeAndAfterTheSection) {
    ImageRig rig;
    rig.image = true;
    rig.load(section("sect", 0x10, 16));
    RomRange& range = rig.add_range(0x0, 0xFF, 1, 1, 0xAABBCCDDu);
    rig.start();
    SectionSpec* s = rig.entry("sect");
    EXPECT_EQ(rig.place(s, counting_bytes(16, 0x40)), 16u);
    rig.finish();

    // Fill 0xAABBCCDD of a little-endian input is the pattern DD CC BB AA;
    // one-byte memory words take it at offsets 0, 1, 2, 3 from each gap's
    // start.
    const uint8_t fill[4] = {0xDD, 0xCC, 0xBB, 0xAA};
    Bytes expected;
    for (uint32_t a = 0; a < 0x100; ++a) {
        if (a < 0x10)
            expected.push_back(fill[a % 4]);
        else if (a < 0x20)
            expected.push_back(static_cast<uint8_t>(0x40 + a - 0x10));
        else
            expected.push_back(fill[(a - 0x20) % 4]);
    }
    // One run from address 0 in one file: a line breaks only after 16
    // pieces.
    std::string lines;
    for (uint32_t a = 0; a < 0x100; a += 16)
        lines += debug_line(a, groups(Bytes(expected.begin() + a, expected.begin() + a + 16)));
    EXPECT_EQ(rig.text(range), debug_file(lines));
    EXPECT_EQ(rig.placement->current_range(), nullptr);
    EXPECT_EQ(rig.state(s).range, &range);
    EXPECT_EQ(rig.state(s).start_address, 0x10u);
    EXPECT_EQ(rig.state(s).last_address, 0x1Fu);
    EXPECT_EQ(rig.err(), "");
}

TEST(Placement, NonImageModeWritesOnlyTheSections) {
    ImageRig rig;
    rig.load(section("sect", 0x10, 16));
    RomRange& range = rig.add_range(0x0, 0xFF, 1, 1, 0xAABBCCDDu);
    rig.add_range(0x100, 0x1FF);
    rig.start();
    rig.place(rig.entry("sect"), counting_bytes(16, 0x40));
    rig.finish();
    // The data alone, at its own address; the record is ended on close.
    EXPECT_EQ(rig.text(range), debug_file(debug_line(0x10, groups(counting_bytes(16, 0x40)))));
    // The second range received nothing and has no files at all.
    EXPECT_EQ(rig.written(), std::vector<std::string>{"r0.0"});
    EXPECT_EQ(rig.placement->current_range(), nullptr);
}

TEST(Placement, ImageModeEmptySecondRangeIsAllFill) {
    ImageRig rig;
    rig.image = true;
    rig.load(section("sect", 0x0, 16));
    rig.add_range(0x0, 0xF, 4, 1, 0);
    RomRange& second = rig.add_range(0x10, 0x1F, 4, 1, 0x44332211u);
    rig.start();
    rig.place(rig.entry("sect"), counting_bytes(16));
    rig.finish();
    // Four words of fill in four lanes from the second range's origin: lane
    // k of the little-endian fill word 0x44332211 holds byte k (11 22 33 44).
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(rig.text(second, k), debug_file(debug_line(0x10, repeated(0x11 * (k + 1), 4))))
            << "lane " << k;
}

TEST(Placement, FillPatternFollowsTheMemoryWordOffsets) {
    // Two-byte words take the pattern at offsets 0, 2, 0, 2: the fill
    // 0x11223344 of a big-endian input is the byte stream 11 22 33 44, which
    // MS order leaves as it is.
    ImageRig big;
    big.image = true;
    big.order = ORDER_MS;
    big.load("data msb\n");
    RomRange& two = big.add_range(0x0, 0x7, 2, 2, 0x11223344u);
    big.start();
    big.finish();
    EXPECT_EQ(big.text(two), debug_file(debug_line(0x0, "1122 3344 1122 3344")));

    // Three-byte words: the little-endian pattern 11 22 33 44 is put into
    // the LS byte order of a three-byte lane as a whole (33 22 11, the
    // partial group 44 left alone); words take it at offsets 0, 3, 0,
    // reading past its end from offset 3: 332211, 44 33 22, 332211.
    ImageRig little;
    little.image = true;
    little.load("");
    RomRange& three = little.add_range(0x0, 0x8, 3, 3, 0x44332211u);
    little.start();
    little.finish();
    EXPECT_EQ(little.text(three), debug_file(debug_line(0x0, "332211 443322 332211")));
}

TEST(Placement, FillAtTheTopOfTheAddressSpaceStops) {
    // 0x100 addresses in three-byte words: the 86th word runs past the top
    // of the address space, and the fill stops there instead of going on
    // from address 2.
    ImageRig rig;
    rig.image = true;
    rig.output_settings.format = Format::Binary;
    rig.load("");
    RomRange& three = rig.add_range(0xFFFFFF00u, 0xFFFFFFFFu, 3, 3, 0);
    rig.start();
    rig.finish();
    EXPECT_EQ(rig.placement->current_range(), nullptr);
    EXPECT_EQ(rig.raw(three).size(), 86u * 3);

    // Four words of four lanes, the last at 0xFFFFFFFC.
    ImageRig lanes;
    lanes.image = true;
    lanes.load("");
    RomRange& four = lanes.add_range(0xFFFFFFF0u, 0xFFFFFFFFu, 4, 1, 0);
    lanes.start();
    lanes.finish();
    EXPECT_EQ(lanes.placement->current_range(), nullptr);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(lanes.text(four, k), debug_file(debug_line(0xFFFFFFF0u, "00 00 00 00")));
}

TEST(Placement, LargeFillRange) {
    // 64 MiB of fill in four lanes: 16 Mi words, every lane byte k + 1 of
    // the little-endian word 0x04030201.
    ImageRig rig;
    rig.image = true;
    rig.output_settings.format = Format::Binary;
    rig.load("");
    RomRange& range = rig.add_range(0x0, 0x3FFFFFF, 4, 1, 0x04030201u);
    rig.start();
    rig.finish();
    EXPECT_EQ(rig.placement->current_range(), nullptr);
    for (int k = 0; k < 4; ++k) {
        const Bytes lane = rig.raw(range, k);
        EXPECT_EQ(lane.size(), 16u << 20) << "lane " << k;
        EXPECT_TRUE(std::all_of(lane.begin(), lane.end(), [k](uint8_t b) { return b == k + 1; }))
            << "lane " << k;
    }
}

// ---------------------------------------------------------------------------
// Padding

TEST(Placement, PartialWordIsPaddedFromTheFill) {
    // Four lanes of one byte: the pad bytes at word positions 2 and 3 are
    // bytes 2 and 3 of the fill pattern, which keeps the input's order:
    // 0x11223344 little-endian is 44 33 22 11, so 22 and 11.
    ImageRig rig;
    rig.output_settings.format = Format::Binary;
    rig.load(section("pad6", 0x0, 6));
    RomRange& range = rig.add_range(0x0, 0xFF, 4, 1, 0x11223344u);
    rig.start();
    SectionSpec* s = rig.entry("pad6");
    EXPECT_EQ(rig.place(s, counting_bytes(6, 0xA0)), 8u);
    EXPECT_EQ(rig.err(),
              ">> WARNING: section 'pad6' was padded by 2 bytes to a size of 8 to satisfy the "
              "specified memory width of 4\n");
    EXPECT_EQ(rig.state(s).last_address, 7u);
    EXPECT_EQ(rig.placement->current_address(), 8u);
    rig.finish();
    EXPECT_EQ(rig.raw(range, 0), bytes({0xA0, 0xA4}));
    EXPECT_EQ(rig.raw(range, 1), bytes({0xA1, 0xA5}));
    EXPECT_EQ(rig.raw(range, 2), bytes({0xA2, 0x22}));
    EXPECT_EQ(rig.raw(range, 3), bytes({0xA3, 0x11}));

    // One 32-bit lane, LS: the pattern 44 33 22 11 is reversed to
    // 11 22 33 44 before the pad bytes 33 44 are taken; the padded word
    // A4 A5 33 44 is then reversed with the data: 44 33 A5 A4.
    ImageRig wide;
    wide.output_settings.format = Format::Binary;
    wide.load(section("pad6", 0x0, 6));
    RomRange& lane = wide.add_range(0x0, 0xFF, 4, 4, 0x11223344u);
    wide.start();
    wide.place(wide.entry("pad6"), counting_bytes(6, 0xA0));
    wide.finish();
    EXPECT_EQ(wide.raw(lane), bytes({0xA3, 0xA2, 0xA1, 0xA0, 0x44, 0x33, 0xA5, 0xA4}));
}

TEST(Placement, DataWidthOfTheEntryWins) {
    // The default data width is 8 bits, the entry's 32: with MS order the
    // little-endian data word 0x04030201 is written most significant byte
    // first.
    ImageRig rig;
    rig.order = ORDER_MS;
    rig.output_settings.format = Format::Binary;
    rig.load(section(".text", 0x0, 4));
    RomRange& range = rig.add_range(0x0, 0xFF, 4, 4);
    rig.selection.new_section_spec(".text");
    rig.selection.set_datawidth(32);
    rig.selection.append_section_spec();
    rig.start();
    rig.place(rig.entry(".text"), bytes({1, 2, 3, 4}));
    rig.finish();
    EXPECT_EQ(rig.raw(range), bytes({4, 3, 2, 1}));
}

// ---------------------------------------------------------------------------
// Unplaced and overlapping data

TEST(Placement, DataBelowTheOrigin) {
    // "low" lies wholly below the range; "edge" ends at origin - 1, so none
    // of it lands either; "part" reaches 8 bytes into the range.
    ImageRig rig;
    rig.load(section("low", 0x80, 0x10) + section("edge", 0xF0, 0x10) + section("part", 0xF8, 0x10));
    RomRange& range = rig.add_range(0x100, 0x1FF);
    rig.start();
    SectionSpec* low = rig.entry("low");
    SectionSpec* part = rig.entry("part");
    EXPECT_EQ(rig.place(low, counting_bytes(0x10)), 0u);
    EXPECT_EQ(rig.place(rig.entry("edge"), counting_bytes(0x10)), 0u);
    EXPECT_EQ(rig.place(part, counting_bytes(0x10)), 8u);
    EXPECT_EQ(rig.err(),
              ">> WARNING: section 'low' at 080h falls in unconfigured memory (skipped)\n"
              ">> WARNING: section 'edge' at 0f0h falls in unconfigured memory (skipped)\n"
              ">> WARNING: section 'part' overlaps unconfigured memory at 0f8h (part incomplete)\n");
    EXPECT_TRUE(rig.state(low).reported);
    EXPECT_EQ(rig.state(low).range, nullptr);
    EXPECT_EQ(rig.state(part).start_address, 0x100u);
    EXPECT_EQ(rig.state(part).last_address, 0x107u);
    rig.finish();
    // Bytes 8.. of "part" from the origin on.
    EXPECT_EQ(rig.text(range), debug_file(debug_line(0x100, "08 09 0A 0B 0C 0D 0E 0F")));
}

TEST(Placement, OverlapIsReportedOncePerEntry) {
    ImageRig rig;
    rig.load(section("A", 0x10, 0x10) + section("B", 0x18, 0x10));
    RomRange& range = rig.add_range(0x0, 0xFF);
    rig.start();
    SectionSpec* b = rig.entry("B");
    rig.place(rig.entry("A"), counting_bytes(0x10, 0x00));
    EXPECT_EQ(rig.place(b, counting_bytes(0x10, 0x80)), 8u);
    EXPECT_EQ(rig.err(), ">> WARNING: section 'B' at 018h overlaps A (B incomplete or skipped)\n");
    // A later chunk of B that overlaps again is dropped silently.
    EXPECT_EQ(rig.place(b, counting_bytes(4), 0x18), 0u);
    EXPECT_EQ(rig.err(), ">> WARNING: section 'B' at 018h overlaps A (B incomplete or skipped)\n");
    rig.finish();
    // A, then the tail of B from 0x20 on, one run (the line breaks after 16
    // pieces).
    EXPECT_EQ(rig.text(range), debug_file(debug_line(0x10, groups(counting_bytes(16, 0x00))) +
                                          debug_line(0x20, groups(counting_bytes(8, 0x88)))));
}

TEST(Placement, BootTableWordings) {
    // Boot-loaded entries take the boot origin (the range's origin) as their
    // address; the bytes here are placed wherever the test says.
    ImageRig rig;
    rig.load(section("A", 0x100, 0x10) + section("bootsec", 0x3000, 0x10) +
             section("B", 0x114, 4) + section("boot2", 0x4000, 0x10) + section("boot3", 0x5000, 0x10));
    rig.add_range(0x100, 0x1FF);
    rig.select("A");
    rig.select("bootsec", 0xFFFFFFFFu, true);
    rig.select("B");
    rig.select("boot2", 0xFFFFFFFFu, true);
    rig.select("boot3", 0xFFFFFFFFu, true);
    rig.start();
    rig.place(rig.entry("A"), counting_bytes(0x10));
    rig.place(rig.entry("bootsec"), counting_bytes(0x10), 0x110);
    rig.place(rig.entry("B"), counting_bytes(4));
    EXPECT_EQ(rig.err(),
              ">> WARNING: section 'B' at 0114h overlaps boot table (B incomplete or skipped)\n");

    // While the table's own bytes are placed.
    rig.placement->set_boot_table_mode(true);
    rig.place(rig.entry("boot2"), counting_bytes(4), 0x108);
    rig.place(rig.entry("boot3"), counting_bytes(4), 0x80);
    EXPECT_EQ(rig.err(),
              ">> WARNING: section 'B' at 0114h overlaps boot table (B incomplete or skipped)\n"
              ">> WARNING: boot table at 0108h overlaps section 'A' (table incomplete)\n"
              ">> WARNING: boot table falls in unconfigured memory at 080h\n");
}

TEST(Placement, SectionOnAPageWithoutRanges) {
    // Page 1 with only page-0 ranges: both ranges are finished with their
    // fill first, each opened, filled and closed in turn.
    ImageRig rig;
    rig.image = true;
    rig.load(section("p1", 0x0, 0x10, "page=1"));
    RomRange& r0 = rig.add_range(0x0, 0xF, 1, 1, 0x5A5A5A5Au);
    RomRange& r1 = rig.add_range(0x20, 0x2F, 1, 1, 0xA5A5A5A5u);
    rig.start();
    EXPECT_EQ(rig.place(rig.entry("p1"), counting_bytes(0x10)), 0u);
    EXPECT_EQ(rig.err(), ">> WARNING: section 'p1' at 00h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(rig.placement->current_range(), nullptr);
    rig.put_in_place();
    EXPECT_EQ(rig.text(r0), debug_file(debug_line(0x0, repeated(0x5A, 16))));
    EXPECT_EQ(rig.text(r1), debug_file(debug_line(0x20, repeated(0xA5, 16))));

    // Page 0 below a page-1 range: skipped, and the range stays current.
    ImageRig lower;
    lower.load(section("S", 0x0, 4));
    RomRange& page1 = lower.add_range(0x0, 0xF, 1, 1, 0, 1);
    lower.start();
    EXPECT_EQ(lower.place(lower.entry("S"), counting_bytes(4)), 0u);
    EXPECT_EQ(lower.err(), ">> WARNING: section 'S' at 00h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(lower.placement->current_range(), &page1);
}

// ---------------------------------------------------------------------------
// Moving from range to range

TEST(Placement, SectionRunsIntoTheAdjacentRange) {
    ImageRig rig;
    rig.load(section("S", 0x8, 0x10));
    RomRange& r0 = rig.add_range(0x0, 0xF);
    RomRange& r1 = rig.add_range(0x10, 0x1F);
    rig.start();
    SectionSpec* s = rig.entry("S");
    EXPECT_EQ(rig.place(s, counting_bytes(0x10)), 0x10u);
    EXPECT_EQ(rig.err(), "");
    // The first range is closed; the second is current.
    EXPECT_FALSE(rig.output->files_open(r0));
    EXPECT_EQ(rig.placement->current_range(), &r1);
    // The entry is recorded anew in each range it reaches: the map shows it
    // in the second range from that range's origin on.
    EXPECT_EQ(rig.state(s).range, &r1);
    EXPECT_EQ(rig.state(s).start_address, 0x10u);
    EXPECT_EQ(rig.state(s).last_address, 0x17u);
    rig.finish();
    EXPECT_EQ(rig.text(r0), debug_file(debug_line(0x8, "00 01 02 03 04 05 06 07")));
    EXPECT_EQ(rig.text(r1), debug_file(debug_line(0x10, "08 09 0A 0B 0C 0D 0E 0F")));
}

TEST(Placement, SectionRunsAcrossAGapIntoTheNextRange) {
    ImageRig rig;
    rig.load(section("S", 0x8, 0x10));
    RomRange& r0 = rig.add_range(0x0, 0xF);
    RomRange& r1 = rig.add_range(0x14, 0x23);
    rig.start();
    EXPECT_EQ(rig.place(rig.entry("S"), counting_bytes(0x10)), 0xCu);
    EXPECT_EQ(rig.err(), ">> WARNING: section 'S' overlaps unconfigured memory at 010h (S incomplete)\n");
    rig.finish();
    // Bytes 8..11 fall into the gap and are dropped.
    EXPECT_EQ(rig.text(r0), debug_file(debug_line(0x8, "00 01 02 03 04 05 06 07")));
    EXPECT_EQ(rig.text(r1), debug_file(debug_line(0x14, "0C 0D 0E 0F")));
}

TEST(Placement, DataPastTheLastRangeIsSkipped) {
    ImageRig rig;
    rig.load(section("S", 0x8, 0x10));
    RomRange& range = rig.add_range(0x0, 0xF);
    rig.start();
    EXPECT_EQ(rig.place(rig.entry("S"), counting_bytes(0x10)), 8u);
    EXPECT_EQ(rig.err(), ">> WARNING: section 'S' at 010h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(rig.placement->current_range(), nullptr);
    rig.put_in_place();
    EXPECT_EQ(rig.text(range), debug_file(debug_line(0x8, "00 01 02 03 04 05 06 07")));

    // A range over the whole address space takes the four bytes up to the
    // top; the rest has no range left (its address wrapped to 0).
    ImageRig whole;
    whole.load(section("top", 0xFFFFFFFCu, 8));
    RomRange& all = whole.add_range(0x0, 0xFFFFFFFFu);
    whole.start();
    SectionSpec* top = whole.entry("top");
    EXPECT_EQ(whole.place(top, counting_bytes(8)), 4u);
    EXPECT_EQ(whole.err(), ">> WARNING: section 'top' at 00h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(whole.state(top).last_address, 0xFFFFFFFFu);
    EXPECT_EQ(whole.placement->current_range(), nullptr);
    whole.put_in_place();
    EXPECT_EQ(whole.text(all), debug_file(debug_line(0xFFFFFFFCu, "00 01 02 03")));
}

// ---------------------------------------------------------------------------
// The data sink

TEST(DataSink, MapsChunksToTheOutputAddressAndPrintsProgressOnce) {
    // .text runs at 0x8000 and is placed at 0x100.
    ImageRig rig;
    rig.load(section(".text", 0x8000, 0x20));
    RomRange& range = rig.add_range(0x0, 0xFFFF);
    rig.select(".text", 0x100);
    rig.start();
    rig.load_chunk(".text", counting_bytes(0x10, 0x00), 0x8000);
    rig.load_chunk(".text", counting_bytes(0x10, 0x10), 0x8010);
    EXPECT_EQ(rig.out(), "   \"app.out\"   ==> .text\n");
    EXPECT_EQ(rig.placement->current_entry(), rig.entry(".text"));
    rig.finish();
    EXPECT_EQ(rig.text(range), debug_file(debug_line(0x100, groups(counting_bytes(16, 0x00))) +
                                          debug_line(0x110, groups(counting_bytes(16, 0x10)))));
}

TEST(DataSink, ProgressLineVariants) {
    auto progress = [](int trace_level, bool quiet) {
        ImageRig rig;
        rig.load(section(".data", 0x0, 0x10));
        rig.add_range(0x0, 0xFFFF);
        rig.sink_settings.trace_level = trace_level;
        rig.sink_settings.quiet = quiet;
        rig.start();
        rig.load_chunk(".data", counting_bytes(0x10), 0x0);
        return rig.out();
    };
    // The trace writes its own line ends.
    EXPECT_EQ(progress(1, false), "   \"app.out\"   ==> .data");
    EXPECT_EQ(progress(0, true), "");
}

TEST(DataSink, BootLoadedEntryGoesToTheBootTable) {
    ImageRig rig;
    rig.load(section(".boot", 0x0, 0x10));
    rig.add_range(0x0, 0xFFFF);
    rig.select(".boot", 0xFFFFFFFFu, true);
    rig.start();
    rig.load_chunk(".boot", counting_bytes(0x10), 0x0);
    EXPECT_EQ(rig.out(), "   \"app.out\"   ==> .boot \t(BOOT LOAD)\n");
    // The table took the chunk behind the entry point, size and destination
    // (from the range's origin 0) and stays open for more sections.
    EXPECT_FALSE(rig.boot->closed());
    EXPECT_EQ(rig.boot->table_address(), 12u + 0x10u);
}

TEST(DataSink, UnselectedSectionIsIgnored) {
    ImageRig rig;
    rig.load(section(".text", 0x0, 0x10) + section(".other", 0x20, 0x10));
    rig.add_range(0x0, 0xFFFF);
    rig.select(".text");
    rig.start();
    rig.placement->set_current_entry(rig.entry(".text"));
    rig.load_chunk(".other", counting_bytes(0x10), 0x20);
    EXPECT_EQ(rig.out(), "");
    EXPECT_EQ(rig.placement->current_entry(), nullptr);
    rig.finish();
    EXPECT_EQ(rig.written(), std::vector<std::string>{});
}

TEST(DataSink, EachSectionStartsANewRecordOutsideImageMode) {
    ImageRig rig;
    rig.sink_settings.quiet = true;
    rig.load(section(".a", 0x0, 4) + section(".b", 0x4, 4));
    RomRange& range = rig.add_range(0x0, 0xFFFF);
    rig.start();
    rig.load_chunk(".a", bytes({0, 1, 2, 3}), 0x0);
    rig.load_chunk(".b", bytes({4, 5, 6, 7}), 0x4);
    rig.finish();
    // .b's first chunk ended the record that .a left pending.
    EXPECT_EQ(rig.text(range), debug_file(debug_line(0x0, "00 01 02 03") + debug_line(0x4, "04 05 06 07")));

    // In image mode records run on from one section into the next.
    ImageRig image;
    image.image = true;
    image.sink_settings.quiet = true;
    image.load(section(".a", 0x0, 4) + section(".b", 0x4, 4));
    RomRange& whole = image.add_range(0x0, 0x7);
    image.start();
    image.load_chunk(".a", bytes({0, 1, 2, 3}), 0x0);
    image.load_chunk(".b", bytes({4, 5, 6, 7}), 0x4);
    image.finish();
    EXPECT_EQ(image.text(whole), debug_file(debug_line(0x0, "00 01 02 03 04 05 06 07")));
}

TEST(DataSink, RamModelCinitRecordsMapThroughBss) {
    // .cinit is given the output address 0x200; a record for .bss + 4 lands
    // at 0x204.
    ImageRig rig;
    rig.sink_settings.quiet = true;
    rig.load(section(".bss", 0x9000, 0, "size=0x100 nodata") + section(".cinit", 0x7000, 0x40, "flags=0x10"));
    RomRange& range = rig.add_range(0x0, 0xFFFF);
    rig.select(".cinit", 0x200);
    rig.start();
    rig.load_chunk(".cinit", bytes({0x30, 0x31, 0x32, 0x33}), 0x9004);
    rig.finish();
    EXPECT_EQ(rig.text(range), debug_file(debug_line(0x204, "30 31 32 33")));

    // Without .bss the records are mapped from the .cinit section's own
    // address, so an unmoved .cinit puts each record at its destination.
    ImageRig own;
    own.sink_settings.quiet = true;
    own.load(section(".cinit", 0x7000, 0x40, "flags=0x10"));
    RomRange& all = own.add_range(0x0, 0xFFFF);
    own.start();
    own.load_chunk(".cinit", bytes({0x30, 0x31, 0x32, 0x33}), 0x1234);
    own.finish();
    EXPECT_EQ(own.text(all), debug_file(debug_line(0x1234, "30 31 32 33")));
}

TEST(DataSink, UnconvertedRamModelCinitIsDropped) {
    // Under -image the section list leaves a RAM-model .cinit linked but
    // unconverted (no .bss mapping, no address): its record data must not
    // land anywhere.
    ImageRig rig;
    rig.image = true;
    rig.output_settings.format = Format::Binary;
    rig.load(section(".cinit", 0x1010, 0x40, "flags=0x10"));
    RomRange& range = rig.add_range(0x0, 0x103);
    rig.start();
    EXPECT_EQ(rig.err(), ">> WARNING: can't convert RAM-model .cinit with -image\n");
    SectionSpec* cinit = rig.entry(".cinit");
    rig.load_chunk(".cinit", bytes({0x30, 0x31, 0x32, 0x33}), 0x2000);
    EXPECT_EQ(rig.out(), "");
    EXPECT_EQ(rig.err(), ">> WARNING: can't convert RAM-model .cinit with -image\n");
    EXPECT_EQ(rig.placement->current_entry(), nullptr);
    EXPECT_EQ(rig.state(cinit).range, nullptr);
    EXPECT_EQ(rig.written(), std::vector<std::string>{});

    // Converted through .bss, the same section is placed: fill up to 0x100,
    // then the record.
    cinit->flags |= SPEC_RAM_CINIT;
    cinit->address = 0x100;
    rig.load_chunk(".cinit", bytes({0x30, 0x31, 0x32, 0x33}), 0x1010);
    EXPECT_EQ(rig.out(), "   \"app.out\"   ==> .cinit\n");
    rig.finish();
    Bytes expected(0x100, 0x00);
    expected.insert(expected.end(), {0x30, 0x31, 0x32, 0x33});
    EXPECT_EQ(rig.raw(range), expected);
}

TEST(DataSink, ReaderBufferIsLeftUntouched) {
    // Byte ordering and padding work on a copy: a one-lane 32-bit memory
    // reverses every word, and the 6-byte chunk gets 2 pad bytes of fill 0.
    ImageRig rig;
    rig.sink_settings.quiet = true;
    rig.output_settings.format = Format::Binary;
    rig.load(section(".text", 0x0, 6));
    RomRange& range = rig.add_range(0x0, 0xFFFF, 4, 4, 0);
    rig.start();
    const Bytes chunk = bytes({1, 2, 3, 4, 5, 6, 7, 8});
    rig.load_chunk(".text", chunk, 0x0, 6);
    EXPECT_EQ(chunk, bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    rig.finish();
    EXPECT_EQ(rig.raw(range), bytes({4, 3, 2, 1, 0, 0, 6, 5}));
}

TEST(DataSink, ChunkWidthChecks) {
    ImageRig rig;
    rig.load(section(".text", 0x0, 0x10));
    RomRange& range = rig.add_range(0x0, 0xFFFF, 3, 3, 0);
    rig.start();
    const std::string width = ">> INTERNAL ERROR: LOADBUFSIZE not a multiple of width\n";
    const std::string memwidth = ">> INTERNAL ERROR: LOADBUFSIZE not a multiple of memwidth\n";
    const std::string alignment = ">> INTERNAL ERROR:  LOADBUFSIZE not a mult. of boot.alignment\n";
    EXPECT_THROW(rig.load_chunk(".text", counting_bytes(0x10), 0x0), RunAbort);
    EXPECT_EQ(rig.err(), width);

    range.romwidth = 1;
    EXPECT_THROW(rig.load_chunk(".text", counting_bytes(0x10), 0x0), RunAbort);
    EXPECT_EQ(rig.err(), width + memwidth);

    range.memwidth = 4;
    EXPECT_THROW(rig.placement->check_load_buffer_widths(range, 3), RunAbort);
    EXPECT_EQ(rig.err(), width + memwidth + alignment);
    EXPECT_NO_THROW(rig.placement->check_load_buffer_widths(range, 4));
    EXPECT_EQ(rig.written(), std::vector<std::string>{});
}

}  // namespace
