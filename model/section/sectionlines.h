#pragma once

#include "model/mesh/meshmodel.h"

#include <QLineF>
#include <QList>
#include <QVector3D>

#include <vector>

// The 2D form of a section: lines in section millimetres. Every stage after
// the cut, the section canvas and the exports work on this.
using SectionLines = QList<QLineF>;

// Section coordinates of a 3D point cut along a world axis: along X the
// point maps to (y, z), along Y to (x, z), along Z to (x, y).
QPointF sectionPointForAxis(const Vec3f& p, Axis axis);

// Each segment becomes one line from the image of p0 to the image of p1.
SectionLines toSectionLines(const std::vector<MeshModel::SliceSegment3D>& segments, Axis axis);

// Free plane with origin o and in-plane unit axes u, v: (dot(p - o, u), dot(p - o, v)).
SectionLines toSectionLines(const std::vector<MeshModel::SliceSegment3D>& segments, const QVector3D& origin,
                            const QVector3D& u, const QVector3D& v);
