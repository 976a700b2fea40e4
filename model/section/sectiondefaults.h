#pragma once

#include "model/section/qualitypresets.h"

// The section settings everything starts from: a fresh window's controls, the
// command line without options, a default SectionRequest and the tests. They
// are the Balanced preset's, so changing that preset changes them all.
inline constexpr const QualityPreset& kDefaultSectionPreset = kQualityPresets[kDefaultQualityPresetIndex];
inline constexpr int kDefaultKeepPercent = kDefaultSectionPreset.keepPercent;       // "Long Segments:"
inline constexpr int kDefaultSmoothStrength = kDefaultSectionPreset.smoothStrength; // "2D Smooth:"

// How far apart two section ends may lie and still be joined into one chain:
// max(medianFactor x median segment length, extentFactor x section extent,
// minimum mm). A wider join bridges scan gaps but can weld separate features.
struct JoinToleranceProfile {
    double extentFactor;
    double medianFactor;
    double minimum; // mm
};

// Exact cuts: segment ends coincide up to rounding, so joins stay tight
// (a 2 mm feature survives on a 2 m part). Pinned by the post-process tests'
// chain counts and the window-and-CLI comparison.
inline constexpr JoinToleranceProfile kExactCutJoin{0.00095, 0.3, 0.006};
// Band cuts: neighbouring triangles give ends up to a band's width apart, so
// joins reach further. Pinned by the band clean-up tests.
inline constexpr JoinToleranceProfile kBandCutJoin{0.0021, 0.8, 0.02};
inline constexpr const JoinToleranceProfile& joinProfileFor(bool bandCut)
{
    return bandCut ? kBandCutJoin : kExactCutJoin;
}
