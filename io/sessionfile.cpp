#include "io/sessionfile.h"

#include "io/sessionannotations.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

template <class T>
void put(QJsonObject& o, const char* key, const std::optional<T>& value)
{
    if (value)
        o.insert(QLatin1String(key), *value);
}

std::optional<double> number(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

std::optional<int> integer(const QJsonObject& o, const char* key)
{
    // Out of int's range is as good as missing (converting it is undefined).
    const std::optional<double> d = number(o, key);
    return d && *d > -2147483649.0 && *d < 2147483648.0 ? std::optional<int>(int(*d)) : std::nullopt;
}

std::optional<bool> boolean(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isBool() ? std::optional<bool>(v.toBool()) : std::nullopt;
}

} // namespace

QByteArray sessionToJson(const SessionSettings& s)
{
    QJsonObject o;
    o.insert(QLatin1String("version"), 1);
    o.insert(QLatin1String("meshPath"), s.meshPath);
    o.insert(QLatin1String("sliceAxis"), s.sliceAxis);
    put(o, "slicePosition", s.slicePosition);
    o.insert(QLatin1String("bandThickness"), s.bandThickness);
    o.insert(QLatin1String("keepRatio"), s.keepRatio);
    put(o, "smooth2d", s.smooth2d);
    put(o, "wireframeMode", s.wireframeMode);
    put(o, "wireframeComplexity", s.wireframeComplexity);
    put(o, "wireCleanupMode", s.wireCleanupMode);
    put(o, "wireframeSnap", s.wireframeSnap);
    put(o, "wireframeMeasure", s.wireframeMeasure);
    put(o, "wireframeExportMode", s.wireframeExportMode);
    o.insert(QLatin1String("isAligned"), s.isAligned);
    put(o, "edgeAngle", s.edgeAngle);
    put(o, "qualityPreset", s.qualityPreset);
    put(o, "layerContour", s.layerContour);
    put(o, "layerAnnotation", s.layerAnnotation);
    put(o, "layerMeasurement", s.layerMeasurement);
    put(o, "layerKept", s.layerKept);
    put(o, "projectionOrthographic", s.projectionOrthographic);
    put(o, "drawingHiddenLines", s.drawingHiddenLines);
    if (s.annotations)
        o.insert(QLatin1String("sectionAnnotations"), annotationsToJson(*s.annotations));
    if (s.keptIndices) {
        QJsonArray kept;
        for (int index : *s.keptIndices)
            kept.append(index);
        o.insert(QLatin1String("keptIndices"), kept);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

bool sessionFromJson(const QByteArray& json, SessionSettings* settings, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (doc.isNull()) {
        if (error)
            *error = parse.errorString();
        return false;
    }
    const QJsonObject o = doc.isObject() ? doc.object() : QJsonObject();
    SessionSettings s;
    const QJsonValue path = o.value(QLatin1String("meshPath"));
    s.meshPath = path.isString() ? path.toString() : QString();
    s.sliceAxis = integer(o, "sliceAxis").value_or(2);
    s.slicePosition = number(o, "slicePosition");
    s.bandThickness = number(o, "bandThickness").value_or(0.0);
    s.keepRatio = integer(o, "keepRatio").value_or(kDefaultKeepPercent);
    s.smooth2d = integer(o, "smooth2d").value_or(kDefaultSmoothStrength);
    s.wireframeComplexity = integer(o, "wireframeComplexity").value_or(70);
    s.wireCleanupMode = integer(o, "wireCleanupMode").value_or(1);
    s.wireframeSnap = boolean(o, "wireframeSnap").value_or(true);
    s.wireframeMeasure = boolean(o, "wireframeMeasure").value_or(false);
    s.wireframeExportMode = integer(o, "wireframeExportMode").value_or(1);
    s.isAligned = boolean(o, "isAligned").value_or(false);
    s.edgeAngle = number(o, "edgeAngle");
    s.qualityPreset = integer(o, "qualityPreset");
    s.layerContour = boolean(o, "layerContour");
    s.layerAnnotation = boolean(o, "layerAnnotation");
    s.layerMeasurement = boolean(o, "layerMeasurement");
    s.layerKept = boolean(o, "layerKept");
    s.projectionOrthographic = boolean(o, "projectionOrthographic");
    s.drawingHiddenLines = boolean(o, "drawingHiddenLines");
    s.wireframeMode = boolean(o, "wireframeMode");
    s.annotations = annotationsFromJson(o.value(QLatin1String("sectionAnnotations")));
    s.keptIndices = indicesFromJson(o.value(QLatin1String("keptIndices")));
    *settings = s;
    return true;
}
