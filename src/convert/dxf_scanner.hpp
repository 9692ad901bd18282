// DxfScanner: finds the line "ENTITIES", then the corners of every "3DFACE" after it, one face at a
// time, in the order of the file. It knows three exact lines ("ENTITIES", "3DFACE", " 10") and relies
// on the fixed order of a Release 12 face's twelve coordinates; group codes are never looked at.
#pragma once

#include "convert/face_corners.hpp"
#include "text/text_line.hpp"
#include "text/text_line_reader.hpp"

namespace m2s {

struct DxfScanner {
    TextLineReader* dxf = nullptr;
    TextLine currentLine;
};

// Reads lines up to and including "ENTITIES". The input ending first ends the run with 100.
void findEntities(DxfScanner& scanner);

// Fills face and returns true when it has read one; false at the end of the input. The input ending
// inside a face (before its twelfth value) ends the run with 100.
bool nextFace(DxfScanner& scanner, FaceCorners& face);

}  // namespace m2s
