#pragma once

#include "model/mesh/meshtypes.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

// Options shared by section and stack: which scan, which cut, which clean-up.
struct SectionOptions {
    QString scan, output;
    Axis axis = Axis::Z;
    std::optional<double> at, atFraction;
    double band = 0.0;
    std::optional<int> keep, smooth;
    int quality = 1;
    bool align = true;
    bool polylines = false;   // section only
    std::optional<double> fit; // section only: fit lines, arcs and circles within this tolerance (mm)
    std::optional<int> count; // stack only
};

// False on any unknown, malformed or out-of-range option, or a missing scan
// or output. A stack places its own cuts, so it refuses --at and needs --count;
// --fit takes a positive tolerance and does not go with --polylines.
bool parseSectionOptions(const QStringList& args, SectionOptions& o, bool stack);

} // namespace cli
