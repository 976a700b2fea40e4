#include "model/section/sectionlines.h"

QPointF sectionPointForAxis(const Vec3f& p, Axis axis)
{
    switch (axis) {
    case Axis::X: return {double(p.y), double(p.z)};
    case Axis::Y: return {double(p.x), double(p.z)};
    default: return {double(p.x), double(p.y)};
    }
}

SectionLines toSectionLines(const std::vector<MeshModel::SliceSegment3D>& segments, Axis axis)
{
    SectionLines lines;
    lines.reserve(qsizetype(segments.size()));
    for (const auto& s : segments)
        lines.append(QLineF(sectionPointForAxis(s.p0, axis), sectionPointForAxis(s.p1, axis)));
    return lines;
}

SectionLines toSectionLines(const std::vector<MeshModel::SliceSegment3D>& segments, const QVector3D& origin,
                            const QVector3D& u, const QVector3D& v)
{
    const auto map = [&](const Vec3f& p) {
        const QVector3D d = QVector3D(p.x, p.y, p.z) - origin;
        return QPointF(double(QVector3D::dotProduct(d, u)), double(QVector3D::dotProduct(d, v)));
    };
    SectionLines lines;
    lines.reserve(qsizetype(segments.size()));
    for (const auto& s : segments)
        lines.append(QLineF(map(s.p0), map(s.p1)));
    return lines;
}
