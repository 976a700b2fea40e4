#include "io/step/stepstatus.h"

const char* stepReadMessage(StepReadStatus status)
{
    switch (status) {
    case StepReadStatus::Ok:
        return "";
    case StepReadStatus::ReadFailed:
        break;
    case StepReadStatus::NoGeometry:
        return "STEP file contains no geometry.";
    case StepReadStatus::NoTriangles:
        return "No triangulated geometry found in STEP file.";
    }
    return "Failed to read STEP file.";
}
