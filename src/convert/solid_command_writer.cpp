// The solid command generator: for one face, the CAD commands that draw a closed polyline over its
// first three corners at the base height, extrude it to one unit above the highest corner, slice the
// prism by the face's plane keeping the part below, and, with a thickness, slice once more by that plane
// lowered by the thickness keeping the part above. Every item goes straight into the script writer and
// every line is checked after its line end; nothing of a face is kept once its block is written.
#include "convert/solid_command_writer.hpp"

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

void writeNumber(ScriptTextWriter& script, Extended v) {
    writeReal(script, v, numberWidth, numberDecimals);
}

void writePoint(ScriptTextWriter& script, Extended x, Extended y) {
    writeNumber(script, x);
    writeChar(script, ',');
    writeNumber(script, y);
}

void writePoint(ScriptTextWriter& script, Extended x, Extended y, Extended z) {
    writePoint(script, x, y);
    writeChar(script, ',');
    writeNumber(script, z);
}

Extended highestZ(const FaceCorners& face) {
    Extended zTop = zTopStart;
    for (const Extended z : {face.z1, face.z2, face.z3}) {
        if (isGreater(z, zTop)) {
            zTop = z;
        }
    }
    return zTop;
}

}  // namespace

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
    writeNumber(script, add(subtract(zTop, zBase), extendedFromInt(1)));
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

    if (isEqual(thickness, extendedFromInt(0))) {
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
    writePoint(script, face.x1, face.y1, subtract(face.z1, thickness));
    endLine(script);
    IoCheck();
    writePoint(script, face.x2, face.y2, subtract(face.z2, thickness));
    endLine(script);
    IoCheck();
    writePoint(script, face.x3, face.y3, subtract(face.z3, thickness));
    endLine(script);
    IoCheck();
    writePoint(script, face.x3, face.y3, add(zTop, thickness));
    endLine(script);
    IoCheck();
}

}  // namespace m2s
