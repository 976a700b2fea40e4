#pragma once

#include "model/common/progress.h"

#include <vtkSmartPointer.h>

class vtkImageData;
class vtkPolyData;

// The signed distance volume of vtkSurfaceReconstructionFilter (tangent
// planes from each point's neighbourhood, their normals made consistent
// along a minimum-cost walk, each sample's distance to the plane of its
// closest point), computed value for value as VTK does. VTK rescans the whole
// walk front for every point, which takes minutes on a cloud of 50,000
// points; here the front is kept in a tree that answers the same choice in
// logarithmic time. Polls progress; null when cancelled.
vtkSmartPointer<vtkImageData> reconstructionField(vtkPolyData* cloud, int neighbourhoodSize, double sampleSpacing,
                                                  Progress* progress = nullptr);
