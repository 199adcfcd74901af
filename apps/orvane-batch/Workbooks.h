#pragma once

// The workbooks of --xlsx: for a run, a study and a fit, a sheet of the inputs with their
// units, a sheet of the steps or points and a native chart of the load-slip curve or of the
// study, through sheets/Workbook.h.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/BondQuantities.h"
#include "core/engine/PulloutRun.h"
#include "core/study/Study.h"
#include "core/validation/Validation.h"
#include "fit/BondLawFit.h"
#include "sheets/Workbook.h"

#include <vector>

namespace orvane {

// Collects every step of a run for its workbook.
class StepTable : public RunObserver {
public:
    void stepFinished(const StepResult& result) override { m_steps.push_back(result); }
    const std::vector<StepResult>& steps() const { return m_steps; }

private:
    std::vector<StepResult> m_steps;
};

// The inputs of a data set: the comment, the law, the fifteen stored inputs and the initial
// ds, each with its unit.
Sheet InputsSheet(const AnalysisParameters& params, const FieldTexts& texts);

// A run: its inputs with the bond quantities and the result, its steps, and the load-slip
// curve drawn from them.
Workbook RunWorkbook(const AnalysisParameters& params, const FieldTexts& texts,
                     const std::vector<StepResult>& steps, const BondQuantities& bond, RunEnd end);

// A study: the base inputs, one row per point and, when an input swept is a number, Pbumax
// against it (one line per value of the other swept input).
Workbook StudyWorkbook(const StudyDefinition& study, const std::vector<StudyPointResult>& points);

// A fit: the base inputs with each law's fitted parameters, the measured points beside each
// model's loads, and the measured points over the model curves. Of a series, every specimen's
// points, named in a first column, each specimen's misfit and one chart line each.
Workbook FitWorkbook(const AnalysisParameters& base, const FieldTexts& baseTexts,
                     const std::vector<FitSpecimen>& specimens,
                     const std::vector<BondLawFit>& fits);

// A validation: the base inputs and the law's model, one row per test with its inputs, its
// measured load and every model's prediction, and Orvane's predictions against the tests.
Workbook ValidationWorkbook(const AnalysisParameters& base, const FieldTexts& baseTexts,
                            const std::string& lawFrom, const std::vector<TestResult>& results);

} // namespace orvane
