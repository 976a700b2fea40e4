#pragma once

#include "model/mesh/meshmodel.h"
#include "model/section/sectionrequest.h"

class SliceCutter;

#include <QList>
#include <QPointF>

// What the fitter works on: the exact section of the request's plane, raw
// (no band, no keep filter, no smoothing, so corners stay sharp), chained
// into polylines. The chaining welds only what the cut itself repeats: the
// section's usual join tolerance would merge vertices up to a tenth of a
// millimetre apart and move the chain before the fit had seen it.
// cutter, when built for this geometry, only makes the cut faster.
QList<QList<QPointF>> exactSectionChains(MeshModel& model, const SectionRequest& request,
                                         const SliceCutter* cutter = nullptr);
