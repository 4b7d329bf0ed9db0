#include "ViewTheme.h"

#include "model/Theme.h"
#include "stats/CardCanvas.h"

#include <cmath>
#include <numbers>

namespace backbeacon {

namespace {

constexpr Spring kContentSpring{0.45, 0.85};
constexpr Spring kBarSpring{0.25, 0.95};

// QEasingCurve takes a plain function of progress, hence one per spring.
template <const Spring& spring> qreal springEasing(qreal progress) {
    if (progress >= 1) {
        return 1;
    }
    return spring.progress(progress * spring.durationMs() / 1000.0);
}

QEasingCurve curveOf(QEasingCurve::EasingFunction function) {
    QEasingCurve curve;
    curve.setCustomType(function);
    return curve;
}

} // namespace

int Spring::durationMs() const {
    const double omega = 2 * std::numbers::pi / response;
    const double decay = dampingFraction * omega;
    // The envelope's amplitude, 1 / sqrt(1 - ζ²), down to 0.001.
    const double amplitude = 1 / std::sqrt(1 - dampingFraction * dampingFraction);
    return static_cast<int>(std::ceil(std::log(amplitude / 0.001) / decay * 1000));
}

double Spring::progress(double seconds) const {
    const double omega = 2 * std::numbers::pi / response;
    const double decay = dampingFraction * omega;
    const double damped = omega * std::sqrt(1 - dampingFraction * dampingFraction);
    return 1 - std::exp(-decay * seconds) *
                   (std::cos(damped * seconds) + decay / damped * std::sin(damped * seconds));
}

ViewTheme::ViewTheme(QObject* parent)
    : QObject(parent), accentBlue(toQColor(Theme::accentBlue)),
      goodGreen(toQColor(Theme::goodGreen)), warningYellow(toQColor(Theme::warningYellow)),
      badOrange(toQColor(Theme::badOrange)), badRed(toQColor(Theme::badRed)),
      appBackground(toQColor(Theme::appBackground)),
      cardBackground(toQColor(Theme::cardBackground)), mutedTeal(toQColor(Theme::mutedTeal)),
      cardStroke(toQColor(Theme::cardStroke)), divider(toQColor(Theme::divider)),
      hoverBackground(toQColor(Theme::hoverBackground)),
      trackBackground(toQColor(Theme::trackBackground)), primaryText(toQColor(Theme::primaryText)),
      secondaryText(toQColor(Theme::secondaryText)), tertiaryText(toQColor(Theme::tertiaryText)),
      contentSpring(curveOf(&springEasing<kContentSpring>)),
      barSpring(curveOf(&springEasing<kBarSpring>)),
      contentSpringDuration(kContentSpring.durationMs()),
      barSpringDuration(kBarSpring.durationMs()) {}

} // namespace backbeacon
