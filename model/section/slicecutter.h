#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshmodel.h"

#include <cstdint>
#include <memory>
#include <vector>

// Finds, for an axis plane, the few triangles it touches without walking the
// whole mesh: per axis, the triangles bucketed by where their span starts.
// An exact cut then runs VTK's cutter over just those triangles, which gives
// the same edge points as a cut of the whole mesh.
//
// A cutter belongs to one geometry state (the model's geometryRevision). The
// window owns the one for its model through a shared pointer and hands it to
// every task with the task's copy of the model; a cutter whose revision no
// longer matches is simply not used. Built in about 0.1 s per two million
// triangles, on a worker; immutable afterwards, so any thread may read it.
class SliceCutter {
public:
    // Null for an empty mesh, or when progress was cancelled (checked every
    // few ten thousand triangles).
    static std::shared_ptr<const SliceCutter> build(const MeshModel& model, Progress* progress = nullptr);
    static std::shared_ptr<const SliceCutter> build(const MeshModel& model, const ProgressStage& stage);

    std::uint64_t revision() const { return revision_; }
    bool serves(const MeshModel& model) const { return revision_ == model.geometryRevision; }

    // Appends, ascending, every triangle of the model's slicing faces whose
    // span along axis contains position (corners on the plane count). The
    // model must be the one the cutter was built for.
    void trianglesTouching(const MeshModel& model, Axis axis, float position, std::vector<std::uint32_t>& out) const;

private:
    // Triangles whose span starts in each bucket, ascending within a bucket;
    // triangles longer than kShortSpanBuckets buckets are kept apart and
    // checked on every query, so one long sliver cannot widen every query.
    struct AxisBuckets {
        float origin = 0.0f;
        float width = 1.0f;
        std::vector<std::uint32_t> start; // bucket count + 1 offsets into ids
        std::vector<std::uint32_t> ids;
        std::vector<std::uint32_t> longIds;
    };
    static constexpr int kShortSpanBuckets = 4;

    std::uint64_t revision_ = 0;
    AxisBuckets axes_[3];
};
