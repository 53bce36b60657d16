#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"
#include "image/section_list.h"

using namespace coffhex;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const std::string W = ">> WARNING: ";
const std::string E = ">>   ERROR: ";
const std::string F = ">> FATAL ERROR: ";

class Roms : public ::testing::Test {
protected:
    void SetUp() override {
        reset_options();  // every setting and every subsystem's run state
        set_coff_file_name("app.out");
    }
};

// A complete range item: name, then origin and length unless all ones.
void define_range(const char* name, uint32_t origin, uint32_t length) {
    new_range(name);
    if (origin != ALL_ONES) set_origin(origin);
    if (length != ALL_ONES) set_length(length);
    finish_range();
}

void define_range(const char* name, uint32_t origin, uint32_t length, uint32_t rom_bits,
                  uint32_t mem_bits, const std::vector<const char*>& files = {}) {
    new_range(name);
    set_origin(origin);
    set_length(length);
    set_romwidth(rom_bits);
    set_memwidth(mem_bits);
    for (const char* file : files) add_output_file(file);
    finish_range();
}

std::vector<std::string> file_names(const RomRange& range) {
    std::vector<std::string> names;
    for (const OutputFile& file : range.files) names.push_back(file.name);
    return names;
}

std::vector<const RomRange*> all_ranges() {
    std::vector<const RomRange*> ranges;
    for (const RomRange* range = first_range(); range != nullptr; range = range->next) {
        ranges.push_back(range);
    }
    return ranges;
}

using Names = std::vector<std::string>;

}  // namespace

// ---------------------------------------------------------------------------
// The default configuration.

TEST_F(Roms, DefaultRangeTektronixFourFiles) {
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), "");

    ASSERT_EQ(range_count(), 1);
    const RomRange& range = *first_range();
    EXPECT_STREQ(range.name, "*DEFAULT*");
    EXPECT_EQ(range.next, nullptr);
    EXPECT_EQ(range.origin, 0u);
    EXPECT_EQ(range.end, 0xFFFFFFFFu);
    EXPECT_EQ(range.length, 0u);  // 2^32 addresses, modulo 2^32
    EXPECT_EQ(range.address, 0u);
    EXPECT_EQ(range.page, 0);
    EXPECT_EQ(range.romwidth, 1);
    EXPECT_EQ(range.memwidth, 4);
    EXPECT_FALSE(range.fill_given);
    EXPECT_EQ(range.fill, 0u);
    EXPECT_FALSE(range.open);
    EXPECT_EQ(range.file_count, 4);
    EXPECT_EQ(file_names(range), (Names{"app.x0", "app.x1", "app.x2", "app.x3"}));
    EXPECT_EQ(range_being_defined(), nullptr);
    EXPECT_EQ(worst_severity(), 0);
}

TEST_F(Roms, DefaultRangeTakesOptionWidthsFillAndFormat) {
    options().format = FMT_INTEL;
    options().rom_width = 2;
    options().mem_width = 2;
    options().fill_value = 0xDEADBEEF;
    finish_rom_ranges();
    const RomRange& range = *first_range();
    EXPECT_EQ(range.romwidth, 2);
    EXPECT_EQ(range.memwidth, 2);
    EXPECT_EQ(range.fill, 0xDEADBEEFu);
    EXPECT_FALSE(range.fill_given);
    EXPECT_EQ(file_names(range), (Names{"app.i0"}));
}

TEST_F(Roms, DefaultRangeUnderImageIsAnError) {
    options().image = true;
    CaptureStderr();
    finish_rom_ranges();
    // The default range itself has origin and length, so only the missing
    // directive is reported.
    EXPECT_EQ(GetCapturedStderr(), E + "-image requires ROMS directive\n");
    ASSERT_EQ(range_count(), 1);
    EXPECT_STREQ(first_range()->name, "*DEFAULT*");
    EXPECT_EQ(first_range()->end, 0xFFFFFFFFu);
}

TEST_F(Roms, RangeCutShortIsNeverListed) {
    begin_roms();
    new_range("partial");
    set_origin(0x100);
    // A syntax error ended the item: finish_range never ran.
    finish_rom_ranges();
    ASSERT_EQ(range_count(), 1);
    EXPECT_STREQ(first_range()->name, "*DEFAULT*");
}

// ---------------------------------------------------------------------------
// Origin, length and end.

