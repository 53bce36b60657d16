// CRC-32 and byte sums for the figures of the output files: sixteen tables
// of 256 entries, built at compile time, take sixteen bytes per step; on x86
// processors with carry-less multiplication, folding takes 64 bytes per
// step. The file accumulator sums and checks its block of gathered bytes.
#include "formats/checksum.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

namespace coffhex {

namespace {

constexpr uint32_t CRC32_POLYNOMIAL = 0xEDB88320u;  // IEEE, bit-reflected

// Table 0 is the CRC of every byte value on its own; table k the CRC of the
// byte followed by k zero bytes, so that sixteen bytes can be looked up
// independently and combined with XOR.
struct Crc32Tables {
    uint32_t t[16][256];
};
constexpr Crc32Tables make_crc32_tables() {
    Crc32Tables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (CRC32_POLYNOMIAL & (0u - (c & 1u)));
        tables.t[0][i] = c;
    }
    for (int k = 1; k < 16; ++k)
        for (int i = 0; i < 256; ++i) {
            const uint32_t previous = tables.t[k - 1][i];
            tables.t[k][i] = (previous >> 8) ^ tables.t[0][previous & 0xFF];
        }
    return tables;
}
constexpr Crc32Tables CRC32_TABLES = make_crc32_tables();
static_assert(CRC32_TABLES.t[0][1] == 0x77073096u, "CRC-32 table of the IEEE polynomial");
static_assert(CRC32_TABLES.t[0][255] == 0x2D02EF8Du, "CRC-32 table of the IEEE polynomial");

// Four bytes as a little-endian number, whatever the host's byte order.
inline uint32_t load_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The CRC register (not inverted) after `count` more bytes.
inline uint32_t crc32_register_bytes(uint32_t c, const uint8_t* p, size_t count) {
    const auto& t = CRC32_TABLES.t;
    for (size_t i = 0; i < count; ++i) c = (c >> 8) ^ t[0][(c ^ p[i]) & 0xFF];
    return c;
}

uint32_t crc32_register_sliced(uint32_t c, const uint8_t* p, size_t count) {
    const auto& t = CRC32_TABLES.t;
    while (count >= 16) {
        const uint32_t a = load_le32(p) ^ c;
        const uint32_t b = load_le32(p + 4);
        const uint32_t d = load_le32(p + 8);
        const uint32_t e = load_le32(p + 12);
        c = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
            t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
            t[7][d & 0xFF] ^ t[6][(d >> 8) & 0xFF] ^ t[5][(d >> 16) & 0xFF] ^ t[4][d >> 24] ^
            t[3][e & 0xFF] ^ t[2][(e >> 8) & 0xFF] ^ t[1][(e >> 16) & 0xFF] ^ t[0][e >> 24];
        p += 16;
        count -= 16;
    }
    return crc32_register_bytes(c, p, count);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define COFFHEX_CRC32_FOLDING 1
// Carry-less multiplication folding (PCLMULQDQ), used when the processor
// has it: 64 bytes per step are folded into four 128-bit remainders, which
// are folded into one and reduced to the 32-bit CRC (Barrett reduction).
// The constants are x^k mod P for the folding distances, bit-reflected.
// `count` is a multiple of 16 and at least 64; returns the register. With
// `with_sum` the byte values of the same loads are added to `sum` as well.

// The remainder `x` carried 128 bits on and added to `next`.
__attribute__((target("pclmul,sse4.1"))) inline __m128i fold_128(__m128i x, __m128i next,
                                                                 __m128i k3k4) {
    const __m128i low = _mm_clmulepi64_si128(x, k3k4, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k3k4, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, next), low);
}

template <bool with_sum>
__attribute__((target("pclmul,sse4.1"))) uint32_t crc32_register_folded(uint32_t c,
                                                                        const uint8_t* p,
                                                                        size_t count,
                                                                        uint32_t& sum) {
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);  // 4 x 128 bits on
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);  // 128 bits on
    const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124);             // 64 bits on
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);  // P and its Barrett quotient
    // The sums of absolute differences from zero give the byte sum of each
    // half of a load in a 64-bit lane.
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero;
    auto load = [&sums, zero](const uint8_t* at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        if (with_sum) sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, zero));
        return bytes;
    };

    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x2 = load(p + 16);
    __m128i x3 = load(p + 32);
    __m128i x4 = load(p + 48);
    p += 64;
    count -= 64;
    while (count >= 64) {
        const __m128i x5 = _mm_clmulepi64_si128(x1, k1k2, 0x00);
        const __m128i x6 = _mm_clmulepi64_si128(x2, k1k2, 0x00);
        const __m128i x7 = _mm_clmulepi64_si128(x3, k1k2, 0x00);
        const __m128i x8 = _mm_clmulepi64_si128(x4, k1k2, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), load(p));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), load(p + 16));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), load(p + 32));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), load(p + 48));
        p += 64;
        count -= 64;
    }
    // Four remainders into one.
    x1 = fold_128(x1, x2, k3k4);
    x1 = fold_128(x1, x3, k3k4);
    x1 = fold_128(x1, x4, k3k4);
    while (count >= 16) {
        x1 = fold_128(x1, load(p), k3k4);
        p += 16;
        count -= 16;
    }
    // 128 bits to 64, then the Barrett reduction to 32.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5k0, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask32), poly, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    if (with_sum)
        sum += static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
               static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool have_folding() { return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"); }
#endif

// The CRC register after `count` more bytes, and their sum added to `sum`.
uint32_t crc32_register_and_sum(uint32_t c, const uint8_t* bytes, size_t count, uint32_t& sum) {
#if defined(COFFHEX_CRC32_FOLDING)
    if (count >= 64 && have_folding()) {
        const size_t folded = count & ~size_t{15};
        c = crc32_register_folded<true>(c, bytes, folded, sum);
        bytes += folded;
        count -= folded;
    }
#endif
    sum += byte_sum(bytes, count);
    return crc32_register_sliced(c, bytes, count);
}

}  // namespace

