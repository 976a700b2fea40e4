#include "ui/section2dwidget.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QPen cosmeticPen(const QColor& colour, double width)
{
    QPen pen(colour, width);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

bool isCircleKind(const QString& kind)
{
    return kind == QLatin1String("circle") || kind == QLatin1String("measure_radius") ||
           kind == QLatin1String("measure_arc");
}

} // namespace

Section2DWidget::Section2DWidget(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(320, 240);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Section2DWidget::setSectionLines(const SectionLines& lines)
{
    segments = lines;
    keptSet.clear();
    erasedSet.clear();
    selectedSegment = -1; // indices of the old lines mean nothing now
    updateContentBounds();
    update();
}

void Section2DWidget::setComparisonLines(const SectionLines& lines)
{
    comparisonLines = lines;
    update();
}

void Section2DWidget::setAnnotations(const QList<SectionAnnotation>& list)
{
    annotationList = list;
    if (selectedAnnotation >= annotationList.size())
        selectedAnnotation = -1;
    updateContentBounds();
    update();
}

void Section2DWidget::setKeptIndices(const QSet<int>& indices)
{
    keptSet.clear();
    for (int index : indices)
        if (index >= 0 && index < segments.size() && !erasedSet.contains(index))
            keptSet.insert(index);
    update();
}

void Section2DWidget::setErasedIndices(const QSet<int>& indices)
{
    erasedSet.clear();
    for (int index : indices)
        if (index >= 0 && index < segments.size())
            erasedSet.insert(index);
    keptSet -= erasedSet;
    if (erasedSet.contains(selectedSegment))
        selectedSegment = -1;
    updateContentBounds();
    update();
}

void Section2DWidget::clearKeptIndices()
{
    keptSet.clear();
    update();
}

void Section2DWidget::setSelectedSegment(int index)
{
    selectedSegment = (index >= 0 && index < segments.size()) ? index : -1;
    update();
}

void Section2DWidget::setLayerVisible(const QString& name, bool on)
{
    if (name == QLatin1String("contour"))
        showContour = on;
    else if (name == QLatin1String("annotation"))
        showAnnotation = on;
    else if (name == QLatin1String("measurement"))
        showMeasurement = on;
    else if (name == QLatin1String("kept"))
        showKept = on;
    update();
}

bool Section2DWidget::isLayerVisible(const QString& name) const
{
    if (name == QLatin1String("contour"))
        return showContour;
    if (name == QLatin1String("annotation"))
        return showAnnotation;
    if (name == QLatin1String("measurement"))
        return showMeasurement;
    if (name == QLatin1String("kept"))
        return showKept;
    return false;
}

QList<int> Section2DWidget::visibleSegmentIndices() const
{
    QList<int> indices;
    indices.reserve(segments.size() - erasedSet.size());
    for (int i = 0; i < segments.size(); ++i)
        if (!erasedSet.contains(i))
            indices.append(i);
    return indices;
}

void Section2DWidget::updateContentBounds()
{
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    bool any = false;
    const auto add = [&](const QPointF& p) {
        minX = std::min(minX, p.x());
        minY = std::min(minY, p.y());
        maxX = std::max(maxX, p.x());
        maxY = std::max(maxY, p.y());
        any = true;
    };

    for (int i = 0; i < segments.size(); ++i) {
        if (erasedSet.contains(i))
            continue;
        add(segments[i].p1());
        add(segments[i].p2());
    }
    for (const SectionAnnotation& a : annotationList) {
        if (isCircleKind(a.kind)) {
            add(a.center - QPointF(a.radius, a.radius));
            add(a.center + QPointF(a.radius, a.radius));
        } else if (a.kind == QLatin1String("rectangle")) {
            add(a.rect.topLeft());
            add(a.rect.bottomRight());
        } else {
            for (const QPointF& p : a.points)
                add(p);
        }
    }
    for (const QPointF& p : pendingPoints)
        add(p);

    if (!any) {
        bounds = QRectF(-1.0, -1.0, 2.0, 2.0);
        return;
    }
    const double w = std::max(maxX - minX, 0.001);
    const double h = std::max(maxY - minY, 0.001);
    const double pad = std::max(w, h) * 0.08 + 0.01;
    bounds = QRectF(minX - pad, minY - pad, w + 2.0 * pad, h + 2.0 * pad);
    if (!viewInitialised) {
        center = bounds.center();
        zoomFactor = 1.0;
        viewInitialised = true;
    }
}

QTransform Section2DWidget::viewTransform() const
{
    const QRectF area = QRectF(rect()).adjusted(kViewMargin, kViewMargin, -kViewMargin, -kViewMargin);
    if (area.width() <= 1.0 || area.height() <= 1.0)
        return QTransform();
    const double fit = std::min(area.height() / std::max(bounds.height(), 1e-6),
                                area.width() / std::max(bounds.width(), 1e-6));
    const double scale = fit * std::clamp(zoomFactor, kMinZoom, kMaxZoom);
    const QPointF focus = viewInitialised ? center : bounds.center();
    // QTransform composes right to left for points: the last call applies first.
    QTransform t;
    t.translate(area.center().x(), area.center().y());
    t.scale(scale, -scale);
    t.translate(-focus.x(), -focus.y());
    return t;
}

QPointF Section2DWidget::mapToSection(const QPoint& pixel) const
{
    bool invertible = false;
    const QTransform inverse = viewTransform().inverted(&invertible);
    if (!invertible)
        return QPointF(0.0, 0.0);
    return inverse.map(QPointF(pixel));
}

double Section2DWidget::unitsPerPixel() const
{
    bool invertible = false;
    const QTransform inverse = viewTransform().inverted(&invertible);
    if (!invertible)
        return std::max(std::max(bounds.width(), bounds.height()) / 1000.0, 1e-6);
    const QPointF unit = inverse.map(QPointF(1.0, 0.0)) - inverse.map(QPointF(0.0, 0.0));
    return std::max(std::hypot(unit.x(), unit.y()), 1e-9);
}

void Section2DWidget::wheelEvent(QWheelEvent* event)
{
    const double factor = event->angleDelta().y() >= 0 ? kWheelFactor : 1.0 / kWheelFactor;
    const QPoint cursor = event->position().toPoint();
    const QPointF before = mapToSection(cursor);
    zoomFactor = std::clamp(zoomFactor * factor, kMinZoom, kMaxZoom);
    const QPointF after = mapToSection(cursor);
    center += before - after;
    event->accept();
    update();
}

void Section2DWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        panning = true;
        panLastPos = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void Section2DWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (panning) {
        center += mapToSection(panLastPos) - mapToSection(pos);
        panLastPos = pos;
        event->accept();
        update();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void Section2DWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton && panning) {
        panning = false;
        unsetCursor();
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

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

    const QPen contourPen = cosmeticPen(contourColor(), 1.3);
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
            painter.setPen(kept ? keptPen : contourPen);
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
        if (a.isMeasurement ? !showMeasurement : !showAnnotation)
            continue;
        paintAnnotation(painter, a, i == selectedAnnotation);
    }
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
    QColor colour = a.isMeasurement ? measurementColor() : annotationColor();
    if (highlighted)
        colour = selectionColor();
    painter.setPen(cosmeticPen(colour, a.isMeasurement ? 1.6 : 1.4));
    painter.setBrush(Qt::NoBrush);

    if ((a.kind == QLatin1String("line") || a.kind == QLatin1String("measure_length")) && a.points.size() >= 2) {
        painter.drawLine(a.points[0], a.points[1]);
    } else if (isCircleKind(a.kind)) {
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
    else if (isCircleKind(a.kind))
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
