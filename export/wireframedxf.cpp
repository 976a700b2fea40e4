#include "export/wireframedxf.h"

#include "export/dxfwriter.h"

bool writeWireframeDxf(QTextStream& stream, const std::vector<MeshModel::SliceSegment3D>& segments,
                       const QString& layer, const ItemProgress& progress)
{
    DxfWriter writer(stream);
    writer.beginEntities();
    const auto pair = [&stream](const char* code, double value) { stream << code << '\n' << value << '\n'; };
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (progress && i % 256 == 0 && !progress(int(i)))
            return false;
        const MeshModel::SliceSegment3D& s = segments[i];
        stream << "0\nLINE\n8\n" << layer << '\n';
        pair("10", s.p0.x);
        pair("20", s.p0.y);
        pair("30", s.p0.z);
        pair("11", s.p1.x);
        pair("21", s.p1.y);
        pair("31", s.p1.z);
    }
    writer.endFile();
    return true;
}
