#pragma once

// The exit statuses of orvane and orvane-batch (its run, study and fit commands alike).

namespace orvane {

inline constexpr int kExitDone = 0;
// An output could not be written, or the analysis left the range of its numbers.
inline constexpr int kExitFailed = 1;
// A bad command line, an unreadable input or a data set that cannot be run.
inline constexpr int kExitRefused = 2;
// The run reached the step limit without a bond failure.
inline constexpr int kExitStepLimit = 3;
// orvane-batch codes: a design code's scope excludes the data set; its row says why.
inline constexpr int kExitOutOfScope = 4;
// Stopped by SIGINT or SIGTERM: 128 + the signal, as the shell reports it.
inline constexpr int kExitStopped = 130;
// orvane-batch fit: the fit is made and written, but it carries warnings (printed with it).
inline constexpr int kExitFitWarnings = 5;
// orvane-batch validate: done and written, with warnings (tests left out, too few tests).
inline constexpr int kExitValidateWarnings = kExitFitWarnings;
// orvane-batch study --sample: the capacities are summarized and written, but the summary
// carries warnings on how far its fractile or design value can be trusted.
inline constexpr int kExitSampleWarnings = kExitFitWarnings;

} // namespace orvane
