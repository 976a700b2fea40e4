// The sketch and measure tools of the section canvas: tool state, finishing
// shapes, picking, handle dragging, the erasers, keep vectors, trace, offset,
// one-click radius and the editing commands.
#include "ui/section2d/section2dwidget.h"

#include "model/section/sectionsketch.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kEraserRadiiPx[3] = {8.0, 16.0, 30.0};

} // namespace

double Section2DWidget::pickRadius() const
{
    return std::max(kPickRadiusPx * unitsPerPixel(), 0.0001);
}

QPointF Section2DWidget::snapped(const QPointF& p) const
{
    if (!snapEnabled)
        return p;
    return sketch::snapPoint(p, pickRadius(), segments, erasedSet, annotationList);
}

void Section2DWidget::setSelectedAnnotation(int index)
{
    selectedAnnotation = (index >= 0 && index < annotationList.size()) ? index : -1;
    if (selectedAnnotation >= 0)
        selectedSegment = -1;
    update();
}

void Section2DWidget::setTool(sketch::Tool newTool)
{
    tool = newTool;
    pendingPoints.clear();
    cursorValid = false;
    eraseDragging = false;
    areaEraseDragging = false;
    handleDragging = false;
    handleDragAnnotation = -1;
    handleDragPoint = -1;
    if (tool != sketch::Tool::Select)
        selectedAnnotation = -1;
    updateContentBounds();
    update();
}

void Section2DWidget::setSnapEnabled(bool on)
{
    snapEnabled = on;
    update();
}

void Section2DWidget::setEraserSize(int index)
{
    eraserSizeIndex = std::clamp(index, 0, 2);
    eraserRadiusPx = kEraserRadiiPx[eraserSizeIndex];
    update();
}

void Section2DWidget::setKeepVectorMode(bool on)
{
    keepVectorMode = on;
    keepRectDragging = false;
    update();
}

void Section2DWidget::leftPress(const QPoint& pixel)
{
    const QPointF p = snapped(mapToSection(pixel));
    cursorPos = p;
    cursorValid = true;

    if ((keepVectorMode && tool == sketch::Tool::Navigation) || tool == sketch::Tool::AreaEraser) {
        dragRectStart = pixel;
        dragRectCurrent = pixel;
        keepRectDragging = tool == sketch::Tool::Navigation;
        areaEraseDragging = tool == sketch::Tool::AreaEraser;
        return;
    }
    switch (tool) {
    case sketch::Tool::Navigation:
    case sketch::Tool::Select:
        startHandleDrag(p, mapToSection(pixel));
        pickAt(p);
        return;
    case sketch::Tool::Eraser:
        eraseDragging = true;
        eraseAt(p);
        return;
    case sketch::Tool::Trace:
        traceAt(p, false);
        return;
    case sketch::Tool::Offset:
        traceAt(p, true);
        return;
    case sketch::Tool::Radius:
        if (pendingPoints.isEmpty() && radiusAt(p))
            return;
        addPendingPoint(p);
        return;
    default:
        addPendingPoint(p);
        return;
    }
}

void Section2DWidget::rightPress()
{
    if (!pendingPoints.isEmpty() && sketch::isMeasureTool(tool)) {
        finishMeasurement(nullptr);
        return;
    }
    selectedAnnotation = -1;
    selectedSegment = -1;
}

void Section2DWidget::addPendingPoint(const QPointF& p)
{
    pendingPoints.append(p);
    const int needed = sketch::pointsToFinish(tool);
    if (needed > 0 && pendingPoints.size() >= needed)
        finishPending();
}

void Section2DWidget::finishMeasurement(const QPointF* p)
{
    if (p && (pendingPoints.isEmpty() || QLineF(pendingPoints.last(), *p).length() > 1e-9))
        pendingPoints.append(*p);
    const int needed = tool == sketch::Tool::Length ? 2 : 3;
    if (pendingPoints.size() < needed) {
        pendingPoints.clear();
        cursorValid = false;
        update();
        return;
    }
    finishPending();
}

void Section2DWidget::finishPending()
{
    const SectionAnnotation record = sketch::buildToolRecord(tool, pendingPoints);
    pendingPoints.clear();
    cursorValid = false;
    if (record.kind.isEmpty()) {
        updateContentBounds();
        update();
        return;
    }
    appendAndSelect(record);
}

void Section2DWidget::appendAndSelect(const SectionAnnotation& record)
{
    annotationList.append(record);
    selectedAnnotation = int(annotationList.size()) - 1;
    selectedSegment = -1;
    pendingPoints.clear();
    cursorValid = false;
    updateContentBounds();
    emit annotationsChanged();
    update();
}

bool Section2DWidget::isAnnotationShown(const SectionAnnotation& a) const
{
    return a.isFit ? showFit : (a.isMeasurement ? showMeasurement : showAnnotation);
}

