// The ROMS directive and the completion of the memory configuration: range
// values, order, widths, fill, output files and their messages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cmdfile/roms.h"
#include "coff/coff.h"
#include "diag/common.h"
#include "diag/diag.h"
#include "formats/format_table.h"
#include "support/capture.h"
#include "support/harness.h"

using namespace coffhex;

namespace {

const std::string W = ">> WARNING: ";
const std::string E = ">>   ERROR: ";
const std::string F = ">> FATAL ERROR: ";

using Names = std::vector<std::string>;

// A memory configuration with its own diagnostics, completed with the
// settings' defaults: 8-bit ROMs, 32-bit memory, fill 0, the default
// format. Default output names show what they were asked for: file k of
// range i among n ranges is "di.k/n".
struct Rig {
    Rig() {
        defaults.min_width = hex_format(Format::Tektronix).min_width;
        defaults.chunk_size = LOADBUFSIZE;
        defaults.default_name = [](int range, int file, int ranges) {
            return "d" + std::to_string(range) + "." + std::to_string(file) + "/" +
                   std::to_string(ranges);
        };
    }

    // -image, for the ranges finished from now on and for the completion.
    void set_image(bool on) {
        image = on;
        defaults.image = on;
    }

    void finish_range() { memory.finish_range(image); }
    void finish_rom_ranges() { memory.finish_rom_ranges(defaults); }

    // A complete range item: name, then origin and length unless all ones.
    void define_range(const char* name, uint32_t origin, uint32_t length) {
        memory.new_range(name);
        if (origin != ALL_ONES) memory.set_origin(origin);
        if (length != ALL_ONES) memory.set_length(length);
        finish_range();
    }

    void define_range(const char* name, uint32_t origin, uint32_t length, uint32_t rom_bits,
                      uint32_t mem_bits, const std::vector<const char*>& files = {}) {
        memory.new_range(name);
        memory.set_origin(origin);
        memory.set_length(length);
        memory.set_romwidth(rom_bits);
        memory.set_memwidth(mem_bits);
        for (const char* file : files) memory.add_output_file(file);
        finish_range();
    }

    std::vector<const RomRange*> ranges() const {
        std::vector<const RomRange*> list;
        for (const RomRange* range = memory.first_range(); range != nullptr; range = range->next)
            list.push_back(range);
        return list;
    }

    // What was written to standard error since the previous call.
    std::string messages() {
        const std::string all = captured.err();
        const std::string fresh = all.substr(seen_);
        seen_ = all.size();
        return fresh;
    }

    testsupport::CapturedDiagnostics captured;
    MemoryConfig memory{captured.diag};
    RangeDefaults defaults;
    bool image = false;

private:
    size_t seen_ = 0;
};

class Roms : public ::testing::Test, public Rig {};

Names file_names(const RomRange& range) {
    Names names;
    for (const OutputFile& file : range.files) names.push_back(file.name);
    return names;
}

}  // namespace

// ---------------------------------------------------------------------------
// The default configuration.

TEST_F(Roms, DefaultRangeHasFourFiles) {
    finish_rom_ranges();
    EXPECT_EQ(messages(), "");

    ASSERT_EQ(memory.range_count(), 1);
    const RomRange& range = *memory.first_range();
    EXPECT_STREQ(range.name, "*DEFAULT*");
    EXPECT_EQ(range.next, nullptr);
    EXPECT_EQ(range.origin, 0u);
    EXPECT_EQ(range.end, 0xFFFFFFFFu);
    EXPECT_EQ(range.length, 0u);  // 2^32 addresses, modulo 2^32
    EXPECT_EQ(range.page, 0);
    EXPECT_EQ(range.romwidth, 1);
    EXPECT_EQ(range.memwidth, 4);
    EXPECT_FALSE(range.fill_given);
    EXPECT_EQ(range.fill, 0u);
    EXPECT_EQ(range.file_count, 4);
    EXPECT_EQ(file_names(range), (Names{"d0.0/1", "d0.1/1", "d0.2/1", "d0.3/1"}));
    EXPECT_EQ(memory.range_being_defined(), nullptr);
    EXPECT_EQ(captured.diag.worst_severity(), 0);
}

