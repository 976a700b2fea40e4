#pragma once

// How the OpenCASCADE steps of a STEP load ended; the reader program exits
// with this code, so the values are fixed.
enum class StepReadStatus { Ok = 0, ReadFailed = 2, NoGeometry = 3, NoTriangles = 4 };

// The user-facing sentence for a status; empty for Ok.
const char* stepReadMessage(StepReadStatus status);