// Eight bytes at a time: each 16-bit lane of `lanes` takes two bytes per
// step and holds 128 steps.
uint32_t byte_sum(const uint8_t* p, size_t count) {
    constexpr uint64_t EVEN = 0x00FF00FF00FF00FFull;
    uint32_t sum = 0;
    while (count >= 8) {
        const size_t steps = std::min<size_t>(count / 8, 128);
        uint64_t lanes = 0;
        for (size_t i = 0; i < steps; ++i, p += 8) {
            uint64_t word = 0;
            for (int k = 0; k < 8; ++k) word |= static_cast<uint64_t>(p[k]) << (8 * k);
            lanes += (word & EVEN) + ((word >> 8) & EVEN);
        }
        sum += static_cast<uint32_t>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) +
                                     ((lanes >> 32) & 0xFFFF) + (lanes >> 48));
        count -= 8 * steps;
    }
    for (size_t i = 0; i < count; ++i) sum += p[i];
    return sum;
}

uint32_t crc32_bytewise(uint32_t crc, const uint8_t* bytes, size_t count) {
    return ~crc32_register_bytes(~crc, bytes, count);
}

uint32_t crc32_sliced(uint32_t crc, const uint8_t* bytes, size_t count) {
    return ~crc32_register_sliced(~crc, bytes, count);
}

uint32_t crc32_update(uint32_t crc, const uint8_t* bytes, size_t count) {
    uint32_t c = ~crc;
#if defined(COFFHEX_CRC32_FOLDING)
    if (count >= 64 && have_folding()) {
        const size_t folded = count & ~size_t{15};
        uint32_t unused = 0;
        c = crc32_register_folded<false>(c, bytes, folded, unused);
        bytes += folded;
        count -= folded;
    }
#endif
    return ~crc32_register_sliced(c, bytes, count);
}

// ---------------------------------------------------------------- the file accumulator

FileChecksum::FileChecksum() : block_(std::make_unique<uint8_t[]>(BLOCK)) {}

void FileChecksum::reset(int address_bits) {
    staged_ = 0;
    run_start_ = run_end_ = nullptr;
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
    figures_.crc = ~crc32_register_and_sum(~figures_.crc, bytes, count, figures_.sum);
}

ChecksumFigures FileChecksum::figures() {
    settle();
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
