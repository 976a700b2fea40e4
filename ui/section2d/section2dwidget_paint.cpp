// Painting of the section canvas: segments, overlay, annotations, the shape
// being drawn, tool overlays, scale bar and drag rectangles.
#include "ui/section2d/section2dwidget.h"

#include "model/section/sectionsketch.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

QPen cosmeticPen(const QColor& colour, double width)
{
    QPen pen(colour, width);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

} // namespace

void Section2DWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillRect(rect(), backgroundColor());

    if (segments.isEmpty() && annotationList.isEmpty() && pendingPoints.isEmpty()) {
        painter.setPen(QColor(110, 120, 150));
        painter.drawText(rect(), Qt::AlignCenter, emptyHint());
        return;
    }

    paintTransform = viewTransform();
    bool invertible = false;
    paintInverse = paintTransform.inverted(&invertible);
    if (!invertible)
        return;

    painter.save();
    painter.setTransform(paintTransform);
    painter.setBrush(Qt::NoBrush);

    const QPen contourLinePen = cosmeticPen(contourPen, 1.3);
    const QPen keptPen = cosmeticPen(keptColor(), 2.4);
    const QPen selectedPen = cosmeticPen(selectionColor(), 2.6);
    for (int i = 0; i < segments.size(); ++i) {
        if (erasedSet.contains(i))
            continue;
        const bool kept = keptSet.contains(i);
        if (kept ? !showKept : !showContour)
            continue;
        if (i == selectedSegment)
            painter.setPen(selectedPen);
        else
            painter.setPen(kept ? keptPen : contourLinePen);
        painter.drawLine(segments[i]);
    }

    if (!comparisonLines.isEmpty()) {
        QPen overlay = cosmeticPen(QColor(255, 160, 60), 1.2);
        overlay.setStyle(Qt::DashLine);
        painter.setPen(overlay);
        painter.drawLines(comparisonLines);
    }

    for (int i = 0; i < annotationList.size(); ++i) {
        const SectionAnnotation& a = annotationList[i];
        if (a.isFit ? !showFit : (a.isMeasurement ? !showMeasurement : !showAnnotation))
            continue;
        paintAnnotation(painter, a, i == selectedAnnotation);
    }
    paintShapeInProgress(painter);
    paintToolOverlay(painter);
    painter.restore();

    paintScaleBar(painter);

    if (keepRectDragging || areaEraseDragging) {
        QPen pen(keepRectDragging ? QColor(255, 90, 90) : QColor(255, 170, 70), 1.0);
        pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(keepRectDragging ? QColor(255, 70, 70, 35) : QColor(255, 140, 70, 35));
        painter.drawRect(QRect(dragRectStart, dragRectCurrent).normalized());
    }
}

void Section2DWidget::paintAnnotation(QPainter& painter, const SectionAnnotation& a, bool highlighted) const
{
    QColor colour = a.isFit ? fitColor() : (a.isMeasurement ? measurementColor() : annotationColor());
    if (highlighted)
        colour = selectionColor();
    painter.setPen(cosmeticPen(colour, a.isMeasurement || a.isFit ? 1.6 : 1.4));
    painter.setBrush(Qt::NoBrush);

    if (const std::optional<sketch::ArcSpan> arc = sketch::arcSpan(a)) {
        // As chords: QPainter's own arcs would turn the wrong way under the
        // y-up view transform.
        painter.drawPolyline(QPolygonF(sketch::arcPoints(*arc)));
    } else if ((a.kind == QLatin1String("line") || a.kind == QLatin1String("measure_length")) && a.points.size() >= 2) {
        painter.drawLine(a.points[0], a.points[1]);
    } else if (sketch::isCircleKind(a.kind)) {
        painter.drawEllipse(a.center, a.radius, a.radius);
    } else if (a.kind == QLatin1String("rectangle")) {
        painter.drawRect(a.rect);
    } else if (a.kind == QLatin1String("point_label")) {
        if (!a.points.isEmpty()) {
            const QPointF p = a.points[0];
            painter.drawLine(p - QPointF(1.8, 0.0), p + QPointF(1.8, 0.0));
            painter.drawLine(p - QPointF(0.0, 1.8), p + QPointF(0.0, 1.8));
        }
    } else if (a.points.size() >= 2) {
        QPainterPath path(a.points[0]);
        for (int i = 1; i < a.points.size(); ++i)
            path.lineTo(a.points[i]);
        if (a.closed && a.points.size() >= 3)
            path.closeSubpath();
        painter.drawPath(path);
    }

    if (!a.label.isEmpty())
        paintAnnotationLabel(painter, a, colour);
}

