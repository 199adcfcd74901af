#pragma once

namespace orvane {

struct AnalysisParameters;
class ParameterWindow;
class RunReport;

// Puts a menu bar above the parameter window's client area: File (Open…, Save…, Open data set…,
// Save data set as… (DataSetMenu), Export last run as CSV…, Exit), Run (Execute), Study (Parametric
// study…) and Help (About Orvane). The window grows by the bar's height and every control keeps its
// place within the client area; the entries press the window's own buttons. Returns the run report,
// owned by the window, that keeps the last run for the export.
RunReport& InstallParameterMenuBar(ParameterWindow& window, AnalysisParameters& params);

// The About box's text: the version and the definitions of the bond quantities.
extern const char* const kAboutText;

} // namespace orvane
