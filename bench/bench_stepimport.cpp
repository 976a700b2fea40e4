// STEP loading in this process against the reader program: the child-process
// overhead is its start-up plus the hand-off. Parts: a plate with a cross hole
// (about 19 kB of STEP) and a compound of many such plates (about 50 MB).

#include "io/meshimport.h"
#include "io/step/occt/steptessellate.h"
#include "io/stepimport.h"

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Writer.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Ax2.hxx>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <map>

namespace {

constexpr int kLargeCopies = 2600; // about 50 MB of STEP text

// Copies of the plate, each at its own place and with its own geometry.
const std::string& stepPart(int copies)
{
    static std::map<int, std::string> paths;
    auto it = paths.find(copies);
    if (it != paths.end())
        return it->second;
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(100, 60, 8).Shape();
    const TopoDS_Shape hole = BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(50, -1, 4), gp_Dir(0, 1, 0)), 2, 62).Shape();
    const TopoDS_Shape plate = BRepAlgoAPI_Cut(box, hole).Shape();
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    for (int i = 0; i < copies; ++i) {
        gp_Trsf move;
        move.SetTranslation(gp_Vec(110.0 * (i % 50), 70.0 * (i / 50), 0));
        builder.Add(compound, BRepBuilderAPI_Transform(plate, move, Standard_True).Shape());
    }
    const std::string path = (std::filesystem::temp_directory_path()
                              / ("halvoran-bench-step-" + std::to_string(getpid()) + "-" + std::to_string(copies) + ".step"))
                                 .string();
    STEPControl_Writer writer;
    writer.Transfer(copies == 1 ? plate : TopoDS_Shape(compound), STEPControl_AsIs);
    writer.Write(path.c_str());
    return paths.emplace(copies, path).first->second;
}

struct RemoveFiles {
    ~RemoveFiles()
    {
        std::error_code ec;
        for (const char* name : {"1", "2600"})
            std::filesystem::remove(std::filesystem::temp_directory_path()
                                        / ("halvoran-bench-step-" + std::to_string(getpid()) + "-" + name + ".step"),
                                    ec);
    }
} removeFiles;

void BM_StepInProcess(benchmark::State& state)
{
    const std::string& path = stepPart(int(state.range(0)));
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    for (auto _ : state) {
        if (tessellateStep(path, vertices, faces) != StepReadStatus::Ok)
            state.SkipWithError("tessellation failed");
        dropNonFiniteVertices(vertices, faces);
    }
    state.counters["triangles"] = double(faces.size());
    state.counters["MB"] = double(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_StepInProcess)->Arg(1)->Arg(kLargeCopies)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_StepReaderProgram(benchmark::State& state)
{
    const std::string& path = stepPart(int(state.range(0)));
    setStepReaderProgram(HALVORAN_STEPREADER_PATH);
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    for (auto _ : state) {
        std::string error;
        if (!importStep(path, vertices, faces, &error))
            state.SkipWithError(error.c_str());
    }
    state.counters["triangles"] = double(faces.size());
}
BENCHMARK(BM_StepReaderProgram)->Arg(1)->Arg(kLargeCopies)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