TEST_F(Roms, DefaultRangeTakesOptionWidthsAndFill) {
    defaults.min_width = hex_format(Format::Intel).min_width;
    defaults.rom_width = 2;
    defaults.mem_width = 2;
    defaults.fill = 0xDEADBEEF;
    finish_rom_ranges();
    const RomRange& range = *memory.first_range();
    EXPECT_EQ(range.romwidth, 2);
    EXPECT_EQ(range.memwidth, 2);
    EXPECT_EQ(range.fill, 0xDEADBEEFu);
    EXPECT_FALSE(range.fill_given);
    EXPECT_EQ(file_names(range), (Names{"d0.0/1"}));
}

TEST_F(Roms, DefaultRangeUnderImageIsAnError) {
    set_image(true);
    finish_rom_ranges();
    // The default range itself has origin and length, so only the missing
    // directive is reported.
    EXPECT_EQ(messages(), E + "-image requires ROMS directive\n");
    ASSERT_EQ(memory.range_count(), 1);
    EXPECT_STREQ(memory.first_range()->name, "*DEFAULT*");
    EXPECT_EQ(memory.first_range()->end, 0xFFFFFFFFu);
}

TEST_F(Roms, RangeCutShortIsNeverListed) {
    memory.begin_roms();
    memory.new_range("partial");
    memory.set_origin(0x100);
    // A syntax error ended the item: finish_range never ran.
    finish_rom_ranges();
    ASSERT_EQ(memory.range_count(), 1);
    EXPECT_STREQ(memory.first_range()->name, "*DEFAULT*");
}

// ---------------------------------------------------------------------------
// Origin, length and end.

TEST_F(Roms, RangeWithNeitherOriginNorLength) {
    memory.begin_roms();
    define_range("all", ALL_ONES, ALL_ONES);
    EXPECT_EQ(messages(), "");
    const RomRange& range = *memory.first_range();
    EXPECT_EQ(range.origin, 0u);
    EXPECT_EQ(range.end, 0xFFFFFFFFu);
    EXPECT_EQ(range.length, 0u);
}

TEST_F(Roms, MissingOriginAndLengthUnderImage) {
    set_image(true);
    memory.begin_roms();
    define_range("r1", ALL_ONES, ALL_ONES);
    memory.new_range("r2");
    memory.set_origin(0x1000);
    finish_range();
    EXPECT_EQ(messages(), E + "origin missing on r1 (required for -image)\n" + E +
                              "length missing on r1 (required for -image)\n" + E +
                              "length missing on r2 (required for -image)\n" + E +
                              // r1 runs to the top, so r2 starts inside it.
                              "memory ranges r1 and r2 out of order\n");
    const auto list = ranges();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->origin, 0u);
    EXPECT_EQ(list[0]->end, 0xFFFFFFFFu);
    // r2 runs to the top of the address space: 2^32 - 0x1000 addresses.
    EXPECT_EQ(list[1]->end, 0xFFFFFFFFu);
    EXPECT_EQ(list[1]->length, 0xFFFFF000u);
    EXPECT_EQ(list[1]->origin, 0x1000u);
}

TEST_F(Roms, LengthZero) {
    memory.begin_roms();
    // At origin 0 the end wraps to the top: the whole address space.
    define_range("whole", 0, 0);
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(memory.first_range()->end, 0xFFFFFFFFu);

    Rig other;
    other.memory.begin_roms();
    // At a nonzero origin the end is origin - 1; the range is kept.
    other.define_range("empty", 0x100, 0);
    EXPECT_EQ(other.messages(), E + "invalid length on empty\n");
    ASSERT_EQ(other.memory.range_count(), 1);
    EXPECT_EQ(other.memory.first_range()->end, 0xFFu);
    EXPECT_EQ(other.memory.first_range()->origin, 0x100u);
}

