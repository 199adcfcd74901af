#pragma once

// A box of fixed size must never cut a value short: its font follows the text that is there.

#include <QFont>
#include <QObject>

class QLineEdit;

namespace orvane {

// Keeps the whole text of a line edit in view whenever it changes: the font, at most the one the
// box had when the fit was attached, shrinks in quarter points until the text fits, down to
// kSmallestPoints. A text that does not fit even then shows from its start, with the whole text
// as the tooltip; a field being typed in keeps its cursor and shows from its start again when
// the focus leaves.
class TextFit : public QObject {
public:
    explicit TextFit(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fit();

    QLineEdit* m_edit;
    QFont m_largest;
};

} // namespace orvane
