// End to end, image construction: image mode with fill (from ROMS and from
// -fill, in both input byte orders), empty ranges, -zero, Binary images, and
// the placement warnings with their exact texts.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

class E2eImage : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_coffhex(args, dir.path()); }
    std::string file(const std::string& name) { return read_text(dir.file(name)); }
    TempDir dir;
};

// Intel records of 32 bytes for a contiguous image starting at `address`.
std::string intel_image(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t at = 0; at < bytes.size(); at += 32) {
        const size_t n = std::min<size_t>(32, bytes.size() - at);
        text += intel_data(address + static_cast<uint32_t>(at),
                           std::vector<uint8_t>(bytes.begin() + static_cast<long>(at),
                                                bytes.begin() + static_cast<long>(at + n)));
    }
    return text;
}

// The memory content of a range: the fill value repeated in the input's
// byte order, with `data` at `offset`.
std::vector<uint8_t> filled(size_t size, uint32_t fill, bool big_endian, size_t offset,
                            const std::vector<uint8_t>& data) {
    std::vector<uint8_t> memory(size);
    for (size_t i = 0; i < size; ++i) {
        const int k = static_cast<int>(i % 4);
        memory[i] = static_cast<uint8_t>(fill >> (big_endian ? 8 * (3 - k) : 8 * k));
    }
    std::copy(data.begin(), data.end(), memory.begin() + static_cast<long>(offset));
    return memory;
}

// The bytes of file `file` for `memory` (whole memory words) under `layout`.
std::vector<uint8_t> lane_bytes(const std::vector<uint8_t>& memory, const Layout& layout, int file) {
    std::vector<uint8_t> lane;
    for (size_t at = 0; at < memory.size(); at += static_cast<size_t>(layout.memwidth)) {
        std::vector<uint8_t> piece = lane_of_word(memory.data() + at, layout, file);
        lane.insert(lane.end(), piece.begin(), piece.end());
    }
    return lane;
}

Layout word_layout(int mem, int rom, bool big) {
    Layout l;
    l.memwidth = mem;
    l.romwidth = rom;
    l.big_endian_input = big;
    l.order_ms = big;
    return l;
}

const std::vector<uint8_t> SIXTEEN = counting_bytes(16);

std::string sixteen_at_0x10(bool big) {
    return std::string(big ? "data msb\n" : "") + "section .text paddr=0x10\n" + bytes_lines(SIXTEEN);
}

}  // namespace

// A 16-byte section at 0x10 in a range 0x0..0xFF, fill from the ROMS
// directive, one file of 32-bit ROM words: every fill word reads 11223344
// whatever the input's byte order, since the fill is taken in that order.
TEST_F(E2eImage, FillFromRomsSurroundsTheSectionInBothByteOrders) {
    write_text(dir.file("image.cmd"),
               "ROMS { PAGE 0: rom: origin = 0x0, length = 0x100, fill = 0x11223344 }\n");
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian input" : "little-endian input");
        write_coff(dir.file("app.out"), sixteen_at_0x10(big));
        RunResult r = run({"-i", "-image", "-memwidth", "32", "-romwidth", "32", "image.cmd", "app"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "Translating app.out to Intel format...\n   \"app.out\"   ==> .text\n");
        const std::vector<uint8_t> lane =
            lane_bytes(filled(0x100, 0x11223344, big, 0x10, SIXTEEN), word_layout(4, 4, big), 0);
        EXPECT_EQ(file("app.i0"), intel_image(0, lane) + ":00000001FF\n");
        // The first record by hand: four fill words, then the section's four
        // words most significant byte first. Checksum: 0x20 + 4 * (11+22+33
        // +44) + (0+1+...+15) = 0x20 + 0x2A8 + 0x78 = 0x340, so 0x100 - 0x40
        // = 0xC0 (little-endian input; the big-endian words read 00010203).
        EXPECT_EQ(file("app.i0").substr(0, 76),
                  big ? ":2000000011223344112233441122334411223344000102030405060708090A0B0C0D0E0FC0\n"
                      : ":200000001122334411223344112233441122334403020100070605040B0A09080F0E0D0CC0\n");
    }
}

