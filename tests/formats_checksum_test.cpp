// The figures of an output file: the CRC-32 against published values and
// against its plain one-byte-at-a-time definition, the accumulator's count,
// address range, sum and order, and the text the figures are shown in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/checksum.h"
#include "support/bytes.h"

namespace {

using namespace coffhex;
using Bytes = std::vector<uint8_t>;

uint32_t crc_of(const std::string& text) {
    return crc32_update(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// ---------------------------------------------------------------------------
// CRC-32

TEST(Crc32, PublishedCheckValues) {
    // The check value of the IEEE CRC-32 and values any zlib gives.
    EXPECT_EQ(crc_of("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc_of(""), 0x00000000u);
    EXPECT_EQ(crc_of("a"), 0xE8B7BE43u);
    EXPECT_EQ(crc_of("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    // 32 zero bytes and 4096 bytes of 0xFF: long enough for the folding
    // path; the values are zlib.crc32(bytes(32)) and zlib.crc32(b"\xff" * 4096).
    const Bytes zeros(32, 0x00), ones(4096, 0xFF);
    EXPECT_EQ(crc32_update(0, zeros.data(), zeros.size()), 0x190A55ADu);
    EXPECT_EQ(crc32_update(0, ones.data(), ones.size()), 0xF154670Au);
    EXPECT_EQ(crc32_sliced(0, ones.data(), ones.size()), 0xF154670Au);
    EXPECT_EQ(crc32_bytewise(0, ones.data(), ones.size()), 0xF154670Au);
}

// Every length up to a few folding blocks of 64 and 256 bytes, at every
// alignment, starting from a CRC of earlier bytes: the fast paths must equal
// the definition.
TEST(Crc32, FastPathsEqualTheDefinitionAtEveryLengthAndAlignment) {
    const Bytes data = testsupport::test_bytes(1300, 17);
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t length = 0; length <= 1200; length += length < 600 ? 1 : 7) {
            const uint32_t before = static_cast<uint32_t>(length * 0x9E3779B9u);
            const uint32_t expected = crc32_bytewise(before, data.data() + offset, length);
            ASSERT_EQ(crc32_update(before, data.data() + offset, length), expected)
                << "offset " << offset << " length " << length;
            ASSERT_EQ(crc32_sliced(before, data.data() + offset, length), expected)
                << "offset " << offset << " length " << length;
        }
    }
}

TEST(Crc32, CrcOfPartsChainsToTheCrcOfTheWhole) {
    const Bytes data = testsupport::test_bytes(70000, 3);
    const uint32_t whole = crc32_bytewise(0, data.data(), data.size());
    EXPECT_EQ(crc32_update(0, data.data(), data.size()), whole);
    for (size_t cut : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{4097}, size_t{69999}}) {
        const uint32_t first = crc32_update(0, data.data(), cut);
        EXPECT_EQ(crc32_update(first, data.data() + cut, data.size() - cut), whole) << "cut " << cut;
    }
}

// The portable sum, with bytes of 0xFF (the largest lane sums) and random
// bytes, past the 1024 bytes after which its lanes are added up.
TEST(ByteSum, PortableSumAtEveryLength) {
    const Bytes ones(5000, 0xFF), random = testsupport::test_bytes(5000, 4);
    for (const Bytes* bytes : {&ones, &random}) {
        for (size_t length = 0; length <= 5000; length += length < 1100 ? 1 : 97) {
            uint32_t expected = 0;
            for (size_t i = 0; i < length; ++i) expected += (*bytes)[i];
            ASSERT_EQ(byte_sum(bytes->data(), length), expected) << "length " << length;
        }
    }
}

// ---------------------------------------------------------------------------
// The accumulator

ChecksumFigures figures_after(FileChecksum& sum) { return sum.figures(); }

uint32_t sum_of(const Bytes& bytes) {
    uint32_t sum = 0;
    for (uint8_t b : bytes) sum += b;
    return sum;
}

TEST(FileChecksum, RecordsInAddressOrder) {
    // Two records of a lane of a 32-bit memory: 3 bytes at 0x100 (0x100..
    // 0x102), then 2 bytes at 0x180 (0x180..0x181). 1+2+3+0xFE+0xFF = 6+0x1FD = 0x203.
    FileChecksum sum;
    sum.reset();
    const Bytes first = testsupport::bytes({1, 2, 3}), second = testsupport::bytes({0xFE, 0xFF});
    sum.add(0x100, first.data(), first.size());
    sum.add(0x180, second.data(), second.size());
    const ChecksumFigures f = figures_after(sum);
    EXPECT_EQ(f.bytes, 5u);
    EXPECT_EQ(f.low, 0x100u);
    EXPECT_EQ(f.high, 0x181u);
    EXPECT_EQ(f.sum, 0x203u);
    const Bytes all = testsupport::bytes({1, 2, 3, 0xFE, 0xFF});
    EXPECT_EQ(f.crc, crc32_bytewise(0, all.data(), all.size()));
    EXPECT_TRUE(f.address_order);
}

// Small records gathered in the block, records long enough to bypass it and
// pieces taken every stride bytes give the figures of the bytes one after
// the other, across many blocks.
TEST(FileChecksum, GatheredDirectAndStridedBytesGiveTheSameFigures) {
    const Bytes data = testsupport::test_bytes(3 * FileChecksum::BLOCK + 777, 5);
    FileChecksum sum;
    sum.reset();
    Bytes expected;
    uint32_t address = 0;
    size_t at = 0;
    const size_t lengths[] = {32, 1, 29, FileChecksum::BLOCK / 4, 200, FileChecksum::BLOCK + 3, 7};
    for (size_t i = 0; at < data.size(); ++i) {
        const size_t n = std::min(lengths[i % 7], data.size() - at);
        if (i % 3 == 2) {
            // The same bytes as pieces of 1 byte every 4 bytes of a copy.
            Bytes spread(4 * n);
            for (size_t k = 0; k < n; ++k) spread[4 * k] = data[at + k];
            sum.add(address, {spread.data(), n, 1, 4});
        } else {
            sum.add(address, data.data() + at, n);
        }
        expected.insert(expected.end(), data.begin() + static_cast<long>(at),
                        data.begin() + static_cast<long>(at + n));
        address += static_cast<uint32_t>(n);
        at += n;
    }
    const ChecksumFigures f = sum.figures();
    EXPECT_EQ(f.bytes, data.size());
    EXPECT_EQ(f.low, 0u);
    EXPECT_EQ(f.high, data.size() - 1);
    EXPECT_EQ(f.sum, sum_of(data));
    EXPECT_EQ(f.crc, crc32_bytewise(0, data.data(), data.size()));
    EXPECT_TRUE(f.address_order);
}

// Records taken from a lane run and held back until the run is settled
// join the bytes gathered before and after them in the order they came; a
// run that is settled no longer depends on its memory.
TEST(FileChecksum, RecordsFromARunKeepTheirPlace) {
    Bytes run = testsupport::test_bytes(4000, 8);
    const Bytes before = testsupport::bytes({0xA1, 0xA2}), after = testsupport::bytes({0xB1});
    FileChecksum sum;
    sum.reset();
    sum.add(0x10, before.data(), before.size());
    // Three records one after the other in the run's memory, then one that
    // does not continue them (it starts a new stretch), then a strided one.
    sum.add_from_run(0x100, {run.data(), 1, 32, 32});
    sum.add_from_run(0x120, {run.data() + 32, 1, 32, 32});
    sum.add_from_run(0x140, {run.data() + 64, 4, 8, 8});
    sum.add_from_run(0x160, {run.data() + 200, 1, 100, 100});
    sum.add_from_run(0x1C4, {run.data() + 1000, 3, 1, 10});
    sum.add(0x2000, after.data(), after.size());
    sum.add_from_run(0x3000, {run.data() + 2000, 1, 2000, 2000});
    sum.settle();
    Bytes expected = before;
    auto append = [&](size_t from, size_t count) {
        expected.insert(expected.end(), run.begin() + static_cast<long>(from),
                        run.begin() + static_cast<long>(from + count));
    };
    append(0, 96);
    append(200, 100);
    for (size_t k = 0; k < 3; ++k) expected.push_back(run[1000 + 10 * k]);
    expected.push_back(0xB1);
    append(2000, 2000);
    std::fill(run.begin(), run.end(), 0);  // the run's memory goes
    const ChecksumFigures f = sum.figures();
    EXPECT_EQ(f.bytes, expected.size());
    EXPECT_EQ(f.low, 0x10u);
    EXPECT_EQ(f.high, 0x37CFu);
    EXPECT_TRUE(f.address_order);
    EXPECT_EQ(f.sum, sum_of(expected));
    EXPECT_EQ(f.crc, crc32_bytewise(0, expected.data(), expected.size()));
}

TEST(FileChecksum, AddressesThatGoBackOrRepeatAreNotInAddressOrder) {
    const Bytes four = testsupport::bytes({1, 2, 3, 4});
    // A record below the one before it.
    FileChecksum back;
    back.reset();
    back.add(0x200, four.data(), 4);
    back.add(0x100, four.data(), 4);
    ChecksumFigures f = back.figures();
    EXPECT_FALSE(f.address_order);
    EXPECT_EQ(f.low, 0x100u);
    EXPECT_EQ(f.high, 0x203u);
    EXPECT_EQ(f.bytes, 8u);
    // A record that overlaps the last byte of the one before it.
    FileChecksum overlap;
    overlap.reset();
    overlap.add(0x100, four.data(), 4);
    overlap.add(0x103, four.data(), 4);
    EXPECT_FALSE(overlap.figures().address_order);
    // Right after it is still in order.
    FileChecksum next;
    next.reset();
    next.add(0x100, four.data(), 4);
    next.add(0x104, four.data(), 4);
    EXPECT_TRUE(next.figures().address_order);
}

TEST(FileChecksum, AddressesWrapAtTheWidthOfTheFile) {
    const Bytes four = testsupport::bytes({1, 2, 3, 4});
    // 16-bit addresses: 4 bytes from 0xFFFE are at FFFE, FFFF, 0, 1.
    FileChecksum s1;
    s1.reset(16);
    EXPECT_EQ(s1.address_bits(), 16);
    s1.add(0xFFFE, four.data(), 4);
    ChecksumFigures f = s1.figures();
    EXPECT_EQ(f.low, 0u);
    EXPECT_EQ(f.high, 0xFFFFu);
    EXPECT_EQ(f.bytes, 4u);
    EXPECT_FALSE(f.address_order);
    // An address beyond the width is taken modulo the width (a 16-bit load
    // address going on past 0xFFFF).
    FileChecksum tagged;
    tagged.reset(16);
    tagged.add(0x12340, four.data(), 4);
    f = tagged.figures();
    EXPECT_EQ(f.low, 0x2340u);
    EXPECT_EQ(f.high, 0x2343u);
    EXPECT_TRUE(f.address_order);
    // 32 bits: the top of the address space.
    FileChecksum top;
    top.reset(32);
    top.add(0xFFFFFFFCu, four.data(), 4);
    f = top.figures();
    EXPECT_EQ(f.low, 0xFFFFFFFCu);
    EXPECT_EQ(f.high, 0xFFFFFFFFu);
    EXPECT_TRUE(f.address_order);
    top.add(0xFFFFFFFEu, four.data(), 4);  // overlaps, then wraps to 0..1
    f = top.figures();
    EXPECT_EQ(f.low, 0u);
    EXPECT_EQ(f.bytes, 8u);
    EXPECT_FALSE(f.address_order);
}

TEST(FileChecksum, ResetStartsAFreshFile) {
    const Bytes four = testsupport::bytes({1, 2, 3, 4});
    FileChecksum sum;
    sum.reset(16);
    sum.add(0x10, four.data(), 4);
    sum.add(0x08, four.data(), 4);
    sum.reset();
    EXPECT_EQ(sum.address_bits(), 32);
    ChecksumFigures f = sum.figures();
    EXPECT_EQ(f.bytes, 0u);
    EXPECT_EQ(f.sum, 0u);
    EXPECT_EQ(f.crc, 0u);
    EXPECT_TRUE(f.address_order);
    sum.add(0x12345678, four.data(), 0);  // no bytes: no address either
    sum.add(0x20000, four.data(), 2);
    f = sum.figures();
    EXPECT_EQ(f.low, 0x20000u);
    EXPECT_EQ(f.high, 0x20001u);
    EXPECT_EQ(f.sum, 3u);
}

// ---------------------------------------------------------------------------
// Text

TEST(ChecksumText, LayoutOfTheFigures) {
    ChecksumFigures f;
    f.bytes = 32;
    f.low = 0x100;
    f.high = 0x19f;
    f.sum = 0x0001fe0a;
    f.crc = 0x4c1a9b0e;
    EXPECT_EQ(checksum_text(f), "00000100..0000019f  bytes=32  sum=0001fe0a (fe0a)  crc32=4c1a9b0e");
    // Counts padded to a common width keep the columns after them in line.
    EXPECT_EQ(checksum_text(f, 6), "00000100..0000019f  bytes=32      sum=0001fe0a (fe0a)  crc32=4c1a9b0e");
    f.address_order = false;
    EXPECT_EQ(checksum_text(f), "00000100..0000019f  bytes=32  sum=0001fe0a (fe0a)  crc32=4c1a9b0e  (file order)");
    EXPECT_EQ(checksum_text(ChecksumFigures{}),
              "--------..--------  bytes=0  sum=00000000 (0000)  crc32=00000000");
    EXPECT_EQ(count_digits(0), 1);
    EXPECT_EQ(count_digits(9), 1);
    EXPECT_EQ(count_digits(10), 2);
    EXPECT_EQ(count_digits(4294967296ull), 10);
}

}  // namespace
