#pragma once

#include "model/meshmodel.h"

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
// copy of a model starts with the same entry as its source.
vtkSmartPointer<vtkPolyData> cachedPolyData(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                            const SharedArray<Triangle>& faces);

// VTK plane cutter kept alive with the cached poly data, so its search tree is
// built once per geometry and not per plane. Not thread-safe on its own: hold
// `mutex` while setting the plane and updating.
struct PlaneCutterState {
    std::mutex mutex;
    vtkSmartPointer<vtkPolyData> polyData;
    vtkSmartPointer<vtkPlane> plane;
    vtkSmartPointer<vtkPlaneCutter> cutter;
    vtkSmartPointer<vtkStripper> stripper;
    int cuts = 0; // cuts made so far; the search tree pays off from the second one
};

// The cutter for the model's cached poly data (built on first use). Null when
// no poly data can be built.
std::shared_ptr<PlaneCutterState> cachedPlaneCutter(const MeshModel* model, const SharedArray<Vec3f>& vertices,
                                                    const SharedArray<Triangle>& faces);

namespace polydatacache {
void removeEntry(const MeshModel* model);
void copyEntry(const MeshModel* from, const MeshModel* to);
// Number of live entries; for tests.
std::size_t entryCount();
} // namespace polydatacache