TEST_F(Roms, RangeWithNeitherOriginNorLength) {
    CaptureStderr();
    begin_roms();
    define_range("all", ALL_ONES, ALL_ONES);
    EXPECT_EQ(GetCapturedStderr(), "");
    const RomRange& range = *first_range();
    EXPECT_EQ(range.origin, 0u);
    EXPECT_EQ(range.end, 0xFFFFFFFFu);
    EXPECT_EQ(range.length, 0u);
    EXPECT_EQ(range.address, 0u);
}

TEST_F(Roms, MissingOriginAndLengthUnderImage) {
    options().image = true;
    CaptureStderr();
    begin_roms();
    define_range("r1", ALL_ONES, ALL_ONES);
    new_range("r2");
    set_origin(0x1000);
    finish_range();
    EXPECT_EQ(GetCapturedStderr(), E + "origin missing on r1 (required for -image)\n" + E +
                                       "length missing on r1 (required for -image)\n" + E +
                                       "length missing on r2 (required for -image)\n" + E +
                                       // r1 runs to the top, so r2 starts inside it.
                                       "memory ranges r1 and r2 out of order\n");
    const auto ranges = all_ranges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0]->origin, 0u);
    EXPECT_EQ(ranges[0]->end, 0xFFFFFFFFu);
    // r2 runs to the top of the address space: 2^32 - 0x1000 addresses.
    EXPECT_EQ(ranges[1]->end, 0xFFFFFFFFu);
    EXPECT_EQ(ranges[1]->length, 0xFFFFF000u);
    EXPECT_EQ(ranges[1]->address, 0x1000u);
}

TEST_F(Roms, LengthZero) {
    begin_roms();
    CaptureStderr();
    // At origin 0 the end wraps to the top: the whole address space.
    define_range("whole", 0, 0);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(first_range()->end, 0xFFFFFFFFu);

    reset_roms();
    begin_roms();
    CaptureStderr();
    // At a nonzero origin the end is origin - 1; the range is kept.
    define_range("empty", 0x100, 0);
    EXPECT_EQ(GetCapturedStderr(), E + "invalid length on empty\n");
    ASSERT_EQ(range_count(), 1);
    EXPECT_EQ(first_range()->end, 0xFFu);
    EXPECT_EQ(first_range()->address, 0x100u);
}

TEST_F(Roms, TopOfAddressSpace) {
    begin_roms();
    CaptureStderr();
    define_range("top", 0xFFFFFF00u, 0x100);  // origin + length = 2^32
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(first_range()->end, 0xFFFFFFFFu);

    reset_roms();
    begin_roms();
    CaptureStderr();
    define_range("over", 0xFFFFFF00u, 0x101);  // end wraps to 0
    EXPECT_EQ(GetCapturedStderr(), E + "invalid length on over\n");
    EXPECT_EQ(first_range()->end, 0u);
}

TEST_F(Roms, AllOnesWrittenCountsAsNotGiven) {
    begin_roms();
    new_range("r");
    set_origin(ALL_ONES);
    CaptureStderr();
    set_origin(0x40);  // no "redefined": all ones is "not given"
    set_length(ALL_ONES);
    set_length(0x40);
    finish_range();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(first_range()->origin, 0x40u);
    EXPECT_EQ(first_range()->end, 0x7Fu);
}

// ---------------------------------------------------------------------------
// Order of ranges and directive state.

TEST_F(Roms, RangesInOrderAndOutOfOrder) {
    begin_roms();
    CaptureStderr();
    define_range("r1", 0, 0x100);
    define_range("r2", 0xFF, 0x100);  // r1 ends at 0xFF: not greater than 0xFF
    EXPECT_EQ(GetCapturedStderr(), "");

    reset_roms();
    begin_roms();
    CaptureStderr();
    define_range("r1", 0, 0x100);
    define_range("r2", 0xFE, 0x100);
    EXPECT_EQ(GetCapturedStderr(), E + "memory ranges r1 and r2 out of order\n");
    EXPECT_EQ(range_count(), 2);  // appended all the same
    EXPECT_STREQ(all_ranges()[1]->name, "r2");
}

TEST_F(Roms, PageOrderIsSignedAndComesFirst) {
    begin_roms();
    CaptureStderr();
    set_current_page(1);
    define_range("p1", 0, 0x10);
    set_current_page(0);
    define_range("p0", 0x1000, 0x10);
    EXPECT_EQ(GetCapturedStderr(), E + "memory ranges p1 and p0 out of order\n");

    reset_roms();
    begin_roms();
    CaptureStderr();
    set_current_page(-1);
    define_range("neg", 0x1000, 0x10);
    set_current_page(0);
    define_range("zero", 0, 0x10);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(all_ranges()[0]->page, -1);
    EXPECT_EQ(all_ranges()[1]->page, 0);
}

