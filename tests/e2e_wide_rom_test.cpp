// End to end, ROM lanes wider than the memory word in image mode: every
// fill word is written on its own, so it reaches the record writer as a
// piece of one memory word, and records end where a writer fed word by word
// ends them. Data is written a whole section at a time, in ROM-width pieces.
// Hand-worked records for Intel, Motorola S3, Extended Tektronix and DEBUG,
// then random layouts against an independent model of the pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "e2e_support.h"
#include "support/harness.h"

using namespace testsupport;
using namespace e2e;

namespace {

class E2eWideRom : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_coffhex(args, dir.path()); }
    std::string file(const std::string& name) { return read_text(dir.file(name)); }
    TempDir dir;
};

const char* const TEXT_11223344_AT_0x1000 =
    "section .text paddr=0x1000 flags=0x20\n"
    "  bytes 11 22 33 44\n";

}  // namespace

// 32-bit memory words in 64-bit ROM lanes. The section's word is one piece
// (44 33 22 11, most significant byte first); then every fill word is a
// 4-byte piece. A record is ended before a piece once its line holds 73
// characters: 9 + 8 (the data) + 7 * 8 (fill) = 73, so the first record
// holds 4 + 28 = 32 bytes and the second the remaining 32.
// Checksums: 0x20 + 0x10 + (44+33+22+11 = 0xAA) = 0xDA -> 0x100 - 0xDA = 26;
// 0x20 + 0x10 + 0x20 = 0x50 -> B0.
TEST_F(E2eWideRom, IntelRecordsHoldWholeFillWords) {
    write_coff(dir.file("app.out"), TEXT_11223344_AT_0x1000);
    write_text(dir.file("hex.cmd"), "ROMS { r: origin = 0x1000, length = 64 }\n");
    RunResult r = run({"app.out", "-i", "-memwidth", "32", "-romwidth", "64", "-image", "hex.cmd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file("app.i0"), ":2010000044332211" + std::string(56, '0') + "26\n" +
                                  ":20102000" + std::string(64, '0') + "B0\n" +
                                  ":00000001FF\n");
}

// 8-bit memory in 32-bit ROM lanes: the data is one 4-byte piece, the fill
// comes one byte at a time. An S3 line is ended before a piece once it
// holds 69 characters: 12 + 8 + 2 * 25 = 70 is the first length at or over
// it, so a record holds 4 + 25 = 29 bytes (count 4 + 29 + 1 = 0x22); then
// 29 fill bytes at 0x101D, and the last 6 at 0x103A (count 0x0B).
// Checksums (one's complement of the byte sum): 0x22 + 0x10 + 0xAA = 0xDC
// -> 23; 0x22 + 0x10 + 0x1D = 0x4F -> B0; 0x0B + 0x10 + 0x3A = 0x55 -> AA.
TEST_F(E2eWideRom, MotorolaS3RecordsEndAtByteFill) {
    write_coff(dir.file("app.out"), TEXT_11223344_AT_0x1000);
    write_text(dir.file("hex.cmd"), "ROMS { r: origin = 0x1000, length = 64 }\n");
    RunResult r = run({"app.out", "-m3", "-memwidth", "8", "-romwidth", "32", "-image", "hex.cmd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file("app.m0"), "S00600004844521B\n"
                              "S3220000100011223344" + std::string(50, '0') + "23\n" +
                              "S3220000101D" + std::string(58, '0') + "B0\n" +
                              "S30B0000103A" + std::string(12, '0') + "AA\n" +
                              "S70500000000FA\n");
}

// 16-bit memory in 64-bit ROM lanes, a section of AA BB CC DD at 0x6, in
// the middle of the first ROM word. Pieces: three fill words (0x0, 0x2,
// 0x4), the section as one 4-byte piece (BB AA DD CC, each 16-bit word
// most significant byte first), then fill words of 2 bytes. A line is
// ended before a piece once it holds 79 characters: 15 + 3 * 4 + 8 + 11 * 4
// = 79, so the first record holds 6 + 4 + 22 = 32 bytes, the second the
// other 32 (15 + 16 * 4 = 79 when the range ends).
// Length 14 + 64 = 78 = 4E in both. Checksum, the sum of the digit values:
// first 4 + 14 (LL) + 6 + 8 + 2 * (11 + 10 + 13 + 12) = 124 = 7C; second
// 4 + 14 + 6 + 8 + 2 (address 00000020) = 34 = 22.
TEST_F(E2eWideRom, TektronixRecordsAroundASectionInsideARomWord) {
    write_coff(dir.file("app.out"), "section .text paddr=0x6 flags=0x20\n  bytes AA BB CC DD\n");
    write_text(dir.file("hex.cmd"), "ROMS { r: origin = 0, length = 0x40 }\n");
    RunResult r = run({"app.out", "-x", "-memwidth", "16", "-romwidth", "64", "-image", "hex.cmd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file("app.x0"), "%4E67C800000000" + std::string(12, '0') + "BBAADDCC" +
                                  std::string(44, '0') + "\n" + "%4E622800000020" +
                                  std::string(64, '0') + "\n" + "%0E81E800000000\n");
}

// DEBUG shows the pieces themselves, one group each. 16-bit memory in
// 32-bit lanes, fill 0x11223344 of a little-endian input: the pattern 44 33
// 22 11 put into output order is 33 44 11 22, and a fill run takes words
// from it at offsets 0, 2, 0, 2, ... The section 01..06 at 0x102 starts in
// the middle of the ROM word at 0x100 and goes out as 02010403 and 0605.
TEST_F(E2eWideRom, DebugGroupsAreSingleFillWords) {
    write_coff(dir.file("app.out"),
               "section .text paddr=0x102 flags=0x20\n  bytes 01 02 03 04 05 06\n");
    write_text(dir.file("hex.cmd"), "ROMS { r: origin = 0x100, length = 16, fill = 0x11223344 }\n");
    RunResult r = run({"-q", "app.out", "--d", "-memwidth", "16", "-romwidth", "32", "-image",
                       "hex.cmd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(file("app.d0"), "*** FILE HEADER ***\n"
                              "ADDR:00000100: DATA:3344 02010403 0605 3344 1122 3344 1122 :END:\n"
                              "*** FILE FOOTER ***\n");
}

// ---------------------------------------------------------------------------
// Random layouts against a model of the pieces.
//
// The model, written from the rules of the writer protocol rather than from
// the converter: a range is written from its origin to its end. Each gap is
// one fill run that takes memory words from the fill pattern (the fill
// value's bytes in the input's order, repeating every four bytes) at
// offsets 0, W, 2W, ..., starting again at 0 once the offset reaches 4;
// each fill word is a write of its own. Each section is one write of its
// bytes. A write of memory words is put into lane order (every memory word
// most significant byte first, for a little-endian input with LS order)
// and cut into pieces of R bytes (the last one shorter). In image mode the
// pieces of a range follow one another without an address jump, so a
// record only ends when it is full.

namespace {

struct Section {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

// Memory bytes (input byte order) of the fill word at pattern `offset`,
// which then moves on to the next word.
std::vector<uint8_t> fill_word(uint32_t fill, uint32_t width, uint32_t& offset) {
    std::vector<uint8_t> word(width);
    for (uint32_t k = 0; k < width; ++k) {
        const uint32_t j = (offset + k) % std::max<uint32_t>(4, width) % 4;
        word[k] = static_cast<uint8_t>(fill >> (8 * j));
    }
    offset += width;
    if (offset >= 4) offset = 0;
    return word;
}

std::vector<Piece> model_pieces(uint32_t origin, uint32_t length, uint32_t fill,
                                const std::vector<Section>& sections, const Layout& layout) {
    const uint32_t W = static_cast<uint32_t>(layout.memwidth);
    const uint32_t R = static_cast<uint32_t>(layout.romwidth);
    std::vector<Piece> pieces;
    uint32_t at = origin;
    auto write = [&](const std::vector<uint8_t>& memory) {
        std::vector<uint8_t> lane;
        for (size_t w = 0; w < memory.size(); w += W) {
            const std::vector<uint8_t> word = lane_of_word(memory.data() + w, layout, 0);
            lane.insert(lane.end(), word.begin(), word.end());
        }
        for (size_t p = 0; p < lane.size(); p += R) {
            const size_t n = std::min<size_t>(R, lane.size() - p);
            pieces.push_back({at, std::vector<uint8_t>(lane.begin() + static_cast<long>(p),
                                                       lane.begin() + static_cast<long>(p + n)),
                              pieces.empty()});
            at += static_cast<uint32_t>(n);
        }
    };
    auto fill_to = [&](uint32_t end) {
        uint32_t offset = 0;
        while (at < end) write(fill_word(fill, W, offset));
    };
    for (const Section& s : sections) {
        fill_to(s.address);
        write(s.bytes);
    }
    fill_to(origin + length);
    return pieces;
}

// Records of the pieces: a record takes pieces until it holds `full` bytes
// or more.
std::vector<std::pair<uint32_t, std::vector<uint8_t>>> model_records(const std::vector<Piece>& pieces,
                                                                     size_t full) {
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records;
    for (const Piece& piece : pieces) {
        if (records.empty() || records.back().second.size() >= full)
            records.push_back({piece.output_address, {}});
        records.back().second.insert(records.back().second.end(), piece.bytes.begin(),
                                     piece.bytes.end());
    }
    return records;
}

}  // namespace

TEST_F(E2eWideRom, RandomLayoutsMatchTheModelInThreeFormats) {
    std::mt19937 random(20261208);
    const uint32_t fill = 0x5A6B7C8D;
    const struct {
        int mem, rom;  // bytes
    } widths[] = {{1, 2}, {1, 4}, {1, 8}, {2, 4}, {2, 8}, {2, 16}, {4, 8}, {4, 16}, {1, 16}};
    for (const auto& w : widths) {
        const uint32_t W = static_cast<uint32_t>(w.mem);
        const uint32_t origin = 0x1000;
        const uint32_t length = 0x400;
        // Up to four sections at memory-word addresses (most not on a ROM
        // word), whole memory words long, with gaps of any size between.
        std::vector<Section> sections;
        uint32_t at = origin + W * static_cast<uint32_t>(random() % 9);
        const int count = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < count && at < origin + length - 8 * W; ++i) {
            const uint32_t words = 1 + static_cast<uint32_t>(random() % 40);
            const uint32_t size = std::min(words * W, origin + length - at);
            sections.push_back({at, test_bytes(size, static_cast<uint32_t>(random()))});
            at += size + W * static_cast<uint32_t>(random() % 30);
            if (at >= origin + length) break;
        }
        std::string description;
        for (size_t i = 0; i < sections.size(); ++i)
            description += "section s" + std::to_string(i) + " paddr=" +
                           std::to_string(sections[i].address) + " flags=0x20\n" +
                           bytes_lines(sections[i].bytes);
        write_coff(dir.file("app.out"), description);
        write_text(dir.file("hex.cmd"), "ROMS { r: origin = 0x1000, length = 0x400, fill = " +
                                            std::to_string(fill) + " }\n");
        Layout layout;
        layout.memwidth = w.mem;
        layout.romwidth = w.rom;
        const std::vector<Piece> pieces = model_pieces(origin, length, fill, sections, layout);
        const std::string mem = std::to_string(8 * w.mem), rom = std::to_string(8 * w.rom);
        SCOPED_TRACE(testing::Message() << "memwidth " << mem << " romwidth " << rom << ", "
                                        << sections.size() << " sections");

        RunResult r = run({"-q", "-i", "-image", "-memwidth", mem, "-romwidth", rom, "hex.cmd", "app"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(file("app.i0"), intel_records(pieces) + ":00000001FF\n");

        // S3: 12 + 2 * 28 = 68 is below the limit of 69, so a record takes
        // pieces until it holds 29 bytes or more.
        r = run({"-q", "-m3", "-image", "-memwidth", mem, "-romwidth", rom, "hex.cmd", "app"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string expected = "S00600004844521B\n";
        for (const auto& [address, bytes] : model_records(pieces, 29))
            expected += srecord('3', 4, address, bytes);
        EXPECT_EQ(file("app.m0"), expected + "S70500000000FA\n");

        // Extended Tektronix: 15 + 2 * 32 = 79, 32 bytes or more.
        r = run({"-q", "-x", "-image", "-memwidth", mem, "-romwidth", rom, "hex.cmd", "app"});
        ASSERT_EQ(r.status, 0) << r.err;
        expected.clear();
        for (const auto& [address, bytes] : model_records(pieces, 32))
            expected += tektronix('6', address, bytes);
        EXPECT_EQ(file("app.x0"), expected + "%0E81E800000000\n");
    }
}
