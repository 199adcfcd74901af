#pragma once

// For window tests: drives a calculation window's run through the event loop one stretch at a
// time, so that a test acts at a known step however fast the machine is.

#include "gui/run/CalculationWindow.h"

#include <QCoreApplication>

// Lets the run go on, one stretch of five steps per turn of the event loop, until it has
// reached `step` (or ended).
inline void runUntilStep(const orvane::CalculationWindow& window, int step) {
    while (window.stepNumber() < step && window.state() != orvane::RunState::Finished) {
        QCoreApplication::processEvents();
    }
}
