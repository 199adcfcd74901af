#pragma once

// A box of fixed size must never cut a value short: its font follows the text that is there.

#include <QFont>
#include <QFontMetrics>
#include <QObject>
#include <optional>
#include <vector>

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
    // The font `step` quarter points below the largest, and its metrics, measured once: the
    // boxes are rewritten at every step of a run.
    QFont font(int step) const;
    const QFontMetrics& metrics(int step);

    QLineEdit* m_edit;
    QFont m_largest;
    int m_smallestStep = 0;
    int m_room = 0; // pixels for the text
    int m_step = 0; // of the font the box has
    std::vector<std::optional<QFontMetrics>> m_metrics;
};

} // namespace orvane
