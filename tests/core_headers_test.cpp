// Every header of the analysis core, compiled without any window-system include path: a
// stray toolkit include in the core breaks this build.
#include "engine/AnalysisParameters.h"
#include "engine/BondLaw.h"
#include "engine/BondQuantities.h"
#include "engine/PulloutRun.h"
#include "engine/RunChecks.h"
#include "files/Cp932.h"
#include "files/FileStatus.h"
#include "files/ParameterFile.h"
#include "numtext/NumberText.h"
#include "output/BondSummary.h"
#include "output/CsvRunWriter.h"
#include "output/JsonText.h"
#include "output/ResultFileName.h"
#include "output/ResultFileRun.h"
#include "output/RunController.h"
#include "output/RunFigure.h"
#include "output/RunRecord.h"
#include "output/Study.h"
#include "output/StudyPlot.h"
#include "output/StudyWriters.h"
#include "output/TauSlipFileWriter.h"

#include <gtest/gtest.h>

TEST(CoreHeaders, CompileWithoutTheWindowLayer) {
    SUCCEED();
}
