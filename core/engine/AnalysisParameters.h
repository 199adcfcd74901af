#pragma once

// The parameter set of a pull-out analysis, in N-mm units.
//
// How the core's parts meet:
//   numtext/  number <-> text conversions used by every window and file
//   engine/   this parameter set, the bond-slip laws (BondLaw.h), the run checks
//             (RunChecks.h) and the pull-out solver (PulloutRun.h), which reports
//             through RunObserver and knows nothing of files or windows
//   files/    the Shift-JIS codec and the parameter (.kvp) file format
//   results/  one run's life (RunController) and what it leaves: the t-s result file
//             (TauSlipFileWriter, a RunObserver), the CSV table, JSON, the run record
//   study/    parametric studies, each point a run through a RunController
//   validation/ a test database, each test run as a single analysis, the statistics of
//             test/predicted and the model factor
// The windows and the batch command sit on top and link this core.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

enum class BondModel : std::int16_t {
    PerfectlyBilinear = 1,
    BilinearSoftening = 2,
};

// The numeric fields of the parameter window, in window order (Text2 … Text16, then Text20).
// This is also the order in which Execute copies them.
enum class NumericField {
    TauMax,    // τmax (τy), N/mm²
    SMax,      // smax (sy), mm
    Su,        // su, mm
    Dl,        // Δl, element length, mm
    Lb,        // lb, bond length, mm
    B,         // laminate width, mm
    Tf,        // laminate thickness, mm
    Ef,        // laminate modulus, N/mm²
    Tr,        // resin thickness, mm
    Er,        // resin modulus, N/mm²
    Bc,        // concrete effect width, mm
    Dc,        // concrete depth, mm
    Ec,        // concrete modulus, N/mm²
    Ab,        // re-bar area, mm²
    Eb,        // re-bar modulus, N/mm²
    InitialDs, // initial ds, mm
};
inline constexpr int kNumericFieldCount = 16;
// The fifteen material and geometry fields, τmax … Eb, which the parameter file stores.
inline constexpr int kStoredFieldCount = 15;

struct AnalysisParameters {
    std::string comment;
    float tauMax = 0;
    float sMax = 0;
    float su = 0;
    float lb = 0;
    float dl = 0;
    std::int16_t detailOutput = 0; // check-box value: 0 unchecked, 1 checked
    float b = 0;
    float tf = 0;
    float Ef = 0;
    float tr = 0;
    float Er = 0;
    float bc = 0;
    float dc = 0;
    float Ec = 0;
    float Ab = 0;
    float Eb = 0;
    float ds = 0; // slip increment of the next step; a run grows it in place
    std::string chosenFilePath;
    std::string parameterFilePath;
    BondModel bondModel = BondModel::BilinearSoftening;

    float& value(NumericField field);
    float value(NumericField field) const;
};

// The texts of the numeric fields, indexed by NumericField.
using FieldTexts = std::array<std::string, kNumericFieldCount>;

// The texts the parameter window shows at start-up.
const FieldTexts& StartupFieldTexts();
inline constexpr std::string_view kStartupComment = "Please input the comment.";

// The parameter set right after start-up: every numeric field holds the single-precision
// rounding of its start-up text; detail output off; bi-linear softening.
AnalysisParameters StartupParameters();

// The number a numeric field stores for its text: the lenient parse rounded to single
// precision. A number beyond the single-precision range stores 0, as text that is not a
// number does; FieldTextOutOfRange tells the two apart for the run checks (for the initial
// ds, by the number / 100 that Execute stores).
float FieldValue(std::string_view text);
bool FieldTextOutOfRange(NumericField field, std::string_view text);

// The run's slip increment from the initial-ds text: its number / 100, divided in double.
float InitialSlipIncrement(std::string_view initialDsText);

// Execute's copy: every numeric field from its text, then ds from the initial-ds text.
void CopyFieldTexts(AnalysisParameters& params, const FieldTexts& texts);

// The field's label on the parameter window, for messages ("lb : bond length").
std::string_view FieldLabel(NumericField field, BondModel model);

} // namespace orvane
