#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"

#include <cstddef>
#include <string>
#include <vector>

// The surface reconstruction of an ASC load runs in the reconstruction
// program (tools/reconstruct): VTK's filter cannot be interrupted and its
// normal orientation grows faster than the point count, so a hard cloud
// would otherwise hold the load for minutes and take unbounded memory. The
// program is killed at once on cancel and when its time is up.

struct ReconstructionLimits {
    // Wall-clock time per million points handed to the program; beyond it the
    // cloud is refused rather than waited for.
    double secondsPerMillionPoints = 10.0;
    // Floor of the time limit: small clouds still get the program's start-up
    // and VTK's fixed costs.
    double minimumSeconds = 5.0;
    // Address space the program may map (RLIMIT_AS; not enforced on Windows).
    std::size_t memoryMegabytes = 2048;

    double secondsFor(std::size_t pointCount) const;
};

// Over a limit, whatever the reason (time, memory).
extern const char* const kCloudTooLarge;
// The program crashed, exited abnormally or handed back garbage.
extern const char* const kReconstructionFailed;

// Where the program is found. By default "halvoran-reconstruct" next to the
// application; a caller without one (tests, benchmarks) names it here. Empty
// restores the default.
void setReconstructionProgram(const std::string& path);

// reconstructSurface (io/pointcloud.h) in the program: the same mesh and the
// same messages, plus kCloudTooLarge, kReconstructionFailed (each with a log
// line saying why) and "Load canceled." when progress is cancelled.
bool reconstructInProgram(const std::vector<Vec3f>& points, std::vector<Vec3f>& vertices,
                          std::vector<Triangle>& faces, std::string* error, Progress* progress = nullptr,
                          const ReconstructionLimits& limits = {});
