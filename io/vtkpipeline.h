#pragma once

#include <vtkSmartPointer.h>

#include "model/mesh/meshtypes.h"

#include <string>
#include <vector>

class vtkPolyData;

enum class VtkMeshFormat { Stl, Obj, Ply };

// The reader half of the STL, OBJ and PLY importers: pre-flight check,
// reader, dropping of cells and points the filters cannot take, triangle
// filter, clean filter. False (with the check's message) only when the
// pre-flight check refuses the file; otherwise true, and polyData holds the
// cleaned output, which may be null or empty when the reader failed.
bool runVtkMeshPipeline(VtkMeshFormat format, const std::string& path, vtkSmartPointer<vtkPolyData>& polyData,
                        std::string* error);

// The whole import through VTK, never the native readers: the oracle the
// native readers are tested against.
bool importWithVtkPipeline(VtkMeshFormat format, const std::string& path, std::vector<Vec3f>& vertices,
                           std::vector<Triangle>& faces, std::string* error);
