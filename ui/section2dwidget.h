#pragma once

#include "model/sectionannotation.h"
#include "model/sectionlines.h"

#include <QColor>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QTransform>
#include <QWidget>

class QPainter;

// The 2D view of the current section: section lines, kept lines, the
// comparison overlay, annotations and a scale bar, drawn y-up. The user pans
// with the middle button and zooms about the cursor with the wheel.
class Section2DWidget : public QWidget {
    Q_OBJECT

public:
    // Drawing scale limits relative to the fitted view.
    static constexpr double kMinZoom = 0.05;
    static constexpr double kMaxZoom = 80.0;
    static constexpr double kWheelFactor = 1.12;
    static constexpr int kViewMargin = 12;

    explicit Section2DWidget(QWidget* parent = nullptr);

    // Replaces the lines; kept and erased marks refer to the old indices and
    // are dropped. The view is fitted only the first time.
    void setSectionLines(const SectionLines& lines);
    void setSegments(const SectionLines& lines) { setSectionLines(lines); }
    const SectionLines& sectionLines() const { return segments; }

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

    // name: "contour", "annotation", "measurement" or "kept"; anything else
    // only repaints.
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
    static QColor contourColor() { return QColor(116, 199, 236); }
    static QColor annotationColor() { return QColor(243, 139, 168); }
    static QColor measurementColor() { return QColor(166, 227, 161); }
    static QColor selectionColor() { return QColor(255, 0, 255); }
    static QColor keptColor() { return QColor(255, 64, 64); }
    static QString emptyHint() { return QStringLiteral("Load a scan and move the slice slider."); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void updateContentBounds();
    void paintAnnotation(QPainter& painter, const SectionAnnotation& annotation, bool highlighted) const;
    void paintAnnotationLabel(QPainter& painter, const SectionAnnotation& annotation, const QColor& colour) const;
    void paintScaleBar(QPainter& painter) const;

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
    int tool = 0;
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
    bool showContour = true;
    bool showAnnotation = true;
    bool showMeasurement = true;
    bool showKept = true;
    QTransform paintTransform;
    QTransform paintInverse;
};
