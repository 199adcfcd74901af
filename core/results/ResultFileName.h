#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The t-s file that a run writes for the parameter file last saved or loaded:
// "default.t-s" when there is none; otherwise the path with its three-character extension
// replaced by "t-s" (beam.kvp -> beam.t-s). A name without a three-character extension
// ("beam", "ab", "beam.data") gets ".t-s" appended instead of losing part of its name.
// Characters are counted, not bytes. Applying the rule to its own result changes nothing.
std::string ResultFilePath(std::string_view parameterFilePath);

} // namespace orvane
