// Writes a synthetic scan as binary STL: make_sample OUT.stl [TRIANGLES] [SEED] [HOLES]
#include "bench/syntheticscan.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.stl [TRIANGLES] [SEED] [HOLES]\n", argv[0]);
        return 2;
    }
    SyntheticScanOptions options;
    if (argc > 2)
        options.targetTriangles = std::strtoull(argv[2], nullptr, 10);
    if (argc > 3)
        options.seed = std::uint32_t(std::strtoul(argv[3], nullptr, 10));
    if (argc > 4)
        options.holes = int(std::strtol(argv[4], nullptr, 10));
    const SyntheticScan scan = makeSyntheticScan(options);
    if (!writeBinaryStl(argv[1], scan.vertices, scan.faces)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu triangles written to %s\n", scan.faces.size(), argv[1]);
    return 0;
}
