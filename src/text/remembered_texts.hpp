// The texts of reals made last, by value, width and decimals. The corners of a mesh come back again
// and again (each in several lines of a face's block, and in the faces around it), so a text is mostly
// copied from here instead of made again. A text depends on nothing but those three, so a copy is the
// same bytes. Filled by formatReal; read inline by writeReal.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numeric/extended.hpp"

namespace m2s {

struct RememberedText {
    std::uint64_t significand = 0;
    std::uint16_t signExponent = 0;
    std::uint8_t width = 0;
    std::uint8_t decimals = 0;
    std::uint8_t length = 0;  // 0: empty (every text has at least one character)
    char text[32] = {};
};

inline constexpr std::size_t rememberedTextCount = 256;
extern RememberedText rememberedTexts[rememberedTextCount];

// Where the text of x is kept, if it is kept.
inline RememberedText& rememberedPlace(Extended x) {
    const std::uint64_t key = (x.significand ^ x.signExponent) * 0x9E3779B97F4A7C15u;
    return rememberedTexts[key >> 56];
}

// The kept text of x with this width and these decimals, or nullptr.
inline const RememberedText* rememberedText(Extended x, std::uint32_t width, std::uint32_t decimals) {
    const RememberedText& place = rememberedPlace(x);
    const bool same = place.length != 0 && place.significand == x.significand &&
                      place.signExponent == x.signExponent && place.width == width && place.decimals == decimals;
    return same ? &place : nullptr;
}

}  // namespace m2s
