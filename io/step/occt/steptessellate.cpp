// STEP through OpenCASCADE: read, transfer, tessellate, collect every face's
// triangulation into one mesh. OpenCASCADE meshes a shared edge with the same
// nodes on both faces, so nodes with exactly equal coordinates are one vertex;
// reversed faces get their winding reversed, which makes a solid closed and
// outward-wound.

#include "io/step/occt/steptessellate.h"

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

#include <cstring>
#include <exception>
#include <unordered_map>

namespace {

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

// Exact coordinates of a node as the weld key.
struct NodeKey {
    double x, y, z;
    bool operator==(const NodeKey& o) const
    {
        return std::memcmp(this, &o, sizeof(NodeKey)) == 0;
    }
};

struct NodeKeyHash {
    std::size_t operator()(const NodeKey& key) const
    {
        std::uint64_t bits[3];
        std::memcpy(bits, &key, sizeof bits);
        std::uint64_t h = 1469598103934665603ull;
        for (std::uint64_t b : bits)
            h = (h ^ b) * 1099511628211ull ^ (b >> 29);
        return std::size_t(h);
    }
};

class MeshCollector {
public:
    MeshCollector(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces) : vertices_(vertices), faces_(faces) {}

    void appendFace(const TopoDS_Face& face)
    {
        TopLoc_Location location;
        const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
        if (mesh.IsNull())
            return;
        const bool moved = !location.IsIdentity();
        const gp_Trsf transform = location.Transformation();
        index_.assign(std::size_t(mesh->NbNodes()), 0);
        for (Standard_Integer i = 1; i <= mesh->NbNodes(); ++i) {
            gp_Pnt p = mesh->Node(i);
            if (moved)
                p.Transform(transform);
            // -0.0 and 0.0 are the same node.
            const NodeKey key{p.X() + 0.0, p.Y() + 0.0, p.Z() + 0.0};
            const auto slot = weld_.try_emplace(key, std::uint32_t(vertices_.size()));
            if (slot.second)
                vertices_.emplace_back(float(p.X()), float(p.Y()), float(p.Z()));
            index_[std::size_t(i - 1)] = slot.first->second;
        }
        // A mirroring placement flips the winding as a reversed face does.
        const bool flip = (face.Orientation() == TopAbs_REVERSED) != (moved && transform.IsNegative());
        for (Standard_Integer i = 1; i <= mesh->NbTriangles(); ++i) {
            Standard_Integer a = 0, b = 0, c = 0;
            mesh->Triangle(i).Get(a, b, c);
            if (flip)
                std::swap(b, c);
            const Triangle t(index_[std::size_t(a - 1)], index_[std::size_t(b - 1)], index_[std::size_t(c - 1)]);
            // Welding can collapse a sliver onto an edge.
            if (t[0] != t[1] && t[1] != t[2] && t[0] != t[2])
                faces_.push_back(t);
        }
    }

private:
    std::vector<Vec3f>& vertices_;
    std::vector<Triangle>& faces_;
    std::unordered_map<NodeKey, std::uint32_t, NodeKeyHash> weld_;
    std::vector<std::uint32_t> index_;
};

} // namespace

StepReadStatus tessellateStep(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                              const StepProgress& progress)
{
    const auto report = [&progress](int percent) {
        if (progress)
            progress(percent);
    };
    vertices.clear();
    faces.clear();
    STEPControl_Reader reader;
    // OpenCASCADE takes the UTF-8 path as it is (wide conversion on Windows).
    if (!guarded([&] { return reader.ReadFile(path.c_str()) == IFSelect_RetDone; }))
        return StepReadStatus::ReadFailed;
    report(40);

    TopoDS_Shape shape;
    if (!guarded([&] {
            reader.TransferRoots();
            shape = reader.OneShape();
            return !shape.IsNull();
        }))
        return StepReadStatus::NoGeometry;
    report(60);

    const bool meshed = guarded([&] {
        // Absolute deflection in model units, angular 0.5 rad, sequential.
        BRepMesh_IncrementalMesh mesher(shape, 0.1, Standard_False, 0.5, Standard_False);
        report(90);
        MeshCollector collect(vertices, faces);
        for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next())
            collect.appendFace(TopoDS::Face(it.Current()));
        return true;
    });
    if (!meshed || vertices.empty() || faces.empty())
        return StepReadStatus::NoTriangles;
    report(100);
    return StepReadStatus::Ok;
}
