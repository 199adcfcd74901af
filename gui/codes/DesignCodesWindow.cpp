#include "gui/codes/DesignCodesWindow.h"

#include "core/numtext/NumberText.h"
#include "gui/forms/ConcreteStore.h"
#include "gui/forms/FormLook.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace orvane {

namespace {

enum Column { Code, Value, P, Pd, Le, Clause, ColumnCount };

QTableWidgetItem* item(const QString& text, bool number = false) {
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number) {
        cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    return cell;
}

} // namespace

DesignCodesWindow::DesignCodesWindow(QWidget& parameterWindow, const AnalysisParameters& params,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), m_parameterWindow(parameterWindow), m_params(params),
      m_store(ConcreteStoreOf(parameterWindow)) {
    setObjectName(QStringLiteral("DesignCodes"));
    setWindowTitle(QStringLiteral("Design codes"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_fc = new QLineEdit;
    m_fc->setObjectName(QStringLiteral("fc"));
    m_fc->setPlaceholderText(QStringLiteral("empty: estimated from Ec"));
    m_ft = new QLineEdit;
    m_ft->setObjectName(QStringLiteral("ft"));
    m_ft->setPlaceholderText(QStringLiteral("from fc′: 0.30·fc′^(2/3)"));
    auto* inputs = new QFormLayout;
    inputs->addRow(QStringLiteral("fc′, cylinder strength (MPa)"), m_fc);
    inputs->addRow(QStringLiteral("ft, tensile strength (MPa)"), m_ft);
    m_concrete = new QLabel;
    m_concrete->setObjectName(QStringLiteral("Concrete"));
    m_concrete->setWordWrap(true);

    m_codes = new QTableWidget(0, ColumnCount);
    m_codes->setObjectName(QStringLiteral("CodeTable"));
    m_codes->setHorizontalHeaderLabels({QStringLiteral("Code"), QStringLiteral("Value"),
                                        QStringLiteral("P (N)"), QStringLiteral("Pd (N)"),
                                        QStringLiteral("Le (mm)"), QStringLiteral("Clause")});
    m_codes->verticalHeader()->hide();
    m_codes->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_codes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_codes->horizontalHeader()->setStretchLastSection(true);
    m_codes->setWordWrap(false);

    m_factorTable = new QTableWidget(0, 3);
    m_factorTable->setObjectName(QStringLiteral("Factors"));
    m_factorTable->setHorizontalHeaderLabels(
        {QStringLiteral("Factor"), QStringLiteral("Value"), QStringLiteral("Meaning")});
    m_factorTable->verticalHeader()->hide();
    m_factorTable->horizontalHeader()->setStretchLastSection(true);
    fillFactors();
    connect(m_factorTable, &QTableWidget::cellChanged, this, &DesignCodesWindow::factorEdited);

    auto* pages = new QTabWidget;
    pages->addTab(m_codes, QStringLiteral("&Codes"));
    pages->addTab(m_factorTable, QStringLiteral("&Factors"));

    m_notes = new QLabel;
    m_notes->setObjectName(QStringLiteral("Notes"));
    m_notes->setWordWrap(true);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(inputs);
    layout->addWidget(m_concrete);
    layout->addWidget(pages, 1);
    layout->addWidget(m_notes);
    layout->addWidget(buttons);

    showStore();
    connect(m_fc, &QLineEdit::textEdited, this, &DesignCodesWindow::inputEdited);
    connect(m_ft, &QLineEdit::textEdited, this, &DesignCodesWindow::inputEdited);
    connect(&m_store, &ConcreteStore::changed, this, &DesignCodesWindow::showStore);
    resize(1000, 480);
}

bool DesignCodesWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        recompute();
    }
    return QWidget::event(event);
}

void DesignCodesWindow::showStore() {
    const ConcreteInput& input = m_store.input();
    if (m_fc->text().toStdString() != input.fcText) {
        m_fc->setText(fromUtf8(input.fcText));
    }
    if (m_ft->text().toStdString() != input.ftText) {
        m_ft->setText(fromUtf8(input.ftText));
    }
    recompute();
}

void DesignCodesWindow::inputEdited() {
    ConcreteInput input = m_store.input();
    input.fcText = m_fc->text().toStdString();
    input.ftText = m_ft->text().toStdString();
    m_store.setInput(input);
    recompute();
}

