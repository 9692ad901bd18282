// SolidCommandWriter: one face's block of CAD commands (17 lines, 24 with a thickness), written item by
// item into the script writer and checked after every line.
#pragma once

#include "convert/face_corners.hpp"
#include "numeric/extended.hpp"
#include "text/script_text_writer.hpp"

namespace m2s {

// a + b, bit for bit as add gives it, when the sum needs no rounding: both normal, the smaller one's
// bits all within the larger one's significand, and a carry out of it dropping only a 0 bit. False
// (sum untouched) otherwise. The block's heights take it before the arithmetic.
bool addExactly(Extended a, Extended b, Extended& sum);

void writeFace(ScriptTextWriter& script, const FaceCorners& face, Extended zBase, Extended thickness);

}  // namespace m2s
