#pragma once

#include "model/mesh/meshmodel.h"
#include "model/align/rotation.h"

#include <QVector3D>

// Geometry behind the interactive alignment commands. The operations that
// change the model are MeshModel methods (alignmentcommands.cpp); these are
// the pure pieces they are built from.

// Fine-tune sliders run from -100 to 100; one step is 0.02 degrees.
constexpr float kFineTuneDegreesPerStep = 0.02f;

// Turns about the world X, then Y, then Z axis (R = Rz * Ry * Rx), composed as
// unit quaternions so that the result stays a proper rotation.
Rotation3 fineTuneRotation(float xDegrees, float yDegrees, float zDegrees);

// The in-plane reference a picked face is aligned with. The picked direction
// is flattened into the face plane, then snapped to the closest of the three
// principal axes and the world X, Y, Z (all flattened too) when it lies within
// about 44 degrees of it (|cos| >= 0.72); otherwise it is used as picked.
QVector3D snapPickedReference(const QVector3D& normal, const QVector3D& pickedReference, const Rotation3& principalRows);
