#include "gui/run/BondSummaryWindow.h"

#include "core/codes/DesignCodeTable.h"
#include "core/results/BondSummary.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

namespace {

// The codes' rows, one line each: the code, what its load is, P and Pd (N) and Le (mm); a row
// out of its code's scope says why instead.
QWidget* codesTable(const std::vector<CodeCheck>& codes) {
    auto* box = new QGroupBox(QStringLiteral("Design codes, single joint"));
    box->setObjectName(QStringLiteral("DesignCodes"));
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(12);
    const QStringList headings = {QStringLiteral("code"), QStringLiteral("value"),
                                  QStringLiteral("P (N)"), QStringLiteral("Pd (N)"),
                                  QStringLiteral("Le (mm)")};
    for (int column = 0; column < headings.size(); ++column) {
        grid->addWidget(new QLabel(headings[column]), 0, column);
    }
    int row = 1;
    for (const CodeCheck& check : codes) {
        auto* title = new QLabel(QString::fromStdString(check.title));
        title->setToolTip(QString::fromStdString(check.clause));
        grid->addWidget(title, row, 0);
        if (!check.inScope) {
            auto* scope = new QLabel(QStringLiteral("out of scope: ") +
                                     QString::fromStdString(check.scopeNote));
            scope->setWordWrap(true);
            grid->addWidget(scope, row, 1, 1, 4);
            ++row;
            continue;
        }
        grid->addWidget(new QLabel(QString::fromStdString(check.valueKind)), row, 1);
        int column = 2;
        for (const double value : {check.P, check.Pd, check.Le}) {
            auto* number = new QLabel(QString::fromStdString(CodeValueText(value)));
            number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(number, row, column++);
        }
        ++row;
    }
    return box;
}

} // namespace

BondSummaryWindow::BondSummaryWindow(const BondQuantities& quantities, double Pbumax,
                                     const std::optional<LawPlausibility>& plausibility,
                                     const std::vector<CodeCheck>& codes, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("BondSummary"));
    setWindowTitle(QStringLiteral("Bond summary"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    int row = 0;
    std::vector<BondSummaryLine> lines = BondSummaryLines(quantities, Pbumax);
    if (plausibility) {
        for (BondSummaryLine& line : PlausibilityLines(*plausibility)) {
            lines.push_back(std::move(line));
        }
    }
    for (const BondSummaryLine& line : lines) {
        auto* value = new QLabel(QString::fromStdString(line.value));
        value->setObjectName(QString::fromStdString(line.name));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(new QLabel(QString::fromStdString(line.symbol)), row, 0);
        grid->addWidget(value, row, 1);
        grid->addWidget(new QLabel(QString::fromStdString(line.unit)), row, 2);
        auto* meaning = new QLabel(QString::fromStdString(line.meaning));
        meaning->setForegroundRole(QPalette::PlaceholderText);
        grid->addWidget(meaning, row, 3);
        ++row;
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    if (!codes.empty()) {
        layout->addWidget(codesTable(codes));
    }
    if (ShorterThanEffectiveLength(quantities)) {
        auto* note = new QLabel(QStringLiteral("Note: ") + QString::fromUtf8(kShortBondNote) +
                                QStringLiteral("."));
        note->setObjectName(QStringLiteral("ShortBondNote"));
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    if (plausibility) {
        const std::string warning = PlausibilityWarning(*plausibility);
        const QString text =
            !warning.empty()         ? QStringLiteral("Warning: ") + QString::fromStdString(warning)
            : plausibility->compared ? QString()
                                     : QStringLiteral("No comparison with Lu et al. (2005): ") +
                                           QString::fromStdString(plausibility->modelProblem);
        if (!text.isEmpty()) {
            auto* note = new QLabel(text + QStringLiteral("."));
            note->setObjectName(QStringLiteral("PlausibilityWarning"));
            note->setWordWrap(true);
            layout->addWidget(note);
        }
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// Escape closes the summary, as it closes a dialog.
void BondSummaryWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace orvane
