#pragma once

#include "model/mesh/meshmodel.h"

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <memory>
#include <mutex>

class vtkPolyData;
class vtkPlane;
class vtkPlaneCutter;
class vtkStripper;

// New poly data: double-precision points, one 3-point polygon per triangle
// whose indices are all in range. Null for empty input.
vtkSmartPointer<vtkPolyData> toPolyData(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces);

// Process-wide cache of poly data per model, validated by the vertex and face
// counts. clearDerivedState and the model's destruction remove the entry; a
// copy of a model shares its source's entry, so what either side builds
// serves both.
vtkSmartPointer<vtkPolyData> cachedPolyData(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                            const SharedArray<Triangle>& faces);

// VTK plane cutter over a poly data. Not thread-safe on its own: hold
// `mutex` while setting the plane and updating.
struct PlaneCutterState {
    std::mutex mutex;
    vtkSmartPointer<vtkPolyData> polyData;
    vtkSmartPointer<vtkPlane> plane;
    vtkSmartPointer<vtkPlaneCutter> cutter;
    vtkSmartPointer<vtkStripper> stripper;
};

// The model's cutter over its cached poly data with the search tree built
// (both built here when missing, which takes about a second per two million
// triangles: call it from a worker). Null when no poly data can be built.
std::shared_ptr<PlaneCutterState> cachedPlaneCutter(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                                    const SharedArray<Triangle>& faces);

// The cached cutter if it is built and nobody is building right now; never
// waits, so the interface thread can ask on every cut.
std::shared_ptr<PlaneCutterState> readyPlaneCutter(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                                   const SharedArray<Triangle>& faces);

// A cutter without a search tree for one cut of a small poly data.
std::shared_ptr<PlaneCutterState> oneOffPlaneCutter(vtkPolyData* polyData);

namespace polydatacache {
void removeEntry(const MeshModel* model);
void copyEntry(const MeshModel* from, const MeshModel* to);
// Number of live entries; for tests.
std::size_t entryCount();
} // namespace polydatacache
