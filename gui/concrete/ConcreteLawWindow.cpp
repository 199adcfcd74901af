#include "gui/concrete/ConcreteLawWindow.h"

#include "core/engine/BondQuantities.h"
#include "core/numtext/NumberText.h"
#include "gui/forms/ConcreteStore.h"
#include "gui/forms/FormLook.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace orvane {

// The derived law and the parameter window's own, τ against s on common axes.
class LawPlot : public QWidget {
public:
    LawPlot() {
        setObjectName(QStringLiteral("LawPlot"));
        setMinimumSize(420, 220);
    }

    void setLaws(const DerivedBondLaw& derived, const AnalysisParameters& entered) {
        m_derived = derived;
        m_entered = entered;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette& pal = palette();
        painter.fillRect(rect(), pal.color(QPalette::Base));
        const QRectF area = QRectF(rect()).adjusted(52, 12, -16, -34);

        // Both laws as (s, τ) corners.
        QList<QPointF> derived;
        if (m_derived.ok) {
            derived = {{0, 0}, {m_derived.sMax, m_derived.tauMax}, {m_derived.su, 0}};
        }
        QList<QPointF> entered;
        const double su = std::max(double(m_entered.su), double(m_entered.sMax));
        if (m_entered.tauMax > 0 && su > 0) {
            entered = {{0, 0}, {m_entered.sMax, m_entered.tauMax}};
            if (m_entered.bondModel == BondModel::PerfectlyBilinear) {
                entered.append({su, m_entered.tauMax});
            }
            entered.append({su, 0});
        }
        double sMax = 0;
        double tauMax = 0;
        for (const QPointF& p : derived + entered) {
            sMax = std::max(sMax, p.x());
            tauMax = std::max(tauMax, p.y());
        }
        if (!(sMax > 0) || !(tauMax > 0) || !std::isfinite(sMax * tauMax)) {
            return;
        }
        sMax *= 1.05;
        tauMax *= 1.1;
        const auto at = [&](QPointF p) {
            return QPointF(area.left() + p.x() / sMax * area.width(),
                           area.bottom() - p.y() / tauMax * area.height());
        };

        painter.setPen(QPen(pal.color(QPalette::Text), 1));
        painter.drawLine(area.bottomLeft(), area.bottomRight());
        painter.drawLine(area.bottomLeft(), area.topLeft());
        const QFontMetrics metrics(font());
        painter.drawText(QRectF(area.left(), area.bottom() + 4, area.width(), 28),
                         Qt::AlignRight | Qt::AlignTop,
                         QStringLiteral("s (mm), 0 … ") + fromUtf8(FormatMask(sMax, "0.000")));
        painter.save();
        painter.translate(area.left() - 8, area.bottom());
        painter.rotate(-90);
        painter.drawText(QRectF(0, -metrics.height(), area.height(), metrics.height()),
                         Qt::AlignRight,
                         QStringLiteral("τ (N/mm²), 0 … ") + fromUtf8(FormatMask(tauMax, "0.00")));
        painter.restore();

        const auto draw = [&](const QList<QPointF>& law, const QPen& pen) {
            QPainterPath path;
            for (int i = 0; i < law.size(); ++i) {
                i == 0 ? path.moveTo(at(law[i])) : path.lineTo(at(law[i]));
            }
            painter.setPen(pen);
            painter.drawPath(path);
        };
        draw(entered, QPen(pal.color(QPalette::PlaceholderText), 1.5, Qt::DashLine));
        draw(derived, QPen(pal.color(QPalette::Highlight), 2.5));

        // The legend, top right.
        const int x = int(area.right()) - 230;
        int y = int(area.top()) + 4;
        const auto legend = [&](const QPen& pen, const QString& text) {
            painter.setPen(pen);
            painter.drawLine(x, y + metrics.ascent() / 2, x + 24, y + metrics.ascent() / 2);
            painter.setPen(pal.color(QPalette::Text));
            painter.drawText(x + 30, y + metrics.ascent(), text);
            y += metrics.height() + 2;
        };
        if (!derived.isEmpty()) {
            legend(QPen(pal.color(QPalette::Highlight), 2.5), QStringLiteral("derived law"));
        }
        if (!entered.isEmpty()) {
            legend(QPen(pal.color(QPalette::PlaceholderText), 1.5, Qt::DashLine),
                   QStringLiteral("law in the parameter window"));
        }
    }

private:
    DerivedBondLaw m_derived;
    AnalysisParameters m_entered;
};

