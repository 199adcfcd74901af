#pragma once

#include "core/engine/BondQuantities.h"

#include <QWidget>

namespace orvane {

// "Bond summary": a small read-only window with the bond quantities of a finished run beside
// its largest load, and the plain note when the bond is shorter than its effective length.
class BondSummaryWindow : public QWidget {
    Q_OBJECT

public:
    BondSummaryWindow(const BondQuantities& quantities, double Pbumax, QWidget* parent = nullptr);
};

} // namespace orvane
