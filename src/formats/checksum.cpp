// CRC-32 and byte sums for the figures of the output files: sixteen tables
// of 256 entries, built at compile time, take sixteen bytes per step; on x86
// processors with carry-less multiplication, folding takes 64 bytes per
// step, or 256 with 512-bit registers. The file accumulator sums and checks
// its block of gathered bytes.
#include "formats/checksum.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/cpu.h"

#if COFFHEX_X86_VECTORS
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

#if COFFHEX_X86_VECTORS
#define COFFHEX_CRC32_FOLDING 1
// Carry-less multiplication folding, used when the processor has it: the
// bytes are taken as a polynomial, and the remainder so far is carried
// forward over the bytes that follow by multiplying it by x^k mod P (k the
// distance), which lets 64 (or, with 512-bit registers, 256) bytes be
// folded per step into a few independent 128-bit remainders. These are
// folded into one and reduced to the 32-bit CRC (Barrett reduction).

// x^n mod P with P = x^32 + 0x04C11DB7 (the IEEE polynomial, not reflected).
constexpr uint32_t x_power_mod(uint32_t n) {
    uint64_t r = 1;
    for (uint32_t i = 0; i < n; ++i) {
        r <<= 1;
        if ((r >> 32) != 0) r ^= 0x104C11DB7ull;
    }
    return static_cast<uint32_t>(r);
}
constexpr uint32_t reflect32(uint32_t v) {
    uint32_t r = 0;
    for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
    return r;
}
// The multiplier that carries a 64-bit half of a remainder `n` bits on in the
// bit-reflected domain.
constexpr long long fold_constant(uint32_t n) {
    return static_cast<long long>(uint64_t{reflect32(x_power_mod(n))} << 1);
}
// Carrying a 128-bit remainder `distance` bits on: its low half (the earlier
// bytes) by x^(distance + 32), its high half by x^(distance - 32).
constexpr long long FOLD_LOW(uint32_t distance) { return fold_constant(distance + 32); }
constexpr long long FOLD_HIGH(uint32_t distance) { return fold_constant(distance - 32); }
static_assert(FOLD_LOW(512) == 0x154442bd4 && FOLD_HIGH(512) == 0x1c6e41596,
              "folding constants of the reflected IEEE CRC-32");
static_assert(FOLD_LOW(128) == 0x1751997d0 && FOLD_HIGH(128) == 0x0ccaa009e,
              "folding constants of the reflected IEEE CRC-32");
static_assert(fold_constant(64) == 0x163cd6124, "folding constants of the reflected IEEE CRC-32");

// The remainder `x` carried `k`'s distance on and added to `next`.
__attribute__((target("pclmul,sse4.1"))) inline __m128i fold_128(__m128i x, __m128i next,
                                                                 __m128i k) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, next), low);
}

// Sixteen bytes, their byte sum added to `sums` when `with_sum` (the sums of
// absolute differences from zero give the sum of each half in a 64-bit lane).
template <bool with_sum>
__attribute__((target("pclmul,sse4.1"))) inline __m128i load_128(const uint8_t* at, __m128i& sums) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    if (with_sum) sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    return bytes;
}

// The last whole 16-byte blocks folded into the remainder `x1`, then the
// reduction of 128 bits to the 32-bit register.
template <bool with_sum>
__attribute__((target("pclmul,sse4.1"))) uint32_t fold_tail_and_reduce(__m128i x1, const uint8_t* p,
                                                                       size_t count, __m128i& sums) {
    const __m128i k128 = _mm_set_epi64x(FOLD_HIGH(128), FOLD_LOW(128));
    const __m128i k64 = _mm_set_epi64x(0, fold_constant(64));
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);  // P and its Barrett quotient
    while (count >= 16) {
        x1 = fold_128(x1, load_128<with_sum>(p, sums), k128);
        p += 16;
        count -= 16;
    }
    // 128 bits to 64, then the Barrett reduction to 32.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x2 = _mm_clmulepi64_si128(x1, k128, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k64, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask32), poly, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

