#pragma once

#include "model/section/sectionannotation.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QList>

#include <optional>

// Sketches and measurements in a session file: one JSON object per record,
// {"kind", "points": [[x, y], ...], "center": [x, y], "rect": [x, y, w, h],
//  "radius", "closed", "label", "isMeasurement"}.
QJsonArray annotationsToJson(const QList<SectionAnnotation>& annotations);

// Empty when the value is not an array. A record that is not an object, has
// an unknown kind, or carries a missing, mistyped or non-finite number is
// left out; the others come back.
std::optional<QList<SectionAnnotation>> annotationsFromJson(const QJsonValue& value);

// Kept section-line indices: non-negative integers, ascending and unique.
// Empty when the value is not an array; other entries are left out.
std::optional<QList<int>> indicesFromJson(const QJsonValue& value);