TEST_F(Roms, RomsRedefinedAppendsAndResetsPage) {
    begin_roms();
    set_current_page(3);
    define_range("a", 0, 0x10);
    CaptureStderr();
    begin_roms();
    EXPECT_EQ(GetCapturedStderr(), E + "ROMS directive redefined\n");
    define_range("b", 0x10, 0x10);
    // begin_roms put the page back to 0, so b (page 0) is out of order
    // behind a (page 3).
    const auto ranges = all_ranges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0]->page, 3);
    EXPECT_EQ(ranges[1]->page, 0);
}

TEST_F(Roms, AttributeOperationsNeedARangeBeingDefined) {
    CaptureStderr();
    set_origin(1);
    set_length(2);
    set_romwidth(16);
    set_memwidth(16);
    set_fill(3);
    add_output_file("x");
    finish_range();
    begin_roms();
    new_range("r");
    begin_roms();  // no range is being defined any more
    set_origin(5);
    finish_range();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(range_count(), 0);
    EXPECT_EQ(first_range(), nullptr);
}

TEST_F(Roms, AttributesRedefined) {
    begin_roms();
    new_range("r");
    CaptureStderr();
    set_origin(0x100);
    set_origin(0x200);
    set_length(0x10);
    set_length(0x20);
    set_romwidth(8);
    set_romwidth(16);
    set_memwidth(16);
    set_memwidth(32);
    set_fill(1);
    set_fill(2);
    EXPECT_EQ(GetCapturedStderr(), E + "origin redefined for r\n" + E + "length redefined for r\n" +
                                       E + "width redefined for r\n" + E +
                                       "memory width redefined for r\n" + E +
                                       "fill redefined for r\n");
    const RomRange& range = *range_being_defined();
    EXPECT_EQ(range.origin, 0x200u);  // the later value wins
    EXPECT_EQ(range.length, 0x20u);
    EXPECT_EQ(range.romwidth, 2);
    EXPECT_EQ(range.memwidth, 4);
    EXPECT_TRUE(range.fill_given);
    EXPECT_EQ(range.fill, 2u);
}

TEST_F(Roms, NewRangeTakesCurrentPageAndNotGivenValues) {
    begin_roms();
    set_current_page(7);
    new_range("r");
    const RomRange* range = range_being_defined();
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->page, 7);
    EXPECT_EQ(range->origin, ALL_ONES);
    EXPECT_EQ(range->end, ALL_ONES);
    EXPECT_EQ(range->length, ALL_ONES);
    EXPECT_EQ(range->romwidth, -1);
    EXPECT_EQ(range->memwidth, -1);
    EXPECT_FALSE(range->fill_given);
    EXPECT_EQ(range->fill, 0u);
    EXPECT_EQ(range->file_count, 0);
    EXPECT_TRUE(range->files.empty());
    EXPECT_FALSE(range->open);
    EXPECT_EQ(first_range(), nullptr);  // not listed before finish_range
    finish_range();
    EXPECT_EQ(first_range(), range);
    EXPECT_EQ(range_being_defined(), nullptr);
}

TEST_F(Roms, LongRangeNameIsCutTo31Characters) {
    const char* name40 = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
    const std::string name31 = "abcdefghijklmnopqrstuvwxyz01234";
    begin_roms();
    new_range(name40);
    CaptureStderr();
    set_origin(0);
    set_origin(0);
    finish_range();
    EXPECT_EQ(GetCapturedStderr(), E + "origin redefined for " + name31 + "\n");
    EXPECT_EQ(std::string(first_range()->name), name31);
    // Compared as its first 31 characters: a second range of the same long
    // name is reported under the cut name.
    CaptureStderr();
    new_range(name40);
    set_origin(0);
    finish_range();
    EXPECT_EQ(GetCapturedStderr(),
              E + "memory ranges " + name31 + " and\n            " + name31 + " out of order\n");
}

// ---------------------------------------------------------------------------
// Widths.