TEST_F(Roms, TopOfAddressSpace) {
    memory.begin_roms();
    define_range("top", 0xFFFFFF00u, 0x100);  // origin + length = 2^32
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(memory.first_range()->end, 0xFFFFFFFFu);

    Rig other;
    other.memory.begin_roms();
    other.define_range("over", 0xFFFFFF00u, 0x101);  // end wraps to 0
    EXPECT_EQ(other.messages(), E + "invalid length on over\n");
    EXPECT_EQ(other.memory.first_range()->end, 0u);
}

TEST_F(Roms, AllOnesWrittenCountsAsNotGiven) {
    memory.begin_roms();
    memory.new_range("r");
    memory.set_origin(ALL_ONES);
    memory.set_origin(0x40);  // no "redefined": all ones is "not given"
    memory.set_length(ALL_ONES);
    memory.set_length(0x40);
    finish_range();
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(memory.first_range()->origin, 0x40u);
    EXPECT_EQ(memory.first_range()->end, 0x7Fu);
}

// ---------------------------------------------------------------------------
// Order of ranges and directive state.

TEST_F(Roms, RangesInOrderAndOutOfOrder) {
    memory.begin_roms();
    define_range("r1", 0, 0x100);
    define_range("r2", 0xFF, 0x100);  // r1 ends at 0xFF: not greater than 0xFF
    EXPECT_EQ(messages(), "");

    Rig other;
    other.memory.begin_roms();
    other.define_range("r1", 0, 0x100);
    other.define_range("r2", 0xFE, 0x100);
    EXPECT_EQ(other.messages(), E + "memory ranges r1 and r2 out of order\n");
    EXPECT_EQ(other.memory.range_count(), 2);  // appended all the same
    EXPECT_STREQ(other.ranges()[1]->name, "r2");
}

TEST_F(Roms, PageOrderIsSignedAndComesFirst) {
    memory.begin_roms();
    memory.set_current_page(1);
    define_range("p1", 0, 0x10);
    memory.set_current_page(0);
    define_range("p0", 0x1000, 0x10);
    EXPECT_EQ(messages(), E + "memory ranges p1 and p0 out of order\n");

    Rig other;
    other.memory.begin_roms();
    other.memory.set_current_page(-1);
    other.define_range("neg", 0x1000, 0x10);
    other.memory.set_current_page(0);
    other.define_range("zero", 0, 0x10);
    EXPECT_EQ(other.messages(), "");
    EXPECT_EQ(other.ranges()[0]->page, -1);
    EXPECT_EQ(other.ranges()[1]->page, 0);
}

TEST_F(Roms, RomsRedefinedAppendsAndResetsPage) {
    memory.begin_roms();
    memory.set_current_page(3);
    define_range("a", 0, 0x10);
    EXPECT_EQ(messages(), "");
    memory.begin_roms();
    EXPECT_EQ(messages(), E + "ROMS directive redefined\n");
    define_range("b", 0x10, 0x10);
    // begin_roms put the page back to 0, so b (page 0) is out of order
    // behind a (page 3).
    EXPECT_EQ(messages(), E + "memory ranges a and b out of order\n");
    const auto list = ranges();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->page, 3);
    EXPECT_EQ(list[1]->page, 0);
}

TEST_F(Roms, AttributeOperationsNeedARangeBeingDefined) {
    memory.set_origin(1);
    memory.set_length(2);
    memory.set_romwidth(16);
    memory.set_memwidth(16);
    memory.set_fill(3);
    memory.add_output_file("x");
    finish_range();
    memory.begin_roms();
    memory.new_range("r");
    memory.begin_roms();  // no range is being defined any more
    memory.set_origin(5);
    finish_range();
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(memory.range_count(), 0);
    EXPECT_EQ(memory.first_range(), nullptr);
}

