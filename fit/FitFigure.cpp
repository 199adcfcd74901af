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

const std::vector<CurvePoint>& modelPathOf(const BondLawFit& fit, std::size_t k) {
    static const std::vector<CurvePoint> none;
    return k < fit.specimens.size() ? fit.specimens[k].modelPath : k == 0 ? fit.modelPath : none;
}

const std::vector<double>& modelLoadOf(const BondLawFit& fit, std::size_t k) {
    static const std::vector<double> none;
    return k < fit.specimens.size() ? fit.specimens[k].modelLoad : k == 0 ? fit.modelLoad : none;
}

// A single curve keeps the run figures' colours and plain labels; the specimens of a series
// take a palette colour each and their names.
std::string labelOf(const std::vector<FitSpecimen>& specimens, std::size_t k,
                    const std::string& what) {
    return specimens.size() > 1 ? specimens[k].name + " " + what : what;
}

int colourOf(const std::vector<FitSpecimen>& specimens, std::size_t k) {
    return specimens.size() > 1 ? int(k) + 1 : 0;
}

} // namespace

std::array<FigureData, 2> MakeFitFigures(const FitTarget& target, const BondLawFit& fit,
                                         const std::string& measuredName) {
    return MakeFitFigures(std::vector<FitSpecimen>{{measuredName, target, {}, {}}}, fit);
}

FigureData MakeResidualFigure(const FitTarget& target, const BondLawFit& fit) {
    return MakeResidualFigure(std::vector<FitSpecimen>{{"", target, {}, {}}}, fit);
}

std::array<FigureData, 2> MakeFitFigures(const std::vector<FitSpecimen>& specimens,
                                         const BondLawFit& fit) {
    std::array<FigureData, 2> figures;

    std::string measuredName;
    for (const FitSpecimen& specimen : specimens) {
        measuredName += (measuredName.empty() ? "" : ", ") + specimen.name;
    }
    FigureData& overlay = figures[0];
    overlay.title = "Measured and fitted load-slip curve";
    overlay.caption = caption(fit, measuredName);
    double slipMax = 0;
    double loadMin = 0;
    double loadMax = 0;
    std::vector<FigureCurve> measuredCurves, modelCurves;
    for (std::size_t k = 0; k < specimens.size(); ++k) {
        const FitTarget& target = specimens[k].target;
        FigureCurve measured{
            labelOf(specimens, k, "measured"), false, true, colourOf(specimens, k), {}};
        for (std::size_t i = 0; i < target.slip.size(); ++i) {
            measured.points.push_back({target.slip[i], target.load[i]});
            slipMax = std::max(slipMax, target.slip[i]);
            loadMin = std::min(loadMin, target.load[i]);
            loadMax = std::max(loadMax, target.load[i]);
        }
        measuredCurves.push_back(std::move(measured));
        const std::vector<CurvePoint>& path = modelPathOf(fit, k);
        if (path.empty()) {
            continue;
        }
        FigureCurve model{labelOf(specimens, k, "model"), false, false, colourOf(specimens, k), {}};
        // The model's slips plus the specimen's seating offset, on the measured slips' scale.
        const double offset =
            k < fit.specimens.size() ? fit.specimens[k].seatingOffset : fit.seatingOffset;
        for (const CurvePoint& point : path) {
            model.points.push_back({point.sl + offset, point.Pl});
            loadMax = std::max(loadMax, point.Pl);
        }
        // Beyond its largest slip the bond has failed.
        const double failure = path.back().sl + offset;
        model.points.push_back({failure, 0});
        const double lastMeasured = *std::max_element(target.slip.begin(), target.slip.end());
        if (lastMeasured > failure) {
            model.points.push_back({lastMeasured, 0});
        }
        slipMax = std::max(slipMax, failure);
        modelCurves.push_back(std::move(model));
    }
    overlay.x = MakeFigureAxis("slip s (mm)", 0, slipMax);
    overlay.y = MakeFigureAxis("load P (N)", loadMin, loadMax);
    if (modelCurves.empty()) {
        overlay.title = "Measured load-slip curve";
    }
    overlay.curves = std::move(modelCurves);
    for (FigureCurve& measured : measuredCurves) {
        overlay.curves.push_back(std::move(measured));
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

FigureData MakeResidualFigure(const std::vector<FitSpecimen>& specimens, const BondLawFit& fit) {
    FigureData figure;
    figure.title = "Residuals: measured − model load";
    std::vector<FigureCurve> curves;
    double slipMax = 0, low = 0, high = 0;
    for (std::size_t k = 0; k < specimens.size(); ++k) {
        const FitTarget& target = specimens[k].target;
        const std::vector<double>& modelLoad = modelLoadOf(fit, k);
        FigureCurve residuals{
            labelOf(specimens, k, "residual"), false, true, colourOf(specimens, k), {}};
        for (std::size_t i = 0; i < target.slip.size() && i < modelLoad.size(); ++i) {
            const double r = target.load[i] - modelLoad[i];
            residuals.points.push_back({target.slip[i], r});
            slipMax = std::max(slipMax, target.slip[i]);
            low = std::min(low, r);
            high = std::max(high, r);
        }
        if (!residuals.points.empty()) {
            curves.push_back(std::move(residuals));
        }
    }
    figure.x = MakeFigureAxis("slip s (mm)", 0, slipMax);
    figure.y = MakeFigureAxis("residual (N)", low, high);
    if (!curves.empty()) {
        figure.curves = {FigureCurve{"zero", true, false, 0, {{0, 0}, {figure.x.max, 0}}}};
        figure.curves.front().reference = true;
        for (FigureCurve& curve : curves) {
            figure.curves.push_back(std::move(curve));
        }
    }
    return figure;
}

} // namespace orvane
