#include "fit/FitFigure.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace orvane {

namespace {

std::string fourDigits(double value) {
    char text[32];
    return std::string(
        text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4).ptr);
}

// A bond quantity of the fit, or "not determined".
std::string quantity(const QuantityEstimate& e) {
    return e.determined ? fourDigits(e.value) : "not determined";
}

std::vector<std::string> caption(const BondLawFit& fit, const std::string& measuredName) {
    if (fit.parameters[0].text.empty()) {
        return {"measured: " + measuredName}; // nothing fitted yet
    }
    const bool yieldLaw = fit.model == BondModel::PerfectlyBilinear;
    const auto& p = fit.parameters;
    return {
        std::string(yieldLaw ? "Perfectly bi-linear law: τy = "
                             : "Bi-linear softening law: τmax = ") +
            p[0].text + " N/mm², " + (yieldLaw ? "sy = " : "smax = ") + p[1].text + " mm, su = " +
            p[2].text + " mm; RMSE " + fourDigits(fit.rmse) + " N, R² " + fourDigits(fit.r2),
        "Gf = " + quantity(fit.Gf) + " N/mm, P∞ = " + quantity(fit.Pinf) +
            " N, Le = " + quantity(fit.Le) + " mm; measured: " + measuredName,
    };
}

} // namespace

std::array<FigureData, 2> MakeFitFigures(const FitTarget& target, const BondLawFit& fit,
                                         const std::string& measuredName) {
    std::array<FigureData, 2> figures;

    FigureData& overlay = figures[0];
    overlay.title = "Measured and fitted load-slip curve";
    overlay.caption = caption(fit, measuredName);
    FigureCurve measured{"measured", false, true, 0, {}};
    double slipMax = 0;
    double loadMin = 0;
    double loadMax = 0;
    for (std::size_t i = 0; i < target.slip.size(); ++i) {
        measured.points.push_back({target.slip[i], target.load[i]});
        slipMax = std::max(slipMax, target.slip[i]);
        loadMin = std::min(loadMin, target.load[i]);
        loadMax = std::max(loadMax, target.load[i]);
    }
    FigureCurve model{"model", false, false, 0, {}};
    // The model's slips plus the seating offset, on the measured slips' scale.
    for (const CurvePoint& point : fit.modelPath) {
        model.points.push_back({point.sl + fit.seatingOffset, point.Pl});
        loadMax = std::max(loadMax, point.Pl);
    }
    if (!fit.modelPath.empty()) {
        // Beyond its largest slip the bond has failed.
        const double failure = fit.modelPath.back().sl + fit.seatingOffset;
        model.points.push_back({failure, 0});
        if (slipMax > failure) {
            model.points.push_back({slipMax, 0});
        }
        slipMax = std::max(slipMax, failure);
    }
    overlay.x = MakeFigureAxis("slip s (mm)", 0, slipMax);
    overlay.y = MakeFigureAxis("load P (N)", loadMin, loadMax);
    if (model.points.empty()) {
        overlay.title = "Measured load-slip curve";
        overlay.curves = {std::move(measured)};
    } else {
        overlay.curves = {std::move(model), std::move(measured)};
    }

    FigureData& law = figures[1];
    law.title = fit.modelPath.empty() ? "Bond-slip law of the data set" : "Fitted bond-slip law";
    const double tau = fit.params.tauMax;
    const double sMax = fit.params.sMax;
    const double su = fit.params.su;
    FigureCurve lawCurve;
    lawCurve.points = {{0, 0}, {sMax, tau}};
    if (fit.model == BondModel::PerfectlyBilinear) {
        lawCurve.points.push_back({su, tau});
    }
    lawCurve.points.push_back({std::max(su, sMax), 0});
    lawCurve.points.push_back({1.1 * std::max(su, sMax), 0});
    law.x = MakeFigureAxis("slip s (mm)", 0, 1.1 * std::max(su, sMax));
    law.y = MakeFigureAxis("bond stress τ (MPa)", 0, tau);
    law.curves = {std::move(lawCurve)};
    return figures;
}

FigureData MakeResidualFigure(const FitTarget& target, const BondLawFit& fit) {
    FigureData figure;
    figure.title = "Residuals: measured − model load";
    FigureCurve residuals{"residual", false, true, 0, {}};
    double slipMax = 0, low = 0, high = 0;
    for (std::size_t i = 0; i < target.slip.size() && i < fit.modelLoad.size(); ++i) {
        const double r = target.load[i] - fit.modelLoad[i];
        residuals.points.push_back({target.slip[i], r});
        slipMax = std::max(slipMax, target.slip[i]);
        low = std::min(low, r);
        high = std::max(high, r);
    }
    figure.x = MakeFigureAxis("slip s (mm)", 0, slipMax);
    figure.y = MakeFigureAxis("residual (N)", low, high);
    if (!residuals.points.empty()) {
        figure.curves = {FigureCurve{"zero", true, false, 0, {{0, 0}, {figure.x.max, 0}}},
                         std::move(residuals)};
    }
    return figure;
}

} // namespace orvane