TEST_F(Roms, IllegalRomWidthsKeepTheDefault) {
    begin_roms();
    CaptureStderr();
    new_range("r12");
    set_origin(0);
    set_length(0x10);
    set_romwidth(12);
    finish_range();
    new_range("r24");
    set_origin(0x10);
    set_length(0x10);
    set_romwidth(24);
    set_romwidth(0);
    finish_range();
    EXPECT_EQ(GetCapturedStderr(), W + "illegal width of 12 specified for r12\n" + W +
                                       "illegal width of 24 specified for r24\n" + W +
                                       "illegal width of 0 specified for r24\n");
    // 24 was refused, so giving 0 afterwards is no redefinition.
    EXPECT_EQ(first_range()->romwidth, -1);
    EXPECT_EQ(all_ranges()[1]->romwidth, -1);
    finish_rom_ranges();
    EXPECT_EQ(first_range()->romwidth, 1);  // the -romwidth default
    EXPECT_EQ(all_ranges()[1]->romwidth, 1);
}

TEST_F(Roms, MemoryWidthAboveTargetIsTaken) {
    begin_roms();
    new_range("wide");
    CaptureStderr();
    set_memwidth(64);
    EXPECT_EQ(GetCapturedStderr(), W + "memwidth(64) is greater than target width(32)\n");
    EXPECT_EQ(range_being_defined()->memwidth, 8);
    set_romwidth(8);
    finish_range();
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(first_range()->file_count, 8);
    EXPECT_EQ(file_names(*first_range()), (Names{"app.x0", "app.x1", "app.x2", "app.x3", "app.x4",
                                                 "app.x5", "app.x6", "app.x7"}));
}

TEST_F(Roms, IllegalMemoryWidths) {
    begin_roms();
    new_range("m");
    CaptureStderr();
    set_memwidth(20);
    set_memwidth(48);
    EXPECT_EQ(GetCapturedStderr(), W + "illegal memory width of 20 specified for m\n" + W +
                                       "memwidth(48) is greater than target width(32)\n" + W +
                                       "illegal memory width of 48 specified for m\n");
    EXPECT_EQ(range_being_defined()->memwidth, -1);
}

TEST_F(Roms, OptionWidthsOnlyWhereTheDirectiveGaveNone) {
    options().rom_width = 2;
    options().mem_width = 2;
    begin_roms();
    define_range("given", 0, 0x100, 8, 32);
    define_range("defaulted", 0x100, 0x100);
    finish_rom_ranges();
    const auto ranges = all_ranges();
    EXPECT_EQ(ranges[0]->romwidth, 1);
    EXPECT_EQ(ranges[0]->memwidth, 4);
    EXPECT_EQ(ranges[1]->romwidth, 2);
    EXPECT_EQ(ranges[1]->memwidth, 2);
}

TEST_F(Roms, TaggedFormatRaisesWidthsTo16Bits) {
    options().format = FMT_TAGGED;
    begin_roms();
    define_range("r", 0, 0x100, 8, 8);
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), "");
    const RomRange& range = *first_range();
    EXPECT_EQ(range.romwidth, 2);
    EXPECT_EQ(range.memwidth, 2);
    EXPECT_EQ(file_names(range), (Names{"app.t0"}));
}

TEST_F(Roms, TaggedFormatDefaultRange) {
    options().format = FMT_TAGGED;
    finish_rom_ranges();
    // ROM width 8 raised to 16, memory width 32 kept: two lanes.
    EXPECT_EQ(first_range()->romwidth, 2);
    EXPECT_EQ(first_range()->memwidth, 4);
    EXPECT_EQ(file_names(*first_range()), (Names{"app.t0", "app.t1"}));
}

TEST_F(Roms, WidthsThatAreNotFactorsAreFatal) {
    // -romwidth 24 with the 32-bit default memory width.
    options().rom_width = 3;
    CaptureStderr();
    EXPECT_THROW(finish_rom_ranges(), RunAbort);
    EXPECT_EQ(GetCapturedStderr(), F + "memwidth(32) not a factor of romwidth(24) (aborting)\n");

    reset_roms();
    options().rom_width = 4;
    options().mem_width = 3;
    CaptureStderr();
    EXPECT_THROW(finish_rom_ranges(), RunAbort);
    EXPECT_EQ(GetCapturedStderr(), F + "memwidth(24) not a factor of romwidth(32) (aborting)\n");
}

TEST_F(Roms, MoreThanEightFilesForOneRangeIsFatal) {
    // -memwidth 128 -romwidth 8: sixteen lanes, but the output stream table
    // has eight entries.
    options().mem_width = 16;
    CaptureStderr();
    EXPECT_THROW(finish_rom_ranges(), RunAbort);
    EXPECT_EQ(GetCapturedStderr(),
              F + "*DEFAULT* needs 16 output files for memwidth(128) and\n" +
                  "                romwidth(8); at most 8 are supported (aborting)\n");
}

