// Round trip through independent readers: files written by the Intel,
// Motorola-S and Extended Tektronix writers are read back by srec_cat and
// objcopy, and every byte must come back at the address it was written to.
#include "formats_fixture.h"

#include <map>

#include "e2e_support.h"
#include "support/harness.h"

namespace formats_test {
namespace {

struct Block {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

class RoundTripTest : public WriterTest {
protected:
    // Writes the blocks in lane pieces of `rom` bytes (addresses advancing
    // by the piece, as for a ROM wider than a byte-wide memory), reads the
    // file back with srec_cat (`srec_format`) and, when `bfd_format` is
    // given, objcopy, and checks the images.
    void round_trip(Format format, int rom, const std::vector<Block>& blocks, const char* srec_format,
                    const char* bfd_format) {
        open(format, rom);
        for (const Block& block : blocks) write(block.address, block.bytes, rom);
        const std::string path = dir_.file("f" + std::to_string(++files_));
        testsupport::write_text(path, finish());
        testsupport::RunResult r = testsupport::run_program(
            {"srec_cat", path, srec_format, "-o", path + ".1", "-binary"}, dir_.path());
        ASSERT_EQ(r.status, 0) << r.err;
        expect_image(testsupport::read_bytes(path + ".1"), 0, blocks);
        if (bfd_format == nullptr) return;
        r = testsupport::run_program({"objcopy", "-I", bfd_format, "-O", "binary", path, path + ".2"},
                                     dir_.path());
        ASSERT_EQ(r.status, 0) << r.err;
        uint32_t base = blocks.front().address;
        for (const Block& block : blocks) base = std::min(base, block.address);
        expect_image(testsupport::read_bytes(path + ".2"), base, blocks);
    }

    // The image read back (starting at `base`) holds every written byte at
    // its address, zero in the gaps, and nothing past the last byte.
    static void expect_image(const std::vector<uint8_t>& image, uint32_t base,
                             const std::vector<Block>& blocks) {
        std::map<uint32_t, uint8_t> expected;
        for (const Block& block : blocks)
            for (size_t i = 0; i < block.bytes.size(); ++i)
                expected[block.address + static_cast<uint32_t>(i)] = block.bytes[i];
        ASSERT_EQ(image.size(), expected.rbegin()->first - base + 1);
        int wrong = 0;
        for (size_t offset = 0; offset < image.size(); ++offset) {
            const auto it = expected.find(base + static_cast<uint32_t>(offset));
            const uint8_t want = it == expected.end() ? 0 : it->second;
            if (image[offset] != want && ++wrong <= 5)
                ADD_FAILURE() << "offset 0x" << std::hex << offset << ": read 0x" << int(image[offset])
                              << ", written 0x" << int(want);
        }
        EXPECT_EQ(wrong, 0);
    }

    testsupport::TempDir dir_;
    int files_ = 0;
};

// A few hundred bytes across 0x10000 (a lane piece across it for the odd
// start), then a second run after a gap; 1 KB pieces for the widest lanes.
std::vector<Block> across_64k(int rom) {
    return {{rom == 1 ? 0xFF00u : 0xFF01u, e2e::test_bytes(rom == 256 ? 1024 : 400, rom)},
            {0x10800, e2e::test_bytes(77, 2)}};
}

TEST_F(RoundTripTest, IntelAndMotorolaReadBySrecCatAndObjcopy) {
    E2E_REQUIRE_READERS();
    for (int rom : {1, 2, 4, 256}) {
        SCOPED_TRACE(rom);
        round_trip(Format::Intel, rom, across_64k(rom), "-intel", "ihex");
        round_trip(Format::MotorolaS2, rom, across_64k(rom), "-motorola", "srec");
        round_trip(Format::MotorolaS3, rom, across_64k(rom), "-motorola", "srec");
    }
    // S1 addresses end at 0xFFFF: the runs stay below.
    const std::vector<Block> low = {{0xFD00, e2e::test_bytes(300, 5)},
                                    {0xFF00, e2e::test_bytes(256, 6)}};
    for (int rom : {1, 2, 4}) round_trip(Format::MotorolaS1, rom, low, "-motorola", "srec");
}

TEST_F(RoundTripTest, ExtendedTektronixReadBySrecCat) {
    E2E_REQUIRE_TOOLS(e2e::have_tool("srec_cat"), "srec_cat (srecord) is not installed");
    for (int rom : {1, 2, 4, 256})
        round_trip(Format::Tektronix, rom, across_64k(rom), "-tektronix_extended", nullptr);
}

}  // namespace
}  // namespace formats_test
