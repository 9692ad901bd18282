// The solid command generator: for one face, the CAD commands that draw a closed polyline over its
// first three corners at the base height, extrude it to one unit above the highest corner, slice the
// prism by the face's plane keeping the part below, and, with a thickness, slice once more by that plane
// lowered by the thickness keeping the part above. Every item goes straight into the script writer and
// every line is checked after its line end; nothing of a face is kept once its block is written.
#include "convert/solid_command_writer.hpp"

#include <bit>
#include <cstdint>
#include <initializer_list>

#include "driver/run_failure.hpp"

namespace m2s {
namespace {

// Every real of the script has the same layout.
constexpr std::uint32_t numberWidth = 3;
constexpr std::uint32_t numberDecimals = 4;

// -1e30 rounded to extended: any real face lies above it, so the first corner always replaces it.
constexpr Extended zTopStart = extendedFromBits(0xC062, 0xC9F2C9CD04674EDF);

[[gnu::always_inline]] inline void writeNumber(ScriptTextWriter& script, Extended v) {
    writeReal(script, v, numberWidth, numberDecimals);
}

[[gnu::always_inline]] inline void writePoint(ScriptTextWriter& script, Extended x, Extended y) {
    writeNumber(script, x);
    writeChar(script, ',');
    writeNumber(script, y);
}

[[gnu::always_inline]] inline void writePoint(ScriptTextWriter& script, Extended x, Extended y, Extended z) {
    writePoint(script, x, y);
    writeChar(script, ',');
    writeNumber(script, z);
}

// A finite value with its integer bit set and an exponent field neither 0 nor all ones: what the
// shortcuts below take; every other encoding goes to the arithmetic, which also faults where it must.
bool isNormal(Extended a) {
    const std::uint32_t exponent = a.signExponent & extendedExponentMax;
    return exponent - 1 < extendedExponentMax - 1u && (a.significand >> 63) != 0;
}

bool isPlainZero(Extended a) { return (a.signExponent & extendedExponentMax) == 0 && a.significand == 0; }

// a > b for two normal values, by their bits: the sign, then the exponent and the significand read as
// one number.
bool isAboveNormal(Extended a, Extended b) {
    const bool aNegative = (a.signExponent & 0x8000u) != 0;
    if (aNegative != ((b.signExponent & 0x8000u) != 0)) {
        return !aNegative;
    }
    if (a.signExponent != b.signExponent) {
        return (a.signExponent > b.signExponent) != aNegative;
    }
    return aNegative ? a.significand < b.significand : a.significand > b.significand;
}

// The start value is normal; when the three corners are too, the comparisons need no call. Any other
// encoding is compared by the arithmetic, which also faults where it must.
Extended highestZ(const FaceCorners& face) {
    Extended zTop = zTopStart;
    if (isNormal(face.z1) && isNormal(face.z2) && isNormal(face.z3)) {
        for (const Extended* z : {&face.z1, &face.z2, &face.z3}) {
            if (isAboveNormal(*z, zTop)) {
                zTop = *z;
            }
        }
        return zTop;
    }
    for (const Extended* z : {&face.z1, &face.z2, &face.z3}) {
        if (isGreater(*z, zTop)) {
            zTop = *z;
        }
    }
    return zTop;
}

bool isZeroThickness(Extended thickness) {
    if (isPlainZero(thickness)) {
        return true;
    }
    return !isNormal(thickness) && isEqual(thickness, extendedFromInt(0));
}

Extended sumOf(Extended a, Extended b) {
    Extended exact{};
    return addExactly(a, b, exact) ? exact : add(a, b);
}

Extended differenceOf(Extended a, Extended b) {
    Extended exact{};
    return addExactly(a, negate(b), exact) ? exact : subtract(a, b);
}

}  // namespace

bool addExactly(Extended a, Extended b, Extended& sum) {
    if (!isNormal(a) || !isNormal(b)) {
        return false;
    }
    if ((a.signExponent & extendedExponentMax) < (b.signExponent & extendedExponentMax) ||
        ((a.signExponent & extendedExponentMax) == (b.signExponent & extendedExponentMax) &&
         a.significand < b.significand)) {
        const Extended larger = b;
        b = a;
        a = larger;
    }
    const std::uint32_t exponent = a.signExponent & extendedExponentMax;
    const std::uint32_t shift = exponent - (b.signExponent & extendedExponentMax);
    if (shift > 63 || (b.significand & ((std::uint64_t{1} << shift) - 1)) != 0) {
        return false;  // b has bits below a's last one
    }
    const std::uint64_t aligned = b.significand >> shift;
    const std::uint16_t sign = a.signExponent & 0x8000u;
    if (((a.signExponent ^ b.signExponent) & 0x8000u) == 0) {
        const std::uint64_t total = a.significand + aligned;
        if (total >= a.significand) {
            sum = Extended{a.signExponent, total};
            return true;
        }
        // Carried out of bit 63: exact only when the bit shifted out is 0.
        if ((total & 1) != 0 || exponent + 1 >= extendedExponentMax) {
            return false;
        }
        sum = Extended{static_cast<std::uint16_t>(sign | (exponent + 1)), (total >> 1) | 0x8000000000000000u};
        return true;
    }
    const std::uint64_t rest = a.significand - aligned;
    if (rest == 0) {
        sum = Extended{0, 0};  // x - x is +0 when rounding to nearest
        return true;
    }
    const auto shiftUp = static_cast<std::uint32_t>(std::countl_zero(rest));
    if (shiftUp >= exponent) {
        return false;  // subnormal
    }
    sum = Extended{static_cast<std::uint16_t>(sign | (exponent - shiftUp)), rest << shiftUp};
    return true;
}

void writeFace(ScriptTextWriter& script, const FaceCorners& face, Extended zBase, Extended thickness) {
    const Extended zTop = highestZ(face);

    // The closed polyline at the base height.
    writeText(script, "_PLINE");
    endLine(script);
    IoCheck();
    writePoint(script, face.x1, face.y1, zBase);
    endLine(script);
    IoCheck();
    writePoint(script, face.x2, face.y2);
    endLine(script);
    IoCheck();
    writePoint(script, face.x3, face.y3);
    endLine(script);
    IoCheck();
    writeChar(script, 'c');
    endLine(script);
    IoCheck();

    // Extruded to one unit above the highest corner, so the face's plane cuts the whole prism.
    writeText(script, "_EXTRUDE");
    endLine(script);
    IoCheck();
    writeChar(script, 'l');
    endLine(script);
    IoCheck();
    endLine(script);
    IoCheck();
    writeNumber(script, sumOf(differenceOf(zTop, zBase), extendedFromInt(1)));
    endLine(script);
    IoCheck();
    endLine(script);
    IoCheck();

    // Sliced by the face's plane; the point under corner 3 at the base keeps the part below.
    writeText(script, "_SLICE");
    endLine(script);
    IoCheck();
    writeChar(script, 'l');
    endLine(script);
    IoCheck();
    endLine(script);
    IoCheck();
    writePoint(script, face.x1, face.y1, face.z1);
    endLine(script);
    IoCheck();
    writePoint(script, face.x2, face.y2, face.z2);
    endLine(script);
    IoCheck();
    writePoint(script, face.x3, face.y3, face.z3);
    endLine(script);
    IoCheck();
    writePoint(script, face.x3, face.y3, zBase);
    endLine(script);
    IoCheck();

    if (isZeroThickness(thickness)) {
        return;
    }

    // Sliced again by the plane lowered by the thickness; a point above the face keeps the slab.
    writeText(script, "_SLICE");
    endLine(script);
    IoCheck();
    writeChar(script, 'l');
    endLine(script);
    IoCheck();
    endLine(script);
    IoCheck();
    writePoint(script, face.x1, face.y1, differenceOf(face.z1, thickness));
    endLine(script);
    IoCheck();
    writePoint(script, face.x2, face.y2, differenceOf(face.z2, thickness));
    endLine(script);
    IoCheck();
    writePoint(script, face.x3, face.y3, differenceOf(face.z3, thickness));
    endLine(script);
    IoCheck();
    writePoint(script, face.x3, face.y3, sumOf(zTop, thickness));
    endLine(script);
    IoCheck();
}

}  // namespace m2s
