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

#include <cmath>
#include <unordered_map>

namespace {

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

vtkSmartPointer<vtkPolyData> triangulate(vtkAlgorithmOutput* port)
{
    auto triangles = vtkSmartPointer<vtkTriangleFilter>::New();
    triangles->SetInputConnection(port);
    triangles->PassLinesOff();
    triangles->PassVertsOff();
    triangles->Update();
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

bool repairMesh(MeshModel& model, const RepairOptions& options, std::string& error, std::atomic<int>& progress)
{
    if (!model.hasMesh()) {
        error = "No mesh loaded.";
        return false;
    }
    progress.store(5);
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
    clean->Update();
    progress.store(20);
    vtkSmartPointer<vtkPolyData> cleaned = triangulate(clean->GetOutputPort());
    progress.store(25);
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    if (!readBack(cleaned, vertices, faces)) {
        if (error.empty())
            error = "Failed to extract cleaned mesh.";
        return false;
    }
    progress.store(30);

    if (options.fillHoles) {
        bool filled = false;
        if (options.keepOpenHoles.empty()) {
            MeshFixResult fixed = runMeshFix(vertices, faces);
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
            fill->Update();
            if (!readBack(triangulate(fill->GetOutputPort()), vertices, faces)) {
                if (error.empty())
                    error = "Failed to extract mesh after VTK hole filling.";
                return false;
            }
        }
    }
    progress.store(70);
    vtkSmartPointer<vtkPolyData> current = toPolyData(SharedArray<Vec3f>(vertices), SharedArray<Triangle>(faces));
    if (!current || current->GetNumberOfPolys() == 0) {
        error = "Failed to rebuild VTK mesh after hole filling.";
        return false;
    }
    progress.store(80);
    if (options.fixNormals) {
        auto normals = vtkSmartPointer<vtkPolyDataNormals>::New();
        normals->SetInputData(current);
        normals->AutoOrientNormalsOn();
        normals->ConsistencyOn();
        normals->SplittingOff();
        normals->ComputePointNormalsOff();
        normals->ComputeCellNormalsOff();
        normals->Update();
        current = normals->GetOutput();
    }
    progress.store(85);
    if (options.smoothNoise && options.smoothIterations > 0) {
        auto smooth = vtkSmartPointer<vtkWindowedSincPolyDataFilter>::New();
        smooth->SetInputData(current);
        smooth->SetNumberOfIterations(options.smoothIterations);
        smooth->SetPassBand(options.smoothPassBand);
        smooth->FeatureEdgeSmoothingOff();
        smooth->BoundarySmoothingOn();
        smooth->NonManifoldSmoothingOn();
        smooth->Update();
        current = smooth->GetOutput();
    }
    progress.store(95);
    if (!readBack(current, vertices, faces)) {
        if (error.empty())
            error = "Failed to extract repaired mesh.";
        return false;
    }
    if (vertices.empty() || faces.empty()) {
        error = "Repair produced an empty mesh.";
        return false;
    }
    model.vertices.assign(std::move(vertices));
    model.faces.assign(std::move(faces));
    model.repaired = true;
    model.updateCaches();
    progress.store(100);
    return true;
}
