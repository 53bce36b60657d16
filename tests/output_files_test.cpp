// Width splitting and output files: byte order, lane assignment, new
// addresses, -zero, -byte, the record writers' settings, opening, flushing,
// closing and abandoning real files, and the refused writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_fixture.h"

using namespace imagetest;

namespace {

// Puts whole memory words into the byte order of `rig`'s settings and
// `range`'s widths (data words of one byte) and writes them at `address`,
// as placement does.
void put_at(ImageRig& rig, const RomRange& range, uint32_t address, Bytes data,
            bool big_endian_input = false) {
    ByteOrder order;
    order.romwidth = range.romwidth;
    order.memwidth = range.memwidth;
    order.order = rig.order;
    order.big_endian_input = big_endian_input;
    apply_byte_order(data.data(), static_cast<uint32_t>(data.size()), order);
    rig.output->write_range_data(range, address, data.data(), static_cast<uint32_t>(data.size()), 0, -1);
}

// The same right behind the data written last (from the range's origin
// when its files are not open yet).
void put(ImageRig& rig, const RomRange& range, Bytes data, bool big_endian_input = false) {
    const uint32_t address = rig.output->files_open(range) ? rig.output->next_address() : range.origin;
    put_at(rig, range, address, std::move(data), big_endian_input);
}

void close(ImageRig& rig, RomRange& range) {
    rig.output->close_range_files(range);
    rig.output->put_files_in_place();
}

// ---------------------------------------------------------------------------
// Byte order and lanes

TEST(OutputFiles, LanesHoldTheSameBitsWhateverTheOrder) {
    // The words 0x44332211 and 0x88776655: file i holds bits i*8..i*8+7 of
    // every word. Ending the records between the words shows each word's
    // address in every file.
    auto lanes = [](int order, bool big_endian, const Bytes& first, const Bytes& second) {
        ImageRig rig;
        rig.order = order;
        RomRange& range = rig.add_range(0x0, 0xFF, 4, 1);
        rig.start_output();
        put(rig, range, first, big_endian);
        rig.output->flush_range_files(range);
        put(rig, range, second, big_endian);
        close(rig, range);
        std::vector<std::string> texts;
        for (int k = 0; k < 4; ++k) texts.push_back(rig.text(range, k));
        return texts;
    };
    const std::vector<std::string> expected{
        debug_file(debug_line(0x0, "11") + debug_line(0x4, "55")),
        debug_file(debug_line(0x0, "22") + debug_line(0x4, "66")),
        debug_file(debug_line(0x0, "33") + debug_line(0x4, "77")),
        debug_file(debug_line(0x0, "44") + debug_line(0x4, "88")),
    };
    EXPECT_EQ(lanes(ORDER_LS, false, bytes({0x11, 0x22, 0x33, 0x44}), bytes({0x55, 0x66, 0x77, 0x88})),
              expected);
    // The same words in a big-endian input with MS order.
    EXPECT_EQ(lanes(ORDER_MS, true, bytes({0x44, 0x33, 0x22, 0x11}), bytes({0x88, 0x77, 0x66, 0x55})),
              expected);
}

TEST(OutputFiles, ByteOrderOfDataWordsInALane) {
    auto ordered = [](Bytes data, int32_t datawidth, int32_t width, int order, bool big_endian) {
        ByteOrder o;
        o.datawidth = datawidth;
        o.romwidth = width;
        o.memwidth = width;
        o.order = order;
        o.big_endian_input = big_endian;
        apply_byte_order(data.data(), static_cast<uint32_t>(data.size()), o);
        return data;
    };
    // 16-bit words A = 0xA1A0 (lower address) and B = 0xB1B0 in one 32-bit
    // lane. LS: the word at the lower address is the less significant half,
    // printed second; MS: printed first.
    const Bytes little = bytes({0xA0, 0xA1, 0xB0, 0xB1});
    EXPECT_EQ(ordered(little, 2, 4, ORDER_LS, false), bytes({0xB1, 0xB0, 0xA1, 0xA0}));
    EXPECT_EQ(ordered(little, 2, 4, ORDER_MS, false), bytes({0xA1, 0xA0, 0xB1, 0xB0}));
    // A big-endian input holding the same words gives the same lane.
    EXPECT_EQ(ordered(bytes({0xA1, 0xA0, 0xB1, 0xB0}), 2, 4, ORDER_LS, true),
              bytes({0xB1, 0xB0, 0xA1, 0xA0}));
    // Trailing bytes that make no whole group are left alone.
    EXPECT_EQ(ordered(bytes({1, 2, 3, 4, 5, 6}), 1, 4, ORDER_LS, false), bytes({4, 3, 2, 1, 5, 6}));
}

TEST(OutputFiles, RomWiderThanMemory) {
    // One file; each lane piece holds two memory bytes, the lower address
    // first; the last piece is what is left.
    ImageRig rig;
    RomRange& range = rig.add_range(0x10, 0xFF, 1, 2);
    rig.start_output();
    put(rig, range, bytes({0xB0, 0xB1, 0xB2, 0xB3, 0xB4}));
    EXPECT_EQ(rig.output->next_address(), 0x15u);
    EXPECT_EQ(rig.output->output_address(), 0x15u);
    close(rig, range);
    EXPECT_EQ(rig.text(range), debug_file(debug_line(0x10, "B0B1 B2B3 B4")));
}

// ---------------------------------------------------------------------------
// Addresses: jumps, -zero, -byte

TEST(OutputFiles, GapStartsANewAddressInEveryFile) {
    ImageRig rig;
    RomRange& range = rig.add_range(0x0, 0xFF, 4, 1);
    rig.start_output();
    put(rig, range, bytes({1, 2, 3, 4}));
    put(rig, range, bytes({5, 6, 7, 8}));  // consecutive: the record goes on
    put_at(rig, range, 0x20, bytes({9, 10, 11, 12}));  // placement skipped a gap
    close(rig, range);
    // Lane k holds byte k of every word: 1 + k and 5 + k from address 0,
    // then 9 + k from 0x20 in a record of its own.
    for (int k = 0; k < 4; ++k) {
        const Bytes first = {static_cast<uint8_t>(1 + k), static_cast<uint8_t>(5 + k)};
        EXPECT_EQ(rig.text(range, k), debug_file(debug_line(0x0, groups(first)) +
                                                 debug_line(0x20, groups({static_cast<uint8_t>(9 + k)}))))
            << "lane " << k;
    }
}

TEST(OutputFiles, ZeroBasedImageStartsEveryRangeAtZero) {
    ImageRig rig;
    rig.image = true;
    rig.output_settings.zero_based = true;
    rig.load("");
    RomRange& first = rig.add_range(0x100, 0x107);
    RomRange& second = rig.add_range(0x200, 0x203);
    rig.start();
    rig.finish();
    EXPECT_EQ(rig.text(first), debug_file(debug_line(0x0, groups(Bytes(8, 0)))));
    EXPECT_EQ(rig.text(second), debug_file(debug_line(0x0, groups(Bytes(4, 0)))));
    EXPECT_EQ(rig.output->next_address(), 0x204u);
}

TEST(OutputFiles, ByteAddressingCountsRomBytesPerLane) {
    // Under -byte each file is addressed in its own ROM bytes. Ending the
    // records between the writes shows each write's address.
    ImageRig rig;
    rig.output_settings.byte_addressing = true;
    RomRange& bytes_lanes = rig.add_range(0x0, 0xFF, 4, 1);
    RomRange& halves = rig.add_range(0x0, 0xFF, 4, 2);
    RomRange& narrow = rig.add_range(0x0, 0xFF, 1, 2);
    rig.start_output();
    auto two_writes = [&rig](RomRange& range, const Bytes& first, const Bytes& second) {
        put_at(rig, range, 0x10, first);
        rig.output->flush_range_files(range);
        put(rig, range, second);
        close(rig, range);
    };

    // Four 8-bit lanes: memory word 4 is ROM byte 4 of each lane, one byte
    // per word.
    two_writes(bytes_lanes, bytes({1, 2, 3, 4}), bytes({5, 6, 7, 8}));
    EXPECT_EQ(rig.text(bytes_lanes, 0), debug_file(debug_line(4, "01") + debug_line(5, "05")));

    // Two 16-bit lanes: word 4 starts at ROM byte 8 of each, two bytes per
    // word. LS order turns each 16-bit lane: 01 02 becomes 0201.
    two_writes(halves, bytes({1, 2, 3, 4}), bytes({5, 6, 7, 8}));
    EXPECT_EQ(rig.text(halves, 0), debug_file(debug_line(8, "0201") + debug_line(10, "0605")));

    // ROM at least as wide as memory: addresses are unchanged.
    two_writes(narrow, bytes({1, 2}), bytes({3, 4}));
    EXPECT_EQ(rig.text(narrow), debug_file(debug_line(0x10, "0102") + debug_line(0x12, "0304")));
}

// ---------------------------------------------------------------------------
// The record writers' settings

TEST(OutputFiles, WriterSettingsShapeTheRecords) {
    // Generic: a line of at most `olength` ROM words of the range's ROM
    // width (two bytes) behind the address of its first word; the third
    // word, at 0x40 + 2 * 2, starts the second line.
    ImageRig generic;
    generic.order = ORDER_MS;  // bytes stay in address order
    generic.output_settings.format = Format::Generic;
    generic.output_settings.olength = 2;
    RomRange& range = generic.add_range(0x40, 0xFF, 2, 2);
    generic.start_output();
    put(generic, range, bytes({1, 2, 3, 4, 5, 6}));
    close(generic, range);
    EXPECT_EQ(generic.text(range),
              "ADDRESS\tDATA\n-------\t----\n"
              "0040\t0102 0304 \n"
              "0044\t0506 \n");

    // Extended Tektronix: the termination record carries the entry address.
    // Its 14 characters after the "%" are 0x0E; the checksum adds the digit
    // values 8 (type) + 8 (address length) + 1+2+3+4 (address) + 0+E
    // (length) = 0x28.
    ImageRig tektronix;
    tektronix.output_settings.format = Format::Tektronix;
    tektronix.output_settings.entry_address = 0x1234;
    RomRange& one = tektronix.add_range(0x0, 0xFF);
    tektronix.start_output();
    put(tektronix, one, bytes({0x01}));
    close(tektronix, one);
    const std::string text = tektronix.text(one);
    const std::string termination = "%0E828800001234\n";
    ASSERT_GE(text.size(), termination.size());
    EXPECT_EQ(text.substr(text.size() - termination.size()), termination);
}

// ---------------------------------------------------------------------------
// Opening, flushing and closing files

TEST(OutputFiles, FilesAreOpenedOnFirstDataAndClosedWithTrailers) {
    ImageRig rig;
    rig.order = ORDER_MS;
    RomRange& range = rig.add_range(0x0, 0xFF, 2, 1);
    rig.start_output();
    // Nothing to end before the files are open: none is made.
    rig.output->flush_range_files(range);
    EXPECT_FALSE(rig.output->files_open(range));
    EXPECT_EQ(rig.written(), std::vector<std::string>{});

    put(rig, range, bytes({0xAA, 0xBB}));
    EXPECT_TRUE(rig.output->files_open(range));
    close(rig, range);
    EXPECT_FALSE(rig.output->files_open(range));
    // MS order with 8-bit data words: the byte at the lower address (AA) is
    // the more significant half of the memory word, which file 1 holds.
    EXPECT_EQ(rig.text(range, 0), debug_file(debug_line(0x0, "BB")));
    EXPECT_EQ(rig.text(range, 1), debug_file(debug_line(0x0, "AA")));
    EXPECT_EQ(rig.written(), (std::vector<std::string>{"r0.0", "r0.1"}));
}

TEST(OutputFiles, MissingDirectoryIsFatal) {
    ImageRig rig;
    RomRange& range = rig.add_range(0x0, 0xFF);
    const std::string name = rig.dir.file("missing/out.x0");
    range.files[0].name = name;
    rig.start_output();
    EXPECT_THROW(put(rig, range, bytes({1})), RunAbort);
    EXPECT_EQ(rig.err(), ">> FATAL ERROR: cannot open output file '" + name +
                             "': No such file or directory (aborting)\n");
    EXPECT_EQ(rig.written(), std::vector<std::string>{});
}

TEST(OutputFiles, AbandonRemovesTheFilesOfTheRun) {
    ImageRig rig;
    RomRange& first = rig.add_range(0x0, 0xFF, 2, 1);
    RomRange& second = rig.add_range(0x100, 0x1FF, 2, 1);
    rig.start_output();
    put(rig, first, bytes({1, 2}));
    rig.output->close_range_files(first);  // closed, not yet in place
    put(rig, second, bytes({3, 4}));       // still open
    rig.output->abandon();
    // Every file was under a temporary name and is gone.
    EXPECT_EQ(rig.written(), std::vector<std::string>{});
}

TEST(OutputFiles, FailedWriteIsReportedOnClose) {
    ImageRig rig;
    RomRange& range = rig.add_range(0x0, 0xFF);
    range.files[0].name = "/dev/full";
    rig.start_output();
    put(rig, range, bytes({1}));
    EXPECT_FALSE(rig.output->write_failed());
    rig.output->close_range_files(range);
    EXPECT_EQ(rig.err(), ">>   ERROR: cannot write output file '/dev/full': No space left on device\n");
    EXPECT_EQ(rig.diag.worst_severity(), ERROR);
    EXPECT_TRUE(rig.output->write_failed());
}

// ---------------------------------------------------------------------------
// Refused writes: the run ends before anything reaches a file

TEST(OutputFiles, RefusedWritesEndTheRunBeforeAnyOutput) {
    // A partial memory word.
    {
        ImageRig rig;
        RomRange& range = rig.add_range(0x0, 0xFF, 4, 1);
        rig.start_output();
        const Bytes data = bytes({1, 2, 3, 4, 5, 6});
        EXPECT_THROW(rig.output->write_range_data(range, 0, data.data(), 6, 0, -1), RunAbort);
        EXPECT_EQ(rig.err(), ">> INTERNAL ERROR: nbytes not a multiple of mem width/rom width\n");
        EXPECT_EQ(rig.written(), std::vector<std::string>{});
    }
    // A 3-byte ROM lane over 2-byte memory words cannot hold whole words:
    // a raw text of its own, status 1.
    {
        ImageRig rig;
        RomRange& range = rig.add_range(0x0, 0xFF, 2, 3);
        rig.start_output();
        const Bytes data = bytes({1, 2, 3, 4});
        try {
            rig.output->write_range_data(range, 0, data.data(), 4, 0, -1);
            ADD_FAILURE() << "no abort";
        } catch (const RunAbort& abort) {
            EXPECT_EQ(abort.status, 1);
        }
        EXPECT_EQ(rig.captured.err(), "INTERNAL ERROR: misaligned internal data write (ABORT)\n");
        EXPECT_EQ(rig.written(), std::vector<std::string>{});
    }
    // More lanes than output files can be open.
    {
        ImageRig rig;
        RomRange& range = rig.add_range(0x0, 0xFF, 16, 1);
        rig.start_output();
        const Bytes data(16, 0);
        EXPECT_THROW(rig.output->write_range_data(range, 0, data.data(), 16, 0, -1), RunAbort);
        EXPECT_EQ(rig.err(),
                  ">> FATAL ERROR: memory range r0 needs 16 output files (at most 8 are supported) "
                  "(aborting)\n");
        EXPECT_EQ(rig.written(), std::vector<std::string>{});
    }
}

TEST(OutputFiles, LaneCount) {
    EXPECT_EQ(lane_count(4, 1), 4);
    EXPECT_EQ(lane_count(4, 2), 2);
    EXPECT_EQ(lane_count(4, 4), 1);
    EXPECT_EQ(lane_count(1, 2), 1);
    EXPECT_EQ(lane_count(8, 1), 8);
}

}  // namespace
