// The figures a device programmer shows for an output file, worked out from
// the data bytes as the record writers write them: how many bytes the file
// carries, the lowest and highest address it puts them at, the 32-bit sum of
// the bytes and the CRC-32 of the bytes in address order.
//
// A writer holds an optional FileChecksum (nullptr when -checksum is not
// given) and adds every record's data bytes to it at the one place where it
// encodes the record, with the address the file gives the record's first
// byte; the record's further bytes follow one another from there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "formats/encoders.h"

namespace coffhex {

// The figures of one file.
struct ChecksumFigures {
    uint64_t bytes = 0;     // data bytes the file carries
    uint32_t low = 0;       // lowest address of a data byte (0 when there is none)
    uint32_t high = 0;      // highest address of a data byte (0 when there is none)
    uint32_t sum = 0;       // sum of the data bytes, modulo 2^32
    uint32_t crc = 0;       // CRC-32 of the data bytes in the order the file holds them
    // Every record's first byte lay above the last byte of the records
    // before it, so the file's order is the address order and `crc` is the
    // CRC in address order. False where addresses went back or repeated
    // (cut S1/S2 addresses, addresses wrapping past the top).
    bool address_order = true;
};

// The accumulator of one output file. The bytes are copied into a block of
// its own as they are added, and summed and checked (zlib's crc32) block by
// block, so that the short records of the text formats cost a copy each and
// the CRC runs over long stretches; no writer keeps its bytes for it.
class FileChecksum {
public:
    static constexpr size_t BLOCK = 16 * 1024;

    FileChecksum();
    FileChecksum(const FileChecksum&) = delete;
    FileChecksum& operator=(const FileChecksum&) = delete;

    // Starts a new file whose addresses are `address_bits` wide (16, 24 or
    // 32): an address past the top wraps to 0.
    void reset(int address_bits = 32);
    int address_bits() const { return address_bits_; }

    // `count` data bytes, the first at `address`, the others following it.
    void add(uint32_t address, const uint8_t* bytes, size_t count) {
        if (count == 0) return;
        track(address, count);
        if (count >= BLOCK / 4) {
            flush();
            take(bytes, count);
            return;
        }
        if (staged_ + count > BLOCK) flush();
        std::memcpy(block_.get() + staged_, bytes, count);
        staged_ += count;
    }
    // A record's bytes where they lie in a lane run.
    void add(uint32_t address, const RecordBytes& bytes) {
        if (bytes.stride == bytes.width || bytes.pieces == 1)
            add(address, bytes.data, bytes.count());
        else
            add_pieces(address, bytes);
    }

    // The figures of everything added since the last reset.
    ChecksumFigures figures();

private:
    // Follows the addresses of `count` bytes from `address` on: the usual
    // record lies above every byte before it and below the top.
    void track(uint32_t address, uint64_t count) {
        const uint64_t at = address & (space_ - 1);
        if (figures_.bytes != 0 && at >= next_ && count <= space_ - at) {
            next_ = at + count;
            figures_.high = static_cast<uint32_t>(next_ - 1);
            figures_.bytes += count;
            return;
        }
        track_parts(address, count);
    }
    void track_parts(uint32_t address, uint64_t count);
    void add_pieces(uint32_t address, const RecordBytes& bytes);
    void flush() {
        if (staged_ == 0) return;
        take(block_.get(), staged_);
        staged_ = 0;
    }
    void take(const uint8_t* bytes, size_t count);

    std::unique_ptr<uint8_t[]> block_;
    size_t staged_ = 0;
    int address_bits_ = 32;
    uint64_t space_ = uint64_t{1} << 32;  // addresses of the file
    ChecksumFigures figures_;
    uint64_t next_ = 0;  // one past the highest address so far
};

// The figures as one line of text: the address range, the byte count (padded
// with blanks to `count_width` digits), the sum with its low 16 bits in
// parentheses and the CRC-32, lower-case hex:
//   "00000000..0000007f  bytes=32  sum=00000f10 (0f10)  crc32=4c1a9b0e"
// A file without data bytes shows "--------..--------"; a file whose bytes
// are not in address order ends in "  (file order)".
std::string checksum_text(const ChecksumFigures& figures, int count_width = 0);

// Digits of the byte count as checksum_text writes it.
int count_digits(uint64_t bytes);

}  // namespace coffhex
