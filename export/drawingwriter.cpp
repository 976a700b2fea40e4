#include "export/drawingwriter.h"

#include "model/drawing/drawingedges.h"

#include <QFile>

#include <algorithm>
#include <limits>

DrawingExportContext makeDrawingExportContext(std::vector<MeshModel::DrawingEdge2D> edges)
{
    DrawingExportContext context;
    float minX = std::numeric_limits<float>::max(), minY = minX;
    float maxX = std::numeric_limits<float>::lowest(), maxY = maxX;
    for (const auto& e : edges) {
        minX = std::min({minX, e.x1, e.x2});
        maxX = std::max({maxX, e.x1, e.x2});
        minY = std::min({minY, e.y1, e.y2});
        maxY = std::max({maxY, e.y1, e.y2});
    }
    if (edges.empty())
        minX = maxX = minY = maxY = 0.0f;
    context.edges = std::move(edges);
    context.minX = minX;
    context.width = std::max(maxX - minX, 1.0f);
    context.height = std::max(maxY - minY, 1.0f);
    // A flat drawing grows its height upwards from its lowest edge.
    context.maxY = minY + context.height;
    context.margin = 0.05f * std::max(context.width, context.height);
    return context;
}

QString drawingDxfLayer(int type)
{
    switch (type) {
    case kDrawingSilhouette: return QStringLiteral("SILHOUETTE");
    case kDrawingFeature:
    case kDrawingBoundary: return QStringLiteral("FEATURE");
    case kDrawingHidden: return QStringLiteral("HIDDEN");
    default: return QStringLiteral("CONTOUR");
    }
}

void writeDrawingDxf(QTextStream& out, const DrawingExportContext& context)
{
    // R12 with layers only: every CAD reader accepts it.
    out << "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n";
    out << "0\nSECTION\n2\nTABLES\n";
    // Hidden lines are dashed as in the SVG: 4 mm on, 3 mm off.
    out << "0\nTABLE\n2\nLTYPE\n70\n2\n";
    out << "0\nLTYPE\n2\nCONTINUOUS\n70\n0\n3\nSolid line\n72\n65\n73\n0\n40\n0.0\n";
    out << "0\nLTYPE\n2\nDASHED\n70\n0\n3\nDashed __ __ __\n72\n65\n73\n2\n40\n7.0\n49\n4.0\n49\n-3.0\n";
    out << "0\nENDTAB\n";
    out << "0\nTABLE\n2\nLAYER\n70\n4\n";
    const struct {
        const char* name;
        int colour;
        const char* linetype;
    } layers[] = {{"SILHOUETTE", 7, "CONTINUOUS"}, {"FEATURE", 8, "CONTINUOUS"}, {"CONTOUR", 8, "CONTINUOUS"},
                  {"HIDDEN", 9, "DASHED"}};
    for (const auto& layer : layers)
        out << "0\nLAYER\n2\n" << layer.name << "\n70\n0\n62\n" << layer.colour << "\n6\n" << layer.linetype << '\n';
    out << "0\nENDTAB\n0\nENDSEC\n";
    out << "0\nSECTION\n2\nENTITIES\n";
    for (const auto& e : context.edges) {
        out << "0\nLINE\n8\n" << drawingDxfLayer(e.type) << '\n';
        out << "10\n" << double(e.x1) << "\n20\n" << double(e.y1) << "\n30\n0.0\n";
        out << "11\n" << double(e.x2) << "\n21\n" << double(e.y2) << "\n31\n0.0\n";
    }
    out << "0\nENDSEC\n0\nEOF\n";
}

void writeDrawingSvg(QTextStream& out, const DrawingExportContext& context)
{
    const double m = context.margin;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"" << double(context.minX) - m << ' '
        << -(double(context.maxY) + m) << ' ' << double(context.width) + 2 * m << ' ' << double(context.height) + 2 * m
        << "\">\n";
    out << "  <style>\n"
           "    .silhouette { stroke: #000000; stroke-width: 1.5; stroke-linecap: round; }\n"
           "    .feature    { stroke: #111111; stroke-width: 1.0; stroke-linecap: round; }\n"
           "    .contour    { stroke: #333333; stroke-width: 0.6; stroke-linecap: round; }\n"
           "    .hidden     { stroke: #666666; stroke-width: 0.5; stroke-dasharray: 4 3; stroke-linecap: round; }\n"
           "  </style>\n";
    const struct {
        const char* id;
        const char* cls;
        int type;
    } groups[] = {{"hidden", "hidden", kDrawingHidden},
                  {"contours", "contour", kDrawingContour},
                  {"features", "feature", kDrawingFeature},
                  {"boundaries", "feature", kDrawingBoundary},
                  {"silhouette", "silhouette", kDrawingSilhouette}};
    for (const auto& group : groups) {
        out << "  <g id=\"" << group.id << "\" class=\"" << group.cls << "\" fill=\"none\">\n";
        for (const auto& e : context.edges) {
            if (e.type != group.type)
                continue;
            out << "    <line x1=\"" << double(e.x1) << "\" y1=\"" << -double(e.y1) << "\" x2=\"" << double(e.x2)
                << "\" y2=\"" << -double(e.y2) << "\" />\n";
        }
        out << "  </g>\n";
    }
    out << "</svg>\n";
}

bool isDrawingDxfPath(const QString& path)
{
    return path.endsWith(QLatin1String(".dxf"), Qt::CaseInsensitive);
}

void writeDrawingForPath(QTextStream& out, const DrawingExportContext& context, const QString& path)
{
    if (isDrawingDxfPath(path))
        writeDrawingDxf(out, context);
    else
        writeDrawingSvg(out, context);
}

bool writeDrawingFile(const DrawingExportContext& context, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    writeDrawingForPath(out, context, path);
    out.flush();
    return out.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
}
