#include "ui/section2d/section2dwidget.h"

#include "model/section/sectionsketch.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
    if (selectedSegment >= segments.size())
        selectedSegment = -1;
    updateContentBounds();
    update();
}

void Section2DWidget::resetForNewScan()
{
    const bool hadAnnotations = !annotationList.isEmpty();
    segments.clear();
    keptSet.clear();
    erasedSet.clear();
    comparisonLines.clear();
    annotationList.clear();
    pendingPoints.clear();
    cursorValid = false;
    selectedAnnotation = -1;
    selectedSegment = -1;
    handleDragging = false;
    handleDragAnnotation = -1;
    eraseDragging = false;
    keepRectDragging = false;
    areaEraseDragging = false;
    viewInitialised = false;
    zoomFactor = 1.0;
    center = QPointF();
    updateContentBounds();
    if (hadAnnotations)
        emit annotationsChanged();
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
    else if (name == QLatin1String("fit"))
        showFit = on;
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
    if (name == QLatin1String("fit"))
        return showFit;
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
        if (sketch::isCircleKind(a.kind)) {
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

void Section2DWidget::setContourPenColor(const QColor& colour)
{
    if (!colour.isValid() || colour == contourPen)
        return;
    contourPen = colour;
    update();
}
