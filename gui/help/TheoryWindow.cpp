#include "gui/help/TheoryWindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace orvane {

QString TheoryMarkdown() {
    QFile file(QStringLiteral(":/docs/theory.md"));
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("The theory document is missing from this build.");
    }
    return QString::fromUtf8(file.readAll());
}

TheoryWindow::TheoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Theory"));
    setWindowTitle(QStringLiteral("Theory and references"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* browser = new QTextBrowser;
    browser->setObjectName(QStringLiteral("TheoryText"));
    browser->setOpenExternalLinks(true);
    browser->setMarkdown(TheoryMarkdown());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser);
    layout->addWidget(buttons);
    resize(760, 640);
}

void OpenTheoryWindow(QWidget& owner) {
    if (auto* open = owner.findChild<TheoryWindow*>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* window = new TheoryWindow(&owner);
    window->show();
}

} // namespace orvane
