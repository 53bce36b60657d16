// The checksum field algorithms: the check values of the CRC catalogue (the
// value over the nine characters "123456789"), and long runs of one block
// added at once give what adding every copy gives.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/checksum_fields.h"

using namespace coffhex;

namespace {

const struct {
    ChecksumAlgorithm algorithm;
    uint32_t check;
} ALGORITHMS[] = {
    {ChecksumAlgorithm::Crc32, 0xCBF43926u},      {ChecksumAlgorithm::Crc32Mpeg2, 0x0376E6E7u},
    {ChecksumAlgorithm::Crc16Ccitt, 0x29B1u},     {ChecksumAlgorithm::Sum16, 0x01DDu},
    {ChecksumAlgorithm::Sum32, 0x01DDu},
};

TEST(ChecksumFieldAlgorithms, CheckValues) {
    const char* text = "123456789";
    for (const auto& row : ALGORITHMS) {
        SCOPED_TRACE(checksum_algorithm_name(row.algorithm));
        ChecksumAccumulator sum(row.algorithm);
        sum.add(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
        EXPECT_EQ(sum.value(), row.check);
    }
}

TEST(ChecksumFieldAlgorithms, RepeatedBlocksAddUpLikeEveryCopy) {
    const std::vector<uint8_t> block = {0x11, 0x22, 0x33, 0x44, 0xA5, 0x00, 0xFF, 0x5A};
    const uint8_t lead[] = {1, 2, 3};
    for (const auto& row : ALGORITHMS) {
        SCOPED_TRACE(checksum_algorithm_name(row.algorithm));
        for (uint64_t count : {0u, 1u, 63u, 64u, 1000u, 4097u}) {
            ChecksumAccumulator once(row.algorithm), copies(row.algorithm);
            once.add(lead, sizeof lead);
            copies.add(lead, sizeof lead);
            once.add_repeated(block.data(), block.size(), count);
            for (uint64_t i = 0; i < count; ++i) copies.add(block.data(), block.size());
            EXPECT_EQ(once.value(), copies.value()) << count;
        }
    }
}

}  // namespace