TEST_F(Roms, HugeDirectiveWidthsDoNotOverflow) {
    // 2^31 bits is a multiple of 8 and a power of two: 2^28 bytes. A ROM
    // that wide holds one file; placement refuses it at chunk time.
    begin_roms();
    define_range("wide", 0, 0x100, 0x80000000u, 32);
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(first_range()->romwidth, 0x10000000);
    EXPECT_EQ(first_range()->file_count, 1);

    // The same as a memory width needs 2^28 files; the counts are shown in
    // bits without wrapping a 32-bit integer.
    reset_roms();
    begin_roms();
    CaptureStderr();
    define_range("huge", 0, 0x100, 8, 0x80000000u);
    EXPECT_EQ(GetCapturedStderr(), W + "memwidth(2147483648) is greater than target width(32)\n");
    CaptureStderr();
    EXPECT_THROW(finish_rom_ranges(), RunAbort);
    EXPECT_EQ(GetCapturedStderr(),
              F + "huge needs 268435456 output files for memwidth(2147483648) and\n" +
                  "                romwidth(8); at most 8 are supported (aborting)\n");
}

// ---------------------------------------------------------------------------
// Ranges that are not a whole number of memory words.

TEST_F(Roms, RangeLengthMustBeWholeMemoryWords) {
    begin_roms();
    define_range("ok", 0, 0x100, 8, 32);
    define_range("odd", 0x100, 0x102, 8, 32);
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(),
              E + "length of odd (0102h) is not a multiple of its memory width (32\n" +
                  "            bits)\n");
    EXPECT_GT(worst_severity(), 2);  // the driver refuses the conversion
    EXPECT_EQ(all_ranges()[1]->file_count, 4);
}

TEST_F(Roms, UnalignedOpenEndedRangeIsRefused) {
    begin_roms();
    new_range("tail");
    set_origin(0x101);
    finish_range();
    CaptureStderr();
    finish_rom_ranges();
    // 2^32 - 0x101 addresses: 0FFFFFEFFh, not a multiple of 4.
    EXPECT_EQ(GetCapturedStderr(),
              E + "length of tail (0fffffeffh) is not a multiple of its memory width\n" +
                  "            (32 bits)\n");
}

TEST_F(Roms, LengthCheckLeavesOddWidthsToChunkTime) {
    // A 24-bit memory width does not divide the chunk size; placement
    // refuses it with its own internal error, not this check.
    options().mem_width = 3;
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(file_names(*first_range()), (Names{"app.x0", "app.x1", "app.x2"}));
    // A range that already drew "invalid length" is not reported again.
    reset_roms();
    begin_roms();
    CaptureStderr();
    define_range("bad", 0x100, 0);
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), E + "invalid length on bad\n");
}

// ---------------------------------------------------------------------------
// Output files.

TEST_F(Roms, NotEnoughFilesTakesOutputNames) {
    options().output_names = {"o1.hex", "o2.hex", "o3.hex"};
    begin_roms();
    define_range("r", 0, 0x100, 8, 32, {"a", "b"});
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), E + "not enough output files for r (2 given, 4 needed)\n");
    EXPECT_EQ(file_names(*first_range()), (Names{"a", "b", "o1.hex", "o2.hex"}));
    EXPECT_EQ(first_range()->file_count, 4);
    // Left-over names stay unused and unreported.
    EXPECT_EQ(options().output_names, (std::deque<std::string>{"o3.hex"}));
}

TEST_F(Roms, NotEnoughFilesTakesDefaultNames) {
    begin_roms();
    define_range("r", 0, 0x100, 8, 32, {"a", "b"});
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), E + "not enough output files for r (2 given, 4 needed)\n");
    EXPECT_EQ(file_names(*first_range()), (Names{"a", "b", "app.x2", "app.x3"}));
}

TEST_F(Roms, TooManyFilesAreIgnored) {
    begin_roms();
    define_range("r", 0, 0x100, 32, 16, {"f1", "f2", "f3"});
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), W + "too many output files for r (3 given, 1 used)\n");
    EXPECT_EQ(first_range()->file_count, 1);
    EXPECT_EQ(file_names(*first_range()), (Names{"f1"}));
}

