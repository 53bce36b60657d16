// The file accumulator: the byte sum and zlib's CRC-32 of the data bytes,
// with the address range they cover.
#include "formats/checksum.h"

#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace coffhex {

namespace {

// Sum of the byte values, modulo 2^32; 64 bytes at a time, a count the
// compiler turns into vector additions.
uint32_t byte_sum(const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 64 <= count; i += 64)
        for (size_t k = 0; k < 64; ++k) sum += bytes[i + k];
    for (; i < count; ++i) sum += bytes[i];
    return sum;
}

}  // namespace

FileChecksum::FileChecksum() : block_(std::make_unique<uint8_t[]>(BLOCK)) {}

void FileChecksum::reset(int address_bits) {
    staged_ = 0;
    address_bits_ = address_bits > 0 && address_bits < 32 ? address_bits : 32;
    space_ = uint64_t{1} << address_bits_;
    figures_ = ChecksumFigures{};
    next_ = 0;
}

// Follows the addresses of `count` bytes from `address` on; where they run
// past the top of the file's addresses they go on from 0.
void FileChecksum::track_parts(uint32_t address, uint64_t count) {
    uint64_t at = address & (space_ - 1);
    while (count > 0) {
        const uint64_t n = std::min(count, space_ - at);
        const uint64_t end = at + n;  // one past the last byte of this part
        if (figures_.bytes == 0) {
            figures_.low = static_cast<uint32_t>(at);
            figures_.high = static_cast<uint32_t>(end - 1);
            next_ = end;
        } else {
            if (at < next_) figures_.address_order = false;
            figures_.low = std::min(figures_.low, static_cast<uint32_t>(at));
            figures_.high = std::max(figures_.high, static_cast<uint32_t>(end - 1));
            next_ = std::max(next_, end);
        }
        figures_.bytes += n;
        count -= n;
        at = 0;
    }
}

// The pieces of a lane run gathered into the block, as many as fit at a time.
void FileChecksum::add_pieces(uint32_t address, const RecordBytes& bytes) {
    if (bytes.count() == 0) return;
    track(address, bytes.count());
    const uint8_t* piece = bytes.data;
    for (size_t i = 0; i < bytes.pieces; ++i, piece += bytes.stride) {
        if (bytes.width > BLOCK) {
            flush();
            take(piece, bytes.width);
            continue;
        }
        if (staged_ + bytes.width > BLOCK) flush();
        uint8_t* out = block_.get() + staged_;
        if (bytes.width == 1)
            *out = *piece;
        else
            std::memcpy(out, piece, bytes.width);
        staged_ += bytes.width;
    }
}

void FileChecksum::take(const uint8_t* bytes, size_t count) {
    figures_.sum += byte_sum(bytes, count);
    figures_.crc = static_cast<uint32_t>(crc32_z(figures_.crc, bytes, count));
}

ChecksumFigures FileChecksum::figures() {
    flush();
    return figures_;
}

// ---------------------------------------------------------------- text

int count_digits(uint64_t bytes) {
    int digits = 1;
    while (bytes >= 10) {
        bytes /= 10;
        ++digits;
    }
    return digits;
}

std::string checksum_text(const ChecksumFigures& f, int count_width) {
    char text[160];
    char range[24];
    if (f.bytes == 0)
        std::snprintf(range, sizeof range, "--------..--------");
    else
        std::snprintf(range, sizeof range, "%08" PRIx32 "..%08" PRIx32, f.low, f.high);
    std::snprintf(text, sizeof text, "%s  bytes=%-*" PRIu64 "  sum=%08" PRIx32 " (%04" PRIx32
                                     ")  crc32=%08" PRIx32 "%s",
                  range, count_width, f.bytes, f.sum, f.sum & 0xFFFFu, f.crc,
                  f.address_order ? "" : "  (file order)");
    return text;
}

}  // namespace coffhex
