#include "model/mesh/polydatacache.h"

#include <vtkCellArray.h>
#include <vtkIdTypeArray.h>
#include <vtkPlane.h>
#include <vtkPlaneCutter.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkStripper.h>

#include <unordered_map>

namespace {

// What copies of one geometry share: the poly data and the cutter with its
// search tree. A copy made for a worker task builds into the same object, so
// the live model profits from what the worker built.
struct SharedCut {
    std::mutex mutex; // held while building
    std::size_t vertexCount = 0;
    std::size_t faceCount = 0;
    vtkSmartPointer<vtkPolyData> polyData;
    std::shared_ptr<PlaneCutterState> cutter; // tree built, ready to cut
};

std::mutex& cacheMutex()
{
    static std::mutex m;
    return m;
}

std::unordered_map<const MeshModel*, std::shared_ptr<SharedCut>>& cacheTable()
{
    static std::unordered_map<const MeshModel*, std::shared_ptr<SharedCut>> table;
    return table;
}

std::shared_ptr<SharedCut> sharedFor(const MeshModel* model)
{
    std::lock_guard<std::mutex> lock(cacheMutex());
    std::shared_ptr<SharedCut>& slot = cacheTable()[model];
    if (!slot)
        slot = std::make_shared<SharedCut>();
    return slot;
}

// Caller holds shared.mutex.
vtkSmartPointer<vtkPolyData> polyDataLocked(SharedCut& shared, const SharedArray<Vec3f>& vertices,
                                            const SharedArray<Triangle>& faces)
{
    if (shared.polyData && shared.vertexCount == vertices.size() && shared.faceCount == faces.size())
        return shared.polyData;
    shared.polyData = toPolyData(vertices, faces);
    shared.vertexCount = vertices.size();
    shared.faceCount = faces.size();
    shared.cutter.reset();
    return shared.polyData;
}

std::shared_ptr<PlaneCutterState> newCutter(vtkPolyData* polyData, bool buildTree)
{
    auto state = std::make_shared<PlaneCutterState>();
    state->polyData = polyData;
    state->plane = vtkSmartPointer<vtkPlane>::New();
    state->cutter = vtkSmartPointer<vtkPlaneCutter>::New();
    state->cutter->SetInputData(polyData);
    state->cutter->SetPlane(state->plane);
    state->cutter->SetBuildTree(buildTree);
    state->cutter->SetBuildHierarchy(buildTree);
    state->cutter->SetComputeNormals(false);
    state->cutter->SetInterpolateAttributes(false);
    state->cutter->SetGeneratePolygons(false);
    state->stripper = vtkSmartPointer<vtkStripper>::New();
    state->stripper->SetInputConnection(state->cutter->GetOutputPort());
    state->stripper->SetMaximumLength(1000000);
    return state;
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
    const std::shared_ptr<SharedCut> shared = sharedFor(model);
    std::lock_guard<std::mutex> lock(shared->mutex);
    return polyDataLocked(*shared, vertices, faces);
}

std::shared_ptr<PlaneCutterState> cachedPlaneCutter(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                                    const SharedArray<Triangle>& faces)
{
    if (!model || vertices.empty() || faces.empty())
        return nullptr;
    const std::shared_ptr<SharedCut> shared = sharedFor(model);
    std::lock_guard<std::mutex> lock(shared->mutex);
    vtkSmartPointer<vtkPolyData> polyData = polyDataLocked(*shared, vertices, faces);
    if (!polyData)
        return nullptr;
    if (!shared->cutter) {
        auto state = newCutter(polyData, true);
        // One cut builds the tree now, not in the first cut a user waits for.
        const double* b = polyData->GetBounds();
        state->plane->SetNormal(0.0, 0.0, 1.0);
        state->plane->SetOrigin(0.5 * (b[0] + b[1]), 0.5 * (b[2] + b[3]), 0.5 * (b[4] + b[5]));
        state->stripper->Update();
        shared->cutter = state;
    }
    return shared->cutter;
}

std::shared_ptr<PlaneCutterState> readyPlaneCutter(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                                   const SharedArray<Triangle>& faces)
{
    std::shared_ptr<SharedCut> shared;
    {
        std::lock_guard<std::mutex> lock(cacheMutex());
        auto it = cacheTable().find(model);
        if (it == cacheTable().end())
            return nullptr;
        shared = it->second;
    }
    std::unique_lock<std::mutex> lock(shared->mutex, std::try_to_lock);
    if (!lock.owns_lock() || !shared->cutter || shared->vertexCount != vertices.size()
        || shared->faceCount != faces.size())
        return nullptr;
    return shared->cutter;
}

std::shared_ptr<PlaneCutterState> oneOffPlaneCutter(vtkPolyData* polyData)
{
    return polyData ? newCutter(polyData, false) : nullptr;
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
    std::shared_ptr<SharedCut>& source = table[from];
    if (!source)
        source = std::make_shared<SharedCut>(); // so that both sides build into one place
    table[to] = source;
}

std::size_t entryCount()
{
    std::lock_guard<std::mutex> lock(cacheMutex());
    return cacheTable().size();
}

} // namespace polydatacache
