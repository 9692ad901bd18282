// The DXF face scanner: walks the DXF once, line by line, to the line "ENTITIES", then hands over the
// corners of every "3DFACE" after it. Only three exact lines are recognised; a face's twelve values are
// taken in the fixed order a Release 12 writer lists them, and the group-code lines between them are
// skipped unseen. Every reading pattern is followed by its check, so a failed read ends the run at the
// pattern that met it.
//
// A DXF that ends where something must still come (before "ENTITIES", or inside a face before its
// twelfth value) ends the run with 100: a truncated file, or one whose group codes this scanner cannot
// follow, must not pass for a complete conversion.
#include "convert/dxf_scanner.hpp"

#include <cstddef>

#include "driver/run_failure.hpp"
#include "text/io_error.hpp"

namespace m2s {
namespace {

constexpr Keyword keywordEntities{"ENTITIES", 8};
constexpr Keyword keywordFace{"3DFACE", 6};
constexpr Keyword keywordFirstCoordinate{" 10", 3};

void endRunReadBeyondEnd() {
    ioErrorCode = errorReadBeyondEnd;
    IoCheck();
}

// Reads lines until one equals keyword. Ending the input first is a truncated file.
void searchLine(DxfScanner& scanner, const Keyword& keyword) {
    TextLineReader& dxf = *scanner.dxf;
    for (;;) {
        const bool ended = atEnd(dxf);
        IoCheck();
        if (ended) {
            endRunReadBeyondEnd();
        }
        const bool found = takeLineEquals(dxf, scanner.currentLine, keyword);
        IoCheck();
        if (found) {
            return;
        }
    }
}

// After the line " 10": twelve value lines, a group-code line between every two of them.
void readCorners(TextLineReader& dxf, FaceCorners& face) {
    Extended* const fields[] = {&face.x1, &face.y1, &face.z1, &face.x2, &face.y2, &face.z2,
                                &face.x3, &face.y3, &face.z3, &face.x4, &face.y4, &face.z4};
    constexpr int fieldCount = static_cast<int>(sizeof fields / sizeof fields[0]);
    for (int i = 0; i < fieldCount; ++i) {
        bool metEnd = false;
        *fields[i] = readRealLine(dxf, &metEnd);
        IoCheck();
        if (metEnd) {
            endRunReadBeyondEnd();
        }
        if (i + 1 < fieldCount) {
            skipLine(dxf);
            IoCheck();
        }
    }
}

}  // namespace

void findEntities(DxfScanner& scanner) {
    searchLine(scanner, keywordEntities);
}

bool nextFace(DxfScanner& scanner, FaceCorners& face) {
    TextLineReader& dxf = *scanner.dxf;
    for (;;) {
        const bool ended = atEnd(dxf);
        IoCheck();
        if (ended) {
            return false;
        }
        const bool found = takeLineEquals(dxf, scanner.currentLine, keywordFace);
        IoCheck();
        if (found) {
            searchLine(scanner, keywordFirstCoordinate);
            readCorners(dxf, face);
            return true;
        }
    }
}

}  // namespace m2s
