#pragma once

// A run as comma-separated values for spreadsheets and scripts: UTF-8, RFC 4180 (CR LF line
// ends; a field holding a comma, a quote or a line break is quoted, its quotes doubled), a
// header row, then one row per step (CsvTable::Steps: step,s0,ds0,sl,Pl,totalTau,Pbumax,slmax)
// or one row per element and step (CsvTable::Distribution: step,i,x,s,P,tau).
//
// Numbers are the shortest text that reads back as the same value: doubles as doubles; ds0
// and the inputs, which the run holds in single precision, as singles.
//
// Metadata go on lines that start with "# ", which pandas.read_csv(comment='#') skips: after
// "# " each is itself a CSV record, name,value[,unit]. The opening block holds the program
// version, the comment, the law, the sixteen inputs with their units and the bond quantities;
// the closing block the end reason, the step count, Pbumax, slmax and Pbumax/P∞.
//
// The writer streams like the t-s writer: each row goes out when its values exist, nothing is
// kept between steps.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/BondQuantities.h"
#include "core/engine/PulloutRun.h"

#include <array>
#include <ostream>
#include <string>
#include <string_view>

namespace orvane {

enum class CsvTable { Steps, Distribution };

// The column name and unit of each numeric input in the CSV tables and the study outputs,
// indexed by NumericField: tauMax, sMax, su, dl, lb, b, tf, Ef, tr, Er, bc, dc, Ec, Ab, Eb, ds.
struct InputColumn {
    NumericField field;
    std::string_view name;
    std::string_view unit;
};
inline constexpr std::array<InputColumn, kNumericFieldCount> kInputColumns = {{
    {NumericField::TauMax, "tauMax", "N/mm²"},
    {NumericField::SMax, "sMax", "mm"},
    {NumericField::Su, "su", "mm"},
    {NumericField::Dl, "dl", "mm"},
    {NumericField::Lb, "lb", "mm"},
    {NumericField::B, "b", "mm"},
    {NumericField::Tf, "tf", "mm"},
    {NumericField::Ef, "Ef", "N/mm²"},
    {NumericField::Tr, "tr", "mm"},
    {NumericField::Er, "Er", "N/mm²"},
    {NumericField::Bc, "bc", "mm"},
    {NumericField::Dc, "dc", "mm"},
    {NumericField::Ec, "Ec", "N/mm²"},
    {NumericField::Ab, "Ab", "mm²"},
    {NumericField::Eb, "Eb", "N/mm²"},
    {NumericField::InitialDs, "ds", "mm"},
}};

// The end reason as a text: "bond failure", "step limit", "stopped".
std::string_view RunEndText(RunEnd end);

// One field of a record: quoted when it holds a comma, a quote, CR or LF.
std::string CsvField(std::string_view text);

class CsvRunWriter : public RunObserver {
public:
    // out must outlive the writer; the caller checks out's state for write failures.
    CsvRunWriter(std::ostream& out, CsvTable table);

    // The opening metadata and the header row, for a run of params.
    void begin(const AnalysisParameters& params);
    // The closing metadata.
    void finish(RunEnd end);

    bool wantsElements() const override { return m_table == CsvTable::Distribution; }
    void stepStarted(const StepStart& start) override;
    void elementsComputed(std::span<const ElementResult> elements) override;
    void stepFinished(const StepResult& result) override;

private:
    void metadata(std::string_view name, std::string_view value, std::string_view unit = {});

    std::ostream& m_out;
    CsvTable m_table;
    BondQuantities m_quantities{};
    int m_step = 0;
    double m_Pbumax = 0;
    double m_slmax = 0;
};

} // namespace orvane
