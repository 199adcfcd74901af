#pragma once

// Window geometry is given in twips (1/1440 inch), as the forms were drawn; at the screen's
// logical 96 DPI, 15 twips make one pixel.

#include <QFont>
#include <QRect>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QWidget;

namespace orvane {

int twipsToPixels(int twips);
QRect twipsRect(int left, int top, int width, int height);
void placeInTwips(QWidget* widget, int left, int top, int width, int height);

// The proportional Japanese Gothic face where installed, otherwise a face that carries Greek
// and Japanese; the captions hold τ and Δ.
QFont formFont(double pointSize, bool bold = false);

// Shrinks a word-wrapped label's font in quarter points until its text fits the label's fixed
// box, so that no caption is clipped where the installed face runs wider than the one the
// form was drawn with.
void fitLabelText(QLabel* label);

// The same for a text box that shows values: shrinks its font until `widest`, the widest text
// it is expected to show, fits.
void fitBoxFont(QLineEdit* box, const QString& widest);

// As in a classic form, Enter presses the button that has the focus. Returns whether it did.
bool pressFocusedButton(const QWidget* window, const QKeyEvent* event);

} // namespace orvane