void Section2DWidget::pickAt(const QPointF& p)
{
    int bestAnnotation = -1;
    double annotationDistance = std::numeric_limits<double>::infinity();
    for (int i = 0; i < annotationList.size(); ++i) {
        const double d = sketch::distanceToAnnotation(p, annotationList[i]);
        if (d < annotationDistance) {
            annotationDistance = d;
            bestAnnotation = i;
        }
    }
    double segmentDistance = 0.0;
    const int bestSegment = sketch::nearestSegment(p, segments, erasedSet, &segmentDistance);

    selectedAnnotation = -1;
    selectedSegment = -1;
    const double r = pickRadius();
    if (bestSegment >= 0 && segmentDistance < annotationDistance) {
        if (segmentDistance <= r)
            selectedSegment = bestSegment;
    } else if (bestAnnotation >= 0 && annotationDistance <= r) {
        selectedAnnotation = bestAnnotation;
    }
}

bool Section2DWidget::startHandleDrag(const QPointF& p, const QPointF& raw)
{
    handleDragWhole = false;
    if (selectedAnnotation < 0 || selectedAnnotation >= annotationList.size())
        return false;
    const SectionAnnotation& a = annotationList[selectedAnnotation];
    double best = pickRadius();
    int bestPoint = -1;
    for (int i = 0; i < a.points.size(); ++i) {
        const double d = QLineF(a.points[i], p).length();
        if (d <= best) {
            best = d;
            bestPoint = i;
        }
    }
    if (bestPoint < 0) {
        // Fitted circles keep their place on the section; drawn ones move.
        if (a.isFit || !sketch::isCircleKind(a.kind) || sketch::distanceToAnnotation(raw, a) > pickRadius())
            return false;
        handleDragWhole = true;
        handleDragLast = raw;
    }
    handleDragAnnotation = selectedAnnotation;
    handleDragPoint = bestPoint;
    handleDragging = true;
    return true;
}

void Section2DWidget::dragHandleTo(const QPointF& p)
{
    if (handleDragAnnotation < 0 || handleDragAnnotation >= annotationList.size())
        return;
    SectionAnnotation& a = annotationList[handleDragAnnotation];
    if (handleDragWhole) {
        sketch::translateAnnotation(a, p - handleDragLast);
        handleDragLast = p;
        emit annotationsChanged();
        return;
    }
    if (handleDragPoint < 0 || handleDragPoint >= a.points.size())
        return;
    const QPointF before = a.points[handleDragPoint];
    a.points[handleDragPoint] = p;
    // An arc or circle follows its three points (a measurement's label with
    // it); a move that lines them up is not taken.
    const bool followsPoints = a.kind == QLatin1String("arc") || (a.isFit && a.kind == QLatin1String("circle"));
    if ((followsPoints && !sketch::refitThroughPoints(a)) ||
        (!followsPoints && sketch::isCircleKind(a.kind) && !sketch::rebuildCircleRecord(a))) {
        a.points[handleDragPoint] = before;
        return;
    }
    if (a.kind == QLatin1String("measure_length") && a.points.size() >= 2)
        a.label = sketch::millimetres(QLineF(a.points[0], a.points[1]).length());
    emit annotationsChanged();
}

void Section2DWidget::eraseSegment(int index)
{
    erasedSet.insert(index);
    keptSet.remove(index);
    if (selectedSegment == index)
        selectedSegment = -1;
}

void Section2DWidget::eraseAt(const QPointF& p)
{
    const double r = std::max(eraserRadiusPx * unitsPerPixel(), 1e-5);
    bool any = false;
    for (int i = 0; i < segments.size(); ++i) {
        if (erasedSet.contains(i) || sketch::distanceToSegment(p, segments[i]) > r)
            continue;
        eraseSegment(i);
        any = true;
    }
    // Sketches and measurements under the brush go as a whole; hidden
    // layers are out of reach.
    const qsizetype before = annotationList.size();
    removeAnnotations([&](const SectionAnnotation& a) {
        return isAnnotationShown(a) && sketch::distanceToAnnotation(p, a) <= r;
    });
    const bool removed = annotationList.size() != before;
    if (!any && !removed)
        return;
    updateContentBounds();
    if (any)
        emit segmentMarksChanged();
    if (removed)
        emit annotationsChanged();
}

void Section2DWidget::applyDragRectangle(bool keep)
{
    const int left = std::min(dragRectStart.x(), dragRectCurrent.x());
    const int right = std::max(dragRectStart.x(), dragRectCurrent.x());
    const int top = std::min(dragRectStart.y(), dragRectCurrent.y());
    const int bottom = std::max(dragRectStart.y(), dragRectCurrent.y());
    // A click or a sliver is not a selection.
    if (right - left <= 2 || bottom - top <= 2)
        return;

    const QTransform toPixels = viewTransform();
    bool any = false;
    for (int i = 0; i < segments.size(); ++i) {
        if (erasedSet.contains(i))
            continue;
        const QPoint mid = toPixels.map(segments[i].center()).toPoint();
        if (mid.x() < left || mid.x() > right || mid.y() < top || mid.y() > bottom)
            continue;
        if (keep)
            keptSet.insert(i);
        else
            eraseSegment(i);
        any = true;
    }
    if (!any)
        return;
    if (!keep)
        updateContentBounds();
    emit segmentMarksChanged();
}

