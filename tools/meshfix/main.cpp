// Local stand-in for the external MeshFix program: meshfix <input.stl> <output.stl>.
// Closes every boundary loop, drops degenerate and repeated triangles, makes
// the winding consistent and writes a binary STL. Exit 0 on success.
#include "model/repair/holes.h"
#include "model/repair/meshfixrunner.h"
#include "model/repair/repairtools.h"

#include <QString>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: meshfix <input.stl> <output.stl>\n");
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    if (!meshfix::readBinaryStl(input, vertices, faces)) {
        std::fprintf(stderr, "cannot read binary STL: %s\n", argv[1]);
        return 3;
    }
    repairtools::removeDegenerateAndDuplicateFaces(vertices, faces);
    if (faces.empty()) {
        std::fprintf(stderr, "no usable triangles in %s\n", argv[1]);
        return 4;
    }
    // Orient first so that every loop's walking order matches its rim.
    repairtools::orientConsistently(vertices, faces);
    for (const holes::Loop& loop : holes::findBoundaryLoops(vertices, faces))
        holes::triangulateLoop(vertices, loop, faces);
    repairtools::removeDegenerateAndDuplicateFaces(vertices, faces);
    repairtools::orientConsistently(vertices, faces);
    if (!meshfix::writeBinaryStl(output, vertices, faces)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 5;
    }
    return 0;
}
