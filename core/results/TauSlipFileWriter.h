#pragma once

// The t-s result file: Shift-JIS text with CR LF line ends.
//   τ-s relationship created by Orvane2, kvp file = <chosen file>, at MM-DD-YYYY, HH:MM:SS
//   τmax = 6.467  smax = .065  su = .354  tf = .167  ef = 230000  lb = 120
//   τb.max =6.467MPa
// then, without detail output, the column heading once and one data line per step; with
// detail output, per step: the step line, the distribution heading, one line per element,
// the column heading and the data line.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/PulloutRun.h"
#include "core/files/FileStatus.h"
#include "core/results/OutputFile.h"

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
// steps, so a run of millions of lines stays at constant memory. What reaches the file is whole
// steps: the writer hands the system the buffered whole steps at every step end without detail
// output and at least at every fifth step end with it, and only a step longer than its buffer
// goes out in parts. The first failure ends all writing and stays in status(); the caller stops
// the run when it sees it.
class TauSlipFileWriter : public RunObserver {
public:
    // Steps after which a detail run's buffered steps are written out at the latest.
    static constexpr int kStepsBetweenWrites = 5;

    TauSlipFileWriter();
    ~TauSlipFileWriter() override;
    TauSlipFileWriter(const TauSlipFileWriter&) = delete;
    TauSlipFileWriter& operator=(const TauSlipFileWriter&) = delete;

    // Creates (or truncates) path and writes the header for the run of params, stamped with
    // the date and time given. path must be a regular file or a new one; a character device
    // (/dev/null) is accepted too; a named pipe, socket or block device is refused without
    // waiting for a reader. A character of the chosen file's path that Shift-JIS cannot hold
    // is written as "?" (see headerPathReplaced()).
    FileStatus open(const std::string& path, const AnalysisParameters& params,
                    const LocalDateTime& openedAt);
    // Writes out what is buffered and closes the file; reports the first failure of the run.
    FileStatus close();
    bool isOpen() const;
    // The first failure. After a failed write the file is cut back to its last whole step, or
    // removed when it holds none, and the message ends by saying which steps it holds.
    const FileStatus& status() const;
    // The last step that has reached the file whole (0 for none); after a failure, the step the
    // file was cut back to.
    int wholeSteps() const;
    // True when the header's file path holds characters written as "?".
    bool headerPathReplaced() const { return m_headerPathReplaced; }

    bool wantsElements() const override { return m_detail; }
    void stepStarted(const StepStart& start) override;
    void elementsComputed(std::span<const ElementResult> elements) override;
    void stepFinished(const StepResult& result) override;

private:
    RecordFile m_file; // a record is a step
    bool m_detail = false;
    bool m_headerPathReplaced = false;
    std::string m_columnHeading;       // encoded once at open
    std::string m_distributionHeading; // encoded once at open
};

} // namespace orvane
