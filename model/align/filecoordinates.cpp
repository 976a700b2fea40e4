#include "model/align/filecoordinates.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

bool sameCorners(const Triangle& a, const Triangle& b)
{
    std::uint32_t x[3] = {a[0], a[1], a[2]}, y[3] = {b[0], b[1], b[2]};
    std::sort(x, x + 3);
    std::sort(y, y + 3);
    return std::equal(x, x + 3, y);
}

// The working vertices [0, n) are the loaded ones moved: the faces begin
// with the loaded faces (in either winding: the X/Y swap reverses it), and
// nothing but appending changed the vertex list.
bool workingExtendsLoaded(const MeshModel& model)
{
    const std::size_t nv = model.loadedVertices.size(), nf = model.loadedFaces.size();
    if (model.vertices.size() < nv || model.faces.size() < nf)
        return false;
    if (model.faces.sharesStorageWith(model.loadedFaces) ||
        std::memcmp(model.faces.data(), model.loadedFaces.data(), nf * sizeof(Triangle)) == 0)
        return true;
    for (std::size_t f = 0; f < nf; ++f)
        if (!sameCorners(model.faces[f], model.loadedFaces[f]))
            return false;
    return true;
}

// The motion taking working positions to file positions, fitted over the
// vertices both lists share, as an affine map (a rigid turn, a mirror and a
// shift are all exact in it). False when the fit does not hold within a
// millionth of the part's size, i.e. the prefix is no rigid image.
bool fitFileMotion(const MeshModel& model, Eigen::Matrix<double, 3, 4>& motion)
{
    const std::size_t n = model.loadedVertices.size();
    const std::size_t stride = std::max<std::size_t>(1, n / 20000);
    Eigen::Matrix4d normal = Eigen::Matrix4d::Zero();
    Eigen::Matrix<double, 4, 3> right = Eigen::Matrix<double, 4, 3>::Zero();
    for (std::size_t i = 0; i < n; i += stride) {
        const Vec3f w = model.vertices[i], f = model.loadedVertices[i];
        const Eigen::Vector4d x(w.x, w.y, w.z, 1.0);
        normal += x * x.transpose();
        right += x * Eigen::RowVector3d(f.x, f.y, f.z);
    }
    const Eigen::Matrix<double, 4, 3> solution = normal.ldlt().solve(right);
    motion = solution.transpose();
    const Vec3f lo = model.boundsMin(), hi = model.boundsMax();
    const double size = std::max(1e-9, double(std::sqrt(dot(hi - lo, hi - lo))));
    for (std::size_t i = 0; i < n; i += stride) {
        const Vec3f w = model.vertices[i], f = model.loadedVertices[i];
        const Eigen::Vector3d mapped = motion * Eigen::Vector4d(w.x, w.y, w.z, 1.0);
        if (!((mapped - Eigen::Vector3d(f.x, f.y, f.z)).norm() <= 1e-6 * size + 1e-4))
            return false;
    }
    return true;
}

} // namespace

bool restoreFileCoordinates(MeshModel& model, FileFrameRestore* how, std::string* error)
{
    if (model.loadedVertices.empty() || model.loadedFaces.empty()) {
        if (error)
            *error = "No mesh loaded.";
        return false;
    }
    const std::size_t nv = model.loadedVertices.size(), nf = model.loadedFaces.size();
    Eigen::Matrix<double, 3, 4> motion;
    FileFrameRestore outcome = FileFrameRestore::Exact;
    if (!workingExtendsLoaded(model)) {
        outcome = FileFrameRestore::Reloaded;
        model.vertices = model.loadedVertices;
        model.faces = model.loadedFaces;
    } else if (model.vertices.size() == nv && model.faces.size() == nf) {
        model.vertices = model.loadedVertices;
        model.faces = model.loadedFaces;
    } else if (fitFileMotion(model, motion)) {
        std::vector<Vec3f> vertices = model.loadedVertices.vec();
        vertices.reserve(model.vertices.size());
        for (std::size_t i = nv; i < model.vertices.size(); ++i) {
            const Vec3f w = model.vertices[i];
            const Eigen::Vector3d p = motion * Eigen::Vector4d(w.x, w.y, w.z, 1.0);
            vertices.push_back({float(p.x()), float(p.y()), float(p.z())});
        }
        // Undoing a mirror turns the added triangles over with it.
        const bool mirror = motion.leftCols<3>().determinant() < 0.0;
        std::vector<Triangle> faces = model.loadedFaces.vec();
        faces.reserve(model.faces.size());
        for (std::size_t f = nf; f < model.faces.size(); ++f) {
            Triangle t = model.faces[f];
            if (mirror)
                std::swap(t[1], t[2]);
            faces.push_back(t);
        }
        model.vertices.assign(std::move(vertices));
        model.faces.assign(std::move(faces));
    } else {
        outcome = FileFrameRestore::Reloaded;
        model.vertices = model.loadedVertices;
        model.faces = model.loadedFaces;
    }
    if (how)
        *how = outcome;
    model.updateCaches();
    return true;
}
