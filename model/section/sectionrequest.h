#pragma once

#include "model/mesh/meshmodel.h"
#include "model/section/sectiondefaults.h"
#include "model/section/sectionlines.h"

#include <QVector3D>

#include <cstdint>

// Everything that decides one section: which plane, how thick a band, and
// how the raw cut is cleaned. The window's refresh, its background task and
// the command-line tool all cut through this.
struct SectionRequest {
    bool surface = false;            // free plane instead of an axis plane
    Axis axis = Axis::Z;             // axis slices
    float position = 0.0f;           // along the axis, mm
    float bandThickness = 0.0f;      // 0 = exact cut
    float keepRatio = 1.0f;          // longest fraction of raw segments kept
    int smoothStrength = kDefaultSmoothStrength; // "2D Smooth:" 0..100
    bool smoothAndChain = true;      // false when there is no smoothing control
    QVector3D normal{0, 0, 1};       // surface plane
    QVector3D origin{0, 0, 0};
    QVector3D u{1, 0, 0};
    QVector3D v{0, 1, 0};
};

// What a shown section was computed from. A default key never matches, so a
// fresh or invalidated state always computes.
struct SectionCacheKey {
    int axis = -1;                   // -1 for surface slices
    float position = 0.0f;
    float band = 0.0f;
    float keep = -1.0f;
    std::uint64_t revision = 0;
    bool surface = false;
    QVector3D normal{0, 0, 1}, origin{0, 0, 0}, u{1, 0, 0}, v{0, 1, 0};
};

SectionCacheKey sectionCacheKey(const SectionRequest& request, std::uint64_t geometryRevision);
// Equal revision and surface flag, band, keep and plane within 1e-6. Smoothing
// is not part of the key: the smooth slider only reaches the view through the
// background path, which always recomputes.
bool sectionCacheKeyMatches(const SectionCacheKey& key, const SectionRequest& request, std::uint64_t geometryRevision);

// Cuts the model (axis slices use and refresh its one-entry cache; exact ones
// find their triangles through cutter when it serves this geometry) and runs
// the post-processing chain.
SectionLines computeSectionLines(MeshModel& model, const SectionRequest& request, const SliceCutter* cutter = nullptr);
