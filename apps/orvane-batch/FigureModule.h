#pragma once

// The figures of orvane-batch live in a module of their own (figures/), drawn with QtGui and
// QtSvg and loaded only when a figure is asked for: a run without figures then starts without
// loading Qt, as fast as a build without figures.

#include "core/results/RunFigure.h"
#include "core/results/RunRecord.h"
#include "core/study/StudyPlot.h"

#include <array>
#include <string>

namespace orvane {

// What the module offers; each function returns an empty text, or the message of the first
// failure. The module and the program come from one build: kFigureInterface tells a module
// of another build apart.
inline constexpr int kFigureInterface = 2;
struct FigureFunctions {
    int interface = kFigureInterface;
    std::string (*saveRunFigures)(const RunRecord& record, const std::string& path);
    std::string (*saveStudyFigure)(const StudyPlot& plot, const std::string& path);
    std::string (*saveFitFigure)(const std::array<FigureData, 2>& panels, const std::string& path);
    std::string (*saveValidationFigure)(const FigureData& figure, const std::string& path);
};

// The module's file name and the one symbol it exports, a function returning its
// FigureFunctions.
inline constexpr const char* kFigureModuleFile = "orvane-batch-figures.so";
inline constexpr const char* kFigureModuleEntry = "orvane_batch_figure_functions";

// Loads the module once, from beside the program or from the installed library folder. On
// failure returns nullptr, and error says where it was looked for and why it failed.
const FigureFunctions* LoadFigureModule(std::string& error);

} // namespace orvane