TEST_F(Roms, OutputNamesAreConsumedAcrossRanges) {
    options().output_names = {"o1", "o2", "o3", "o4"};
    begin_roms();
    define_range("r1", 0, 0x100, 16, 32, {"a"});  // 2 needed: a, o1
    define_range("r2", 0x100, 0x100, 8, 16);      // 2 needed: o2, o3
    define_range("r3", 0x200, 0x100, 16, 16);     // 1 needed: o4
    define_range("r4", 0x300, 0x100, 8, 16);      // 2 needed: defaults
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), E + "not enough output files for r1 (1 given, 2 needed)\n");
    const auto ranges = all_ranges();
    EXPECT_EQ(file_names(*ranges[0]), (Names{"a", "o1"}));
    EXPECT_EQ(file_names(*ranges[1]), (Names{"o2", "o3"}));
    EXPECT_EQ(file_names(*ranges[2]), (Names{"o4"}));
    // Several ranges: range digits then file digits.
    EXPECT_EQ(file_names(*ranges[3]), (Names{"app.x30", "app.x31"}));
    EXPECT_TRUE(options().output_names.empty());
}

TEST_F(Roms, DefaultNamesForSeveralRanges) {
    options().format = FMT_INTEL;
    begin_roms();
    for (int i = 0; i < 12; ++i) {
        const std::string name = "r" + std::to_string(i);
        define_range(name.c_str(), static_cast<uint32_t>(i) * 0x100, 0x100);
    }
    finish_rom_ranges();
    const auto ranges = all_ranges();
    ASSERT_EQ(ranges.size(), 12u);
    EXPECT_EQ(file_names(*ranges[0]), (Names{"app.i00", "app.i01", "app.i02", "app.i03"}));
    EXPECT_EQ(file_names(*ranges[1]), (Names{"app.i10", "app.i11", "app.i12", "app.i13"}));
    // No separator and no leading zeros: range 11 file 2 is app.i112.
    EXPECT_EQ(file_names(*ranges[11]), (Names{"app.i110", "app.i111", "app.i112", "app.i113"}));
}

TEST_F(Roms, DefaultNamesUseTheInputBaseName) {
    options().format = FMT_INTEL;
    options().mem_width = 2;
    set_coff_file_name("app.rev.out");
    finish_rom_ranges();
    EXPECT_EQ(file_names(*first_range()), (Names{"app.i0", "app.i1"}));

    // The directory is dropped: the files go to the current directory.
    reset_roms();
    set_coff_file_name("c:\\in\\prog.cof");
    finish_rom_ranges();
    EXPECT_EQ(file_names(*first_range()), (Names{"prog.i0", "prog.i1"}));

    reset_roms();
    options().format = FMT_BINARY;
    set_coff_file_name("build/out/fw.out");
    finish_rom_ranges();
    EXPECT_EQ(file_names(*first_range()), (Names{"fw.b0", "fw.b1"}));
}

// ---------------------------------------------------------------------------
// Fill and -zero.

TEST_F(Roms, FillFromDirectiveOrOption) {
    options().fill_value = 0x55;
    begin_roms();
    new_range("given");
    set_origin(0);
    set_length(0x100);
    set_fill(0);
    finish_range();
    define_range("defaulted", 0x100, 0x100);
    finish_rom_ranges();
    const auto ranges = all_ranges();
    EXPECT_TRUE(ranges[0]->fill_given);
    EXPECT_EQ(ranges[0]->fill, 0u);
    EXPECT_FALSE(ranges[1]->fill_given);
    EXPECT_EQ(ranges[1]->fill, 0x55u);
}

TEST_F(Roms, ZeroRequiresImage) {
    options().zero_based = true;
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), W + "-zero requires -image: ignored\n");
    EXPECT_FALSE(options().zero_based);

    reset_roms();
    options().zero_based = true;
    options().image = true;
    begin_roms();
    define_range("r", 0, 0x100);
    CaptureStderr();
    finish_rom_ranges();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_TRUE(options().zero_based);
}

TEST_F(Roms, ResetClearsEverything) {
    begin_roms();
    set_current_page(2);
    define_range("r", 0, 0x100);
    new_range("pending");
    reset_roms();
    EXPECT_EQ(first_range(), nullptr);
    EXPECT_EQ(range_count(), 0);
    EXPECT_EQ(range_being_defined(), nullptr);
    new_range("fresh");
    EXPECT_EQ(range_being_defined()->page, 0);
}
