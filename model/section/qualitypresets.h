#pragma once

#include <array>

// The "Quality:" combo's presets: one named set of the five controls it moves.
struct QualityPreset {
    const char* name;
    int keepPercent;          // "Long Segments:" slider
    int smoothStrength;       // "2D Smooth:" slider
    int wireComplexity;       // wireframe complexity slider
    int wireCleanupIndex;     // wireframe cleanup combo index
    double edgeAngleDegrees;  // "Edge Angle:", stored as the feature-edge angle
};

// Combo order: index 0, 1, 2.
inline constexpr std::array<QualityPreset, 3> kQualityPresets{{
    {"Fast", 70, 15, 40, 2, 45.0},
    {"Balanced", 100, 35, 70, 1, 30.0},
    {"High Quality", 100, 55, 100, 0, 20.0},
}};

inline constexpr int kDefaultQualityPresetIndex = 1; // "Balanced"

// Any index above 2 means "High Quality"; an empty combo (-1) reads as "Fast".
inline constexpr const QualityPreset& qualityPresetForIndex(int comboIndex)
{
    return kQualityPresets[comboIndex <= 0 ? 0 : (comboIndex >= 2 ? 2 : comboIndex)];
}
