#include "io/vtkmessages.h"

#include <vtkAlgorithm.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkExecutive.h>

#include <QtGlobal>

namespace {

void forward(vtkObject* caller, unsigned long eventId, void*, void* callData)
{
    const char* text = static_cast<const char*>(callData);
    const char* level = eventId == vtkCommand::ErrorEvent ? "error" : "warning";
    qWarning("[LOAD_TRACE] VTK %s from %s: %s", level, caller ? caller->GetClassName() : "?", text ? text : "");
}

} // namespace

VtkMessageSink::VtkMessageSink() : callback_(vtkSmartPointer<vtkCallbackCommand>::New())
{
    callback_->SetCallback(forward);
}

void VtkMessageSink::watch(vtkAlgorithm* algorithm)
{
    if (!algorithm)
        return;
    for (vtkObject* o : {static_cast<vtkObject*>(algorithm), static_cast<vtkObject*>(algorithm->GetExecutive())}) {
        o->AddObserver(vtkCommand::ErrorEvent, callback_);
        o->AddObserver(vtkCommand::WarningEvent, callback_);
    }
}
