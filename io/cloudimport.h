#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"

#include <cstddef>
#include <string>
#include <vector>

// The surface reconstruction of an ASC load runs in the reconstruction
// program (tools/reconstruct): its sampled volume grows as the point count to
// the power 1.5, so a dense or irregular cloud would otherwise hold the load
// for minutes and take memory without bound. The program is killed at once
// on cancel and when its time is up, and caps its own address space.

struct ReconstructionLimits {
    // Wall-clock time per million points handed to the program; beyond it the
    // cloud is refused rather than waited for.
    double secondsPerMillionPoints = 10.0;
    // Floor of the time limit. The volume grows faster than the point count,
    // so a scanned part of a few hundred thousand points needs 10-20 s; a
    // user would rather wait that long than be refused.
    double minimumSeconds = 30.0;
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
