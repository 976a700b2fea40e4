#include "model/mesh/polydata.h"

#include <vtkCellArray.h>
#include <vtkIdTypeArray.h>
#include <vtkPoints.h>

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
