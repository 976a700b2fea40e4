#pragma once

#include <vtkSmartPointer.h>

#include <string>

class vtkPolyData;

enum class VtkMeshFormat { Stl, Obj, Ply };

// The reader half of the STL, OBJ and PLY importers: pre-flight check,
// reader, dropping of cells and points the filters cannot take, triangle
// filter, clean filter. False (with the check's message) only when the
// pre-flight check refuses the file; otherwise true, and polyData holds the
// cleaned output, which may be null or empty when the reader failed.
bool runVtkMeshPipeline(VtkMeshFormat format, const std::string& path, vtkSmartPointer<vtkPolyData>& polyData,
                        std::string* error);
