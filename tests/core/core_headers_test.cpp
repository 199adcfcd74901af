// Every header of the analysis core, compiled without any window-system include path: a
// stray toolkit include in the core breaks this build.
#include "core/codes/BondModels.h"
#include "core/codes/DesignCodeTable.h"
#include "core/codes/DesignCodes.h"
#include "core/engine/AnalysisParameters.h"
#include "core/engine/BondLaw.h"
#include "core/engine/BondQuantities.h"
#include "core/engine/ConcreteInput.h"
#include "core/engine/PulloutRun.h"
#include "core/engine/RunChecks.h"
#include "core/files/Cp932.h"
#include "core/files/DataSetFile.h"
#include "core/files/FileStatus.h"
#include "core/files/ParameterFile.h"
#include "core/numtext/NumberText.h"
#include "core/results/BondSummary.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/JsonText.h"
#include "core/results/ResultFileName.h"
#include "core/results/ResultFileRun.h"
#include "core/results/RunController.h"
#include "core/results/RunFigure.h"
#include "core/results/RunRecord.h"
#include "core/results/TauSlipFileWriter.h"
#include "core/study/CapacityFigure.h"
#include "core/study/CapacityStatistics.h"
#include "core/study/ModelFactor.h"
#include "core/study/OrderedTasks.h"
#include "core/study/Sampling.h"
#include "core/study/SamplingWriters.h"
#include "core/study/Shard.h"
#include "core/study/Study.h"
#include "core/study/StudyPlot.h"
#include "core/study/StudyWriters.h"
#include "core/validation/TestDatabase.h"
#include "core/validation/Validation.h"
#include "core/validation/ValidationWriters.h"

#include <gtest/gtest.h>

TEST(CoreHeaders, CompileWithoutTheWindowLayer) {
    SUCCEED();
}