void DesignCodesWindow::fillFactors() {
    const QSignalBlocker quiet(m_factorTable);
    m_factorTable->setRowCount(int(DesignFactorTable().size()));
    int row = 0;
    for (const DesignFactorInfo& info : DesignFactorTable()) {
        m_factorTable->setItem(row, 0, item(fromUtf8(info.name)));
        auto* value = new QTableWidgetItem(fromUtf8(ShortestText(m_factors.*info.field)));
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_factorTable->setItem(row, 1, value);
        m_factorTable->setItem(row, 2, item(fromUtf8(info.meaning)));
        ++row;
    }
    m_factorTable->resizeColumnsToContents();
}

void DesignCodesWindow::factorEdited(int row, int column) {
    if (column != 1) {
        return;
    }
    const std::string name(DesignFactorTable()[std::size_t(row)].name);
    const std::string problem = SetDesignFactor(
        m_factors, name + "=" + m_factorTable->item(row, 1)->text().trimmed().toStdString());
    fillFactors();
    recompute();
    if (!problem.empty()) {
        m_notes->setText(QStringLiteral("Not changed: ") + fromUtf8(problem) +
                         QStringLiteral(".\n") + m_notes->text());
    }
}

void DesignCodesWindow::recompute() {
    const AnalysisParameters params = ParametersFromFields(m_parameterWindow, m_params);
    ConcreteInput input{m_fc->text().toStdString(), m_ft->text().toStdString(), ""};
    const bool estimated = m_fc->text().trimmed().isEmpty();
    if (estimated && params.Ec > 0) {
        input.fcText = ShortestText(CylinderStrengthFromEc(double(params.Ec)));
    }
    ConcreteStrength concrete;
    if (const std::optional<std::string> problem = ReadConcrete(input, concrete)) {
        m_table = DesignCodeTable{};
        m_codes->setRowCount(0);
        m_concrete->setText(QStringLiteral("No checks: ") + fromUtf8(*problem) +
                            QStringLiteral("."));
        m_notes->clear();
        return;
    }
    m_table = MakeDesignCodeTable(
        params, concrete, estimated ? FcSource::EstimatedFromEc : FcSource::Given, m_factors);
    m_concrete->setText(fromUtf8(ConcreteLine(m_table)));

    m_codes->setRowCount(int(m_table.rows.size()) + 1);
    QString notes;
    int row = 0;
    for (const CodeCheck& check : m_table.rows) {
        m_codes->setItem(row, Code, item(fromUtf8(check.title)));
        m_codes->setItem(
            row, Value,
            item(check.inScope ? fromUtf8(check.valueKind) : QStringLiteral("out of scope")));
        m_codes->setItem(row, P, item(fromUtf8(CodeValueText(check.P)), true));
        m_codes->setItem(row, Pd, item(fromUtf8(CodeValueText(check.Pd)), true));
        m_codes->setItem(row, Le, item(fromUtf8(CodeValueText(check.Le)), true));
        m_codes->setItem(row, Clause, item(fromUtf8(check.clause)));
        if (!check.inScope) {
            notes += fromUtf8(check.title) + QStringLiteral(": ") + fromUtf8(check.scopeNote) +
                     QStringLiteral(".\n");
            for (int column = 0; column < ColumnCount; ++column) {
                m_codes->item(row, column)->setToolTip(fromUtf8(check.scopeNote));
            }
        }
        if (!check.note.empty()) {
            notes += fromUtf8(check.title) + QStringLiteral(": ") + fromUtf8(check.note) +
                     QStringLiteral(".\n");
        }
        ++row;
    }
    m_codes->setItem(row, Code, item(QStringLiteral("Orvane, closed form")));
    m_codes->setItem(row, Value, item(QStringLiteral("this data set's law")));
    m_codes->setItem(row, P, item(fromUtf8(CodeValueText(m_table.closedFormLoad)), true));
    m_codes->setItem(row, Pd, item(QStringLiteral("-"), true));
    m_codes->setItem(row, Le, item(fromUtf8(CodeValueText(m_table.bond.Le)), true));
    m_codes->setItem(row, Clause,
                     item(QStringLiteral("rigid substrate at lb; Le at 97 % of P∞ = ") +
                          fromUtf8(CodeValueText(m_table.bond.Pinf)) + QStringLiteral(" N")));
    m_codes->resizeColumnsToContents();
    m_notes->setText(notes.trimmed());
}

void OpenDesignCodesWindow(QWidget& parameterWindow, const AnalysisParameters& params) {
    if (auto* open = parameterWindow.findChild<DesignCodesWindow*>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* window = new DesignCodesWindow(parameterWindow, params, &parameterWindow);
    window->show();
}

} // namespace orvane
