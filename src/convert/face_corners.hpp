// One 3DFACE: the X, Y and Z of its four corners. Corner 4 is read and never used.
#pragma once

#include "numeric/extended.hpp"

namespace m2s {

struct FaceCorners {
    Extended x1, y1, z1;
    Extended x2, y2, z2;
    Extended x3, y3, z3;
    Extended x4, y4, z4;
};

}  // namespace m2s
