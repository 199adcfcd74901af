// The figure module's one entry: the figure files of render/, handed to orvane-batch when it
// loads the module.

#include "apps/orvane-batch/FigureModule.h"
#include "render/FigureFiles.h"
#include "render/FitFigureFile.h"
#include "render/StudyFigureFile.h"
#include "render/ValidationFigureFile.h"

extern "C" __attribute__((visibility("default"))) const orvane::FigureFunctions*
orvane_batch_figure_functions() {
    static const orvane::FigureFunctions functions{orvane::kFigureInterface, orvane::SaveRunFigures,
                                                   orvane::SaveStudyFigure, orvane::SaveFitFigure,
                                                   orvane::SaveValidationFigure};
    return &functions;
}
