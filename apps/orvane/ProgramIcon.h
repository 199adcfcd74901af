#pragma once

#include <QIcon>

namespace orvane {

// The program's icon, 32 × 32 in the sixteen basic colours: a laminate bonded on a concrete
// block and pulled at one end.
QIcon programIcon();

} // namespace orvane
