// Mouse and wheel input of the section canvas: navigation here, the tool
// steps in section2dwidget_tools.cpp.
#include "ui/section2d/section2dwidget.h"

#include "model/section/sectionsketch.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

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
    const QPoint pos = event->position().toPoint();
    switch (event->button()) {
    case Qt::MiddleButton:
        panning = true;
        panLastPos = pos;
        setCursor(Qt::ClosedHandCursor);
        break;
    case Qt::LeftButton:
        leftPress(pos);
        break;
    case Qt::RightButton:
        rightPress();
        break;
    default:
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    update();
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

    bool changed = false;
    if (keepRectDragging || areaEraseDragging) {
        dragRectCurrent = pos;
        changed = true;
    }
    const QPointF raw = mapToSection(pos);
    if (tool == sketch::Tool::Eraser && eraseDragging && (event->buttons() & Qt::LeftButton))
        eraseAt(snapped(raw));
    if (handleDragging) {
        // The dragged point must not snap to its own annotation; a whole
        // circle follows the cursor without snapping.
        const QPointF target = snapEnabled && !handleDragWhole
                                   ? sketch::snapPoint(raw, pickRadius(), segments, erasedSet, annotationList,
                                                       handleDragAnnotation)
                                   : raw;
        dragHandleTo(target);
        updateContentBounds();
        changed = true;
    }

    cursorPos = snapped(raw);
    cursorValid = true;
    if (changed || tool == sketch::Tool::Eraser || !pendingPoints.isEmpty())
        update();
    event->accept();
}

void Section2DWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton && panning) {
        panning = false;
        unsetCursor();
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    eraseDragging = false;
    handleDragging = false;
    handleDragWhole = false;
    handleDragAnnotation = -1;
    handleDragPoint = -1;
    if (keepRectDragging) {
        keepRectDragging = false;
        applyDragRectangle(true);
    }
    if (areaEraseDragging) {
        areaEraseDragging = false;
        applyDragRectangle(false);
    }
    event->accept();
    update();
}

void Section2DWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const QPointF p = snapped(mapToSection(event->position().toPoint()));
    if (sketch::isMeasureTool(tool)) {
        finishMeasurement(&p);
    } else if (tool == sketch::Tool::Polygon) {
        // The press of this second click has already added the point.
        if (pendingPoints.isEmpty() || QLineF(pendingPoints.last(), p).length() > 1e-6)
            pendingPoints.append(p);
        finishPending();
    }
    event->accept();
    update();
}
