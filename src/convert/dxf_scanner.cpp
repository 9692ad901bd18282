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

#include "driver/run_failure.hpp"
#include "text/io_error.hpp"

namespace m2s {
namespace {

constexpr const char* keywordEntities = "ENTITIES";
constexpr const char* keywordFace = "3DFACE";
constexpr const char* keywordFirstCoordinate = " 10";

void endRunReadBeyondEnd() {
    ioErrorCode = errorReadBeyondEnd;
    IoCheck();
}

// Reads lines until one equals keyword. Ending the input first is a truncated file.
void searchLine(DxfScanner& scanner, const char* keyword) {
    TextLineReader& dxf = *scanner.dxf;
    for (;;) {
        const bool ended = atEnd(dxf);
        IoCheck();
        if (ended) {
            endRunReadBeyondEnd();
        }
        readLine(dxf, scanner.currentLine);
        skipLine(dxf);
        IoCheck();
        if (lineEquals(scanner.currentLine, keyword)) {
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
        *fields[i] = readReal(dxf, &metEnd);
        skipLine(dxf);
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
        readLine(dxf, scanner.currentLine);
        skipLine(dxf);
        IoCheck();
        if (lineEquals(scanner.currentLine, keywordFace)) {
            searchLine(scanner, keywordFirstCoordinate);
            readCorners(dxf, face);
            return true;
        }
    }
}

}  // namespace m2s
