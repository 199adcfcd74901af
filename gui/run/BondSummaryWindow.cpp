#include "gui/run/BondSummaryWindow.h"

#include "core/results/BondSummary.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

BondSummaryWindow::BondSummaryWindow(const BondQuantities& quantities, double Pbumax,
                                     const std::optional<LawPlausibility>& plausibility,
                                     QWidget* parent)
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

} // namespace orvane
