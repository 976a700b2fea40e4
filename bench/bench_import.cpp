// Mesh loading and the render-mesh reduction on synthetic scans of 2 and 5
// million triangles. The STL files are written once per process into a
// temporary directory.

#include "io/meshload.h"
#include "bench/syntheticscan.h"
#include "io/meshimport.h"
#include "io/nativereaders.h"
#include "io/prechecks.h"
#include "io/vtkpipeline.h"
#include "model/mesh/meshmodel.h"

#include <vtkPolyData.h>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace {

class BenchFiles {
public:
    BenchFiles()
    {
        dir_ = std::filesystem::temp_directory_path() / ("halvoran-bench-import-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    ~BenchFiles()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Binary STL of a synthetic scan with about the given triangle count.
    const std::string& stl(std::size_t triangles)
    {
        auto it = stl_.find(triangles);
        if (it != stl_.end())
            return it->second;
        const std::string path = (dir_ / ("scan-" + std::to_string(triangles) + ".stl")).string();
        {
            SyntheticScanOptions options;
            options.targetTriangles = triangles;
            const SyntheticScan scan = makeSyntheticScan(options);
            writeBinaryStl(path, scan.vertices, scan.faces);
        }
        malloc_trim(0); // hand the generator's memory back before anything is measured
        return stl_.emplace(triangles, path).first->second;
    }

    // The same scan as binary little-endian PLY and as OBJ text.
    const std::string& ply(std::size_t triangles) { return other(triangles, ".ply"); }
    const std::string& obj(std::size_t triangles) { return other(triangles, ".obj"); }

private:
    const std::string& other(std::size_t triangles, const std::string& ext)
    {
        const std::string key = std::to_string(triangles) + ext;
        auto it = other_.find(key);
        if (it != other_.end())
            return it->second;
        const std::string path = (dir_ / ("scan-" + key)).string();
        {
            SyntheticScanOptions options;
            options.targetTriangles = triangles;
            const SyntheticScan scan = makeSyntheticScan(options);
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (ext == ".ply") {
                std::fprintf(f,
                             "ply\nformat binary_little_endian 1.0\nelement vertex %zu\nproperty float x\n"
                             "property float y\nproperty float z\nelement face %zu\n"
                             "property list uchar int vertex_indices\nend_header\n",
                             scan.vertices.size(), scan.faces.size());
                std::fwrite(scan.vertices.data(), sizeof(Vec3f), scan.vertices.size(), f);
                for (const Triangle& t : scan.faces) {
                    const unsigned char three = 3;
                    std::fwrite(&three, 1, 1, f);
                    std::fwrite(t.v, 4, 3, f);
                }
            } else {
                for (const Vec3f& v : scan.vertices)
                    std::fprintf(f, "v %.7g %.7g %.7g\n", v.x, v.y, v.z);
                for (const Triangle& t : scan.faces)
                    std::fprintf(f, "f %u %u %u\n", t[0] + 1, t[1] + 1, t[2] + 1);
            }
            std::fclose(f);
        }
        malloc_trim(0);
        return other_.emplace(key, path).first->second;
    }

    std::filesystem::path dir_;
    std::map<std::size_t, std::string> stl_;
    std::map<std::string, std::string> other_;
};

BenchFiles& files()
{
    static BenchFiles instance;
    return instance;
}

MeshModel& scanModel(std::size_t triangles)
{
    static std::map<std::size_t, std::unique_ptr<MeshModel>> models;
    auto& slot = models[triangles];
    if (!slot)
        slot = std::make_unique<MeshModel>(makeSyntheticModel(triangles));
    return *slot;
}

// Peak resident set since the last reset, in MiB (Linux).
void resetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double statusMiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == field) {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

void BM_LoadBinaryStl(benchmark::State& state)
{
    const std::string& path = files().stl(std::size_t(state.range(0)));
    double peak = 0, before = 0;
    for (auto _ : state) {
        before = statusMiB("VmRSS:");
        resetPeakRss();
        MeshModel m;
        std::string error;
        if (!loadMesh(m, path, &error))
            state.SkipWithError(error.c_str());
        peak = std::max(peak, statusMiB("VmHWM:"));
        state.counters["triangles"] = double(m.faces.size());
        state.counters["displayTriangles"] = double(m.displayFaces.size());
    }
    state.counters["rssBeforeMiB"] = before;
    state.counters["peakRssMiB"] = peak;
}
BENCHMARK(BM_LoadBinaryStl)->Arg(2000000)->Arg(5000000)->Unit(benchmark::kMillisecond)->Iterations(2);

// The native readers alone (file to arrays), and the VTK pipeline they
// replace, on the same scan as binary STL, binary PLY and OBJ text.
template <bool (*Read)(const std::string&, std::vector<Vec3f>&, std::vector<Triangle>&, std::string&)>
void readNative(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        std::vector<Vec3f> vertices;
        std::vector<Triangle> faces;
        std::string why;
        if (!Read(path, vertices, faces, why))
            state.SkipWithError(why.c_str());
        benchmark::DoNotOptimize(faces.data());
    }
}

void BM_ReadStlNative(benchmark::State& state)
{
    readNative<readStlNative>(state, files().stl(std::size_t(state.range(0))));
}
BENCHMARK(BM_ReadStlNative)->Arg(2000000)->Arg(5000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadPlyNative(benchmark::State& state)
{
    readNative<readPlyNative>(state, files().ply(std::size_t(state.range(0))));
}
BENCHMARK(BM_ReadPlyNative)->Arg(2000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadObjNative(benchmark::State& state)
{
    readNative<readObjNative>(state, files().obj(std::size_t(state.range(0))));
}
BENCHMARK(BM_ReadObjNative)->Arg(2000000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The steps of `halvoran-cli info` after the read, on the loaded scan: the
// load without caches, then the alignment (which builds them).
void BM_LoadThenAlign(benchmark::State& state)
{
    const std::string& path = files().stl(std::size_t(state.range(0)));
    LoadOptions options;
    options.buildCaches = false;
    for (auto _ : state) {
        MeshModel m;
        std::string error;
        if (!loadMesh(m, path, &error, nullptr, options))
            state.SkipWithError(error.c_str());
        m.autoAlignOnImport();
        benchmark::DoNotOptimize(m.displayFaces.data());
    }
}
BENCHMARK(BM_LoadThenAlign)->Arg(2000000)->Arg(5000000)->Unit(benchmark::kMillisecond)->Iterations(2);

// The VTK half of an STL load: reader, triangle and clean filters.
void BM_StlVtkPipeline(benchmark::State& state)
{
    const std::string& path = files().stl(std::size_t(state.range(0)));
    for (auto _ : state) {
        vtkSmartPointer<vtkPolyData> polyData;
        runVtkMeshPipeline(VtkMeshFormat::Stl, path, polyData, nullptr);
        benchmark::DoNotOptimize(polyData.GetPointer());
    }
}
BENCHMARK(BM_StlVtkPipeline)->Arg(2000000)->Unit(benchmark::kMillisecond)->Iterations(2);

// The conversion after it, on the same cleaned poly data.
void BM_StlPolyDataToMesh(benchmark::State& state)
{
    const std::string& path = files().stl(std::size_t(state.range(0)));
    vtkSmartPointer<vtkPolyData> polyData;
    runVtkMeshPipeline(VtkMeshFormat::Stl, path, polyData, nullptr);
    for (auto _ : state) {
        std::vector<Vec3f> vertices;
        std::vector<Triangle> faces;
        polyDataToMesh(polyData, vertices, faces, nullptr);
        benchmark::DoNotOptimize(faces.data());
    }
}
BENCHMARK(BM_StlPolyDataToMesh)->Arg(2000000)->Unit(benchmark::kMillisecond)->Iterations(5);

// PLY and OBJ loads, and the pre-flight structure checks inside them.
void BM_LoadPly(benchmark::State& state)
{
    const std::string& path = files().ply(std::size_t(state.range(0)));
    for (auto _ : state) {
        MeshModel m;
        std::string error;
        if (!loadMesh(m, path, &error))
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_LoadPly)->Arg(2000000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_PlyPrecheck(benchmark::State& state)
{
    const std::string& path = files().ply(std::size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(precheckPly(path, nullptr));
}
BENCHMARK(BM_PlyPrecheck)->Arg(2000000)->Unit(benchmark::kMillisecond);

void BM_LoadObj(benchmark::State& state)
{
    const std::string& path = files().obj(std::size_t(state.range(0)));
    for (auto _ : state) {
        MeshModel m;
        std::string error;
        if (!loadMesh(m, path, &error))
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_LoadObj)->Arg(2000000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ObjPrecheck(benchmark::State& state)
{
    const std::string& path = files().obj(std::size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(precheckObj(path, nullptr));
}
BENCHMARK(BM_ObjPrecheck)->Arg(2000000)->Unit(benchmark::kMillisecond);

void BM_UpdateCaches(benchmark::State& state)
{
    MeshModel& m = scanModel(std::size_t(state.range(0)));
    for (auto _ : state)
        m.updateCaches();
    state.counters["displayTriangles"] = double(m.displayFaces.size());
}
BENCHMARK(BM_UpdateCaches)->Arg(2000000)->Arg(5000000)->Unit(benchmark::kMillisecond);

void BM_BuildDisplayMesh(benchmark::State& state)
{
    const MeshModel& m = scanModel(std::size_t(state.range(0)));
    std::size_t produced = 0;
    for (auto _ : state) {
        SharedArray<Vec3f> vertices;
        SharedArray<Triangle> faces;
        m.buildDisplayMesh(m.faces, MeshModel::kDisplayFaceTarget, vertices, faces);
        produced = faces.size();
    }
    state.counters["displayTriangles"] = double(produced);
}
BENCHMARK(BM_BuildDisplayMesh)->Arg(2000000)->Arg(5000000)->Unit(benchmark::kMillisecond);

} // namespace