TEST_F(Roms, AttributesRedefined) {
    memory.begin_roms();
    memory.new_range("r");
    memory.set_origin(0x100);
    memory.set_origin(0x200);
    memory.set_length(0x10);
    memory.set_length(0x20);
    memory.set_romwidth(8);
    memory.set_romwidth(16);
    memory.set_memwidth(16);
    memory.set_memwidth(32);
    memory.set_fill(1);
    memory.set_fill(2);
    EXPECT_EQ(messages(), E + "origin redefined for r\n" + E + "length redefined for r\n" + E +
                              "width redefined for r\n" + E + "memory width redefined for r\n" +
                              E + "fill redefined for r\n");
    const RomRange& range = *memory.range_being_defined();
    EXPECT_EQ(range.origin_given, 0x200u);  // the later value wins
    EXPECT_EQ(range.length_given, 0x20u);
    EXPECT_EQ(range.romwidth_given, 2);
    EXPECT_EQ(range.memwidth_given, 4);
    EXPECT_TRUE(range.fill_given);
    EXPECT_EQ(range.fill_given, 2u);
}

TEST_F(Roms, NewRangeTakesCurrentPageAndNotGivenValues) {
    memory.begin_roms();
    memory.set_current_page(7);
    memory.new_range("r");
    const RomRange* range = memory.range_being_defined();
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->page, 7);
    EXPECT_FALSE(range->origin_given);
    EXPECT_EQ(range->end, ALL_ONES);
    EXPECT_FALSE(range->length_given);
    EXPECT_FALSE(range->romwidth_given);
    EXPECT_FALSE(range->memwidth_given);
    EXPECT_FALSE(range->fill_given);
    EXPECT_EQ(range->fill, 0u);
    EXPECT_EQ(range->file_count, 0);
    EXPECT_TRUE(range->files.empty());
    EXPECT_EQ(memory.first_range(), nullptr);  // not listed before finish_range
    finish_range();
    EXPECT_EQ(memory.first_range(), range);
    EXPECT_EQ(memory.range_being_defined(), nullptr);
}

TEST_F(Roms, LongRangeNameIsCutTo31Characters) {
    const char* name40 = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
    const std::string name31 = "abcdefghijklmnopqrstuvwxyz01234";
    memory.begin_roms();
    memory.new_range(name40);
    memory.set_origin(0);
    memory.set_origin(0);
    finish_range();
    EXPECT_EQ(messages(), E + "origin redefined for " + name31 + "\n");
    EXPECT_EQ(std::string(memory.first_range()->name), name31);
    // Compared as its first 31 characters: a second range of the same long
    // name is reported under the cut name.
    memory.new_range(name40);
    memory.set_origin(0);
    finish_range();
    EXPECT_EQ(messages(),
              E + "memory ranges " + name31 + " and\n            " + name31 + " out of order\n");
}

// ---------------------------------------------------------------------------
// Widths.

TEST_F(Roms, IllegalRomWidthsKeepTheDefault) {
    memory.begin_roms();
    memory.new_range("r12");
    memory.set_origin(0);
    memory.set_length(0x10);
    memory.set_romwidth(12);
    finish_range();
    memory.new_range("r24");
    memory.set_origin(0x10);
    memory.set_length(0x10);
    memory.set_romwidth(24);
    memory.set_romwidth(0);
    finish_range();
    EXPECT_EQ(messages(), W + "illegal width of 12 specified for r12\n" + W +
                              "illegal width of 24 specified for r24\n" + W +
                              "illegal width of 0 specified for r24\n");
    // 24 was refused, so giving 0 afterwards is no redefinition.
    EXPECT_FALSE(ranges()[0]->romwidth_given);
    EXPECT_FALSE(ranges()[1]->romwidth_given);
    finish_rom_ranges();
    EXPECT_EQ(ranges()[0]->romwidth, 1);  // the -romwidth default
    EXPECT_EQ(ranges()[1]->romwidth, 1);
}

TEST_F(Roms, MemoryWidthAboveTargetIsTaken) {
    memory.begin_roms();
    memory.new_range("wide");
    memory.set_memwidth(64);
    EXPECT_EQ(messages(), W + "memwidth(64) is greater than target width(32)\n");
    EXPECT_EQ(memory.range_being_defined()->memwidth_given, 8);
    memory.set_romwidth(8);
    finish_range();
    finish_rom_ranges();
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(memory.first_range()->file_count, 8);
    EXPECT_EQ(file_names(*memory.first_range()), (Names{"d0.0/1", "d0.1/1", "d0.2/1", "d0.3/1",
                                                        "d0.4/1", "d0.5/1", "d0.6/1", "d0.7/1"}));
}

TEST_F(Roms, IllegalMemoryWidths) {
    memory.begin_roms();
    memory.new_range("m");
    memory.set_memwidth(20);
    memory.set_memwidth(48);
    EXPECT_EQ(messages(), W + "illegal memory width of 20 specified for m\n" + W +
                              "memwidth(48) is greater than target width(32)\n" + W +
                              "illegal memory width of 48 specified for m\n");
    EXPECT_FALSE(memory.range_being_defined()->memwidth_given);
}

TEST_F(Roms, OptionWidthsOnlyWhereTheDirectiveGaveNone) {
    defaults.rom_width = 2;
    defaults.mem_width = 2;
    memory.begin_roms();
    define_range("given", 0, 0x100, 8, 32);
    define_range("defaulted", 0x100, 0x100);
    finish_rom_ranges();
    const auto list = ranges();
    EXPECT_EQ(list[0]->romwidth, 1);
    EXPECT_EQ(list[0]->memwidth, 4);
    EXPECT_EQ(list[1]->romwidth, 2);
    EXPECT_EQ(list[1]->memwidth, 2);
}

TEST_F(Roms, TaggedFormatRaisesWidthsTo16Bits) {
    defaults.min_width = hex_format(Format::Tagged).min_width;
    memory.begin_roms();
    define_range("r", 0, 0x100, 8, 8);
    finish_rom_ranges();
    EXPECT_EQ(messages(), "");
    const RomRange& range = *memory.first_range();
    EXPECT_EQ(range.romwidth, 2);
    EXPECT_EQ(range.memwidth, 2);
    EXPECT_EQ(file_names(range), (Names{"d0.0/1"}));
}

TEST_F(Roms, TaggedFormatDefaultRange) {
    defaults.min_width = hex_format(Format::Tagged).min_width;
    finish_rom_ranges();
    // ROM width 8 raised to 16, memory width 32 kept: two lanes.
    EXPECT_EQ(memory.first_range()->romwidth, 2);
    EXPECT_EQ(memory.first_range()->memwidth, 4);
    EXPECT_EQ(file_names(*memory.first_range()), (Names{"d0.0/1", "d0.1/1"}));
}

TEST_F(Roms, WidthsThatAreNotFactorsAreFatal) {
    // -romwidth 24 with the 32-bit default memory width.
    defaults.rom_width = 3;
    EXPECT_THROW(finish_rom_ranges(), RunAbort);
    EXPECT_EQ(messages(), F + "memwidth(32) not a factor of romwidth(24) (aborting)\n");

    Rig other;
    other.defaults.rom_width = 4;
    other.defaults.mem_width = 3;
    EXPECT_THROW(other.finish_rom_ranges(), RunAbort);
    EXPECT_EQ(other.messages(), F + "memwidth(24) not a factor of romwidth(32) (aborting)\n");
}

TEST_F(Roms, MoreThanEightFilesForOneRangeIsFatal) {
    // -memwidth 128 -romwidth 8: sixteen lanes, but the output stream table
    // has eight entries.
    defaults.mem_width = 16;
    EXPECT_THROW(finish_rom_ranges(), RunAbort);
    EXPECT_EQ(messages(), F + "*DEFAULT* needs 16 output files for memwidth(128) and\n" +
                              "                romwidth(8); at most 8 are supported (aborting)\n");
}

TEST_F(Roms, HugeDirectiveWidthsDoNotOverflow) {
    // 2^31 bits is a multiple of 8 and a power of two: 2^28 bytes. A ROM
    // that wide holds one file; placement refuses it at chunk time.
    memory.begin_roms();
    define_range("wide", 0, 0x100, 0x80000000u, 32);
    finish_rom_ranges();
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(memory.first_range()->romwidth, 0x10000000);
    EXPECT_EQ(memory.first_range()->file_count, 1);

    // The same as a memory width needs 2^28 files; the counts are shown in
    // bits without wrapping a 32-bit integer.
    Rig other;
    other.memory.begin_roms();
    other.define_range("huge", 0, 0x100, 8, 0x80000000u);
    EXPECT_EQ(other.messages(), W + "memwidth(2147483648) is greater than target width(32)\n");
    EXPECT_THROW(other.finish_rom_ranges(), RunAbort);
    EXPECT_EQ(other.messages(),
              F + "huge needs 268435456 output files for memwidth(2147483648) and\n" +
                  "                romwidth(8); at most 8 are supported (aborting)\n");
}

