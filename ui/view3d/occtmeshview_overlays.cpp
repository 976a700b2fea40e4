// Painted overlays of OcctMeshView, drawn with QPainter over the GL image in
// a fixed order: align-pick planes, datum labels, measurement, wire
// segments, orientation triad, then the compass.
#include "ui/view3d/occtmeshview.h"

#include <QPainter>
#include <QPainterPath>
#include <QVector4D>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTriadLength = 40.0f;
constexpr float kTriadMargin = 58.0f;
constexpr float kTriadHitRadius = 11.0f;

const QColor kAxisColors[3] = {QColor(235, 80, 80), QColor(90, 210, 100), QColor(90, 140, 255)};

QVector3D triadDirection(int index)
{
    QVector3D d;
    d[index % 3] = index < 3 ? 1.0f : -1.0f;
    return d;
}

// The projection of many points with one matrix, without the per-call checks
// of QMatrix4x4::map.
struct ScreenMapper {
    QMatrix4x4 m;
    int width, height;

    bool map(const Vec3f& p, QPointF* out) const
    {
        const float* d = m.constData();
        const float x = d[0] * p.x + d[4] * p.y + d[8] * p.z + d[12];
        const float y = d[1] * p.x + d[5] * p.y + d[9] * p.z + d[13];
        const float w = d[3] * p.x + d[7] * p.y + d[11] * p.z + d[15];
        if (!(w > 1e-8f))
            return false;
        *out = QPointF((double(x / w) + 1.0) * 0.5 * width, (1.0 - double(y / w)) * 0.5 * height);
        return true;
    }
};

void drawArrow(QPainter& painter, const QPointF& from, const QPointF& to, const QColor& color, qreal width)
{
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from, to);
    const QPointF d = to - from;
    const qreal len = std::hypot(d.x(), d.y());
    if (len < 1.0)
        return;
    const QPointF u = d / len, n(-u.y(), u.x());
    const qreal head = std::min<qreal>(10.0, 0.4 * len);
    QPolygonF tip;
    tip << to << to - u * head + n * head * 0.45 << to - u * head - n * head * 0.45;
    painter.setBrush(color);
    painter.drawPolygon(tip);
    painter.setBrush(Qt::NoBrush);
}

} // namespace

void OcctMeshView::paintOverlays(QPainter& painter)
{
    // Screen geometry follows resizes and camera moves made without events.
    if (alignPickMode_ >= 1 && alignPickMode_ <= 3)
        updateCandidateScreens();
    if (alignPickMode_ == 4)
        updateCompass();
    if (alignPickMode_ >= 1 && alignPickMode_ <= 3)
        paintAlignHighlight(painter);
    if (!datumPlanes_.isEmpty())
        paintDatumLabels(painter);
    if (hasPointA_ || hasLastMeasurement_)
        paintMeasurement(painter);
    if (!wireSegments_.empty() || !secondaryWireSegments_.empty())
        paintWireSegments(painter);
    if (hasMesh_)
        paintTriad(painter);
    if (alignPickMode_ == 4 && !compassArrows_.isEmpty())
        paintCompass(painter);
}

void OcctMeshView::paintAlignHighlight(QPainter& painter) const
{
    for (int i = 0; i < candidatePlanes_.size(); ++i) {
        const CandidatePlane& plane = candidatePlanes_[i];
        if (plane.screen.size() < 4)
            continue;
        const bool hover = i == hoverCandidate_;
        painter.setPen(QPen(hover ? QColor(255, 220, 90) : QColor(120, 170, 255, 200), hover ? 2.5 : 1.2));
        painter.setBrush(hover ? QColor(255, 210, 80, 90) : QColor(90, 140, 255, 35));
        painter.drawPolygon(plane.screen);
        QPointF centre;
        if (worldToScreen(plane.center, &centre)) {
            painter.setPen(hover ? QColor(255, 230, 140) : QColor(190, 210, 255));
            painter.drawText(centre + QPointF(-18, 4), QStringLiteral("face %1").arg(i + 1));
        }
    }
    painter.setBrush(Qt::NoBrush);
}

void OcctMeshView::paintDatumLabels(QPainter& painter) const
{
    painter.setPen(QColor(130, 235, 160));
    for (const DatumPlane& plane : datumPlanes_) {
        QPointF at;
        if (worldToScreen(plane.point, &at))
            painter.drawText(at + QPointF(6, -6), plane.label);
    }
}

void OcctMeshView::paintMeasurement(QPainter& painter) const
{
    const QColor colour(166, 227, 161);
    painter.setBrush(colour);
    QPointF a, b;
    if (hasPointA_ && worldToScreen(pointA_, &a)) {
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(a, 4.5, 4.5);
    }
    if (hasLastMeasurement_ && !hasPointA_ && worldToScreen(lastA_, &a) && worldToScreen(lastB_, &b)) {
        painter.setPen(QPen(colour, 2.0));
        painter.drawLine(a, b);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(a, 4.0, 4.0);
        painter.drawEllipse(b, 4.0, 4.0);
        const QString label = QStringLiteral("%1 mm").arg(double((lastB_ - lastA_).length()), 0, 'f', 3);
        const QPointF mid = 0.5 * (a + b) + QPointF(8, -8);
        const QRectF box = QRectF(painter.fontMetrics().boundingRect(label)).adjusted(-4, -2, 4, 2).translated(mid);
        painter.setBrush(QColor(20, 22, 40, 200));
        painter.drawRoundedRect(box, 3, 3);
        painter.setPen(colour);
        painter.drawText(mid, label);
    }
    painter.setBrush(Qt::NoBrush);
}

