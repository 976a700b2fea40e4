// halvoran-reconstruct POINTS OUTPUT SECONDS MEGABYTES: the surface
// reconstruction of an ASC load (io/pointcloud.h), in a process of its own so
// that the load can kill it on cancel and at its time limit. Reads the points
// hand-off (io/pointshandoff.h), writes the mesh hand-off
// (io/step/stephandoff.h) to OUTPUT and exits with 0. On failure it writes
// "message <sentence>" to standard error and exits with 2; 6 when out of
// memory, 5 when a file cannot be read or written, 1 on wrong usage.
// Standard error also gets "progress N" lines and the reconstruction's log.
#include "io/pointcloud.h"
#include "io/pointshandoff.h"
#include "io/step/stephandoff.h"
#include "model/helper/memorycap.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>

#ifndef _WIN32
#include <sys/resource.h>
#endif
#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

void progress(int percent)
{
    std::fprintf(stderr, "progress %d\n", percent);
    std::fflush(stderr);
}

// The memory cap, and the time limit once more as CPU time, in case the
// parent cannot kill this process (on Windows only the parent's kill bounds
// the time).
void limitSelf(unsigned long long seconds, unsigned long long megabytes)
{
    helperlimits::capProcessMemory(std::uint64_t(megabytes) << 20);
#ifndef _WIN32
    const rlimit cpu{rlim_t(seconds + 2), rlim_t(seconds + 4)};
    setrlimit(RLIMIT_CPU, &cpu);
#else
    (void)seconds;
#endif
#ifdef __linux__
    // A load that dies (the CLI interrupted) takes this process with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: halvoran-reconstruct POINTS OUTPUT SECONDS MEGABYTES\n");
        return 1;
    }
    limitSelf(std::strtoull(argv[3], nullptr, 10), std::strtoull(argv[4], nullptr, 10));
    try {
        std::ifstream in(argv[1], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<Vec3f> points;
        std::string why;
        if (!decodePointsHandoff(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), points, &why)) {
            std::fprintf(stderr, "unusable input: %s\n", why.c_str());
            return 5;
        }
        progress(10);
        std::vector<Vec3f> vertices;
        std::vector<Triangle> faces;
        std::string error;
        if (!reconstructSurface(points, vertices, faces, &error)) {
            std::fprintf(stderr, "message %s\n", error.c_str());
            return 2;
        }
        progress(100);
        return writeStepHandoff(argv[2], vertices, faces) ? 0 : 5;
    } catch (const std::bad_alloc&) {
        return 6;
    }
}
