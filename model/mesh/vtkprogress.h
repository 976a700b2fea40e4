#pragma once

#include "model/common/progress.h"

class vtkAlgorithm;

// Reports a VTK filter's own progress into one stage of a Progress and asks
// the filter to abort once cancel is requested. Filters check the abort flag
// only between their progress reports, so cancel takes effect at the next
// report; callers still check the stage after Update().
void watchVtkProgress(vtkAlgorithm* filter, const ProgressStage& stage);
