#include "model/drawing/drawingpipeline.h"

#include "model/drawing/drawingsmoothing.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <thread>

namespace {

// Triangles per chunk of the decimation: about 70 ms of simplifier work
// here, which bounds how late a cancel takes effect (bench_drawing.cpp,
// BM_DrawingCancel). Smaller chunks leave more locked cuts, and the thin
// triangles along a cut that crosses the outline can open gaps in it: at
// half this size the fine ball of SphereFromTheTopIsOneSilhouetteLoop does.
constexpr std::size_t kDecimationChunkTriangles = 1u << 17;

// Largest side of the box around the points; the simplifier measures its
// error relative to this.
float extentOf(const Vec3f* points, std::size_t count)
{
    if (count == 0)
        return 0.0f;
    Vec3f lo = points[0], hi = points[0];
    for (std::size_t i = 1; i < count; ++i)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], points[i][k]);
            hi[k] = std::max(hi[k], points[i][k]);
        }
    return std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
}

// Triangle ids split at the median centroid along the longest side of their
// box until every part holds at most kDecimationChunkTriangles; the parts
// come back in a fixed order, each sorted.
std::vector<std::vector<std::uint32_t>> spatialChunks(const std::vector<unsigned int>& indices,
                                                      const std::vector<Vec3f>& vertices, DrawingView view,
                                                      const ProgressStage& stage)
{
    // Cuts contain the view direction: a cut across it could run along the
    // outline (a ball's equator seen from the top), and the thin triangles
    // the simplifier leaves against a locked cut break the outline there.
    const std::array<int, 2> across = view == DrawingView::Top ? std::array<int, 2>{0, 1}
                                      : view == DrawingView::Front ? std::array<int, 2>{0, 2}
                                                                   : std::array<int, 2>{1, 2};
    const std::size_t triangles = indices.size() / 3;
    std::vector<Vec3f> centre(triangles);
    for (std::size_t t = 0; t < triangles; ++t)
        centre[t] = vertices[indices[3 * t]] + vertices[indices[3 * t + 1]] + vertices[indices[3 * t + 2]];
    std::vector<std::uint32_t> ids(triangles);
    for (std::uint32_t t = 0; t < triangles; ++t)
        ids[t] = t;
    std::vector<std::vector<std::uint32_t>> chunks;
    std::vector<std::pair<std::size_t, std::size_t>> todo{{0, triangles}};
    while (!todo.empty()) {
        // Each split passes over its triangles once: a few ms per million.
        if (stage.canceled())
            return {};
        const auto [first, last] = todo.back();
        todo.pop_back();
        if (last - first <= kDecimationChunkTriangles) {
            chunks.emplace_back(ids.begin() + std::ptrdiff_t(first), ids.begin() + std::ptrdiff_t(last));
            std::sort(chunks.back().begin(), chunks.back().end());
            continue;
        }
        Vec3f lo = centre[ids[first]], hi = lo;
        for (std::size_t i = first; i < last; ++i)
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], centre[ids[i]][k]);
                hi[k] = std::max(hi[k], centre[ids[i]][k]);
            }
        const Vec3f size = hi - lo;
        const int axis = size[across[0]] >= size[across[1]] ? across[0] : across[1];
        const std::size_t middle = first + (last - first) / 2;
        std::nth_element(ids.begin() + std::ptrdiff_t(first), ids.begin() + std::ptrdiff_t(middle),
                         ids.begin() + std::ptrdiff_t(last), [&](std::uint32_t a, std::uint32_t b) {
                             return centre[a][axis] != centre[b][axis] ? centre[a][axis] < centre[b][axis] : a < b;
                         });
        todo.push_back({middle, last});
        todo.push_back({first, middle});
    }
    return chunks;
}

// One simplifier run over some triangles towards target, on a compact copy
// of their vertices (the simplifier's work grows with the vertex count it is
// given). The error stays kDrawingDecimationError of the whole mesh's
// extent. Returns kept triangles as global flat indices.
std::vector<unsigned int> simplifyChunk(const std::vector<unsigned int>& indices, const std::vector<Vec3f>& vertices,
                                        const std::vector<std::uint32_t>& triangles, std::size_t target,
                                        float meshExtent, std::vector<std::uint32_t>& localOf)
{
    std::vector<Vec3f> local;
    std::vector<std::uint32_t> globalOf;
    std::vector<unsigned int> localIndices;
    localIndices.reserve(triangles.size() * 3);
    for (std::uint32_t t : triangles)
        for (int k = 0; k < 3; ++k) {
            const unsigned int g = indices[3 * std::size_t(t) + k];
            if (localOf[g] == ~0u) {
                localOf[g] = std::uint32_t(local.size());
                local.push_back(vertices[g]);
                globalOf.push_back(g);
            }
            localIndices.push_back(localOf[g]);
        }
    for (std::uint32_t g : globalOf)
        localOf[g] = ~0u; // ready for the next chunk
    const float extent = extentOf(local.data(), local.size());
    const float error = extent > 0.0f ? kDrawingDecimationError * meshExtent / extent : kDrawingDecimationError;
    std::vector<unsigned int> kept(localIndices.size());
    kept.resize(meshopt_simplify(kept.data(), localIndices.data(), localIndices.size(), &local[0].x, local.size(),
                                 sizeof(Vec3f), target * 3, error, meshopt_SimplifyLockBorder, nullptr));
    for (unsigned int& i : kept)
        i = globalOf[i];
    return kept;
}

