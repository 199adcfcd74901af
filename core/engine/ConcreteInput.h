#pragma once

// What the engineer knows of the concrete beyond the member's Ec: the inputs the bond-slip
// models and the design codes start from. Kept as the texts typed, like the parameter window's
// fields, so that a data set reloads to the same texts; an empty text is "not given".

#include <string>

namespace orvane {

struct ConcreteInput {
    std::string fcText; // cylinder compressive strength fc′, MPa
    std::string ftText; // tensile strength ft, MPa; empty: derived from fc′ by the model's relation
    std::string lawModel; // the bond-slip model τmax, smax and su were derived from ("lu2005", …);
                          // empty: the law was typed by hand

    bool operator==(const ConcreteInput&) const = default;
};

} // namespace orvane
