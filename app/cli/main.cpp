// halvoran-cli: the geometry core without a window, for batch conversion.
#include "export/dxfwriter.h"
#include "export/slicestackdxf.h"
#include "model/mesh/meshmodel.h"
#include "model/section/qualitypresets.h"
#include "model/section/sectionpostprocess.h"
#include "model/section/sectionrequest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

const char* const kUsage =
    "usage:\n"
    "  halvoran-cli info SCAN [--json]\n"
    "  halvoran-cli section SCAN -o OUT.dxf [--axis x|y|z] [--at MM | --at-fraction F] [--band MM]\n"
    "                       [--keep PERCENT] [--smooth S] [--quality fast|balanced|high] [--no-align]\n"
    "                       [--polylines]\n"
    "  halvoran-cli stack SCAN -o OUT.dxf --count N [--axis x|y|z] [--band MM]\n"
    "                     [--keep PERCENT] [--smooth S] [--quality fast|balanced|high] [--no-align]\n"
    "      N evenly spaced raw cuts (2..200), one layer SLICE_<i> each; --keep, --smooth and\n"
    "      --quality are accepted like for section but do not change the raw cuts.\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

bool stderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}

void progress(const char* step)
{
    if (stderrIsTerminal())
        std::fprintf(stderr, "%s...\n", step);
}