// ---------------------------------------------------------------------------
// Ranges that are not a whole number of memory words.

TEST_F(Roms, RangeLengthMustBeWholeMemoryWords) {
    memory.begin_roms();
    define_range("ok", 0, 0x100, 8, 32);
    define_range("odd", 0x100, 0x102, 8, 32);
    EXPECT_EQ(messages(), "");
    finish_rom_ranges();
    EXPECT_EQ(messages(),
              E + "length of odd (0102h) is not a multiple of its memory width (32\n" +
                  "            bits)\n");
    EXPECT_GT(captured.diag.worst_severity(), 2);  // the driver refuses the conversion
    EXPECT_EQ(ranges()[1]->file_count, 4);
}

TEST_F(Roms, UnalignedOpenEndedRangeIsRefused) {
    memory.begin_roms();
    memory.new_range("tail");
    memory.set_origin(0x101);
    finish_range();
    EXPECT_EQ(messages(), "");
    finish_rom_ranges();
    // 2^32 - 0x101 addresses: 0FFFFFEFFh, not a multiple of 4.
    EXPECT_EQ(messages(),
              E + "length of tail (0fffffeffh) is not a multiple of its memory width\n" +
                  "            (32 bits)\n");
}

TEST_F(Roms, LengthCheckLeavesOddWidthsToChunkTime) {
    // A 24-bit memory width does not divide the chunk size; placement
    // refuses it with its own internal error, not this check.
    defaults.mem_width = 3;
    finish_rom_ranges();
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(file_names(*memory.first_range()), (Names{"d0.0/1", "d0.1/1", "d0.2/1"}));
    // A range that already drew "invalid length" is not reported again.
    Rig other;
    other.memory.begin_roms();
    other.define_range("bad", 0x100, 0);
    other.finish_rom_ranges();
    EXPECT_EQ(other.messages(), E + "invalid length on bad\n");
}

// ---------------------------------------------------------------------------
// Output files.

TEST_F(Roms, NotEnoughFilesTakesOutputNames) {
    defaults.output_names = {"o1.hex", "o2.hex", "o3.hex"};
    memory.begin_roms();
    define_range("r", 0, 0x100, 8, 32, {"a", "b"});
    finish_rom_ranges();
    // The left-over o3.hex stays unused and unreported.
    EXPECT_EQ(messages(), E + "not enough output files for r (2 given, 4 needed)\n");
    EXPECT_EQ(file_names(*memory.first_range()), (Names{"a", "b", "o1.hex", "o2.hex"}));
    EXPECT_EQ(memory.first_range()->file_count, 4);
    EXPECT_EQ(memory.first_range()->next, nullptr);
}

TEST_F(Roms, NotEnoughFilesTakesDefaultNames) {
    memory.begin_roms();
    define_range("r", 0, 0x100, 8, 32, {"a", "b"});
    finish_rom_ranges();
    EXPECT_EQ(messages(), E + "not enough output files for r (2 given, 4 needed)\n");
    EXPECT_EQ(file_names(*memory.first_range()), (Names{"a", "b", "d0.2/1", "d0.3/1"}));
}

TEST_F(Roms, TooManyFilesAreIgnored) {
    memory.begin_roms();
    define_range("r", 0, 0x100, 32, 16, {"f1", "f2", "f3"});
    finish_rom_ranges();
    EXPECT_EQ(messages(), W + "too many output files for r (3 given, 1 used)\n");
    EXPECT_EQ(memory.first_range()->file_count, 1);
    EXPECT_EQ(file_names(*memory.first_range()), (Names{"f1"}));
}