void Section2DWidget::paintAnnotationLabel(QPainter& painter, const SectionAnnotation& a, const QColor& colour) const
{
    QPointF anchor;
    if ((a.kind == QLatin1String("line") || a.kind == QLatin1String("measure_length")) && a.points.size() >= 2)
        anchor = (a.points[0] + a.points[1]) / 2.0;
    else if (sketch::isCircleKind(a.kind))
        anchor = a.center;
    else if (a.kind == QLatin1String("measure_angle") && a.points.size() >= 2)
        anchor = a.points[1];
    else if (!a.points.isEmpty())
        anchor = a.points[0];
    else
        anchor = a.rect.topLeft();

    QPointF pixel = painter.transform().map(anchor);
    pixel += a.kind == QLatin1String("point_label") ? QPointF(18.0, -20.0) : QPointF(0.0, -16.0);

    painter.save();
    painter.resetTransform();
    const QFontMetricsF metrics(painter.font());
    QRectF box = metrics.boundingRect(a.label).adjusted(-6.0, -4.0, 6.0, 4.0);
    box.moveCenter(pixel);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(8, 10, 18, 210));
    painter.drawRoundedRect(box, 4.0, 4.0);
    painter.setPen(colour);
    painter.drawText(box, Qt::AlignCenter, a.label);
    painter.restore();
}

void Section2DWidget::paintShapeInProgress(QPainter& painter) const
{
    if (pendingPoints.isEmpty())
        return;
    QColor colour = sketch::isMeasureTool(tool) ? measurementColor() : annotationColor();
    colour.setAlpha(130);
    QPen pen = cosmeticPen(colour, 1.2);
    pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);

    const QPointF end = cursorValid ? cursorPos : pendingPoints.last();
    const QPointF first = pendingPoints.first();
    const int count = int(pendingPoints.size());
    switch (tool) {
    case sketch::Tool::Line:
    case sketch::Tool::Length:
        if (count == 1)
            painter.drawLine(first, end);
        break;
    case sketch::Tool::Rect:
        if (count == 1)
            painter.drawRect(QRectF(first, end).normalized());
        break;
    case sketch::Tool::Circle:
    case sketch::Tool::Radius:
    case sketch::Tool::Arc:
        if (count == 1) {
            const double r = QLineF(first, end).length();
            painter.drawEllipse(first, r, r);
        } else if (count == 2) {
            if (const auto circle = sketch::circleThrough(first, pendingPoints[1], end))
                painter.drawEllipse(circle->center, circle->radius, circle->radius);
        }
        break;
    case sketch::Tool::Polygon: {
        QPainterPath path(first);
        for (int i = 1; i < count; ++i)
            path.lineTo(pendingPoints[i]);
        path.lineTo(end);
        painter.drawPath(path);
        break;
    }
    case sketch::Tool::Angle:
        if (count == 1) {
            painter.drawLine(first, end);
        } else if (count == 2) {
            painter.drawLine(pendingPoints[1], first);
            painter.drawLine(pendingPoints[1], end);
        }
        break;
    default:
        break;
    }
}

void Section2DWidget::paintToolOverlay(QPainter& painter) const
{
    const double upp = unitsPerPixel();
    if (tool == sketch::Tool::Eraser && cursorValid) {
        QPen pen(QColor(255, 170, 70, 220), 1.2);
        pen.setCosmetic(true);
        pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(QColor(255, 140, 70, 28));
        const double r = std::max(eraserRadiusPx * upp, 1e-5);
        painter.drawEllipse(cursorPos, r, r);
    }
    if (tool == sketch::Tool::Select && selectedAnnotation >= 0 && selectedAnnotation < annotationList.size()) {
        QPen pen(QColor(255, 255, 0), 0.0);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(QColor(255, 255, 0, 80));
        const double r = std::max(kPickRadiusPx * upp, 0.0001) / 2.0;
        for (const QPointF& p : annotationList[selectedAnnotation].points)
            painter.drawEllipse(p, r, r);
    }
    painter.setBrush(Qt::NoBrush);
}

void Section2DWidget::paintScaleBar(QPainter& painter) const
{
    const double s = std::max(bounds.width(), bounds.height());
    const QPointF leftSection(bounds.x() + 0.04 * s, bounds.y() + bounds.height() - 0.04 * s);
    const QPointF left = paintTransform.map(leftSection);
    const QPointF right = paintTransform.map(leftSection + QPointF(0.2 * s, 0.0));

    QPen pen(QColor(230, 230, 240), 2.0);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    painter.setPen(pen);
    painter.drawLine(left, right);

    painter.setPen(QColor(200, 200, 210));
    painter.drawText(QRectF(left.x(), left.y() - 22.0, 220.0, 18.0), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("%1 units").arg(0.2 * s, 0, 'f', 1));
}
