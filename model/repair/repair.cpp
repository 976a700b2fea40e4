#include "model/repair/repair.h"

#include "model/repair/meshfixrunner.h"
#include "model/mesh/polydata.h"

#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkFillHolesFilter.h>
#include <vtkIdList.h>
#include <vtkPoints.h>
#include <vtkPolyDataNormals.h>
#include <vtkTriangleFilter.h>
#include <vtkWindowedSincPolyDataFilter.h>

#include <vtkCommand.h>
#include <vtkNew.h>

#include <QString>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace {

constexpr const char* kCanceled = "Repair canceled.";

// Lets a cancel stop a VTK filter mid-run: the filters check their abort
// flag inside their loops and end early with partial output, which the
// pipeline then throws away.
class AbortOnCancel : public vtkCommand {
public:
    static AbortOnCancel* New() { return new AbortOnCancel; }
    void Execute(vtkObject* caller, unsigned long, void*) override
    {
        if (isCanceled(progress))
            static_cast<vtkAlgorithm*>(caller)->SetAbortExecute(1);
    }
    Progress* progress = nullptr;
};

// Runs the filter's update, watched for a cancel. False when cancelled.
bool update(vtkAlgorithm* filter, Progress* progress)
{
    if (progress) {
        vtkNew<AbortOnCancel> watch;
        watch->progress = progress;
        filter->AddObserver(vtkCommand::ProgressEvent, watch);
        filter->Update();
        filter->RemoveObserver(watch);
    } else {
        filter->Update();
    }
    return !isCanceled(progress);
}

bool readBack(vtkPolyData* poly, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    if (!poly || !poly->GetPoints())
        return false;
    const vtkIdType pointCount = poly->GetNumberOfPoints();
    vertices.resize(std::size_t(pointCount));
    for (vtkIdType i = 0; i < pointCount; ++i) {
        double p[3];
        poly->GetPoint(i, p);
        vertices[std::size_t(i)] = {float(p[0]), float(p[1]), float(p[2])};
    }
    faces.clear();
    vtkCellArray* polys = poly->GetPolys();
    if (!polys)
        return false;
    vtkIdType n = 0;
    const vtkIdType* ids = nullptr;
    for (polys->InitTraversal(); polys->GetNextCell(n, ids);)
        if (n == 3)
            faces.push_back({std::uint32_t(ids[0]), std::uint32_t(ids[1]), std::uint32_t(ids[2])});
    return true;
}

vtkSmartPointer<vtkPolyData> triangulate(vtkAlgorithmOutput* port, Progress* progress)
{
    auto triangles = vtkSmartPointer<vtkTriangleFilter>::New();
    triangles->SetInputConnection(port);
    triangles->PassLinesOff();
    triangles->PassVertsOff();
    if (!update(triangles, progress))
        return nullptr;
    return triangles->GetOutput();
}

} // namespace

MeshStats computeMeshStats(const MeshModel& model)
{
    MeshStats stats;
    stats.vertexCount = std::uint32_t(model.vertices.size());
    stats.faceCount = std::uint32_t(model.faces.size());
    if (!model.hasMesh())
        return stats;
    const std::size_t vertexCount = model.vertices.size();
    std::unordered_map<std::uint64_t, std::uint32_t> uses;
    uses.reserve(model.faces.size() * 2);
    for (const Triangle& t : model.faces) {
        for (int c = 0; c < 3; ++c) {
            std::uint64_t a = t[c], b = t[(c + 1) % 3];
            if (a > b)
                std::swap(a, b);
            ++uses[a << 32 | b];
        }
        if (!t.inRange(vertexCount)) {
            ++stats.degenerateTriangles;
            continue;
        }
        const Vec3f n = cross(model.vertices[t[1]] - model.vertices[t[0]], model.vertices[t[2]] - model.vertices[t[0]]);
        if (!(0.5 * std::sqrt(double(dot(n, n))) >= 1e-10))
            ++stats.degenerateTriangles;
    }
    for (const auto& entry : uses) {
        if (entry.second == 1)
            ++stats.boundaryEdges;
        else if (entry.second > 2)
            ++stats.nonManifoldEdges;
    }
    return stats;
}

void RepairOptions::applyPreset(int index)
{
    const SmoothingPreset& preset = kSmoothingPresets[std::clamp(index, 0, 2)];
    smoothIterations = preset.iterations;
    smoothPassBand = preset.passBand;
}

