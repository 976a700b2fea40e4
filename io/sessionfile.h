#pragma once

#include "model/section/sectiondefaults.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The window's working settings as a session file (compact JSON). The mesh,
// its alignment and the drawn annotations are not part of it; a value whose
// control does not exist stays empty and is neither written nor applied.
struct SessionSettings {
    QString meshPath;
    int sliceAxis = 2;
    std::optional<double> slicePosition;     // empty: keep the control's value
    double bandThickness = 0.0;
    int keepRatio = kDefaultKeepPercent;
    std::optional<int> smooth2d = kDefaultSmoothStrength;
    std::optional<bool> wireframeMode;       // applied only when present
    std::optional<int> wireframeComplexity = 70;
    std::optional<int> wireCleanupMode = 1;
    std::optional<bool> wireframeSnap = true;
    std::optional<bool> wireframeMeasure = false;
    std::optional<int> wireframeExportMode = 1;
    bool isAligned = false;                  // written for the record, never read
    std::optional<double> edgeAngle;         // applied only when present
    std::optional<int> qualityPreset;
    std::optional<bool> layerContour;
    std::optional<bool> layerAnnotation;
    std::optional<bool> layerMeasurement;
    std::optional<bool> layerKept;
    std::optional<bool> projectionOrthographic;
};

QByteArray sessionToJson(const SessionSettings& settings);

// Missing keys and keys of the wrong type take their defaults; a document
// that is not an object is an empty one. False only when the text is not
// JSON at all, with the parser's message in error.
bool sessionFromJson(const QByteArray& json, SessionSettings* settings, QString* error);