// The simplifier cannot be interrupted, so large meshes are simplified in
// spatial chunks, two threads taking chunks in turn and cancel checked
// before each. A chunk's cut is a border it keeps in place, so neighbouring
// chunks still meet. Chunks end up in a fixed order: deterministic.
bool simplifyInChunks(const std::vector<unsigned int>& indices, const std::vector<Vec3f>& vertices, std::size_t target,
                      DrawingView view, const ProgressStage& stage, std::vector<unsigned int>& kept)
{
    const std::size_t triangles = indices.size() / 3;
    const std::vector<std::vector<std::uint32_t>> chunks = spatialChunks(indices, vertices, view, stage);
    if (stage.canceled())
        return false;
    // Targets in proportion to the chunk sizes, adding up to target.
    std::vector<std::size_t> targets(chunks.size());
    std::size_t before = 0, targetBefore = 0;
    for (std::size_t c = 0; c < chunks.size(); ++c) {
        before += chunks[c].size();
        const std::size_t upTo = std::size_t(double(target) * double(before) / double(triangles));
        targets[c] = upTo - targetBefore;
        targetBefore = upTo;
    }
    const float meshExtent = extentOf(vertices.data(), vertices.size());
    std::vector<std::vector<unsigned int>> results(chunks.size());
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stopped{false};
    const auto work = [&]() {
        std::vector<std::uint32_t> localOf(vertices.size(), ~0u);
        for (std::size_t c = next++; c < chunks.size(); c = next++) {
            if (stage.canceled()) {
                stopped = true;
                return;
            }
            results[c] = simplifyChunk(indices, vertices, chunks[c], targets[c], meshExtent, localOf);
            stage.step(++done, chunks.size());
        }
    };
    if (chunks.size() > 1) {
        std::thread helper(work);
        work();
        helper.join();
    } else {
        work();
    }
    if (stopped || stage.canceled())
        return false;
    kept.clear();
    for (const std::vector<unsigned int>& r : results)
        kept.insert(kept.end(), r.begin(), r.end());
    return true;
}

} // namespace

std::size_t drawingDecimationTarget(std::size_t triangles, float reduction)
{
    const double keep = 1.0 - std::clamp(static_cast<double>(reduction), 0.0, 1.0);
    return std::min(static_cast<std::size_t>(std::llround(keep * static_cast<double>(triangles))), kDrawingTriangleBudget);
}

bool decimateForDrawing(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, float reduction,
                        DrawingView view, const ProgressStage& stage, std::vector<Vec3f>& outVertices,
                        std::vector<Triangle>& outFaces)
{
    // meshoptimizer reads flat indices; out-of-range ones would crash it.
    std::vector<unsigned int> indices;
    indices.reserve(faces.size() * 3);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        if (f % kProgressPollInterval == 0 && stage.canceled())
            return false;
        if (faces[f].inRange(vertices.size()))
            indices.insert(indices.end(), {faces[f][0], faces[f][1], faces[f][2]});
    }
    const std::size_t target = drawingDecimationTarget(indices.size() / 3, reduction);
    if (stage.canceled())
        return false;
    std::vector<unsigned int> kept;
    if (target < indices.size() / 3 && !vertices.empty()) {
        if (!simplifyInChunks(indices, vertices, target, view, stage.sub(0, 90), kept))
            return false;
    } else {
        kept = std::move(indices);
    }
    // Renumber the vertices still in use, in their old order.
    std::vector<std::uint32_t> remap(vertices.size(), ~0u);
    for (unsigned int i : kept)
        remap[i] = 0;
    outVertices.clear();
    for (std::size_t i = 0; i < vertices.size(); ++i)
        if (remap[i] == 0) {
            remap[i] = static_cast<std::uint32_t>(outVertices.size());
            outVertices.push_back(vertices[i]);
        }
    outFaces.resize(kept.size() / 3);
    for (std::size_t f = 0; f < outFaces.size(); ++f)
        outFaces[f] = Triangle(remap[kept[3 * f]], remap[kept[3 * f + 1]], remap[kept[3 * f + 2]]);
    stage.finish();
    return true;
}

bool smoothForDrawing(const SharedArray<Vec3f>& vertices, const SharedArray<Triangle>& faces,
                      const DrawingOptions& options, const ProgressStage& stage, std::vector<Vec3f>& outVertices,
                      std::vector<Triangle>& outFaces)
{
    CreaseSmoothing settings;
    settings.iterations = options.smoothIterations;
    settings.relaxation = options.smoothRelaxation;
    settings.featureAngle = options.featureAngle;
    settings.edgeAngle = options.featureAngle;
    return smoothKeepingCreases(vertices.vec(), faces.vec(), settings, stage, outVertices, outFaces);
}

std::vector<MeshModel::DrawingEdge2D> MeshModel::computeDrawingEdges(const DrawingOptions& options,
                                                                     Progress* progress) const
{
    if (!hasMesh())
        return {};
    // The grid resolves no more than its budget, so decimating first leaves
    // the smoothing and the extraction fewer triangles to work on.
    SharedArray<Vec3f> meshVertices = vertices;
    SharedArray<Triangle> meshFaces = faces;
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    if (options.decimation > 0.01f) {
        if (!decimateForDrawing(vertices.vec(), faces.vec(), options.decimation, options.view, ProgressStage(progress, 0, 40), v,
                                f))
            return {};
        meshVertices.assign(std::move(v));
        meshFaces.assign(std::move(f));
    }
    if (options.smoothIterations > 0) {
        if (!smoothForDrawing(meshVertices, meshFaces, options, ProgressStage(progress, 40, 75), v, f))
            return {};
        meshVertices.assign(std::move(v));
        meshFaces.assign(std::move(f));
    }
    std::vector<DrawingEdge2D> edges =
        extractDrawingEdges(meshVertices.vec(), meshFaces.vec(), options, ProgressStage(progress, 75, 100));
    if (isCanceled(progress))
        return {};
    if (progress)
        progress->setPercent(100);
    return edges;
}
