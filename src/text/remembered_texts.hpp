// The texts of reals made last, by value, width and decimals. The corners of a mesh come back again
// and again (each in several lines of a face's block, and in the faces around it), so a text is mostly
// copied from here instead of made again. A text depends on nothing but those three, so a copy is the
// same bytes. Filled by formatReal, and by readReal with the text of a number read from a token that
// already is that text; read inline by writeReal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "numeric/extended.hpp"

namespace m2s {

struct RememberedText {
    std::uint64_t significand = 0;
    std::uint32_t layout = 0;  // see rememberedLayout; 0: empty
    std::uint8_t length = 0;
    char text[32] = {};
};

inline constexpr std::size_t rememberedTextCount = 256;
extern RememberedText rememberedTexts[rememberedTextCount];

// Texts are remembered only for the layouts that fit one word with the sign and exponent.
inline constexpr std::uint32_t widestRememberedWidth = 255;
inline constexpr std::uint32_t mostRememberedDecimals = 127;

// The sign and exponent of x, the width and the decimals in one word, its top bit set so that no
// filled place holds 0: one compare besides the significand's tells a text kept for them. With
// decimals every text has at least 3 characters ("0.0", "Nan"), and the exponent form has as many
// digits for every width up to 10, so a width of 3 or less never changes the text: it counts as 0.
inline std::uint32_t rememberedLayout(Extended x, std::uint32_t width, std::uint32_t decimals) {
    const std::uint32_t telling = decimals != 0 && width <= 3 ? 0 : width;
    return x.signExponent | telling << 16 | decimals << 24 | 0x80000000u;
}

// Where the text of x is kept, if it is kept.
inline RememberedText& rememberedPlace(Extended x) {
    const std::uint64_t key = (x.significand ^ x.signExponent) * 0x9E3779B97F4A7C15u;
    return rememberedTexts[key >> 56];
}

// Keeps text (at most 32 bytes) as the text of x with these decimals (1 to 127) and no blanks before it.
inline void rememberText(Extended x, std::uint32_t decimals, const std::uint8_t* text, std::size_t length) {
    RememberedText& place = rememberedPlace(x);
    place.significand = x.significand;
    place.layout = rememberedLayout(x, 0, decimals);
    place.length = static_cast<std::uint8_t>(length);
    std::memcpy(place.text, text, length);
}

// The kept text of x with this width and these decimals, or nullptr.
inline const RememberedText* rememberedText(Extended x, std::uint32_t width, std::uint32_t decimals) {
    if (width > widestRememberedWidth || decimals > mostRememberedDecimals) {
        return nullptr;
    }
    const RememberedText& place = rememberedPlace(x);
    const bool same = place.significand == x.significand && place.layout == rememberedLayout(x, width, decimals);
    return same ? &place : nullptr;
}

}  // namespace m2s
