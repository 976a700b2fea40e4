#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

// One sketch or measurement item on the section, in section millimetres.
struct SectionAnnotation {
    QString kind;          // "line", "circle", "arc", "rectangle", "measure_length", ...
    QList<QPointF> points;
    QPointF center;
    QRectF rect;
    double radius = 0.0;
    bool closed = false;
    QString label;
    bool isMeasurement = false;
    // Fitted to the section (lines, arcs, circles): drawn on the "fit" layer,
    // exported on layer "FIT", and dropped when the section plane moves.
    bool isFit = false;
};