TEST_F(Roms, OutputNamesAreConsumedAcrossRanges) {
    defaults.output_names = {"o1", "o2", "o3", "o4"};
    memory.begin_roms();
    define_range("r1", 0, 0x100, 16, 32, {"a"});  // 2 needed: a, o1
    define_range("r2", 0x100, 0x100, 8, 16);      // 2 needed: o2, o3
    define_range("r3", 0x200, 0x100, 16, 16);     // 1 needed: o4
    define_range("r4", 0x300, 0x100, 8, 16);      // 2 needed: defaults
    finish_rom_ranges();
    EXPECT_EQ(messages(), E + "not enough output files for r1 (1 given, 2 needed)\n");
    const auto list = ranges();
    EXPECT_EQ(file_names(*list[0]), (Names{"a", "o1"}));
    EXPECT_EQ(file_names(*list[1]), (Names{"o2", "o3"}));
    EXPECT_EQ(file_names(*list[2]), (Names{"o4"}));
    // Default names are asked for by range, file and number of ranges.
    EXPECT_EQ(file_names(*list[3]), (Names{"d3.0/4", "d3.1/4"}));
}

// The default names the conversion gives: the input file's base name in the
// current directory, the format's letter, then the file digit (one range)
// or the range digits and the file digit (several ranges).
TEST(RomsProgram, DefaultOutputNames) {
    using testsupport::list_files;
    using testsupport::run_coffhex;
    using testsupport::RunResult;
    using testsupport::TempDir;
    using testsupport::write_coff;
    const std::string program = "section .text paddr=0\n  bytes 12 34 56 78\n";
    {
        TempDir dir;
        write_coff(dir.file("app.rev.out"), program);
        const RunResult r = run_coffhex({"-q", "-i", "-memwidth", "16", "app.rev.out"}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(list_files(dir.path()), (Names{"app.i0", "app.i1", "app.rev.out"}));
    }
    {
        TempDir dir;
        write_coff(dir.file("c:\\in\\prog.cof"), program);
        const RunResult r =
            run_coffhex({"-q", "-i", "-memwidth", "16", "c:\\in\\prog.cof"}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(list_files(dir.path()), (Names{"c:\\in\\prog.cof", "prog.i0", "prog.i1"}));
    }
    {
        TempDir dir;
        ASSERT_EQ(std::system(("mkdir -p " + dir.file("build/out")).c_str()), 0);
        write_coff(dir.file("build/out/fw.out"), program);
        const RunResult r =
            run_coffhex({"-q", "-b", "build/out/fw.out"}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(list_files(dir.path()), (Names{"fw.b0"}));
    }
    {
        // Twelve ranges, data in the first and the last: no separator and no
        // leading zeros, so file 2 of range 11 is app.i112.
        TempDir dir;
        write_coff(dir.file("app.out"),
                   program + "section .last paddr=0xB00\n  bytes 9A BC DE F0\n");
        std::string commands = "ROMS {\n";
        for (int i = 0; i < 12; ++i)
            commands += "  r" + std::to_string(i) + ": origin " + std::to_string(i * 0x100) +
                        ", length 0x100\n";
        testsupport::write_text(dir.file("ranges.cmd"), commands + "}\n");
        const RunResult r = run_coffhex({"-q", "-i", "ranges.cmd", "app"}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(list_files(dir.path()),
                  (Names{"app.i00", "app.i01", "app.i02", "app.i03", "app.i110", "app.i111",
                         "app.i112", "app.i113", "app.out", "ranges.cmd"}));
    }
}

// ---------------------------------------------------------------------------
// Fill.

TEST_F(Roms, FillFromDirectiveOrOption) {
    defaults.fill = 0x55;
    memory.begin_roms();
    memory.new_range("given");
    memory.set_origin(0);
    memory.set_length(0x100);
    memory.set_fill(0);
    finish_range();
    define_range("defaulted", 0x100, 0x100);
    finish_rom_ranges();
    const auto list = ranges();
    EXPECT_TRUE(list[0]->fill_given);
    EXPECT_EQ(list[0]->fill, 0u);
    EXPECT_FALSE(list[1]->fill_given);
    EXPECT_EQ(list[1]->fill, 0x55u);
}
