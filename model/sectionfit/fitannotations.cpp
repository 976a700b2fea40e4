#include "model/sectionfit/fitannotations.h"

#include <cmath>

QList<SectionAnnotation> fitAnnotations(const sectionfit::FitResult& result)
{
    using sectionfit::FitEntityType;
    QList<SectionAnnotation> out;
    for (const sectionfit::FittedChain& chain : result.chains) {
        for (const sectionfit::FitEntity& e : chain.entities) {
            SectionAnnotation a;
            a.isFit = true;
            switch (e.type) {
            case FitEntityType::Line:
                a.kind = QStringLiteral("line");
                a.points = {e.start, e.end};
                break;
            case FitEntityType::Arc:
                a.kind = QStringLiteral("arc");
                a.points = {e.start, sectionfit::pointOnArc(e, 0.5), e.end};
                a.center = e.center;
                a.radius = e.radius;
                break;
            case FitEntityType::Circle:
                a.kind = QStringLiteral("circle");
                a.center = e.center;
                a.radius = e.radius;
                for (int k = 0; k < 3; ++k) {
                    const double angle = 2.0 * sectionfit::kPi * k / 3.0;
                    a.points.append(e.center + e.radius * QPointF(std::cos(angle), std::sin(angle)));
                }
                break;
            }
            out.append(a);
        }
    }
    return out;
}

QString fitSummary(const sectionfit::FitResult& result)
{
    return QStringLiteral("Fitted %1 lines, %2 arcs, %3 circles (max deviation %4 mm)")
        .arg(result.lines)
        .arg(result.arcs)
        .arg(result.circles)
        .arg(result.maxDeviation, 0, 'f', 3);
}
