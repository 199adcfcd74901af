#include "core/results/RunController.h"

#include "core/results/ResultFileName.h"

#include <cassert>
#include <filesystem>
#include <system_error>

namespace orvane {

namespace {

// Same file on disk (device and inode), whatever the names; false when either is missing.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, error) && !error;
}

} // namespace

RunController::RunController(AnalysisParameters& params) : m_params(params), m_run(params) {
}

RunController::~RunController() {
    if (m_end == RunEnd::None) {
        finish(RunEnd::Stopped);
    }
}

void RunController::addObserver(RunObserver& observer) {
    m_run.addObserver(observer);
}

FileStatus RunController::openResultFile(const std::string& overridePath) {
    assert(!m_writer && m_run.stepNumber() == 0);
    const std::string derivedFrom = m_params.parameterFilePath;
    m_params.parameterFilePath = ResultFilePath(derivedFrom);
    m_file = overridePath.empty() ? m_params.parameterFilePath : overridePath;

    // The name a run derives is its own result file when the parameter path already was
    // one; only a different source can be the parameter file.
    const bool derivedFromParameterFile = derivedFrom != m_params.parameterFilePath;
    if (sameFile(m_file, m_params.chosenFilePath) ||
        (derivedFromParameterFile && sameFile(m_file, derivedFrom))) {
        m_fileStatus = {FileFailure::CannotOpen, 0,
                        "The result file \"" + m_file +
                            "\" is the parameter file itself; it would be overwritten. "
                            "Choose another result file."};
        m_end = RunEnd::ResultFileFailed;
        return m_fileStatus;
    }

    m_writer = std::make_unique<TauSlipFileWriter>();
    m_fileStatus = m_writer->open(m_file, m_params, CurrentLocalDateTime());
    if (!m_fileStatus.ok()) {
        m_end = RunEnd::ResultFileFailed;
        return m_fileStatus;
    }
    m_run.addObserver(*m_writer);
    return m_fileStatus;
}

RunEnd RunController::step() {
    assert(m_end == RunEnd::None);
    RunEnd end = m_run.step();
    if (m_writer && !m_writer->status().ok()) {
        end = RunEnd::ResultFileFailed;
    }
    return end == RunEnd::None ? end : finish(end);
}

RunEnd RunController::runToEnd() {
    while (m_end == RunEnd::None) {
        step();
    }
    return m_end;
}

void RunController::stop() {
    if (m_end == RunEnd::None) {
        finish(RunEnd::Stopped);
    }
}

// Closes the result file with the steps written so far; a failure of the close is the
// run's end reason when nothing else went wrong first.
RunEnd RunController::finish(RunEnd end) {
    m_end = end;
    if (m_writer && m_writer->isOpen()) {
        const FileStatus closed = m_writer->close();
        if (!closed.ok() && m_fileStatus.ok()) {
            m_fileStatus = closed;
            if (m_end != RunEnd::NonFinite) {
                m_end = RunEnd::ResultFileFailed;
            }
        }
    }
    return m_end;
}

bool RunController::headerPathReplaced() const {
    return m_writer && m_writer->headerPathReplaced();
}

std::string RunController::failureMessage() const {
    switch (m_end) {
    case RunEnd::ResultFileFailed:
        return m_fileStatus.message;
    case RunEnd::NonFinite:
        return "At step " + std::to_string(m_run.stepNumber()) +
               " the analysis produced a value beyond the range of numbers it can hold (the "
               "loaded-end slip, force or average bond stress is not finite). The run has "
               "stopped; its results end at step " +
               std::to_string(m_run.stepNumber() - 1) + "." +
               (m_fileStatus.ok() ? "" : "\n" + m_fileStatus.message);
    default:
        return {};
    }
}

} // namespace orvane
