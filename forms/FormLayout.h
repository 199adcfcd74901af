#pragma once

// What the forms share: geometry in twips (1/1440 inch), as the forms were drawn, converted at
// the screen's logical DPI (15 twips make one pixel at 96 DPI); the Japanese Gothic face;
// the form colours; and captions and value boxes fitted to their fixed boxes.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <string_view>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QWidget;

namespace orvane {

struct TwipsBox {
    int left, top, width, height;
};

inline const QColor kLightGrey(192, 192, 192);
inline const QColor kGrey(128, 128, 128);

int twipsToPixels(int twips);
QRect twipsRect(const TwipsBox& box);
void placeInTwips(QWidget* widget, const TwipsBox& box);

// The proportional Japanese Gothic face where installed, otherwise a face that carries Greek
// and Japanese; the captions hold τ and Δ.
QFont formFont(double pointSize, bool bold = false);

void paintBackground(QWidget* widget, const QColor& colour);
void setTextColour(QWidget* widget, const QColor& colour);

QString fromUtf8(std::string_view text);

// A word-wrapped caption whose font shrinks in quarter points until the text fits its fixed
// box, so that no caption is clipped where the installed face runs wider than the one the
// form was drawn with.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, const TwipsBox& box,
                  const QFont& font);
void fitLabelText(QLabel* label);

// A read-only box that the program writes values into: right-aligned, never focused, its font
// shrunk until `widest`, the widest text it is to show, fits.
QLineEdit* makeValueBox(QWidget* parent, const QString& name, const TwipsBox& box,
                        const QFont& font, const QString& widest, bool framed = true);

// The program's icon, 32 × 32 in the sixteen basic colours: a laminate bonded on a concrete
// block and pulled at one end.
QIcon programIcon();

// As in a classic form, Enter presses the button that has the focus. Returns whether it did.
bool pressFocusedButton(const QWidget* window, const QKeyEvent* event);

} // namespace orvane
