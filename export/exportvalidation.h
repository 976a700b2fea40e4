#pragma once

#include "model/section/sectionannotation.h"
#include "model/section/sectionlines.h"

#include <QList>

// What a CAD tool would choke on or silently drop: entities with a NaN or
// infinite coordinate, and entities of (almost) no length.
struct ExportIssueCounts {
    int nonFinite = 0;
    int zeroLength = 0;
    bool clean() const { return nonFinite == 0 && zeroLength == 0; }
};

// Counts over the given lines, each annotation's consecutive point pairs
// (closing pair too when closed) and each circle's horizontal diameter.
ExportIssueCounts countExportIssues(const SectionLines& lines, const QList<SectionAnnotation>& annotations);
