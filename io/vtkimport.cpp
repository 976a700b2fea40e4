// STL, OBJ and PLY through VTK: reader, triangle filter, clean filter, then
// the conversion into our arrays.

#include "io/meshimport.h"
#include "io/nativereaders.h"
#include "io/prechecks.h"
#include "io/vtkmessages.h"
#include "io/vtkpipeline.h"

#include <vtkAbstractPolyDataReader.h>
#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkDataArray.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkOBJReader.h>
#include <vtkPLYReader.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSTLReader.h>
#include <vtkSmartPointer.h>
#include <vtkTriangleFilter.h>

#include <QtGlobal>

#include <cmath>
#include <type_traits>
#include <vector>

namespace {

bool fail(std::string* error, const char* message)
{
    if (error)
        *error = message;
    return false;
}

bool idsInRange(vtkCellArray* cells, vtkIdType pointCount)
{
    if (!cells || cells->GetNumberOfCells() == 0)
        return true;
    double range[2];
    cells->GetConnectivityArray()->GetRange(range, 0);
    return range[0] >= 0 && range[1] < double(pointCount);
}

// New number of every point, -1 for a point with a NaN or infinite
// coordinate; empty when all are finite.
std::vector<vtkIdType> finitePointNumbers(vtkPoints* points)
{
    const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
    auto isFinite = [](double x, double y, double z) { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); };
    std::vector<vtkIdType> numbers;
    vtkIdType next = 0;
    double p[3];
    vtkFloatArray* floats = n > 0 ? vtkFloatArray::FastDownCast(points->GetData()) : nullptr;
    const float* raw = floats ? floats->GetPointer(0) : nullptr;
    for (vtkIdType i = 0; i < n; ++i) {
        if (raw) {
            p[0] = raw[3 * i];
            p[1] = raw[3 * i + 1];
            p[2] = raw[3 * i + 2];
        } else {
            points->GetPoint(i, p);
        }
        const bool finite = isFinite(p[0], p[1], p[2]);
        if (!finite && numbers.empty()) {
            numbers.resize(std::size_t(n));
            for (vtkIdType j = 0; j < i; ++j)
                numbers[std::size_t(j)] = j;
        }
        if (!numbers.empty())
            numbers[std::size_t(i)] = finite ? next : -1;
        next += finite ? 1 : 0;
    }
    return numbers;
}

// Cells whose ids are all valid and map to kept points, renumbered.
vtkSmartPointer<vtkCellArray> keptCells(vtkCellArray* cells, vtkIdType pointCount,
                                        const std::vector<vtkIdType>& numbers)
{
    auto out = vtkSmartPointer<vtkCellArray>::New();
    if (!cells)
        return out;
    std::vector<vtkIdType> mapped;
    vtkIdType n = 0;
    const vtkIdType* ids = nullptr;
    for (cells->InitTraversal(); cells->GetNextCell(n, ids);) {
        mapped.clear();
        for (vtkIdType i = 0; i < n; ++i) {
            if (ids[i] < 0 || ids[i] >= pointCount)
                break;
            const vtkIdType id = numbers.empty() ? ids[i] : numbers[std::size_t(ids[i])];
            if (id < 0)
                break;
            mapped.push_back(id);
        }
        if (vtkIdType(mapped.size()) == n)
            out->InsertNextCell(n, mapped.data());
    }
    return out;
}

// Readers keep point ids they did not check (the OBJ reader keeps a face
// index past the last vertex), and the filters behind them would read beyond
// the points. A NaN or infinite point turns the clean filter's bounds
// infinite, after which it merges nothing. Both are removed here; valid data
// passes through untouched.
vtkSmartPointer<vtkPolyData> sanitized(vtkPolyData* input)
{
    vtkPoints* points = input->GetPoints();
    const vtkIdType pointCount = input->GetNumberOfPoints();
    const std::vector<vtkIdType> numbers = finitePointNumbers(points);
    if (numbers.empty() && idsInRange(input->GetPolys(), pointCount) && idsInRange(input->GetStrips(), pointCount)
        && idsInRange(input->GetLines(), pointCount) && idsInRange(input->GetVerts(), pointCount))
        return input;

    // Only the surface cells matter from here on; attributes are not used.
    auto fixed = vtkSmartPointer<vtkPolyData>::New();
    if (numbers.empty()) {
        fixed->SetPoints(points);
    } else {
        auto kept = vtkSmartPointer<vtkPoints>::New();
        kept->SetDataType(points->GetDataType());
        double p[3];
        for (vtkIdType i = 0; i < pointCount; ++i) {
            if (numbers[std::size_t(i)] < 0)
                continue;
            points->GetPoint(i, p);
            kept->InsertNextPoint(p);
        }
        fixed->SetPoints(kept);
    }
    fixed->SetPolys(keptCells(input->GetPolys(), pointCount, numbers));
    fixed->SetStrips(keptCells(input->GetStrips(), pointCount, numbers));
    return fixed;
}

