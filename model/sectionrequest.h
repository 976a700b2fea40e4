#pragma once

#include "model/meshmodel.h"
#include "model/sectionlines.h"

#include <QVector3D>

// Everything that decides one section: which plane, how thick a band, and
// how the raw cut is cleaned. The window's refresh, its background task and
// the command-line tool all cut through this.
struct SectionRequest {
    bool surface = false;            // free plane instead of an axis plane
    int axis = 2;                    // 0 X, 1 Y, 2 Z (axis slices)
    float position = 0.0f;           // along the axis, mm
    float bandThickness = 0.0f;      // 0 = exact cut
    float keepRatio = 1.0f;          // longest fraction of raw segments kept
    int smoothStrength = 35;         // "2D Smooth:" 0..100
    bool smoothAndChain = true;      // false when there is no smoothing control
    QVector3D normal{0, 0, 1};       // surface plane
    QVector3D origin{0, 0, 0};
    QVector3D u{1, 0, 0};
    QVector3D v{0, 1, 0};
};

// Cuts the model (axis slices use and refresh its one-entry cache) and runs
// the post-processing chain.
SectionLines computeSectionLines(MeshModel& model, const SectionRequest& request);