bool loadScan(const QString& path, MeshModel& model)
{
    progress("Loading");
    std::string error;
    if (!model.load(path.toUtf8().toStdString(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

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
    MeshModel model;
    if (!loadScan(scan, model))
        return 1;
    const Vec3f loadedMin = model.boundsMin(), loadedMax = model.boundsMax();
    progress("Aligning");
    std::string fallback;
    model.autoAlignOnImport(&fallback);
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
    o.insert(QStringLiteral("boundsMin"), toJson(model.boundsMin()));
    o.insert(QStringLiteral("boundsMax"), toJson(model.boundsMax()));
    o.insert(QStringLiteral("extents"), toJson(model.extents()));
    o.insert(QStringLiteral("alignment"), fallback.empty() ? QStringLiteral("obb") : QStringLiteral("fallback"));
    o.insert(QStringLiteral("alignmentMessage"), QString::fromStdString(fallback));

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
        << "Aligned min: " << vecText(model.boundsMin()) << '\n'
        << "Aligned max: " << vecText(model.boundsMax()) << '\n'
        << "Extents:     " << vecText(model.extents()) << '\n'
        << "Alignment:   "
        << (fallback.empty() ? QStringLiteral("minimum OBB") : QString::fromStdString(fallback)) << '\n';
    return 0;
}

struct SectionOptions {
    QString scan, output;
    int axis = 2;
    std::optional<double> at, atFraction;
    double band = 0.0;
    std::optional<int> keep, smooth;
    int quality = 1;
    bool align = true;
    bool polylines = false;
    std::optional<int> count; // stack only
};

bool parseSection(const QStringList& args, SectionOptions& o, bool stack = false)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto value = [&](QString& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        const auto number = [&](double& out) {
            QString text;
            bool ok = false;
            if (value(text))
                out = text.toDouble(&ok);
            return ok;
        };
        QString text;
        double d = 0;
        if (stack && (a == QLatin1String("--at") || a == QLatin1String("--at-fraction")))
            return false; // a stack places its own cuts
        if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            if (!value(o.output))
                return false;
        } else if (a == QLatin1String("--axis")) {
            if (!value(text))
                return false;
            const QString axis = text.toLower();
            if (axis != QLatin1String("x") && axis != QLatin1String("y") && axis != QLatin1String("z"))
                return false;
            o.axis = axis == QLatin1String("x") ? 0 : (axis == QLatin1String("y") ? 1 : 2);
        } else if (a == QLatin1String("--at")) {
            if (!number(d))
                return false;
            o.at = d;
        } else if (a == QLatin1String("--at-fraction")) {
            if (!number(d))
                return false;
            o.atFraction = d;
        } else if (a == QLatin1String("--band")) {
            if (!number(o.band) || o.band < 0)
                return false;
        } else if (a == QLatin1String("--keep")) {
            if (!number(d) || d < 1 || d > 100)
                return false;
            o.keep = int(d);
        } else if (a == QLatin1String("--smooth")) {
            if (!number(d) || d < 0 || d > 100)
                return false;
            o.smooth = int(d);
        } else if (a == QLatin1String("--quality")) {
            if (!value(text))
                return false;
            const QStringList names{"fast", "balanced", "high"};
            o.quality = int(names.indexOf(text.toLower()));
            if (o.quality < 0)
                return false;
        } else if (a == QLatin1String("--no-align")) {
            o.align = false;
        } else if (a == QLatin1String("--polylines") && !stack) {
            o.polylines = true;
        } else if (a == QLatin1String("--count") && stack) {
            if (!number(d) || d != std::floor(d) || d < 2 || d > 200)
                return false;
            o.count = int(d);

        } else if (!a.startsWith(QLatin1Char('-')) && o.scan.isEmpty()) {
            o.scan = a;
        } else {
            return false;
        }
    }
    return !o.scan.isEmpty() && !o.output.isEmpty() && !(o.at && o.atFraction) && (!stack || o.count);
}

int runSection(const QStringList& args)
{
    SectionOptions o;
    if (!parseSection(args, o))
        return usage();
    QElapsedTimer clock;
    clock.start();
    MeshModel model;
    if (!loadScan(o.scan, model))
        return 1;
    const qint64 loadMs = clock.restart();
    if (o.align) {
        progress("Aligning");
        model.autoAlignOnImport(nullptr);
    }
    const qint64 alignMs = clock.restart();

    const float lo = model.boundsMin()[o.axis], hi = model.boundsMax()[o.axis];
    double position = 0.5 * (double(lo) + double(hi));
    if (o.at)
        position = *o.at;
    else if (o.atFraction)
        position = double(lo) + *o.atFraction * (double(hi) - double(lo));

    progress("Cutting");
    const QualityPreset& preset = qualityPresetForIndex(o.quality);
    SectionRequest request;
    request.axis = o.axis;
    request.position = float(position);
    request.bandThickness = float(o.band);
    request.keepRatio = float(o.keep.value_or(preset.keepPercent)) / 100.0f;
    request.smoothStrength = o.smooth.value_or(preset.smoothStrength);
    // Cut and post-processing apart, for the timing report.
    model.sliceAxis(o.axis, request.position, request.bandThickness);
    const qint64 sliceMs = clock.restart();
    const SectionLines lines = computeSectionLines(model, request); // served from the model's slice cache
    const qint64 postMs = clock.restart();

    QSaveFile file(o.output);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fprintf(stderr, "Failed to write DXF file: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    QTextStream stream(&file);
    qsizetype written = 0;
    if (o.polylines) {
        const bool band = std::abs(o.band) > 1e-8;
        const double tol = band ? estimateJoinTolerance(lines, 0.0021, 0.8, 0.02)
                                : estimateJoinTolerance(lines, 0.00095, 0.3, 0.006);
        const QList<SectionPolyline> chains = chainSegmentsToPolylines(lines, tol);
        writePolylineDxf(stream, chains, tol);
        written = chains.size();
    } else {
        SectionDxfContent content;
        content.lines = &lines;
        content.visibleIndices.resize(std::size_t(lines.size()));
        for (int i = 0; i < int(lines.size()); ++i)
            content.visibleIndices[std::size_t(i)] = i;
        writeSectionDxf(stream, content);
        written = lines.size();
    }
    stream.flush();
    if (stream.status() != QTextStream::Ok || !file.commit()) {
        std::fprintf(stderr, "Failed to write DXF file: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    const qint64 writeMs = clock.restart();
    std::printf("%lld %s written to %s\n", static_cast<long long>(written),
                o.polylines ? "polylines" : "vectors", qPrintable(o.output));
    if (stderrIsTerminal() || qEnvironmentVariableIsSet("HALVORAN_CLI_TIMINGS"))
        std::fprintf(stderr, "time ms: load %lld, align %lld, slice %lld, post-process %lld, write %lld\n",
                     static_cast<long long>(loadMs), static_cast<long long>(alignMs), static_cast<long long>(sliceMs),
                     static_cast<long long>(postMs), static_cast<long long>(writeMs));
    return 0;
}

// The window's "Slice Stack" for the same scan, axis and band, byte for byte.
int runStack(const QStringList& args)
{
    SectionOptions o;
    if (!parseSection(args, o, true))
        return usage();
    MeshModel model;
    if (!loadScan(o.scan, model))
        return 1;
    if (o.align) {
        progress("Aligning");
        model.autoAlignOnImport(nullptr);
    }
    SliceStackRequest request;
    request.axis = o.axis;
    request.bandThickness = float(o.band);
    request.count = *o.count;

    QSaveFile file(o.output);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fprintf(stderr, "Failed to write DXF file: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    QTextStream stream(&file);
    qsizetype written = 0;
    writeSliceStackDxf(
        stream, model, request,
        [&request](int done) {
            if (stderrIsTerminal())
                std::fprintf(stderr, "Cutting slice %d of %d...\n", done + 1, request.count);
            return true;
        },
        &written);
    stream.flush();
    if (stream.status() != QTextStream::Ok || !file.commit()) {
        std::fprintf(stderr, "Failed to write DXF file: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    std::printf("%d slices, %lld vectors written to %s\n", request.count, static_cast<long long>(written),
                qPrintable(o.output));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("halvoran-cli"));
    std::setlocale(LC_NUMERIC, "C");
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("info"))
        return runInfo(args);
    if (command == QLatin1String("section"))
        return runSection(args);
    if (command == QLatin1String("stack"))
        return runStack(args);
    return usage();
}