void copyPoints(vtkPoints* points, std::vector<Vec3f>& vertices)
{
    const vtkIdType n = points->GetNumberOfPoints();
    vertices.clear();
    vertices.reserve(std::size_t(n));
    vtkDataArray* data = points->GetData();
    if (auto* f = vtkFloatArray::FastDownCast(data)) {
        const float* p = f->GetPointer(0);
        for (vtkIdType i = 0; i < n; ++i)
            vertices.emplace_back(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
    } else if (auto* d = vtkDoubleArray::FastDownCast(data)) {
        const double* p = d->GetPointer(0);
        for (vtkIdType i = 0; i < n; ++i)
            vertices.emplace_back(float(p[3 * i]), float(p[3 * i + 1]), float(p[3 * i + 2]));
    } else {
        double x[3];
        for (vtkIdType i = 0; i < n; ++i) {
            points->GetPoint(i, x);
            vertices.emplace_back(float(x[0]), float(x[1]), float(x[2]));
        }
    }
}

// Walks the cell array's own offset and connectivity storage (32- or 64-bit).
struct CollectTriangles {
    vtkIdType pointCount;
    std::vector<Triangle>* faces;

    template <class State>
    void operator()(State& state) const
    {
        const auto* offsets = state.GetOffsets()->GetPointer(0);
        const auto* ids = state.GetConnectivity()->GetPointer(0);
        const vtkIdType cellCount = state.GetNumberOfCells();
        for (vtkIdType c = 0; c < cellCount; ++c) {
            if (offsets[c + 1] - offsets[c] != 3)
                continue;
            const auto* t = ids + offsets[c];
            if (t[0] < 0 || t[1] < 0 || t[2] < 0 || t[0] >= pointCount || t[1] >= pointCount || t[2] >= pointCount)
                continue;
            faces->emplace_back(std::uint32_t(t[0]), std::uint32_t(t[1]), std::uint32_t(t[2]));
        }
    }
};

} // namespace

bool polyDataToMesh(vtkPolyData* polyData, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                    std::string* error)
{
    vertices.clear();
    faces.clear();
    if (!polyData)
        return fail(error, "VTK loader produced null polydata.");
    vtkPoints* points = polyData->GetPoints();
    if (!points || points->GetNumberOfPoints() < 1)
        return fail(error, "No vertices were found in the mesh.");
    vtkCellArray* polys = polyData->GetPolys();
    if (!polys || polys->GetNumberOfCells() == 0)
        return fail(error, "No triangle faces were found in the mesh.");
    // Our indices are 32-bit.
    if (points->GetNumberOfPoints() > vtkIdType(UINT32_MAX))
        return fail(error, "No valid triangle mesh data found.");

    copyPoints(points, vertices);
    faces.reserve(std::size_t(polys->GetNumberOfCells()));
    polys->Visit(CollectTriangles{points->GetNumberOfPoints(), &faces});
    dropNonFiniteVertices(vertices, faces);
    if (vertices.empty() || faces.empty()) {
        vertices.clear();
        faces.clear();
        return fail(error, "No valid triangle mesh data found.");
    }
    return true;
}

bool runVtkMeshPipeline(VtkMeshFormat format, const std::string& path, vtkSmartPointer<vtkPolyData>& polyData,
                        std::string* error)
{
    polyData = nullptr;
    vtkSmartPointer<vtkAbstractPolyDataReader> reader;
    switch (format) {
    case VtkMeshFormat::Stl: {
        if (!precheckStl(path, error))
            return false;
        auto stl = vtkSmartPointer<vtkSTLReader>::New();
        stl->MergingOn();
        reader = stl;
        break;
    }
    case VtkMeshFormat::Obj:
        if (!precheckObj(path, error))
            return false;
        reader = vtkSmartPointer<vtkOBJReader>::New();
        break;
    case VtkMeshFormat::Ply:
        if (!precheckPly(path, error))
            return false;
        reader = vtkSmartPointer<vtkPLYReader>::New();
        break;
    }
    VtkMessageSink sink;
    sink.watch(reader);
    reader->SetFileName(path.c_str());
    reader->Update();
    vtkPolyData* read = reader->GetOutput();
    if (!read)
        return true;

    auto triangles = vtkSmartPointer<vtkTriangleFilter>::New();
    sink.watch(triangles);
    triangles->SetInputData(sanitized(read));
    triangles->PassVertsOff();
    triangles->PassLinesOff();
    triangles->Update();

    auto clean = vtkSmartPointer<vtkCleanPolyData>::New();
    sink.watch(clean);
    clean->SetInputConnection(triangles->GetOutputPort());
    clean->Update();
    polyData = clean->GetOutput();
    return true;
}

namespace {

bool importWithVtk(VtkMeshFormat format, const std::string& path, std::vector<Vec3f>& vertices,
                   std::vector<Triangle>& faces, std::string* error)
{
    vtkSmartPointer<vtkPolyData> polyData;
    if (!runVtkMeshPipeline(format, path, polyData, error))
        return false;
    return polyDataToMesh(polyData, vertices, faces, error);
}

using NativeReader = bool (*)(const std::string&, std::vector<Vec3f>&, std::vector<Triangle>&, std::string&);

// The native reader when it takes the file, else the pipeline (which also
// gives every message); the choice is logged per file.
bool importFast(VtkMeshFormat format, NativeReader native, const std::string& path, std::vector<Vec3f>& vertices,
                std::vector<Triangle>& faces, std::string* error)
{
    std::string why;
    if (native(path, vertices, faces, why)) {
        qInfo("[LOAD_TRACE] native reader: %zu vertices, %zu triangles", vertices.size(), faces.size());
        return true;
    }
    qInfo("[LOAD_TRACE] VTK reader pipeline (%s)", why.c_str());
    return importWithVtk(format, path, vertices, faces, error);
}

} // namespace

bool importStl(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error)
{
    return importFast(VtkMeshFormat::Stl, readStlNative, path, vertices, faces, error);
}

bool importObj(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error)
{
    return importFast(VtkMeshFormat::Obj, readObjNative, path, vertices, faces, error);
}

bool importPly(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error)
{
    return importFast(VtkMeshFormat::Ply, readPlyNative, path, vertices, faces, error);
}

bool importWithVtkPipeline(VtkMeshFormat format, const std::string& path, std::vector<Vec3f>& vertices,
                           std::vector<Triangle>& faces, std::string* error)
{
    return importWithVtk(format, path, vertices, faces, error);
}
