// Whole-mesh analysis run on the interface thread.
#include "bench/syntheticscan.h"
#include "model/analysis/primitivefit.h"

#include <benchmark/benchmark.h>

namespace {

void BM_FitPrimitive(benchmark::State& state)
{
    const MeshModel model = makeSyntheticModel(std::size_t(state.range(0)) * 1000);
    for (auto _ : state)
        benchmark::DoNotOptimize(fitPrimitive(model).residual);
}
BENCHMARK(BM_FitPrimitive)->ArgName("ktri")->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace
