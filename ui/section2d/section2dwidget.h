#pragma once

#include "model/section/sectionannotation.h"
#include "model/section/sectionlines.h"
#include "model/section/sectionsketch.h"

#include <QColor>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QTransform>
#include <QWidget>

#include <functional>

class QPainter;

// The 2D view of the current section: section lines, kept lines, the
// comparison overlay, annotations and a scale bar, drawn y-up. The user pans
// with the middle button and zooms about the cursor with the wheel; the left
// button drives the sketch and measure tools (numbers in sketch::Tool).
class Section2DWidget : public QWidget {
    Q_OBJECT

public:
    // Drawing scale limits relative to the fitted view.
    static constexpr double kMinZoom = 0.05;
    static constexpr double kMaxZoom = 80.0;
    static constexpr double kWheelFactor = 1.12;
    static constexpr int kViewMargin = 12;
    // Picking, snapping and handle grabbing reach this far.
    static constexpr double kPickRadiusPx = 10.0;

    explicit Section2DWidget(QWidget* parent = nullptr);

    // Replaces the lines; kept and erased marks refer to the old indices and
    // are dropped. The view is fitted only the first time.
    void setSectionLines(const SectionLines& lines);
    void setSegments(const SectionLines& lines) { setSectionLines(lines); }
    const SectionLines& sectionLines() const { return segments; }

    // Back to an empty canvas for another part: no lines, marks, overlay or
    // annotations, and the view fits whatever comes next. Tools, snapping
    // and layer switches stay as they are.
    void resetForNewScan();

    void setComparisonLines(const SectionLines& lines);
    const SectionLines& comparisonOverlay() const { return comparisonLines; }

    void setAnnotations(const QList<SectionAnnotation>& list);
    QList<SectionAnnotation> annotations() const { return annotationList; }

    QSet<int> keptIndices() const { return keptSet; }
    QSet<int> erasedIndices() const { return erasedSet; }
    void setKeptIndices(const QSet<int>& indices);
    void setErasedIndices(const QSet<int>& indices);
    void clearKeptIndices();

    int selectedSegmentIndex() const { return selectedSegment; }
    void setSelectedSegment(int index);
    int selectedAnnotationIndex() const { return selectedAnnotation; }
    void setSelectedAnnotation(int index);

    // Changing the tool drops the shape in progress; the annotation
    // selection survives only into the Select tool.
    void setTool(sketch::Tool newTool);
    sketch::Tool currentTool() const { return tool; }
    void setSnapEnabled(bool on);
    bool isSnapEnabled() const { return snapEnabled; }
    // 0 small, 1 medium, 2 large; clamped.
    void setEraserSize(int index);
    int eraserSize() const { return eraserSizeIndex; }
    double eraserRadiusPixels() const { return eraserRadiusPx; }
    void setKeepVectorMode(bool on);
    bool isKeepVectorMode() const { return keepVectorMode; }
    const QList<QPointF>& pendingPointList() const { return pendingPoints; }

    // Removes the last annotation; when it is fitted, the whole fit it came
    // with (the trailing run of fitted annotations).
    void undoLastAnnotation();
    // Replaces every fitted annotation by these (appended at the end).
    void setFitAnnotations(const QList<SectionAnnotation>& fitted);
    // Removes the fitted annotations; false when there were none.
    bool clearFitAnnotations();
    // Removes the selected annotation, or else erases the selected segment;
    // false when nothing was selected.
    bool deleteSelected();
    void clearAnnotations();
    // Turns the selected sketch (not a measurement) into section segments.
    bool mergeSelectedAnnotation();
    static SectionLines annotationToLines(const SectionAnnotation& annotation);

    // Pick radius in section units.
    double pickRadius() const;

    // name: "contour", "annotation", "measurement", "kept" or "fit"; anything
    // else only repaints.
    void setLayerVisible(const QString& name, bool on);
    bool isLayerVisible(const QString& name) const;

    // Every segment index not erased, ascending.
    QList<int> visibleSegmentIndices() const;

    QRectF contentBounds() const { return bounds; }
    QPointF viewCenter() const { return center; }
    double zoom() const { return zoomFactor; }
    bool isViewInitialised() const { return viewInitialised; }

    QTransform viewTransform() const;
    QPointF mapToSection(const QPoint& pixel) const;
    double unitsPerPixel() const;

    static QColor backgroundColor() { return QColor(20, 22, 40); }
    static QColor contourColor() { return QColor(116, 199, 236); } // until the user picks one
    void setContourPenColor(const QColor& colour);
    QColor contourPenColor() const { return contourPen; }
    static QColor annotationColor() { return QColor(243, 139, 168); }
    static QColor measurementColor() { return QColor(166, 227, 161); }
    static QColor selectionColor() { return QColor(255, 0, 255); }
    static QColor keptColor() { return QColor(255, 64, 64); }
    static QColor fitColor() { return QColor(255, 196, 64); }
    static QString emptyHint() { return QStringLiteral("Load a scan and move the slice slider."); }

signals:
    // Annotations were added, removed, moved or merged.
    void annotationsChanged();
    // Segments were added by a merge or erased, kept or unkept by a tool.
    void segmentMarksChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void updateContentBounds();
    void paintAnnotation(QPainter& painter, const SectionAnnotation& annotation, bool highlighted) const;
    void paintAnnotationLabel(QPainter& painter, const SectionAnnotation& annotation, const QColor& colour) const;
    void paintShapeInProgress(QPainter& painter) const;
    void paintToolOverlay(QPainter& painter) const;
    void paintScaleBar(QPainter& painter) const;

    // Tool steps (section2dwidget_tools.cpp).
    QPointF snapped(const QPointF& p) const;
    void leftPress(const QPoint& pixel);
    void rightPress();
    void addPendingPoint(const QPointF& p);
    void finishPending();
    // p, when given, is appended first unless it repeats the last point.
    void finishMeasurement(const QPointF* p);
    void appendAndSelect(const SectionAnnotation& record);
    void removeAnnotations(const std::function<bool(const SectionAnnotation&)>& which);
    void pickAt(const QPointF& p);
    // A press on one of the selected annotation's points grabs that point; a
    // press on the outline of a selected circle (measurements included)
    // grabs the whole circle.
    bool startHandleDrag(const QPointF& p, const QPointF& raw);
    // Drawn on a layer that is switched on.
    bool isAnnotationShown(const SectionAnnotation& annotation) const;
    void dragHandleTo(const QPointF& p);
    // Erases the segments and removes the shown annotations within the brush.
    void eraseAt(const QPointF& p);
    void eraseSegment(int index);
    void applyDragRectangle(bool keep);
    bool traceAt(const QPointF& p, bool offset);
    bool radiusAt(const QPointF& p);

    SectionLines segments;
    QRectF bounds{-1.0, -1.0, 2.0, 2.0};
    bool keepVectorMode = false;
    bool keepRectDragging = false;
    bool areaEraseDragging = false;
    bool eraseDragging = false;
    QPoint dragRectStart;
    QPoint dragRectCurrent;
    QPoint panLastPos;
    QSet<int> keptSet;
    QSet<int> erasedSet;
    QList<SectionAnnotation> annotationList;
    int selectedAnnotation = -1;
    int selectedSegment = -1;
    sketch::Tool tool = sketch::Tool::Navigation;
    bool snapEnabled = false;
    QList<QPointF> pendingPoints;
    QPointF cursorPos;
    bool cursorValid = false;
    bool panning = false;
    bool viewInitialised = false;
    QPointF center;
    double zoomFactor = 1.0;
    int eraserSizeIndex = 1;
    double eraserRadiusPx = 16.0;
    SectionLines comparisonLines;
    int handleDragAnnotation = -1;
    int handleDragPoint = -1;
    bool handleDragging = false;
    // A circle grabbed on its outline moves as a whole, following the raw
    // cursor from here.
    bool handleDragWhole = false;
    QPointF handleDragLast;
    QColor contourPen = contourColor();
    bool showContour = true;
    bool showAnnotation = true;
    bool showMeasurement = true;
    bool showKept = true;
    bool showFit = true;
    QTransform paintTransform;
    QTransform paintInverse;
};
