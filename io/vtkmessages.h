#pragma once

#include <vtkSmartPointer.h>

class vtkAlgorithm;
class vtkCallbackCommand;

// Routes the error and warning events of the algorithms it watches into the
// runtime log (tag [LOAD_TRACE]) instead of VTK's output window, which on
// Windows pops up a window of its own. The importers report their failures
// through their return value; the VTK text is only a diagnostic.
class VtkMessageSink {
public:
    VtkMessageSink();
    // Watches the algorithm and its executive (pipeline failures are
    // reported by the executive).
    void watch(vtkAlgorithm* algorithm);

private:
    vtkSmartPointer<vtkCallbackCommand> callback_;
};
