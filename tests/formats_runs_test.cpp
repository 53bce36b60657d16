// Lane runs: the pieces of a lane taken every stride bytes, and the same
// file however the runs are cut.
#include "formats_fixture.h"

#include <random>

namespace formats_test {
namespace {

using RunsTest = WriterTest;

// A memory of four byte-wide lanes: the file of lane 1 holds bytes 1, 5,
// 9, ... of the run at addresses 0, 4, 8, ...
TEST_F(RunsTest, LanePiecesEveryStrideBytes) {
    const std::vector<uint8_t> words = counting(4 * 40);
    std::string lane;
    for (size_t i = 1; i < words.size(); i += 4) lane += hex_of(words, i, 1);
    open(Format::Intel);
    writer_->data({words.data() + 1, 40, 1, 4, 0, 4}, -1);
    // 0x20 + (1+5+..+125 = 32 + 4 * 496 = 2016) = 0x800 -> 00; then 8 bytes
    // at 0x80: 08+80 + (129+..+157 = 1144 = 0x478) = 0x500 -> 00.
    EXPECT_EQ(finish(), ":20000000" + lane.substr(0, 64) + "00\n:08008000" + lane.substr(64) +
                            "00\n:00000001FF\n");
    // Two-byte pieces of 6-byte words at addresses 0x10, 0x12, ...
    open(Format::Tektronix);
    writer_->data({words.data() + 2, 3, 2, 6, 0x10, 2}, -1);
    // 02 03 08 09 0E 0F: length 0x1A; 1+A + 6 + 8 + 1 + 2+3+8+9+E+F = 77 = 0x4D.
    EXPECT_EQ(finish(), "%1A64D800000010020308090E0F\n%0E81E800000000\n");
}

// Operation 3 once per piece whatever the runs: a run of n pieces, n runs of
// one piece and runs cut at random give the same file and the same
// messages, across 64 KB, 16 MB and 4 GB boundaries and address jumps.
TEST_F(RunsTest, SameFileHoweverTheRunsAreCut) {
    struct Layout {
        int piece;
        size_t stride;
        uint32_t step;
    };
    const Layout layouts[] = {{1, 1, 1}, {1, 4, 4}, {2, 8, 2}, {3, 3, 3}, {33, 33, 33}, {200, 200, 200}};
    const uint32_t starts[] = {0xFFE1, 0xFFFFE3, 0xFFFFFFC0u};
    uint32_t seed = 7;
    for (int format = 0; format < coffhex::FORMAT_COUNT; ++format) {
        for (const Layout& layout : layouts) {
            for (uint32_t start : starts) {
                SCOPED_TRACE(testing::Message() << "format " << format << " piece " << layout.piece
                                                << " start 0x" << std::hex << start);
                const size_t pieces = 1500 / static_cast<size_t>(layout.piece) + 40;
                const std::vector<uint8_t> data = testsupport::test_bytes(pieces * layout.stride, ++seed);
                // Three stretches: a flush before the second, a jump before
                // the third.
                const size_t ends[3] = {pieces / 3, 2 * pieces / 3, pieces};
                std::string files[3];
                for (int cut = 0; cut < 3; ++cut) {
                    shared_.warned_section = -1;  // each file a run of its own
                    const size_t messages_before = messages().size();
                    open(static_cast<Format>(format), layout.piece);
                    std::mt19937 cuts(11);
                    uint32_t address = start;
                    writer_->new_address(address, 0);
                    for (size_t i = 0, stretch = 0, n; i < pieces; i += n) {
                        if (i == ends[stretch]) {
                            if (++stretch == 1 && writer_->pending()) writer_->end_record();
                            if (stretch == 2) writer_->new_address(address = 0xFFFFF1, 0);
                        }
                        n = ends[stretch] - i;
                        if (cut == 1) n = 1;
                        if (cut == 2) n = std::min<size_t>(n, 1 + cuts() % 70);
                        writer_->data({data.data() + i * layout.stride, n, layout.piece,
                                       layout.stride, address, layout.step},
                                      0);
                        address += static_cast<uint32_t>(n) * layout.step;
                    }
                    files[cut] = finish() + messages().substr(messages_before);
                }
                EXPECT_EQ(files[1], files[0]);
                EXPECT_EQ(files[2], files[0]);
            }
        }
    }
}

}  // namespace
}  // namespace formats_test
