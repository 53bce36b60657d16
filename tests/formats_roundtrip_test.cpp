// Round trip through independent readers: files written by the Intel,
// Motorola-S and Extended Tektronix writers are read back by srec_cat and
// objcopy, and every byte must come back at the address it was written to.
#include "formats_fixture.h"

#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "support/harness.h"

namespace formats_test {
namespace {

using coffhex::FMT_INTEL;
using coffhex::FMT_MOTOROLA_S1;
using coffhex::FMT_MOTOROLA_S2;
using coffhex::FMT_MOTOROLA_S3;
using coffhex::FMT_TEKTRONIX;

struct Block {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> pseudo_random(int count, uint32_t seed) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

class RoundTripTest : public WriterTest {
protected:
    // Writes the blocks with the writer of `format` in lane pieces of
    // `rom` bytes (addresses advancing by the piece, as for a ROM wider than
    // a byte-wide memory) into dir/name.
    std::string write_file(int format, int rom, const std::vector<Block>& blocks,
                           const std::string& name) {
        open(format, rom);
        for (const Block& block : blocks) write(block.address, block.bytes, rom);
        const std::string path = dir_.file(name);
        testsupport::write_text(path, finish());
        close_file();
        return path;
    }

    // The image read back (`binary`, starting at `base`) holds every written
    // byte at its address, zero in the gaps, and nothing past the last byte.
    static void expect_image(const std::vector<uint8_t>& image, uint32_t base,
                             const std::vector<Block>& blocks) {
        std::map<uint32_t, uint8_t> expected;
        for (const Block& block : blocks)
            for (size_t i = 0; i < block.bytes.size(); ++i)
                expected[block.address + static_cast<uint32_t>(i)] = block.bytes[i];
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(image.size(), expected.rbegin()->first - base + 1);
        int wrong = 0;
        for (size_t offset = 0; offset < image.size(); ++offset) {
            uint32_t address = base + static_cast<uint32_t>(offset);
            auto it = expected.find(address);
            uint8_t want = it == expected.end() ? 0 : it->second;
            if (image[offset] != want && ++wrong <= 5)
                ADD_FAILURE() << "address 0x" << std::hex << address << ": read 0x"
                              << int(image[offset]) << ", written 0x" << int(want);
        }
        EXPECT_EQ(wrong, 0);
    }

    void srec_cat(const std::string& path, const char* input_format,
                  const std::vector<Block>& blocks) {
        const std::string out = path + ".srec_cat.bin";
        testsupport::RunResult r = testsupport::run_program(
            {"srec_cat", path, input_format, "-o", out, "-binary"}, dir_.path());
        ASSERT_EQ(r.status, 0) << r.err;
        expect_image(testsupport::read_bytes(out), 0, blocks);
    }

    void objcopy(const std::string& path, const char* input_format,
                 const std::vector<Block>& blocks) {
        const std::string out = path + ".objcopy.bin";
        testsupport::RunResult r = testsupport::run_program(
            {"objcopy", "-I", input_format, "-O", "binary", path, out}, dir_.path());
        ASSERT_EQ(r.status, 0) << r.err;
        uint32_t base = blocks.front().address;
        for (const Block& block : blocks) base = block.address < base ? block.address : base;
        expect_image(testsupport::read_bytes(out), base, blocks);
    }

    testsupport::TempDir dir_;
};

// A few hundred bytes running across 0x10000, then a second run after a gap.
std::vector<Block> across_64k(uint32_t first = 0xFF00) {
    return {{first, pseudo_random(400, 1)}, {0x10800, pseudo_random(77, 2)}};
}

TEST_F(RoundTripTest, IntelReadBySrecCatAndObjcopy) {
    E2E_REQUIRE_READERS();
    for (int rom : {1, 2, 4, 256}) {
        SCOPED_TRACE(rom);
        // An odd start for the wider lanes puts a lane piece across 0x10000.
        std::vector<Block> blocks = across_64k(rom == 1 ? 0xFF00 : 0xFF01);
        if (rom == 256) blocks[0].bytes = pseudo_random(1024, 3);
        std::string path = write_file(FMT_INTEL, rom, blocks, "r" + std::to_string(rom) + ".hex");
        srec_cat(path, "-intel", blocks);
        objcopy(path, "ihex", blocks);
    }
}

TEST_F(RoundTripTest, MotorolaS2AndS3ReadBySrecCatAndObjcopy) {
    E2E_REQUIRE_READERS();
    for (int format : {FMT_MOTOROLA_S2, FMT_MOTOROLA_S3}) {
        for (int rom : {1, 2, 4, 256}) {
            SCOPED_TRACE(testing::Message() << "format " << format << " rom " << rom);
            coffhex::reset_writers();
            std::vector<Block> blocks = across_64k(rom == 1 ? 0xFF00 : 0xFF01);
            if (rom == 256) blocks[0].bytes = pseudo_random(1024, 4);
            std::string path =
                write_file(format, rom, blocks,
                           "m" + std::to_string(format) + "_" + std::to_string(rom) + ".mot");
            srec_cat(path, "-motorola", blocks);
            objcopy(path, "srec", blocks);
        }
    }
}

TEST_F(RoundTripTest, MotorolaS1ReadBySrecCatAndObjcopy) {
    E2E_REQUIRE_READERS();
    // S1 addresses end at 0xFFFF: the runs stay below.
    const std::vector<Block> blocks = {{0xFD00, pseudo_random(300, 5)},
                                       {0xFF00, pseudo_random(256, 6)}};
    for (int rom : {1, 2, 4}) {
        SCOPED_TRACE(rom);
        coffhex::reset_writers();
        std::string path =
            write_file(FMT_MOTOROLA_S1, rom, blocks, "s1_" + std::to_string(rom) + ".mot");
        srec_cat(path, "-motorola", blocks);
        objcopy(path, "srec", blocks);
    }
}

TEST_F(RoundTripTest, ExtendedTektronixReadBySrecCat) {
    E2E_REQUIRE_TOOLS(e2e::have_tool("srec_cat"), "srec_cat (srecord) is not installed");
    for (int rom : {1, 2, 4, 256}) {
        SCOPED_TRACE(rom);
        std::vector<Block> blocks = across_64k(rom == 1 ? 0xFF00 : 0xFF01);
        if (rom == 256) blocks[0].bytes = pseudo_random(1024, 7);
        std::string path =
            write_file(FMT_TEKTRONIX, rom, blocks, "x" + std::to_string(rom) + ".tek");
        srec_cat(path, "-tektronix_extended", blocks);
    }
}

}  // namespace
}  // namespace formats_test
