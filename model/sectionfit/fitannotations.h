#pragma once

#include "model/section/sectionannotation.h"
#include "model/sectionfit/sectionfit.h"

#include <QList>

// Fitted entities as section annotations on the fit layer, chain by chain,
// the way the window shows them and both exports write them:
// - "line": points start, end;
// - "arc": points start, middle, end (the order gives the direction), with
//   the fitted centre and radius;
// - "circle": three points on it (handles to drag), centre and radius.
QList<SectionAnnotation> fitAnnotations(const sectionfit::FitResult& result);

// "Fitted %1 lines, %2 arcs, %3 circles (max deviation %4 mm)".
QString fitSummary(const sectionfit::FitResult& result);
