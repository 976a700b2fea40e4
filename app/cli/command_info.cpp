// halvoran-cli info: formats, counts, and bounds before and after the pose.
#include "app/cli/commands.h"

#include "model/analysis/primitivefit.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <future>

namespace cli {
namespace {

QJsonArray toJson(const Vec3f& v)
{
    return QJsonArray{double(v.x), double(v.y), double(v.z)};
}

QString vecText(const Vec3f& v)
{
    return QStringLiteral("%1 %2 %3").arg(double(v.x)).arg(double(v.y)).arg(double(v.z));
}

int runInfo(const QStringList& args)
{
    QString scan;
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else if (!a.startsWith(QLatin1Char('-')) && scan.isEmpty())
            scan = a;
        else
            return usage();
    }
    if (scan.isEmpty())
        return usage();
    QElapsedTimer clock;
    clock.start();
    MeshModel model;
    if (!loadScan(scan, model, true))
        return 1;
    const qint64 loadMs = clock.restart();
    const Vec3f loadedMin = model.boundsMin(), loadedMax = model.boundsMax();
    progress("Aligning");
    std::string fallback;
    model.autoAlignOnImport(&fallback, nullptr, false);
    // The fit reads only the aligned arrays: it runs on a copy (sharing them)
    // while this thread builds the render mesh, whose counts are printed too.
    progress("Fitting a primitive");
    const MeshModel aligned = model;
    std::future<PrimitiveFit> fitting = std::async(std::launch::async, [&aligned] { return fitPrimitive(aligned); });
    model.updateCaches();
    const qint64 alignMs = clock.restart();
    const PrimitiveFit fit = fitting.get();
    const qint64 fitMs = clock.restart();
    const Vec3f alignedMin = model.boundsMin(), alignedMax = model.boundsMax();
    const auto renderOr = [](std::size_t render, std::size_t full) { return qint64(render ? render : full); };

    QJsonObject o;
    o.insert(QStringLiteral("file"), QFileInfo(scan).absoluteFilePath());
    o.insert(QStringLiteral("format"), QFileInfo(scan).suffix().toLower());
    o.insert(QStringLiteral("vertices"), qint64(model.vertices.size()));
    o.insert(QStringLiteral("triangles"), qint64(model.faces.size()));
    o.insert(QStringLiteral("renderVertices"), renderOr(model.displayVertices.size(), model.vertices.size()));
    o.insert(QStringLiteral("renderTriangles"), renderOr(model.displayFaces.size(), model.faces.size()));
    o.insert(QStringLiteral("loadedBoundsMin"), toJson(loadedMin));
    o.insert(QStringLiteral("loadedBoundsMax"), toJson(loadedMax));
    o.insert(QStringLiteral("boundsMin"), toJson(alignedMin));
    o.insert(QStringLiteral("boundsMax"), toJson(alignedMax));
    o.insert(QStringLiteral("extents"), toJson(alignedMax - alignedMin));
    o.insert(QStringLiteral("alignment"), fallback.empty() ? QStringLiteral("obb") : QStringLiteral("fallback"));
    o.insert(QStringLiteral("alignmentMessage"), QString::fromStdString(fallback));
    if (qEnvironmentVariableIsSet("HALVORAN_CLI_TIMINGS"))
        std::fprintf(stderr, "time ms: load %lld, align with render mesh %lld, rest of the fit %lld\n",
                     static_cast<long long>(loadMs), static_cast<long long>(alignMs), static_cast<long long>(fitMs));
    o.insert(QStringLiteral("primitive"), QJsonObject{{QStringLiteral("type"), QString::fromStdString(fit.type)},
                                                      {QStringLiteral("residual"), double(fit.residual)},
                                                      {QStringLiteral("radius"), double(fit.radius)},
                                                      {QStringLiteral("centre"), toJson(fit.centre)},
                                                      {QStringLiteral("axis"), toJson(fit.axis)}});

    QTextStream out(stdout);
    if (json) {
        out << QJsonDocument(o).toJson(QJsonDocument::Compact) << '\n';
        return 0;
    }
    out << "File:        " << o.value("file").toString() << '\n'
        << "Format:      " << o.value("format").toString() << '\n'
        << "Vertices:    " << model.vertices.size() << " (render " << o.value("renderVertices").toInteger() << ")\n"
        << "Triangles:   " << model.faces.size() << " (render " << o.value("renderTriangles").toInteger() << ")\n"
        << "Loaded min:  " << vecText(loadedMin) << '\n'
        << "Loaded max:  " << vecText(loadedMax) << '\n'
        << "Aligned min: " << vecText(alignedMin) << '\n'
        << "Aligned max: " << vecText(alignedMax) << '\n'
        << "Extents:     " << vecText(alignedMax - alignedMin) << '\n'
        << "Alignment:   "
        << (fallback.empty() ? QStringLiteral("minimum OBB") : QString::fromStdString(fallback)) << '\n'
        << "Primitive:   "
        << QString::fromStdString(primitiveReport(fit)).replace(QLatin1Char('\n'), QStringLiteral("\n             "))
        << '\n';
    return 0;
}

} // namespace

const Command kInfoCommand{"info", "  halvoran-cli info SCAN [--json]\n", runInfo};

} // namespace cli
