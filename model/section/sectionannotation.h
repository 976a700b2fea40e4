#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

// One sketch or measurement item on the section, in section millimetres.
struct SectionAnnotation {
    QString kind;          // "line", "circle", "rectangle", "measure_length", ...
    QList<QPointF> points;
    QPointF center;
    QRectF rect;
    double radius = 0.0;
    bool closed = false;
    QString label;
    bool isMeasurement = false;
};
