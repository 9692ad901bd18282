// The values of the short plain tokens read last. A mesh names each corner in several faces, and a
// triangle's fourth corner repeats its third, so the same token comes back again and again; its value
// depends on its bytes alone. Filled by readReal's full way, read inline by readReal.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "numeric/extended.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace m2s {

// A token of at most 15 bytes by its bytes: 0 to 7 in low, 8 to 14 in high with the length in
// high's top byte, zeros beyond the token's end. Two equal keys are the same token.
struct TokenKey {
    std::uint64_t low = 0;
    std::uint64_t high = 0;  // 0: no token (every token has at least one byte)
    std::uint32_t length() const { return static_cast<std::uint32_t>(high >> 56); }
    std::size_t place() const {
        return static_cast<std::size_t>(((low ^ (high << 3)) * 0x9E3779B97F4A7C15u) >> 56);
    }
};

struct RememberedValue {
    TokenKey key;
    Extended value{};
};

inline constexpr std::size_t rememberedValueCount = 256;
extern RememberedValue rememberedValues[rememberedValueCount];

// The key of the token at start: the bytes up to the first of 32 or less, when that comes within 16
// bytes; false otherwise, and on a host that keeps the first byte highest in a word. The 16 bytes at
// start must be readable; whether the byte that ends the token is a true one is the caller's to know.
// Two ways, the same keys: eight bytes at a time in 64-bit words, and sixteen at once where the
// processor has 16-byte vectors.
inline bool tokenKeyByWords(const std::uint8_t* start, TokenKey& key) {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    }
    constexpr std::uint64_t eachByte = 0x0101010101010101u;
    std::uint64_t words[2];
    std::memcpy(words, start, sizeof words);
    // Bit 7 of each byte below 33; the lowest one found is exact.
    const std::uint64_t lowEnds = (words[0] - eachByte * 33) & ~words[0] & (eachByte * 0x80);
    const std::uint64_t highEnds = (words[1] - eachByte * 33) & ~words[1] & (eachByte * 0x80);
    if (lowEnds != 0) {
        const auto length = static_cast<std::uint32_t>(std::countr_zero(lowEnds)) / 8;
        key.low = words[0] & ((std::uint64_t{1} << (8 * length)) - 1);  // length 0 is no token: not asked
        key.high = std::uint64_t{length} << 56;
        return true;
    }
    if (highEnds == 0) {
        return false;
    }
    const auto length = 8 + static_cast<std::uint32_t>(std::countr_zero(highEnds)) / 8;
    if (length >= 16) {
        return false;
    }
    key.low = words[0];
    key.high = (words[1] & ((std::uint64_t{1} << (8 * (length - 8))) - 1)) | (std::uint64_t{length} << 56);
    return true;
}

#if defined(__SSE2__)
// 16 bytes kept, then 16 cleared: from byte 16 - n on, the mask that keeps a vector's first n bytes.
alignas(32) inline constexpr std::uint8_t keepFirstBytes[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

inline bool tokenKeyByVector(const std::uint8_t* start, TokenKey& key) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start));
    const __m128i blank = _mm_set1_epi8(32);
    const auto ends = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(bytes, blank), blank)));
    const auto length = static_cast<std::uint32_t>(std::countr_zero(ends | 0x10000u));
    if (length >= 16) {
        return false;
    }
    const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keepFirstBytes + 16 - length));
    const __m128i token = _mm_and_si128(bytes, keep);
    key.low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(token));
    key.high = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(token, token))) |
               (std::uint64_t{length} << 56);
    return true;
}
#endif

inline bool tokenKeyAt(const std::uint8_t* start, TokenKey& key) {
#if defined(__SSE2__)
    return tokenKeyByVector(start, key);
#else
    return tokenKeyByWords(start, key);
#endif
}

}  // namespace m2s