bool repairMesh(MeshModel& model, const RepairOptions& options, std::string& error, Progress* progress,
                std::vector<std::string>* notes)
{
    const auto canceled = [&error]() {
        error = kCanceled;
        return false;
    };
    if (!model.hasMesh()) {
        error = "No mesh loaded.";
        return false;
    }
    const auto setPercent = [progress](int percent) {
        if (progress)
            progress->setPercent(percent);
    };
    setPercent(5);
    vtkSmartPointer<vtkPolyData> input = toPolyData(model.vertices, model.faces);
    if (!input || input->GetNumberOfPolys() == 0) {
        error = "Failed to build VTK mesh for repair.";
        return false;
    }
    auto clean = vtkSmartPointer<vtkCleanPolyData>::New();
    clean->SetInputData(input);
    clean->ToleranceIsAbsoluteOn();
    clean->SetAbsoluteTolerance(options.mergeTolerance);
    clean->ConvertLinesToPointsOn();
    clean->ConvertPolysToLinesOn();
    clean->ConvertStripsToPolysOn();
    if (!update(clean, progress))
        return canceled();
    setPercent(20);
    vtkSmartPointer<vtkPolyData> cleaned = triangulate(clean->GetOutputPort(), progress);
    if (!cleaned)
        return canceled();
    setPercent(25);
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    if (!readBack(cleaned, vertices, faces)) {
        if (error.empty())
            error = "Failed to extract cleaned mesh.";
        return false;
    }
    setPercent(30);

    if (options.fillHoles) {
        bool filled = false;
        if (options.keepOpenHoles.empty()) {
            MeshFixResult fixed =
                runMeshFix(vertices, faces, QString::fromStdString(options.programDir), ProgressStage(progress, 30, 70));
            if (fixed.canceled)
                return canceled();
            if (notes)
                *notes = fixed.report;
            if (fixed.success && !fixed.vertices.empty() && !fixed.faces.empty()) {
                vertices = std::move(fixed.vertices);
                faces = std::move(fixed.faces);
                filled = true;
            } else {
                error = "MeshFix failed (" + fixed.error + "); falling back to VTK hole filling.";
            }
        }
        if (!filled) {
            auto fill = vtkSmartPointer<vtkFillHolesFilter>::New();
            fill->SetInputData(cleaned);
            fill->SetHoleSize(1e12);
            if (!update(fill, progress))
                return canceled();
            vtkSmartPointer<vtkPolyData> closed = triangulate(fill->GetOutputPort(), progress);
            if (!closed)
                return canceled();
            if (!readBack(closed, vertices, faces)) {
                if (error.empty())
                    error = "Failed to extract mesh after VTK hole filling.";
                return false;
            }
        }
    }
    setPercent(70);
    vtkSmartPointer<vtkPolyData> current = toPolyData(SharedArray<Vec3f>(vertices), SharedArray<Triangle>(faces));
    if (!current || current->GetNumberOfPolys() == 0) {
        error = "Failed to rebuild VTK mesh after hole filling.";
        return false;
    }
    setPercent(80);
    if (options.fixNormals) {
        auto normals = vtkSmartPointer<vtkPolyDataNormals>::New();
        normals->SetInputData(current);
        normals->AutoOrientNormalsOn();
        normals->ConsistencyOn();
        normals->SplittingOff();
        normals->ComputePointNormalsOff();
        normals->ComputeCellNormalsOff();
        if (!update(normals, progress))
            return canceled();
        current = normals->GetOutput();
    }
    setPercent(85);
    if (options.smoothNoise && options.smoothIterations > 0) {
        auto smooth = vtkSmartPointer<vtkWindowedSincPolyDataFilter>::New();
        smooth->SetInputData(current);
        smooth->SetNumberOfIterations(options.smoothIterations);
        smooth->SetPassBand(options.smoothPassBand);
        smooth->FeatureEdgeSmoothingOff();
        smooth->BoundarySmoothingOn();
        smooth->NonManifoldSmoothingOn();
        if (!update(smooth, progress))
            return canceled();
        current = smooth->GetOutput();
    }
    setPercent(95);
    if (!readBack(current, vertices, faces)) {
        if (error.empty())
            error = "Failed to extract repaired mesh.";
        return false;
    }
    if (vertices.empty() || faces.empty()) {
        error = "Repair produced an empty mesh.";
        return false;
    }
    if (isCanceled(progress))
        return canceled();
    model.vertices.assign(std::move(vertices));
    model.faces.assign(std::move(faces));
    model.repaired = true;
    model.updateCaches();
    setPercent(100);
    return true;
}
