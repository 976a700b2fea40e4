#pragma once

#include "model/mesh/meshtypes.h"
#include "model/mesh/sharedarray.h"

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

// New poly data: double-precision points, one 3-point polygon per triangle
// whose indices are all in range. Null for empty input.
vtkSmartPointer<vtkPolyData> toPolyData(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces);
