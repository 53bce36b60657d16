// The figures of an output file: the accumulator's count, address range,
// sum, CRC-32 (against its plain bit-by-bit definition) and order, and the
// text the figures are shown in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/checksum.h"
#include "support/bytes.h"

namespace {

using namespace coffhex;
using Bytes = std::vector<uint8_t>;

// CRC-32 bit by bit, the textbook loop (no tables).
uint32_t crc32_bits(const uint8_t* bytes, size_t count) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
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
    EXPECT_EQ(f.crc, crc32_bits(all.data(), all.size()));
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
    EXPECT_EQ(f.crc, crc32_bits(data.data(), data.size()));
    EXPECT_TRUE(f.address_order);
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
