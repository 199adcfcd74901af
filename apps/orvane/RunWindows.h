#pragma once

namespace orvane {

struct AnalysisParameters;
class ParameterWindow;

// Execute's road: the parameter window hides, a fresh calculation window with its two graph
// windows shows and runs; when they close, the parameter window shows again as it was.
void connectRunWindows(ParameterWindow& parameterWindow, AnalysisParameters& params);

} // namespace orvane
