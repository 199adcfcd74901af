#include "core/results/RunFigure.h"

#include "core/engine/BondQuantities.h"
#include "core/numtext/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace orvane {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool endsWith(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    return std::equal(end.begin(), end.end(), text.end() - end.size(),
                      [](char a, char b) { return lower(a) == lower(b); });
}

std::string_view kindSuffix(FigureKind kind) {
    switch (kind) {
    case FigureKind::TauSlip:
        return "-tau-slip";
    case FigureKind::LoadSlip:
        return "-load-slip";
    case FigureKind::Distribution:
        break;
    }
    return "-distribution";
}

// The text of a tick: fixed point with the decimals the step needs, -0 written as 0.
std::string tickText(double value, int decimals) {
    if (value == 0) {
        value = 0;
    }
    char text[400];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, end.ptr);
}

std::string single(float value) {
    return SingleToText(value);
}

std::vector<std::string> caption(const RunRecord& record) {
    const AnalysisParameters& p = record.params;
    const bool yield = p.bondModel == BondModel::PerfectlyBilinear;
    std::string inputs = yield ? "perfectly bi-linear, τy = " : "bi-linear softening, τmax = ";
    inputs += single(p.tauMax) + " N/mm², " + (yield ? "sy = " : "smax = ") + single(p.sMax) +
              " mm, su = " + single(p.su) + " mm, lb = " + single(p.lb) +
              " mm, Δl = " + single(p.dl) + " mm, b = " + single(p.b) +
              " mm, tf = " + single(p.tf) + " mm, Ef = " + single(p.Ef) + " N/mm²";
    if (!record.steps.empty()) {
        inputs += ", Pbumax = " + FormatMask(record.steps.back().Pbumax, "0.0") + " N";
    }
    return {p.comment, inputs};
}

} // namespace

std::optional<FigureFormat> FigureFormatOf(std::string_view path) {
    if (endsWith(path, ".png")) {
        return FigureFormat::Png;
    }
    if (endsWith(path, ".svg")) {
        return FigureFormat::Svg;
    }
    if (endsWith(path, ".pdf")) {
        return FigureFormat::Pdf;
    }
    return std::nullopt;
}

std::string FigureFileName(std::string_view path, FigureKind kind) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    const std::size_t stemEnd =
        dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)
            ? dot
            : path.size();
    return std::string(path.substr(0, stemEnd)) + std::string(kindSuffix(kind)) +
           std::string(path.substr(stemEnd));
}

FigureAxis MakeFigureAxis(std::string title, double low, double high, int maxIntervals) {
    low = std::min(low, 0.0);
    high = std::max(high, 0.0);
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = 0;
        high = 1;
    }
    if (high - low <= 0) {
        high = low + 1;
    }
    // The finest step of 1, 2 or 5 times a power of ten that needs no more intervals than
    // allowed.
    maxIntervals = std::max(maxIntervals, 1);
    double power = std::pow(10.0, std::floor(std::log10((high - low) / maxIntervals)));
    double step = power;
    for (int k = 0;; ++k) {
        step = power * (k % 3 == 0 ? 1 : k % 3 == 1 ? 2 : 5);
        if (std::ceil(high / step - 1e-9) - std::floor(low / step + 1e-9) <= maxIntervals) {
            break;
        }
        if (k % 3 == 2) {
            power *= 10;
        }
    }
    FigureAxis axis{std::move(title),
                    std::floor(low / step + 1e-9) * step,
                    std::ceil(high / step - 1e-9) * step,
                    step,
                    {},
                    {}};
    const int decimals = std::max(0, -int(std::floor(std::log10(step) + 1e-9)));
    const long long first = std::llround(axis.min / step);
    const long long last = std::llround(axis.max / step);
    for (long long k = first; k <= last; ++k) {
        axis.ticks.push_back(double(k) * step);
        axis.tickTexts.push_back(tickText(double(k) * step, decimals));
    }
    return axis;
}

FigureData MakeFigure(const RunRecord& record, FigureKind kind) {
    FigureData figure;
    figure.caption = caption(record);
    std::string xTitle = "slip s (mm)";
    std::string yTitle;
    switch (kind) {
    case FigureKind::TauSlip:
    case FigureKind::LoadSlip: {
        const bool load = kind == FigureKind::LoadSlip;
        figure.title =
            load ? "Load against loaded-end slip" : "Average bond stress against loaded-end slip";
        yTitle = load ? "load P (N)" : "average bond stress τ (MPa)";
        FigureCurve& curve = figure.curves.emplace_back();
        for (const StepResult& r : record.steps) {
            curve.points.push_back({r.sl, load ? r.Pl : r.totalTau});
        }
        break;
    }
    case FigureKind::Distribution:
        figure.title = "Bond stress along the bond";
        xTitle = "position x (mm)";
        yTitle = "bond stress τ (MPa)";
        for (const RecordedDistribution* d : {&record.peak, &record.last}) {
            if (d->step == 0 || (d == &record.last && d->step == record.peak.step)) {
                continue;
            }
            FigureCurve& curve = figure.curves.emplace_back();
            curve.label = (d == &record.peak ? "peak load, step " : "last step, step ") +
                          std::to_string(d->step);
            curve.dashed = d == &record.last;
            for (const ElementResult& e : d->elements) {
                curve.points.push_back({e.x, e.tau});
            }
        }
        break;
    }
    constexpr double kNone = std::numeric_limits<double>::infinity();
    double xLow = kNone, xHigh = -kNone, yLow = kNone, yHigh = -kNone;
    for (const FigureCurve& curve : figure.curves) {
        for (const FigurePoint& point : curve.points) {
            xLow = std::min(xLow, point.x);
            xHigh = std::max(xHigh, point.x);
            yLow = std::min(yLow, point.y);
            yHigh = std::max(yHigh, point.y);
        }
    }
    if (kind == FigureKind::Distribution) {
        // The whole bond and the law's peak, whatever the stresses of the steps shown.
        xHigh = std::max(xHigh, record.n * double(record.params.dl));
        yHigh = std::max(yHigh, double(record.params.tauMax));
    }
    // The closed-form load of a long bond, as the Bond summary gives it: a short bond stays
    // below it, a long one levels off at it.
    const double Pinf = kind == FigureKind::LoadSlip ? ComputeBondQuantities(record.params).Pinf
                                                     : std::numeric_limits<double>::quiet_NaN();
    const bool markPinf = std::isfinite(Pinf) && Pinf > 0;
    if (markPinf) {
        yHigh = std::max(yHigh, Pinf);
    }
    figure.x = MakeFigureAxis(std::move(xTitle), xLow, xHigh);
    figure.y = MakeFigureAxis(std::move(yTitle), yLow, yHigh);
    if (markPinf) {
        FigureCurve line{{}, true, false, 0, {{figure.x.min, Pinf}, {figure.x.max, Pinf}}};
        line.reference = true;
        line.note = "P∞ = " + FormatMask(Pinf, "0.0") + " N";
        figure.curves.insert(figure.curves.begin(), std::move(line));
    }
    return figure;
}

} // namespace orvane
