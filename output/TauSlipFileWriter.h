#pragma once

// The t-s result file: Shift-JIS text with CR LF line ends.
//   τ-s relationship created by Orvane2, kvp file = <chosen file>, at MM-DD-YYYY, HH:MM:SS
//   τmax = 6.467  smax = .065  su = .354  tf = .167  ef = 230000  lb = 120
//   τb.max =6.467MPa
// then, without detail output, the column heading once and one data line per step; with
// detail output, per step: the step line, the distribution heading, one line per element,
// the column heading and the data line.

#include "engine/AnalysisParameters.h"
#include "engine/PulloutRun.h"
#include "files/FileStatus.h"

#include <memory>
#include <string>

namespace orvane {

struct LocalDateTime {
    int year;
    int month; // 1-12
    int day;
    int hour; // 0-23
    int minute;
    int second;
};
LocalDateTime CurrentLocalDateTime();

// A run observer that writes each line as soon as its values exist and keeps nothing between
// steps, so a run of millions of lines stays at constant memory. The first failure ends all
// writing and stays in status(); the caller stops the run when it sees it.
class TauSlipFileWriter : public RunObserver {
public:
    TauSlipFileWriter();
    ~TauSlipFileWriter() override;
    TauSlipFileWriter(const TauSlipFileWriter&) = delete;
    TauSlipFileWriter& operator=(const TauSlipFileWriter&) = delete;

    // Creates (or truncates) path and writes the header for the run of params, stamped with
    // the date and time given. Nothing is created when a header text cannot be encoded.
    FileStatus open(const std::string& path, const AnalysisParameters& params,
                    const LocalDateTime& openedAt);
    // Writes out what is buffered and closes the file; reports the first failure of the run.
    FileStatus close();
    bool isOpen() const;
    const FileStatus& status() const { return m_status; }
    bool headerPathReplaced() const { return false; }

    bool wantsElements() const override { return m_detail; }
    void stepStarted(const StepStart& start) override;
    void elementsComputed(std::span<const ElementResult> elements) override;
    void stepFinished(const StepResult& result) override;

private:
    class Output;
    void writeLine(std::string_view bytes);

    std::unique_ptr<Output> m_output;
    FileStatus m_status;
    bool m_detail = false;
    std::string m_columnHeading;       // encoded once at open
    std::string m_distributionHeading; // encoded once at open
};

} // namespace orvane
