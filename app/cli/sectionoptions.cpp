#include "app/cli/sectionoptions.h"

#include "app/cli/clicommon.h"

#include <cmath>

namespace cli {

bool parseSectionOptions(const QStringList& args, SectionOptions& o, bool stack)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString text;
        double d = 0;
        if (stack && (a == QLatin1String("--at") || a == QLatin1String("--at-fraction")))
            return false;
        if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            if (!takeValue(args, i, o.output))
                return false;
        } else if (a == QLatin1String("--axis")) {
            std::optional<Axis> axis;
            if (!takeValue(args, i, text) || !(axis = parseAxisName(text)))
                return false;
            o.axis = *axis;
        } else if (a == QLatin1String("--at")) {
            if (!takeNumber(args, i, d))
                return false;
            o.at = d;
        } else if (a == QLatin1String("--at-fraction")) {
            if (!takeNumber(args, i, d))
                return false;
            o.atFraction = d;
        } else if (a == QLatin1String("--band")) {
            if (!takeNumber(args, i, o.band) || o.band < 0)
                return false;
        } else if (a == QLatin1String("--keep")) {
            if (!takeNumber(args, i, d) || d < 1 || d > 100)
                return false;
            o.keep = int(d);
        } else if (a == QLatin1String("--smooth")) {
            if (!takeNumber(args, i, d) || d < 0 || d > 100)
                return false;
            o.smooth = int(d);
        } else if (a == QLatin1String("--quality")) {
            if (!takeValue(args, i, text))
                return false;
            const QStringList names{"fast", "balanced", "high"};
            o.quality = int(names.indexOf(text.toLower()));
            if (o.quality < 0)
                return false;
        } else if (a == QLatin1String("--no-align")) {
            o.align = false;
        } else if (a == QLatin1String("--polylines") && !stack) {
            o.polylines = true;
        } else if (a == QLatin1String("--fit") && !stack) {
            if (!takeNumber(args, i, d) || !(d > 0.0) || !std::isfinite(d))
                return false;
            o.fit = d;
        } else if (a == QLatin1String("--count") && stack) {
            if (!takeNumber(args, i, d) || d != std::floor(d) || d < 2 || d > 200)
                return false;
            o.count = int(d);
        } else if (!a.startsWith(QLatin1Char('-')) && o.scan.isEmpty()) {
            o.scan = a;
        } else {
            return false;
        }
    }
    return !o.scan.isEmpty() && !o.output.isEmpty() && !(o.at && o.atFraction) && (!stack || o.count) &&
           !(o.fit && o.polylines);
}

} // namespace cli
