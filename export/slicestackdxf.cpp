#include "export/slicestackdxf.h"

bool writeSliceStackDxf(QTextStream& stream, MeshModel& model, const SliceStackRequest& request,
                        const ItemProgress& progress, qsizetype* lineCount)
{
    DxfWriter w(stream);
    w.beginEntities();
    const std::vector<float> positions = sliceStackPositions(model, request);
    qsizetype written = 0;
    for (int i = 1; i <= int(positions.size()); ++i) {
        if (progress && !progress(i - 1))
            return false;
        const QString layer = QStringLiteral("SLICE_%1").arg(i);
        const SectionLines lines = sliceStackSection(model, request, positions[std::size_t(i - 1)]);
        for (const QLineF& l : lines)
            w.line(l.p1(), l.p2(), layer);
        written += lines.size();
    }
    w.endFile();
    if (lineCount)
        *lineCount = written;
    return true;
}