// The same with the fill from -fill and four 8-bit ROMs: app.i0 holds the
// least significant byte of every word, 0x44 of the fill in both orders.
TEST_F(E2eImage, FillFromOptionInBothByteOrders) {
    write_text(dir.file("image.cmd"), "ROMS { rom: origin 0, length 0x100 }\n");
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian input" : "little-endian input");
        write_coff(dir.file("app.out"), sixteen_at_0x10(big));
        RunResult r = run({"-q", "-i", "-image", "-fill", "0x11223344", "image.cmd", "app"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        const std::vector<uint8_t> memory = filled(0x100, 0x11223344, big, 0x10, SIXTEEN);
        for (int i = 0; i < 4; ++i) {
            const std::vector<uint8_t> lane = lane_bytes(memory, word_layout(4, 1, big), i);
            // The model's first fill word: 0x44 in file 0 up to 0x11 in file 3.
            ASSERT_EQ(lane.size(), 64u);
            EXPECT_EQ(lane[0], static_cast<uint8_t>(0x44 - 0x11 * i));
            // 64 lane bytes: records at the memory addresses of words 0
            // and 32.
            EXPECT_EQ(file("app.i" + std::to_string(i)),
                      intel_data(0, std::vector<uint8_t>(lane.begin(), lane.begin() + 32)) +
                          intel_data(0x80, std::vector<uint8_t>(lane.begin() + 32, lane.end())) +
                          ":00000001FF\n")
                << "file " << i;
        }
    }
}

TEST_F(E2eImage, NonImageWritesOnlyTheSection) {
    write_text(dir.file("image.cmd"), "ROMS { rom: origin 0, length 0x100, fill 0x11223344 }\n");
    write_coff(dir.file("app.out"), sixteen_at_0x10(false));
    RunResult r = run({"-q", "-i", "-memwidth", "8", "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file("app.i0"), intel_data(0x10, SIXTEEN) + ":00000001FF\n");
}

// A second range into which no section falls still gets its files, full of
// fill; two ranges name their files app.i00 and app.i10.
TEST_F(E2eImage, EmptyRangeGetsFilesFullOfFill) {
    write_text(dir.file("image.cmd"),
               "ROMS {\n"
               "  rom1: origin 0x0000, length 0x100\n"
               "  rom2: origin 0x1000, length 0x40\n"
               "}\n");
    write_coff(dir.file("app.out"), sixteen_at_0x10(false));
    RunResult r = run({"-q", "-i", "-image", "-memwidth", "8", "-fill", "0xA5A5A5A5", "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(list_files(dir.path()),
              (std::vector<std::string>{"app.i00", "app.i10", "app.out", "image.cmd"}));
    EXPECT_EQ(file("app.i00"), intel_image(0, filled(0x100, 0xA5A5A5A5, false, 0x10, SIXTEEN)) +
                                   ":00000001FF\n");
    EXPECT_EQ(file("app.i10"),
              intel_image(0x1000, std::vector<uint8_t>(0x40, 0xA5)) + ":00000001FF\n");
}

// -zero -image: each range's files start at address 0 and never jump.
TEST_F(E2eImage, ZeroImageStartsEveryRangeAtZero) {
    write_text(dir.file("image.cmd"),
               "ROMS {\n"
               "  rom1: origin 0x100, length 0x40\n"
               "  rom2: origin 0x1000, length 0x20\n"
               "}\n");
    write_coff(dir.file("app.out"), "section .text paddr=0x110\n" + bytes_lines(SIXTEEN));
    RunResult r = run({"-q", "-i", "-image", "-zero", "-memwidth", "8", "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file("app.i00"), intel_image(0, filled(0x40, 0, false, 0x10, SIXTEEN)) + ":00000001FF\n");
    EXPECT_EQ(file("app.i10"), intel_image(0, std::vector<uint8_t>(0x20, 0)) + ":00000001FF\n");

    // Without -image, -zero is refused with a warning and the addresses are
    // the real ones.
    r = run({"-q", "-i", "-zero", "-memwidth", "8", "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: -zero requires -image: ignored\n");
    EXPECT_EQ(file("app.i00"), intel_data(0x110, SIXTEEN) + ":00000001FF\n");
}

// Binary: back to back outside image mode, a true image of the range with
// its fill in image mode.
TEST_F(E2eImage, BinaryImageIsTheWholeRange) {
    write_text(dir.file("image.cmd"), "ROMS { rom: origin 0, length 0x40 }\n");
    write_coff(dir.file("app.out"),
               "section .a paddr=0x8\n  bytes 01 02 03 04\nsection .b paddr=0x20\n  bytes 05 06 07 08\n");
    RunResult r = run({"-q", "-b", "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_bytes(dir.file("app.b0")), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));

    r = run({"-q", "-b", "-image", "-fill", "0xFFFFFFFF", "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::vector<uint8_t> image(0x40, 0xFF);
    for (int i = 0; i < 4; ++i) {
        image[0x08 + static_cast<size_t>(i)] = static_cast<uint8_t>(1 + i);
        image[0x20 + static_cast<size_t>(i)] = static_cast<uint8_t>(5 + i);
    }
    EXPECT_EQ(read_bytes(dir.file("app.b0")), image);
}

// ---------------------------------------------------------------------------
// Placement warnings.

// Six bytes in a 32-bit memory: padded by 2 to 8. The pad bytes are bytes 2
// and 3 of the fill pattern: fill 0xAABBCCDD of a little-endian input gives
// DD CC BB AA, so the last word reads 04 05 BB AA.
TEST_F(E2eImage, ShortSectionIsPaddedFromTheFillPattern) {
    write_coff(dir.file("app.out"), "section .odd paddr=0x20\n  bytes 00 01 02 03 04 05\n");
    RunResult r = run({"-i", "-fill", "0xAABBCCDD", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Translating app.out to Intel format...\n   \"app.out\"   ==> .odd\n");
    EXPECT_EQ(r.err,
              ">> WARNING: section '.odd' was padded by 2 bytes to a size of 8 to satisfy the\n"
              "            specified memory width of 4\n");
    EXPECT_EQ(file("app.i0"), intel_data(0x20, {0x00, 0x04}) + ":00000001FF\n");
    EXPECT_EQ(file("app.i1"), intel_data(0x20, {0x01, 0x05}) + ":00000001FF\n");
    EXPECT_EQ(file("app.i2"), intel_data(0x20, {0x02, 0xBB}) + ":00000001FF\n");
    EXPECT_EQ(file("app.i3"), intel_data(0x20, {0x03, 0xAA}) + ":00000001FF\n");
}

// A later section that overlaps an earlier one: one warning naming both, and
// only its tail beyond the earlier one is written.
TEST_F(E2eImage, OverlappingSectionKeepsOnlyItsTail) {
    const std::vector<uint8_t> a = test_bytes(16, 1), b = test_bytes(16, 2);
    write_coff(dir.file("app.out"), "section .a paddr=0x100\n" + bytes_lines(a) +
                                        "section .b paddr=0x108\n" + bytes_lines(b));
    RunResult r = run({"-q", "-i", "-memwidth", "8", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: section '.b' at 0108h overlaps .a (.b incomplete or skipped)\n");
    EXPECT_EQ(file("app.i0"), intel_data(0x100, a) +
                                  intel_data(0x110, std::vector<uint8_t>(b.begin() + 8, b.end())) +
                                  ":00000001FF\n");
}

// Data outside the configured memory: below the first range (wholly, or
// reaching into it), past the end of the last range, and on a page without
// ranges.
TEST_F(E2eImage, UnconfiguredMemoryIsSkippedOrCutWithOneWarningPerSection) {
    write_text(dir.file("roms.cmd"), "ROMS { rom: origin 0x1000, length 0x100 }\n");
    const std::vector<uint8_t> low = test_bytes(16, 3), edge = test_bytes(16, 4),
                               tail = test_bytes(16, 5), paged = test_bytes(8, 6);
    write_coff(dir.file("app.out"), "section .low paddr=0x100\n" + bytes_lines(low) +
                                        "section .edge paddr=0xFF8\n" + bytes_lines(edge) +
                                        "section .tail paddr=0x10F8\n" + bytes_lines(tail) +
                                        "section .paged paddr=0x1000 page=1\n" + bytes_lines(paged));
    RunResult r = run({"-i", "-memwidth", "8", "roms.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Translating app.out to Intel format...\n"
              "   \"app.out\"   ==> .low\n"
              "   \"app.out\"   ==> .edge\n"
              "   \"app.out\"   ==> .tail\n"
              "   \"app.out\"   ==> .paged\n");
    EXPECT_EQ(r.err,
              ">> WARNING: section '.low' at 0100h falls in unconfigured memory (skipped)\n"
              ">> WARNING: section '.edge' overlaps unconfigured memory at 0ff8h (.edge\n"
              "            incomplete)\n"
              ">> WARNING: section '.tail' at 01100h falls in unconfigured memory (skipped)\n"
              ">> WARNING: section '.paged' at 01000h falls in unconfigured memory (skipped)\n");
    // .edge from 0x1000 on, .tail up to the range's last address 0x10FF.
    EXPECT_EQ(file("app.i0"),
              intel_data(0x1000, std::vector<uint8_t>(edge.begin() + 8, edge.end())) +
                  intel_data(0x10F8, std::vector<uint8_t>(tail.begin(), tail.begin() + 8)) +
                  ":00000001FF\n");
}

// A section whose last byte is right below the range's origin is wholly
// outside it: the "skipped" wording.
TEST_F(E2eImage, SectionEndingRightBelowTheOriginIsSkipped) {
    write_text(dir.file("roms.cmd"), "ROMS { rom: origin 0x1000, length 0x100 }\n");
    write_coff(dir.file("app.out"), "section .below paddr=0xFF0\n" + bytes_lines(SIXTEEN) +
                                        "section .in paddr=0x1000\n  bytes 01\n");
    RunResult r = run({"-q", "-i", "-memwidth", "8", "roms.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: section '.below' at 0ff0h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(file("app.i0"), intel_data(0x1000, {0x01}) + ":00000001FF\n");
}

// A section running past the end of its range goes on in the next range of
// the page: the bytes between the ranges are dropped with one warning, the
// rest lands in the next range's file. With adjacent ranges nothing is lost.
TEST_F(E2eImage, SectionContinuesIntoTheNextRange) {
    const std::vector<uint8_t> data = test_bytes(0x120, 7);  // 0xF0 .. 0x20F
    write_coff(dir.file("app.out"), "section .s paddr=0xF0\n" + bytes_lines(data));
    auto part = [&](size_t from, size_t to) {
        return std::vector<uint8_t>(data.begin() + static_cast<long>(from),
                                    data.begin() + static_cast<long>(to));
    };

    write_text(dir.file("gap.cmd"),
               "ROMS {\n"
               "  r1: origin 0x000, length 0x100, files = { r1.hex }\n"
               "  r2: origin 0x200, length 0x100, files = { r2.hex }\n"
               "}\n");
    RunResult r = run({"-q", "-i", "-memwidth", "8", "gap.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: section '.s' overlaps unconfigured memory at 0100h (.s incomplete)\n");
    EXPECT_EQ(file("r1.hex"), intel_data(0xF0, part(0, 16)) + ":00000001FF\n");
    EXPECT_EQ(file("r2.hex"), intel_image(0x200, part(0x110, 0x120)) + ":00000001FF\n");

    write_text(dir.file("adjacent.cmd"),
               "ROMS {\n"
               "  r1: origin 0x000, length 0x100, files = { r1.hex }\n"
               "  r2: origin 0x100, length 0x200, files = { r2.hex }\n"
               "}\n");
    r = run({"-q", "-i", "-memwidth", "8", "adjacent.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file("r1.hex"), intel_data(0xF0, part(0, 16)) + ":00000001FF\n");
    EXPECT_EQ(file("r2.hex"), intel_image(0x100, part(16, 0x120)) + ":00000001FF\n");
}

// ---------------------------------------------------------------------------
// Sections that do not start on the memory word grid of their range.

// Outside image mode every write starts a memory word at its own address,
// so a section at 0xFE of a 32-bit memory reaches the end of a range 0x00 to
// 0xFF two bytes into a word. Those two bytes are padded from the fill
// pattern to a whole word, the rest goes on in the next range.
TEST_F(E2eImage, UnalignedSectionCutAtARangeEndIsPaddedAndContinues) {
    write_text(dir.file("adjacent.cmd"),
               "ROMS {\n"
               "  r1: origin 0x000, length 0x100, files = { r1.hex }\n"
               "  r2: origin 0x100, length 0x100, files = { r2.hex }\n"
               "}\n");
    write_coff(dir.file("app.out"), "section .s paddr=0xFE\n  bytes 01 02 03 04 05 06 07 08\n");
    RunResult r = run({"-q", "-i", "-memwidth", "32", "-romwidth", "32", "-fill", "0xEEEEEEEE",
                       "adjacent.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.s' was padded by 2 bytes to a size of 4 to satisfy the\n"
              "            specified memory width of 4\n"
              ">> WARNING: section '.s' was padded by 2 bytes to a size of 8 to satisfy the\n"
              "            specified memory width of 4\n");
    // Little-endian words, most significant byte first.
    EXPECT_EQ(file("r1.hex"), intel_data(0xFE, {0xEE, 0xEE, 0x02, 0x01}) + ":00000001FF\n");
    EXPECT_EQ(file("r2.hex"), intel_data(0x100, {0x06, 0x05, 0x04, 0x03, 0xEE, 0xEE, 0x08, 0x07}) +
                                  ":00000001FF\n");

    // The same in the last range: the rest has no range to go to.
    write_text(dir.file("single.cmd"), "ROMS { r1: origin 0x000, length 0x100, files = { r1.hex } }\n");
    r = run({"-q", "-i", "-memwidth", "32", "-romwidth", "32", "-fill", "0xEEEEEEEE", "single.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.s' was padded by 2 bytes to a size of 4 to satisfy the\n"
              "            specified memory width of 4\n"
              ">> WARNING: section '.s' at 0100h falls in unconfigured memory (skipped)\n");
    EXPECT_EQ(file("r1.hex"), intel_data(0xFE, {0xEE, 0xEE, 0x02, 0x01}) + ":00000001FF\n");
}

// In image mode the range is written a whole memory word at a time from its
// origin: the word that a section starts in the middle of holds fill up to
// the section's first byte and then the section's data, none of it lost.
TEST_F(E2eImage, UnalignedSectionInImageModeSharesItsFirstWordWithFill) {
    write_text(dir.file("image.cmd"), "ROMS { rom: origin 0x0, length 0x10 }\n");
    write_coff(dir.file("app.out"), "section .s paddr=0x6\n  bytes 01 02 03 04 05 06\n");
    RunResult r = run({"-q", "-i", "-image", "-memwidth", "32", "-romwidth", "32", "-fill", "0xEEEEEEEE",
                       "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // Memory: EE x6, 01..06, EE x4; words at 0, 4, 8 and 0xC.
    EXPECT_EQ(file("app.i0"), intel_data(0, {0xEE, 0xEE, 0xEE, 0xEE, 0x02, 0x01, 0xEE, 0xEE, 0x06, 0x05,
                                             0x04, 0x03, 0xEE, 0xEE, 0xEE, 0xEE}) +
                                  ":00000001FF\n");
}

// A section on page 1 when only page 0 ranges are configured: every page 0
// range is finished (filled) first, then the section is reported.
TEST_F(E2eImage, SectionOnAnUnconfiguredPageInImageMode) {
    write_text(dir.file("image.cmd"),
               "ROMS {\n"
               "  a: origin 0x00, length 0x10\n"
               "  b: origin 0x20, length 0x10\n"
               "}\n");
    write_coff(dir.file("app.out"), "section .text paddr=0x8\n  bytes 01 02 03 04\n"
                                    "section .p1 paddr=0x0 page=1\n  bytes 05 06 07 08\n");
    RunResult r = run({"-q", "-i", "-image", "-memwidth", "8", "-fill", "0xFFFFFFFF", "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: section '.p1' at 00h falls in unconfigured memory (skipped)\n");
    std::vector<uint8_t> a(0x10, 0xFF);
    for (int i = 0; i < 4; ++i) a[8 + static_cast<size_t>(i)] = static_cast<uint8_t>(1 + i);
    EXPECT_EQ(file("app.i00"), intel_data(0x00, a) + ":00000001FF\n");
    EXPECT_EQ(file("app.i10"), intel_data(0x20, std::vector<uint8_t>(0x10, 0xFF)) + ":00000001FF\n");
}

// The fill belongs to no section: every fill word of an image reads the
// same, whatever the data width of the section whose gap it fills. With a
// big-endian input and LS order, the fill bytes 11 22 33 44 (input order)
// make the word 0x44332211 with the default 8-bit data width.
TEST_F(E2eImage, FillWordsIgnoreTheDataWidthOfTheSectionBeingPlaced) {
    write_text(dir.file("image.cmd"),
               "ROMS { r: origin 0, length 0x40, fill 0x11223344 }\n"
               "SECTIONS { .a  .b: datawidth = 16 }\n");
    write_coff(dir.file("app.out"), "data msb\n"
                                    "section .a paddr=0x10\n  bytes 01 02 03 04\n"
                                    "section .b paddr=0x30\n  bytes 05 06 07 08\n");
    RunResult r = run({"-q", "-i", "-image", "-order", "LS", "-memwidth", "32", "-romwidth", "32",
                       "image.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // .a in bytes: 0x04030201; .b in 16-bit words 0x0506 and 0x0708, the
    // lower address the less significant half: 0x07080506.
    std::vector<uint8_t> image;
    for (int w = 0; w < 16; ++w) {
        const std::vector<uint8_t> word = w == 4    ? std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}
                                          : w == 12 ? std::vector<uint8_t>{0x07, 0x08, 0x05, 0x06}
                                                    : std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11};
        image.insert(image.end(), word.begin(), word.end());
    }
    EXPECT_EQ(file("app.i0"), intel_image(0, image) + ":00000001FF\n");
}
