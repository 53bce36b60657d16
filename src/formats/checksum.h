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

// CRC-32 with the IEEE polynomial (reflected 0xEDB88320, initial value and
// final value inverted): the CRC of `count` more bytes after bytes whose
// CRC is `crc` (0 before any byte). crc32_update(0, "123456789", 9) is
// 0xCBF43926, and crc32_update(crc32_update(0, a), b) is the CRC of a then b.
// On x86 processors with carry-less multiplication it folds 64 bytes per
// step (256 with 512-bit registers, outside Windows); elsewhere, and for
// what is left over, it slices by 16 bytes.
uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t count);

// The same CRC by the portable path alone (tables, 16 bytes per step), and
// one byte at a time (the plain definition). crc32_update gives the same as
// both; the tests compare them.
uint32_t crc32_sliced(uint32_t crc, const uint8_t* bytes, size_t count);
uint32_t crc32_bytewise(uint32_t crc, const uint8_t* bytes, size_t count);

// Sum of the byte values, modulo 2^32, by the portable path (the file
// accumulator sums in its CRC loads where it folds).
uint32_t byte_sum(const uint8_t* bytes, size_t count);

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

// The accumulator of one output file. Bytes are gathered into a block of
// its own and summed and checked block by block, so that the short records
// of the text formats cost a copy each and the CRC runs over long stretches.
// Records taken straight from a lane run whose bytes follow one another in
// memory are not copied: they are summed and checked together once the run
// is written (settle()).
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
    // They are taken at once: the caller may reuse its buffer afterwards.
    void add(uint32_t address, const uint8_t* bytes, size_t count) {
        if (count == 0) return;
        settle();
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
    // A record's bytes where they lie in a lane run (taken at once).
    void add(uint32_t address, const RecordBytes& bytes) {
        if (bytes.stride == bytes.width || bytes.pieces == 1) {
            add(address, bytes.data, bytes.count());
            return;
        }
        settle();
        add_pieces(address, bytes);
    }

    // A record's bytes in the lane run being written, which stays in place
    // until the writer's data operation returns: bytes one after the other
    // that continue the record before in memory join it and are taken with
    // it later. The writer calls settle() before it returns.
    void add_from_run(uint32_t address, const RecordBytes& bytes) {
        const size_t count = bytes.count();
        if (count == 0) return;
        if (bytes.stride != bytes.width && bytes.pieces != 1) {
            settle();
            add_pieces(address, bytes);
            return;
        }
        track(address, count);
        if (bytes.data == run_end_) {
            run_end_ += count;
            return;
        }
        settle();
        run_start_ = bytes.data;
        run_end_ = bytes.data + count;
    }
    // Takes the run's bytes still held back (after the gathered ones, which
    // all came before them).
    void settle() {
        if (run_start_ == nullptr) return;
        flush();
        take(run_start_, static_cast<size_t>(run_end_ - run_start_));
        run_start_ = run_end_ = nullptr;
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
    // Bytes of the current lane run held back (none: both nullptr).
    const uint8_t* run_start_ = nullptr;
    const uint8_t* run_end_ = nullptr;
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
