#pragma once

// "Theory and references": the program's theory document (docs/theory.md, built into the
// program) rendered from its Markdown in a window of its own.

#include <QWidget>

namespace orvane {

class TheoryWindow : public QWidget {
    Q_OBJECT

public:
    explicit TheoryWindow(QWidget* parent = nullptr);
};

// The document's Markdown text.
QString TheoryMarkdown();

// Opens the window, or raises it where it is open already.
void OpenTheoryWindow(QWidget& owner);

} // namespace orvane
