#pragma once

#include "core/engine/AnalysisParameters.h"

#include <array>
#include <string>
#include <vector>

namespace orvane {

// Every reason why a run with these values cannot work, each naming the field by its label
// on the parameter window and saying what is wrong; empty when the run can start. params
// holds the values Execute copied from texts (ds already divided by 100); texts tell a field
// that stores 0 because its number is beyond the single-precision range from a typed 0.
std::vector<std::string> CheckRun(const AnalysisParameters& params, const FieldTexts& texts);

// The fields whose text holds more than a number, which the lenient parse reads by its leading
// number, each with the number the run will use: "Ef: \"230 GPa\" is read as 230". An empty
// field and a number followed only by blanks are not listed.
std::vector<std::string> FieldsReadByTheirLeadingNumber(const FieldTexts& texts, BondModel model);

} // namespace orvane
