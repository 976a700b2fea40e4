#pragma once

#include "model/section/sectionannotation.h"
#include "model/section/sectionlines.h"

#include <QList>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QTextStream>

#include <functional>
#include <vector>

// Minimal ASCII DXF: entity templates with Qt's default number formatting
// (6 significant digits) and z written as a literal 0.
class DxfWriter {
public:
    explicit DxfWriter(QTextStream& stream) : out_(stream) {}

    void beginEntities();
    void endFile();
    // HEADER declaring millimetres, for files meant for CAD import as drawings.
    void writeMillimetreHeader();
    // The same without a version: the entities stay the minimal kind every
    // reader takes, and $INSUNITS still says millimetres.
    void writeUnitsHeader();
    // Significant digits of the numbers that follow; 0 is the stream's
    // default (6). Fitted geometry is written with 10 so that the ends a CAD
    // program computes from an ARC's centre and angles meet their LINEs.
    void setDigits(int digits) { digits_ = digits; }

    void line(const QPointF& a, const QPointF& b, const QString& layer);
    void circle(const QPointF& centre, double radius, const QString& layer);
    // Counter-clockwise from startDegrees to endDegrees, as DXF ARC always is.
    void arc(const QPointF& centre, double radius, double startDegrees, double endDegrees, const QString& layer);
    void point(const QPointF& p, const QString& layer);
    // Nothing for an empty text.
    void text(const QPointF& position, const QString& text, const QString& layer);
    void polyline(const QList<QPointF>& points, bool closed, const QString& layer);

private:
    void pair(const char* code, const QString& value);
    void pair(const char* code, double value);
    QTextStream& out_;
    int digits_ = 0;
};

// One TEXT entity on layer, or nothing when text is empty.
void writeDxfText(QTextStream& stream, const QPointF& position, const QString& text, const QString& layer);

// Writes one annotation's entities.
void writeDxfAnnotation(DxfWriter& writer, const SectionAnnotation& annotation);

// What a section export contains: the visible line indices (ascending), the
// kept indices and the annotations.
struct SectionDxfContent {
    const SectionLines* lines = nullptr;
    std::vector<int> visibleIndices;
    QSet<int> keptIndices;
    QList<SectionAnnotation> annotations;
};

// The progress callback (model/common/progress.h) is called before items 0,
// 64, 128, ... with the item counter; when it returns false the writer stops
// and returns false, and the caller discards the file.

// Every visible line (ascending index, with its kept flag), then every
// annotation, asking progress before items 0, 64, 128, ... as the file
// exports do. False when progress said stop.
bool visitSectionContent(const SectionDxfContent& content, const ItemProgress& progress,
                         const std::function<void(const QLineF&, bool kept)>& line,
                         const std::function<void(const SectionAnnotation&)>& annotation);

// The whole file: ENTITIES with every line and annotation, ENDSEC, EOF; with
// fitted annotations, a HEADER declaring millimetres comes first.
bool writeSectionDxf(QTextStream& stream, const SectionDxfContent& content, const ItemProgress& progress = {});

// Every polyline as one LWPOLYLINE on "SLICE", after a millimetre HEADER.
void writePolylineDxf(QTextStream& stream, const QList<QList<QPointF>>& polylines, double closeTolerance);
