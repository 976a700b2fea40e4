#pragma once

#include "model/section/sectionannotation.h"
#include "model/section/sectiondefaults.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The window's working settings as a session file (compact JSON), with the
// sketches, measurements and kept section lines drawn on the section. The
// mesh and its alignment are not part of it; a value whose control does not
// exist stays empty and is neither written nor applied, and files from
// before the drawn work was saved load without touching it.
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
    std::optional<bool> drawingHiddenLines;  // the drawing panel's "Hidden lines"
    // Sketches and measurements, fitted ones excluded ("sectionAnnotations").
    std::optional<QList<SectionAnnotation>> annotations;
    // Indices into the section lines at the saved plane ("keptIndices").
    std::optional<QList<int>> keptIndices;
};

QByteArray sessionToJson(const SessionSettings& settings);

// Missing keys and keys of the wrong type take their defaults; a document
// that is not an object is an empty one. False only when the text is not
// JSON at all, with the parser's message in error.
bool sessionFromJson(const QByteArray& json, SessionSettings* settings, QString* error);
