// Ray picking in the 3D view: one click is one ray against the pick mesh.
// The first click after a mesh change takes the linear Möller–Trumbore pass
// and starts the index build on the thread pool; later clicks use the index.
#include "bench/syntheticscan.h"
#include "model/mesh/raypick.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>

namespace {

struct PickScene {
    SharedArray<Vec3f> vertices;
    SharedArray<Triangle> faces;
    std::vector<std::pair<Vec3f, Vec3f>> rays; // origin, unit direction
};

Vec3f unit(Vec3f v)
{
    return v * (1.0f / std::sqrt(dot(v, v)));
}

// Scans by triangle count, with 64 click rays from around the part towards
// points on it (most hit, a few pass through the holes or beside it).
const PickScene& scene(std::size_t triangles)
{
    static std::map<std::size_t, std::unique_ptr<PickScene>> cache;
    auto& slot = cache[triangles];
    if (slot)
        return *slot;
    slot = std::make_unique<PickScene>();
    SyntheticScanOptions options;
    options.targetTriangles = triangles;
    SyntheticScan scan = makeSyntheticScan(options);
    const Vec3f centre = boundingBoxCentre(scan);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> r(-1.0f, 1.0f);
    for (int i = 0; i < 64; ++i) {
        const Vec3f from = centre + unit(Vec3f(r(rng), r(rng), r(rng))) * 400.0f;
        const Vec3f to = centre + Vec3f(r(rng) * 50.0f, r(rng) * 35.0f, r(rng) * 18.0f);
        slot->rays.emplace_back(from, unit(to - from));
    }
    slot->vertices.assign(std::move(scan.vertices));
    slot->faces.assign(std::move(scan.faces));
    return *slot;
}

void BM_PickLinear(benchmark::State& state)
{
    const PickScene& s = scene(std::size_t(state.range(0)) * 1000);
    std::size_t i = 0, hits = 0;
    for (auto _ : state) {
        const auto& ray = s.rays[i++ % s.rays.size()];
        RayHit hit;
        hits += pickLinear(s.vertices, s.faces, ray.first, ray.second, &hit);
    }
    state.counters["hit_rate"] = double(hits) / double(i);
}
BENCHMARK(BM_PickLinear)->ArgName("ktri")->Arg(400)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(16);

void BM_PickIndexed(benchmark::State& state)
{
    const PickScene& s = scene(std::size_t(state.range(0)) * 1000);
    RayPickIndex index;
    index.build(s.vertices, s.faces);
    std::size_t i = 0, hits = 0;
    for (auto _ : state) {
        const auto& ray = s.rays[i++ % s.rays.size()];
        RayHit hit;
        hits += index.pick(ray.first, ray.second, &hit);
    }
    state.counters["hit_rate"] = double(hits) / double(i);
}
BENCHMARK(BM_PickIndexed)->ArgName("ktri")->Arg(400)->Arg(5000)->Unit(benchmark::kMicrosecond);

void BM_BuildPickIndex(benchmark::State& state)
{
    const PickScene& s = scene(std::size_t(state.range(0)) * 1000);
    for (auto _ : state) {
        RayPickIndex index;
        index.build(s.vertices, s.faces);
        benchmark::DoNotOptimize(index.empty());
    }
}
BENCHMARK(BM_BuildPickIndex)->ArgName("ktri")->Arg(400)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
