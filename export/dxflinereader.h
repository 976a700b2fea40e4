#pragma once

#include "model/section/sectionlines.h"

#include <QString>

class QIODevice;

// Reads the LINE entities of a DXF back as 2D lines (start and end x, y);
// layers, z and every other entity are ignored. Meant for files from any CAD
// tool, so it trusts nothing: over-long lines are cut off instead of being
// held in memory, unreadable numbers read as 0, and a file that ends inside
// an entity simply loses that entity.
struct DxfLineReadResult {
    SectionLines lines;            // finite lines only
    int nonFiniteSkipped = 0;      // LINEs with a NaN or infinite coordinate
    bool tooMany = false;          // stopped at the line limit
};

// Enough for any section a person compares against, and ~50 MB of lines.
inline constexpr int kMaxDxfReadLines = 2000000;

DxfLineReadResult readDxfLines(QIODevice& device, int maxLines = kMaxDxfReadLines);
