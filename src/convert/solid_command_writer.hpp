// SolidCommandWriter: one face's block of CAD commands (17 lines, 24 with a thickness), written item by
// item into the script writer and checked after every line.
#pragma once

#include "convert/face_corners.hpp"
#include "numeric/extended.hpp"
#include "text/script_text_writer.hpp"

namespace m2s {

void writeFace(ScriptTextWriter& script, const FaceCorners& face, Extended zBase, Extended thickness);

}  // namespace m2s