bool Section2DWidget::traceAt(const QPointF& p, bool offset)
{
    const double r = pickRadius();
    double distance = 0.0;
    const int picked = sketch::nearestSegment(p, segments, erasedSet, &distance);
    if (picked < 0 || distance > 1.4 * r)
        return false;
    sketch::Chain chain = sketch::traceChain(segments, erasedSet, picked, r);
    if (offset)
        chain = sketch::offsetChain(chain, p, r);
    if (chain.points.isEmpty())
        return false;

    SectionAnnotation record;
    record.kind = offset ? QStringLiteral("offset") : QStringLiteral("contour_piece");
    record.points = chain.points;
    record.closed = chain.closed;
    appendAndSelect(record);
    return true;
}

bool Section2DWidget::radiusAt(const QPointF& p)
{
    const double r = pickRadius();
    double distance = 0.0;
    const int picked = sketch::nearestSegment(p, segments, erasedSet, &distance);
    if (picked < 0 || distance > 1.8 * r)
        return false;
    const sketch::Chain chain = sketch::traceChain(segments, erasedSet, picked, r);
    const std::optional<SectionAnnotation> fitted = sketch::fitRadius(chain.points, p, r);
    if (!fitted)
        return false;
    appendAndSelect(*fitted);
    return true;
}

void Section2DWidget::undoLastAnnotation()
{
    if (!annotationList.isEmpty()) {
        const bool fit = annotationList.last().isFit;
        do
            annotationList.removeLast();
        while (fit && !annotationList.isEmpty() && annotationList.last().isFit);
        emit annotationsChanged();
    }
    if (selectedAnnotation >= annotationList.size())
        selectedAnnotation = -1;
    handleDragging = false;
    handleDragAnnotation = -1;
    updateContentBounds();
    update();
}

bool Section2DWidget::deleteSelected()
{
    if (selectedAnnotation >= 0 && selectedAnnotation < annotationList.size()) {
        annotationList.removeAt(selectedAnnotation);
        selectedAnnotation = -1;
        handleDragging = false;
        handleDragAnnotation = -1;
        updateContentBounds();
        emit annotationsChanged();
        update();
        return true;
    }
    if (selectedSegment >= 0 && selectedSegment < segments.size()) {
        eraseSegment(selectedSegment);
        updateContentBounds();
        emit segmentMarksChanged();
        update();
        return true;
    }
    return false;
}

void Section2DWidget::removeAnnotations(const std::function<bool(const SectionAnnotation&)>& which)
{
    const QList<SectionAnnotation> before = annotationList;
    annotationList.clear();
    int selected = -1;
    for (int i = 0; i < before.size(); ++i) {
        if (which(before[i]))
            continue;
        if (i == selectedAnnotation)
            selected = int(annotationList.size());
        annotationList.append(before[i]);
    }
    selectedAnnotation = selected;
    handleDragging = false;
    handleDragAnnotation = -1;
}

void Section2DWidget::setFitAnnotations(const QList<SectionAnnotation>& fitted)
{
    removeAnnotations([](const SectionAnnotation& a) { return a.isFit; });
    annotationList.append(fitted);
    updateContentBounds();
    emit annotationsChanged();
    update();
}

bool Section2DWidget::clearFitAnnotations()
{
    const qsizetype had = annotationList.size();
    removeAnnotations([](const SectionAnnotation& a) { return a.isFit; });
    if (annotationList.size() == had)
        return false;
    updateContentBounds();
    emit annotationsChanged();
    update();
    return true;
}

void Section2DWidget::clearAnnotations()
{
    const bool had = !annotationList.isEmpty();
    annotationList.clear();
    selectedAnnotation = -1;
    pendingPoints.clear();
    handleDragging = false;
    handleDragAnnotation = -1;
    updateContentBounds();
    if (had)
        emit annotationsChanged();
    update();
}

bool Section2DWidget::mergeSelectedAnnotation()
{
    if (selectedAnnotation < 0 || selectedAnnotation >= annotationList.size() ||
        annotationList[selectedAnnotation].isMeasurement)
        return false;
    segments.append(sketch::annotationToLines(annotationList[selectedAnnotation]));
    annotationList.removeAt(selectedAnnotation);
    selectedAnnotation = -1;
    selectedSegment = -1;
    handleDragging = false;
    handleDragAnnotation = -1;
    updateContentBounds();
    emit annotationsChanged();
    emit segmentMarksChanged();
    update();
    return true;
}

SectionLines Section2DWidget::annotationToLines(const SectionAnnotation& annotation)
{
    return sketch::annotationToLines(annotation);
}
