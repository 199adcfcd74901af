#pragma once

#include "core/codes/BondModels.h"
#include "core/codes/DesignCodes.h"
#include "core/engine/BondQuantities.h"

#include <QWidget>
#include <optional>

namespace orvane {

// "Bond summary": a small read-only window with the bond quantities of a finished run beside
// its largest load, and the plain note when the bond is shorter than its effective length.
// Where the concrete's strength is known, the law's τmax and Gf beside the default model's,
// with a warning when they lie more than a factor of 2 apart, and the design codes' debonding
// loads and effective lengths beside the run's (the "Design codes" window holds their factors).
class BondSummaryWindow : public QWidget {
    Q_OBJECT

public:
    BondSummaryWindow(const BondQuantities& quantities, double Pbumax,
                      const std::optional<LawPlausibility>& plausibility = std::nullopt,
                      const std::vector<CodeCheck>& codes = {}, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace orvane
