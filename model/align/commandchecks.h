#pragma once

#include "model/mesh/meshmodel.h"

#include <QVector3D>

#include <cmath>
#include <string>

// Small helpers shared by the geometry commands that report a message
// instead of throwing.
namespace commandchecks {

inline void setMessage(std::string* out, const char* text)
{
    if (out)
        *out = text;
}

inline bool finite(const QVector3D& v)
{
    return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z());
}

// A mesh and a world axis, or the message saying which is missing.
inline bool meshAndAxis(const MeshModel& model, Axis axis, std::string* error)
{
    if (!model.hasMesh()) {
        setMessage(error, "No mesh loaded.");
        return false;
    }
    if (axisIndex(axis) < 0 || axisIndex(axis) > 2) {
        setMessage(error, "Invalid target axis index.");
        return false;
    }
    return true;
}

// meshAndAxis plus a usable picked normal.
inline bool meshAxisAndNormal(const MeshModel& model, Axis axis, const QVector3D& normal, std::string* error)
{
    if (!meshAndAxis(model, axis, error))
        return false;
    if (!finite(normal) || normal.length() < 1e-8f) {
        setMessage(error, "Picked face normal is invalid.");
        return false;
    }
    return true;
}

} // namespace commandchecks
