#include "model/polydatacache.h"

#include <vtkCellArray.h>
#include <vtkIdTypeArray.h>
#include <vtkPlane.h>
#include <vtkPlaneCutter.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkStripper.h>

#include <unordered_map>

namespace {

struct Entry {
    std::size_t vertexCount = 0;
    std::size_t faceCount = 0;
    vtkSmartPointer<vtkPolyData> polyData;
    std::shared_ptr<PlaneCutterState> cutter;
};

std::mutex& cacheMutex()
{
    static std::mutex m;
    return m;
}

std::unordered_map<const MeshModel*, Entry>& cacheTable()
{
    static std::unordered_map<const MeshModel*, Entry> table;
    return table;
}

} // namespace

vtkSmartPointer<vtkPolyData> toPolyData(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces)
{
    if (vertices.empty() || faces.empty())
        return nullptr;
    const std::size_t vertexCount = vertices.size();

    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataTypeToDouble();
    points->SetNumberOfPoints(static_cast<vtkIdType>(vertexCount));
    double* p = static_cast<double*>(points->GetVoidPointer(0));
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const Vec3f& v = vertices[i];
        p[3 * i] = v.x;
        p[3 * i + 1] = v.y;
        p[3 * i + 2] = v.z;
    }

    // Fill offsets and connectivity directly; InsertNextCell per triangle is
    // several times slower on multi-million-triangle meshes.
    std::size_t valid = 0;
    for (const Triangle& t : faces)
        valid += t.inRange(vertexCount) ? 1 : 0;
    auto offsets = vtkSmartPointer<vtkIdTypeArray>::New();
    offsets->SetNumberOfValues(static_cast<vtkIdType>(valid + 1));
    auto connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
    connectivity->SetNumberOfValues(static_cast<vtkIdType>(valid * 3));
    vtkIdType* off = offsets->GetPointer(0);
    vtkIdType* conn = connectivity->GetPointer(0);
    std::size_t cell = 0;
    for (const Triangle& t : faces) {
        if (!t.inRange(vertexCount))
            continue;
        off[cell] = static_cast<vtkIdType>(3 * cell);
        conn[3 * cell] = t.v[0];
        conn[3 * cell + 1] = t.v[1];
        conn[3 * cell + 2] = t.v[2];
        ++cell;
    }
    off[valid] = static_cast<vtkIdType>(3 * valid);
    auto polys = vtkSmartPointer<vtkCellArray>::New();
    polys->SetData(offsets, connectivity);

    auto polyData = vtkSmartPointer<vtkPolyData>::New();
    polyData->SetPoints(points);
    polyData->SetPolys(polys);
    return polyData;
}

vtkSmartPointer<vtkPolyData> cachedPolyData(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                            const SharedArray<Triangle>& faces)
{
    if (!model || vertices.empty() || faces.empty())
        return nullptr;
    {
        std::lock_guard<std::mutex> lock(cacheMutex());
        auto it = cacheTable().find(model);
        if (it != cacheTable().end() && it->second.vertexCount == vertices.size()
            && it->second.faceCount == faces.size() && it->second.polyData)
            return it->second.polyData;
    }
    // The expensive build runs outside the lock; a concurrent build of the
    // same entry is harmless, the later insert wins.
    vtkSmartPointer<vtkPolyData> built = toPolyData(vertices, faces);
    if (built) {
        std::lock_guard<std::mutex> lock(cacheMutex());
        Entry& entry = cacheTable()[model];
        entry.vertexCount = vertices.size();
        entry.faceCount = faces.size();
        entry.polyData = built;
        entry.cutter.reset();
    }
    return built;
}

std::shared_ptr<PlaneCutterState> cachedPlaneCutter(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                                    const SharedArray<Triangle>& faces)
{
    vtkSmartPointer<vtkPolyData> polyData = cachedPolyData(model, vertices, faces);
    if (!polyData)
        return nullptr;
    {
        std::lock_guard<std::mutex> lock(cacheMutex());
        auto it = cacheTable().find(model);
        if (it != cacheTable().end() && it->second.polyData == polyData && it->second.cutter)
            return it->second.cutter;
    }
    auto state = std::make_shared<PlaneCutterState>();
    state->polyData = polyData;
    state->plane = vtkSmartPointer<vtkPlane>::New();
    state->cutter = vtkSmartPointer<vtkPlaneCutter>::New();
    state->cutter->SetInputData(polyData);
    state->cutter->SetPlane(state->plane);
    // A one-off cut (batch export, first slice after a load) is cheaper
    // without the tree; the slicing code switches it on for repeated cuts.
    state->cutter->SetBuildTree(false);
    state->cutter->SetBuildHierarchy(false);
    state->cutter->SetComputeNormals(false);
    state->cutter->SetInterpolateAttributes(false);
    state->cutter->SetGeneratePolygons(false);
    state->stripper = vtkSmartPointer<vtkStripper>::New();
    state->stripper->SetInputConnection(state->cutter->GetOutputPort());
    state->stripper->SetMaximumLength(1000000);

    std::lock_guard<std::mutex> lock(cacheMutex());
    auto it = cacheTable().find(model);
    if (it != cacheTable().end() && it->second.polyData == polyData) {
        if (!it->second.cutter)
            it->second.cutter = state;
        return it->second.cutter;
    }
    return state; // entry vanished meanwhile: use it once, uncached
}

namespace polydatacache {

void removeEntry(const MeshModel* model)
{
    std::lock_guard<std::mutex> lock(cacheMutex());
    cacheTable().erase(model);
}

void copyEntry(const MeshModel* from, const MeshModel* to)
{
    if (from == to)
        return;
    std::lock_guard<std::mutex> lock(cacheMutex());
    auto& table = cacheTable();
    auto it = table.find(from);
    if (it == table.end()) {
        table.erase(to);
        return;
    }
    Entry copy = it->second;
    table[to] = std::move(copy);
}

std::size_t entryCount()
{
    std::lock_guard<std::mutex> lock(cacheMutex());
    return cacheTable().size();
}

} // namespace polydatacache