namespace {

enum Value { TauMax, SMax, Su, Gf, Pinf, Le };

QString masked(double value, std::string_view mask) {
    return std::isfinite(value) ? fromUtf8(FormatMask(value, mask)) : QStringLiteral("-");
}

} // namespace

ConcreteLawWindow::ConcreteLawWindow(QWidget& parameterWindow, const AnalysisParameters& params,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), m_parameterWindow(parameterWindow), m_params(params),
      m_store(ConcreteStoreOf(parameterWindow)) {
    setObjectName(QStringLiteral("ConcreteLaw"));
    setWindowTitle(QStringLiteral("Bond law from concrete"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_fc = new QLineEdit;
    m_fc->setObjectName(QStringLiteral("fc"));
    m_ft = new QLineEdit;
    m_ft->setObjectName(QStringLiteral("ft"));
    m_ft->setPlaceholderText(QStringLiteral("from fc′: 0.30·fc′^(2/3)"));
    m_model = new QComboBox;
    m_model->setObjectName(QStringLiteral("Model"));
    for (const BondSlipModelInfo& info : BondSlipModels()) {
        m_model->addItem(fromUtf8(info.title), fromUtf8(info.name));
    }
    auto* inputs = new QFormLayout;
    inputs->addRow(QStringLiteral("fc′, cylinder strength (MPa)"), m_fc);
    inputs->addRow(QStringLiteral("ft, tensile strength (MPa)"), m_ft);
    inputs->addRow(QStringLiteral("Bond-slip model"), m_model);

    m_plot = new LawPlot;

    auto* values = new QGridLayout;
    values->setHorizontalSpacing(12);
    const char* const symbols[] = {"τmax", "smax", "su", "Gf", "P∞", "Le"};
    const char* const names[] = {"tauMax", "sMax", "su", "Gf", "Pinf", "Le"};
    const char* const units[] = {"N/mm²", "mm", "mm", "N/mm", "N", "mm (97 % of P∞)"};
    for (int i = 0; i < 6; ++i) {
        m_values[i] = new QLabel;
        m_values[i]->setObjectName(QString::fromLatin1(names[i]));
        m_values[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_values[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_values[i]->setMinimumWidth(70);
        const int row = i % 3;
        const int column = (i / 3) * 3;
        values->addWidget(new QLabel(fromUtf8(symbols[i])), row, column);
        values->addWidget(m_values[i], row, column + 1);
        values->addWidget(new QLabel(fromUtf8(units[i])), row, column + 2);
    }
    values->setColumnMinimumWidth(3, 30);

    m_entered = new QLabel;
    m_entered->setObjectName(QStringLiteral("EnteredLaw"));
    m_entered->setWordWrap(true);
    m_note = new QLabel;
    m_note->setObjectName(QStringLiteral("Note"));
    m_note->setWordWrap(true);

    auto* buttons = new QDialogButtonBox;
    m_apply = buttons->addButton(QStringLiteral("&Apply to the parameter window"),
                                 QDialogButtonBox::ApplyRole);
    m_apply->setObjectName(QStringLiteral("Apply"));
    buttons->addButton(QDialogButtonBox::Close);
    connect(m_apply, &QPushButton::clicked, this, &ConcreteLawWindow::apply);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(inputs);
    layout->addWidget(m_plot, 1);
    layout->addLayout(values);
    layout->addWidget(m_entered);
    layout->addWidget(m_note);
    layout->addWidget(buttons);

    showStore();
    connect(m_fc, &QLineEdit::textEdited, this, &ConcreteLawWindow::inputEdited);
    connect(m_ft, &QLineEdit::textEdited, this, &ConcreteLawWindow::inputEdited);
    connect(m_model, &QComboBox::currentIndexChanged, this, &ConcreteLawWindow::recompute);
    connect(&m_store, &ConcreteStore::changed, this, &ConcreteLawWindow::showStore);
    recompute();
    resize(560, 560);
}

bool ConcreteLawWindow::event(QEvent* event) {
    // The parameter window's fields may have changed while this window was in the background.
    if (event->type() == QEvent::WindowActivate) {
        recompute();
    }
    return QWidget::event(event);
}

void ConcreteLawWindow::showStore() {
    const ConcreteInput& input = m_store.input();
    if (m_fc->text().toStdString() != input.fcText) {
        m_fc->setText(fromUtf8(input.fcText));
    }
    if (m_ft->text().toStdString() != input.ftText) {
        m_ft->setText(fromUtf8(input.ftText));
    }
    if (const std::optional<BondSlipModel> model = FindBondSlipModel(input.lawModel)) {
        m_model->setCurrentIndex(m_model->findData(fromUtf8(ModelInfo(*model).name)));
    }
    recompute();
}

void ConcreteLawWindow::inputEdited() {
    ConcreteInput input = m_store.input();
    input.fcText = m_fc->text().toStdString();
    input.ftText = m_ft->text().toStdString();
    m_store.setInput(input);
    recompute();
}

void ConcreteLawWindow::recompute() {
    const AnalysisParameters entered = ParametersFromFields(m_parameterWindow, m_params);
    const BondSlipModel model =
        BondSlipModels()[std::size_t(std::max(0, m_model->currentIndex()))].model;
    ConcreteStrength concrete;
    const ConcreteInput input{m_fc->text().toStdString(), m_ft->text().toStdString(), ""};
    std::optional<std::string> problem = ReadConcrete(input, concrete);
    m_law = DerivedBondLaw{};
    if (!problem) {
        m_law = DeriveBondLaw(model, concrete, entered);
        if (!m_law.ok) {
            problem = m_law.problem;
        }
    }
    const BondQuantities q = m_law.ok ? ComputeBondQuantities(WithDerivedLaw(entered, m_law))
                                      : ComputeBondQuantities(AnalysisParameters{});
    const double shown[] = {m_law.ok ? m_law.tauMax : NAN,
                            m_law.ok ? m_law.sMax : NAN,
                            m_law.ok ? m_law.su : NAN,
                            q.Gf,
                            q.Pinf,
                            q.Le};
    const char* const masks[] = {"0.000", "0.0000", "0.0000", "0.0000", "0.0", "0.0"};
    for (int i = 0; i < 6; ++i) {
        m_values[i]->setText(masked(shown[i], masks[i]));
    }
    const BondQuantities own = ComputeBondQuantities(entered);
    m_entered->setText(QStringLiteral("In the parameter window: τmax %1 N/mm², Gf %2 N/mm, "
                                      "P∞ %3 N.")
                           .arg(masked(entered.tauMax, "0.000"), masked(own.Gf, "0.0000"),
                                masked(own.Pinf, "0.0")));
    QString note;
    if (problem) {
        note = QStringLiteral("No law: ") + fromUtf8(*problem) + QStringLiteral(".");
    } else {
        note = QStringLiteral("ft ") + masked(concrete.ft, "0.000") +
               (concrete.ftDerived ? QStringLiteral(" MPa, from fc′ (EN 1992-1-1 Table 3.1).")
                                   : QStringLiteral(" MPa, as given."));
        const std::string_view modelNote = ModelInfo(model).note;
        if (!modelNote.empty()) {
            note += QStringLiteral(" Marked: ") + fromUtf8(modelNote) + QStringLiteral(".");
        }
        note += QStringLiteral("\nSource: ") + fromUtf8(ModelInfo(model).reference) +
                QStringLiteral(".");
    }
    m_note->setText(note);
    m_apply->setEnabled(m_law.ok);
    m_plot->setLaws(m_law, entered);
}

void ConcreteLawWindow::apply() {
    if (!m_law.ok) {
        return;
    }
    const BondSlipModel model =
        BondSlipModels()[std::size_t(std::max(0, m_model->currentIndex()))].model;
    m_store.applyLaw(m_parameterWindow, std::string(ModelInfo(model).name),
                     fromUtf8(LawFieldText(m_law.tauMax)), fromUtf8(LawFieldText(m_law.sMax)),
                     fromUtf8(LawFieldText(m_law.su)));
    recompute();
}

void OpenConcreteLawWindow(QWidget& parameterWindow, const AnalysisParameters& params) {
    if (auto* open = parameterWindow.findChild<ConcreteLawWindow*>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* window = new ConcreteLawWindow(parameterWindow, params, &parameterWindow);
    window->show();
}

} // namespace orvane
