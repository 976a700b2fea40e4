// halvoran-stepreader INPUT OUTPUT: the OpenCASCADE steps of a STEP load, in
// a process of their own so that a crash on a damaged file ends only this
// program. Writes the hand-off (io/step/stephandoff.h) to OUTPUT and exits
// with 0, or exits with the StepReadStatus code of the failure (5 when the
// output cannot be written, 1 on wrong usage). Standard error gets
// "progress N" lines.
#include "io/step/stephandoff.h"
#include "io/step/occt/steptessellate.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: halvoran-stepreader INPUT.step OUTPUT\n");
        return 1;
    }
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    const StepReadStatus status = tessellateStep(argv[1], vertices, faces, [](int percent) {
        std::fprintf(stderr, "progress %d\n", percent);
        std::fflush(stderr);
    });
    if (status != StepReadStatus::Ok)
        return int(status);
    return writeStepHandoff(argv[2], vertices, faces) ? 0 : 5;
}
