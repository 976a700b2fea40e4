// STEP through OpenCASCADE: read, transfer, tessellate, collect every face's
// triangulation. Faces keep their own vertices (no welding across faces).

#include "io/meshimport.h"

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

#include <exception>

namespace {

bool fail(std::string* error, const char* message)
{
    if (error)
        *error = message;
    return false;
}

// Any OpenCASCADE or standard exception counts as the failure of the step
// it interrupts; nothing escapes the importer.
template <class Step>
bool guarded(Step&& step)
{
    try {
        return step();
    } catch (const Standard_Failure&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

void appendFace(const TopoDS_Face& face, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull())
        return;
    const std::uint32_t base = std::uint32_t(vertices.size());
    const bool moved = !location.IsIdentity();
    const gp_Trsf transform = location.Transformation();
    for (Standard_Integer i = 1; i <= mesh->NbNodes(); ++i) {
        gp_Pnt p = mesh->Node(i);
        if (moved)
            p.Transform(transform);
        vertices.emplace_back(float(p.X()), float(p.Y()), float(p.Z()));
    }
    // The face orientation flag is deliberately not applied to the winding.
    for (Standard_Integer i = 1; i <= mesh->NbTriangles(); ++i) {
        Standard_Integer a = 0, b = 0, c = 0;
        mesh->Triangle(i).Get(a, b, c);
        faces.emplace_back(base + std::uint32_t(a - 1), base + std::uint32_t(b - 1), base + std::uint32_t(c - 1));
    }
}

} // namespace

bool importStep(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                std::string* error)
{
    vertices.clear();
    faces.clear();
    STEPControl_Reader reader;
    // OpenCASCADE takes the UTF-8 path as it is (wide conversion on Windows).
    if (!guarded([&] { return reader.ReadFile(path.c_str()) == IFSelect_RetDone; }))
        return fail(error, "Failed to read STEP file.");

    TopoDS_Shape shape;
    if (!guarded([&] {
            reader.TransferRoots();
            shape = reader.OneShape();
            return !shape.IsNull();
        }))
        return fail(error, "STEP file contains no geometry.");

    const bool meshed = guarded([&] {
        // Absolute deflection in model units, angular 0.5 rad, sequential.
        BRepMesh_IncrementalMesh mesher(shape, 0.1, Standard_False, 0.5, Standard_False);
        for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next())
            appendFace(TopoDS::Face(it.Current()), vertices, faces);
        return true;
    });
    if (meshed)
        dropNonFiniteVertices(vertices, faces);
    if (!meshed || vertices.empty() || faces.empty())
        return fail(error, "No triangulated geometry found in STEP file.");
    return true;
}