// With PCLMULQDQ: 64 bytes per step in four 128-bit remainders. `count` is
// a multiple of 16 and at least 64; returns the register. With `with_sum`
// the byte values of the same loads are added to `sum` as well.
template <bool with_sum>
__attribute__((target("pclmul,sse4.1"))) uint32_t crc32_register_folded(uint32_t c,
                                                                        const uint8_t* p,
                                                                        size_t count,
                                                                        uint32_t& sum) {
    const __m128i k512 = _mm_set_epi64x(FOLD_HIGH(512), FOLD_LOW(512));
    const __m128i k128 = _mm_set_epi64x(FOLD_HIGH(128), FOLD_LOW(128));
    __m128i sums = _mm_setzero_si128();
    __m128i x1 = _mm_xor_si128(load_128<with_sum>(p, sums), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x2 = load_128<with_sum>(p + 16, sums);
    __m128i x3 = load_128<with_sum>(p + 32, sums);
    __m128i x4 = load_128<with_sum>(p + 48, sums);
    p += 64;
    count -= 64;
    while (count >= 64) {
        x1 = fold_128(x1, load_128<with_sum>(p, sums), k512);
        x2 = fold_128(x2, load_128<with_sum>(p + 16, sums), k512);
        x3 = fold_128(x3, load_128<with_sum>(p + 32, sums), k512);
        x4 = fold_128(x4, load_128<with_sum>(p + 48, sums), k512);
        p += 64;
        count -= 64;
    }
    // Four remainders into one.
    x1 = fold_128(x1, x2, k128);
    x1 = fold_128(x1, x3, k128);
    x1 = fold_128(x1, x4, k128);
    const uint32_t r = fold_tail_and_reduce<with_sum>(x1, p, count, sums);
    if (with_sum)
        sum += static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
               static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    return r;
}

bool have_folding() { return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"); }

#if COFFHEX_X86_WIDE_VECTORS
#define COFFHEX_CRC32_WIDE_FOLDING 1
#define COFFHEX_WIDE_TARGET "avx512f,avx512bw,vpclmulqdq,pclmul,sse4.1"

// With 512-bit carry-less multiplication (VPCLMULQDQ): 256 bytes per step
// in four 512-bit registers of four 128-bit remainders each. `count` is a
// multiple of 16 and at least 256; returns the register.
__attribute__((target(COFFHEX_WIDE_TARGET))) inline __m512i fold_512(__m512i x, __m512i next,
                                                                    __m512i k) {
    const __m512i low = _mm512_clmulepi64_epi128(x, k, 0x00);
    const __m512i high = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // low ^ high ^ next
}

// Sixty-four bytes, their byte sum added to `sums` when `with_sum`.
template <bool with_sum>
__attribute__((target(COFFHEX_WIDE_TARGET))) inline __m512i load_512(const uint8_t* at, __m512i& sums) {
    const __m512i bytes = _mm512_loadu_si512(at);
    if (with_sum) sums = _mm512_add_epi64(sums, _mm512_sad_epu8(bytes, _mm512_setzero_si512()));
    return bytes;
}

template <bool with_sum>
__attribute__((target(COFFHEX_WIDE_TARGET))) uint32_t crc32_register_folded_wide(uint32_t c,
                                                                                 const uint8_t* p,
                                                                                 size_t count,
                                                                                 uint32_t& sum) {
    const __m512i k2048 = _mm512_set_epi64(FOLD_HIGH(2048), FOLD_LOW(2048), FOLD_HIGH(2048),
                                           FOLD_LOW(2048), FOLD_HIGH(2048), FOLD_LOW(2048),
                                           FOLD_HIGH(2048), FOLD_LOW(2048));
    const __m512i k512 = _mm512_set_epi64(FOLD_HIGH(512), FOLD_LOW(512), FOLD_HIGH(512),
                                          FOLD_LOW(512), FOLD_HIGH(512), FOLD_LOW(512),
                                          FOLD_HIGH(512), FOLD_LOW(512));
    __m512i sums = _mm512_setzero_si512();
    __m512i x0 = _mm512_xor_si512(load_512<with_sum>(p, sums),
                                  _mm512_set_epi32(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                   static_cast<int>(c)));
    __m512i x1 = load_512<with_sum>(p + 64, sums);
    __m512i x2 = load_512<with_sum>(p + 128, sums);
    __m512i x3 = load_512<with_sum>(p + 192, sums);
    p += 256;
    count -= 256;
    while (count >= 256) {
        x0 = fold_512(x0, load_512<with_sum>(p, sums), k2048);
        x1 = fold_512(x1, load_512<with_sum>(p + 64, sums), k2048);
        x2 = fold_512(x2, load_512<with_sum>(p + 128, sums), k2048);
        x3 = fold_512(x3, load_512<with_sum>(p + 192, sums), k2048);
        p += 256;
        count -= 256;
    }
    // Four registers into one, then 64 bytes at a time.
    x0 = fold_512(x0, x1, k512);
    x0 = fold_512(x0, x2, k512);
    x0 = fold_512(x0, x3, k512);
    while (count >= 64) {
        x0 = fold_512(x0, load_512<with_sum>(p, sums), k512);
        p += 64;
        count -= 64;
    }
    // The four 128-bit remainders of the register into one, each carried
    // 128 bits on over the next.
    alignas(64) uint8_t lanes[64];
    _mm512_store_si512(lanes, x0);
    auto lane = [&lanes](int i) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes + 16 * i)); };
    __m128i x = fold_128(lane(0), lane(1), _mm_set_epi64x(FOLD_HIGH(128), FOLD_LOW(128)));
    x = fold_128(x, lane(2), _mm_set_epi64x(FOLD_HIGH(128), FOLD_LOW(128)));
    x = fold_128(x, lane(3), _mm_set_epi64x(FOLD_HIGH(128), FOLD_LOW(128)));
    __m128i tail_sums = _mm_setzero_si128();
    const uint32_t r = fold_tail_and_reduce<with_sum>(x, p, count, tail_sums);
    if (with_sum) {
        alignas(64) uint64_t lane_sums[8];
        _mm512_store_si512(lane_sums, sums);
        for (uint64_t lane_sum : lane_sums) sum += static_cast<uint32_t>(lane_sum);
        sum += static_cast<uint32_t>(_mm_cvtsi128_si32(tail_sums)) +
               static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(tail_sums, 8)));
    }
    return r;
}

bool have_wide_folding() {
    return __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw") && have_folding();
}
#endif
#endif

// The CRC register after `count` more bytes, and their sum added to `sum`.
uint32_t crc32_register_and_sum(uint32_t c, const uint8_t* bytes, size_t count, uint32_t& sum) {
#if defined(COFFHEX_CRC32_WIDE_FOLDING)
    if (count >= 256 && have_wide_folding()) {
        const size_t folded = count & ~size_t{15};
        c = crc32_register_folded_wide<true>(c, bytes, folded, sum);
        bytes += folded;
        count -= folded;
    }
#endif
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
#if defined(COFFHEX_CRC32_WIDE_FOLDING)
    if (count >= 256 && have_wide_folding()) {
        const size_t folded = count & ~size_t{15};
        uint32_t unused = 0;
        c = crc32_register_folded_wide<false>(c, bytes, folded, unused);
        bytes += folded;
        count -= folded;
    }
#endif
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
