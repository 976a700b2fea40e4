#include "model/mesh/vtkprogress.h"

#include <vtkAlgorithm.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkSmartPointer.h>

#include <memory>

namespace {

void onProgress(vtkObject* caller, unsigned long, void* clientData, void* callData)
{
    const auto* stage = static_cast<const ProgressStage*>(clientData);
    const double fraction = callData ? *static_cast<double*>(callData) : 0.0;
    if (!stage->step(std::size_t(fraction * 1000.0), 1000))
        static_cast<vtkAlgorithm*>(caller)->SetAbortExecute(1);
}

} // namespace

void watchVtkProgress(vtkAlgorithm* filter, const ProgressStage& stage)
{
    if (!filter || !stage.progress())
        return;
    auto callback = vtkSmartPointer<vtkCallbackCommand>::New();
    // The stage must outlive the filter's run; the callback owns a copy.
    auto* owned = new ProgressStage(stage);
    callback->SetClientData(owned);
    callback->SetClientDataDeleteCallback([](void* data) { delete static_cast<ProgressStage*>(data); });
    callback->SetCallback(onProgress);
    filter->AddObserver(vtkCommand::ProgressEvent, callback);
}