void OcctMeshView::paintWireSegments(QPainter& painter) const
{
    const ScreenMapper mapper{viewProjection(), width(), height()};
    const auto collect = [&](const std::vector<MeshModel::SliceSegment3D>& segments, QVector<QLineF>* lines) {
        lines->reserve(int(segments.size()));
        QPointF a, b;
        for (const auto& s : segments)
            if (mapper.map(s.p0, &a) && mapper.map(s.p1, &b))
                lines->append(QLineF(a, b));
    };
    painter.setRenderHint(QPainter::Antialiasing, wireSegments_.size() + secondaryWireSegments_.size() < 60000);
    QVector<QLineF> lines;
    collect(wireSegments_, &lines);
    painter.setPen(QPen(longFeatureMode_ ? QColor(255, 170, 60) : QColor(70, 215, 255), 1.3));
    painter.drawLines(lines);
    lines.clear();
    collect(secondaryWireSegments_, &lines);
    painter.setPen(QPen(QColor(255, 200, 80), 1.6));
    painter.drawLines(lines);

    QList<int> selected = selectedWireIndices_;
    if (selectedWireSegment_ >= 0)
        selected.append(selectedWireSegment_);
    lines.clear();
    for (int index : selected) {
        if (index < 0 || index >= int(wireSegments_.size()))
            continue;
        QPointF a, b;
        if (mapper.map(wireSegments_[std::size_t(index)].p0, &a) && mapper.map(wireSegments_[std::size_t(index)].p1, &b))
            lines.append(QLineF(a, b));
    }
    painter.setPen(QPen(QColor(255, 0, 255), 3.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLines(lines);
    painter.setRenderHint(QPainter::Antialiasing, true);
}

QPointF OcctMeshView::triadTip(int axis) const
{
    const QVector3D v = viewMatrix().mapVector(triadDirection(axis));
    const QPointF centre(kTriadMargin, height() - kTriadMargin);
    const float length = axis < 3 ? kTriadLength : 0.6f * kTriadLength;
    return centre + QPointF(v.x() * length, -v.y() * length);
}

int OcctMeshView::triadAxisAt(const QPointF& pixel) const
{
    if (!hasMesh_)
        return -1;
    int best = -1;
    qreal bestDistance = kTriadHitRadius;
    for (int axis = 0; axis < 6; ++axis) {
        const QPointF d = triadTip(axis) - pixel;
        const qreal distance = std::hypot(d.x(), d.y());
        // Positive tips win over a coincident negative one.
        if (distance < bestDistance || (best >= 3 && axis < 3 && distance <= bestDistance)) {
            bestDistance = distance;
            best = axis;
        }
    }
    return best;
}

void OcctMeshView::paintTriad(QPainter& painter) const
{
    const QPointF centre(kTriadMargin, height() - kTriadMargin);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(10, 12, 20, 110));
    painter.drawEllipse(centre, kTriadLength + 14, kTriadLength + 14);

    // Far axes first so the near ones stay on top.
    const QMatrix4x4 view = viewMatrix();
    int order[6] = {0, 1, 2, 3, 4, 5};
    std::sort(order, order + 6, [&](int a, int b) {
        return view.mapVector(triadDirection(a)).z() < view.mapVector(triadDirection(b)).z();
    });
    static const char* const kNames[3] = {"X", "Y", "Z"};
    for (int axis : order) {
        const QPointF tip = triadTip(axis);
        QColor colour = kAxisColors[axis % 3];
        if (axis >= 3) {
            colour.setAlpha(120);
            painter.setPen(QPen(colour, 1.5));
            painter.drawLine(centre, tip);
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(tip, 3.0, 3.0);
            continue;
        }
        const bool pressed = triadDrag_ && triadAxis_ == axis;
        drawArrow(painter, centre, tip, pressed ? colour.lighter(140) : colour, pressed ? 3.5 : 2.5);
        painter.setPen(colour.lighter(130));
        const QPointF dir = tip - centre;
        const qreal len = std::max<qreal>(std::hypot(dir.x(), dir.y()), 1.0);
        painter.drawText(tip + dir / len * 9.0 + QPointF(-4, 5), QString::fromLatin1(kNames[axis]));
    }
    painter.setBrush(Qt::NoBrush);
}

void OcctMeshView::paintCompass(QPainter& painter) const
{
    QPointF base;
    const bool baseOk = worldToScreen(pickedPoint_, &base);
    for (const CompassArrow& arrow : compassArrows_) {
        if (!arrow.visible)
            continue;
        const bool primary = std::fabs(arrow.angleDeg) < 0.5f;
        drawArrow(painter, arrow.base, arrow.tip, primary ? QColor(255, 90, 90) : QColor(255, 210, 90), primary ? 3.0 : 2.0);
        painter.setPen(QColor(240, 240, 250));
        painter.drawText(arrow.tip + QPointF(4, -4), arrow.label);
    }
    if (baseOk) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255));
        painter.drawEllipse(base, 3.5, 3.5);
        painter.setBrush(Qt::NoBrush);
    }
    // Title panel.
    const QString title = QStringLiteral("Compass");
    const QString subtitle = compassLabel_;
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const QRectF box(10, 10, std::max(150, painter.fontMetrics().horizontalAdvance(subtitle) + 20), 44);
    painter.setPen(QPen(QColor(120, 140, 200), 1.0));
    painter.setBrush(QColor(20, 22, 40, 210));
    painter.drawRoundedRect(box, 4, 4);
    painter.setPen(QColor(255, 220, 120));
    painter.drawText(box.topLeft() + QPointF(8, 17), title);
    font.setBold(false);
    painter.setFont(font);
    painter.setPen(QColor(220, 225, 240));
    painter.drawText(box.topLeft() + QPointF(8, 35), subtitle);
    painter.setBrush(Qt::NoBrush);
}
