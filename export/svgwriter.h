#pragma once

#include "export/dxfwriter.h"

#include <QTextStream>

#include <optional>

// Flat SVG of a section in section millimetres. SVG y grows downwards, so
// every y written is the negated section y.

// Extent of what the file would show: visible line ends, rectangle corners,
// circle boxes and every other annotation's points. Non-finite points are
// left out so one bad entity cannot poison the viewBox. Empty when there is
// nothing at all.
struct SectionSvgBounds {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
};
std::optional<SectionSvgBounds> sectionSvgBounds(const SectionDxfContent& content);

// The whole document. Progress is asked before items 0, 64, 128, ... (lines
// and annotations counted together); false from it stops the writer, which
// then returns false and the caller discards the file. With no bounds the
// viewBox falls back to a unit square at the origin.
bool writeSectionSvg(QTextStream& stream, const SectionDxfContent& content, const ItemProgress& progress = {});
