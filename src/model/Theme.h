#pragma once

namespace backbeacon {

// sRGB components 0...1. Plain values so drawing code and non-visual code (the
// insights' colour choices) share one set of numbers.
struct ColorComponents {
    double red = 0;
    double green = 0;
    double blue = 0;
    double opacity = 1;

    constexpr bool operator==(const ColorComponents&) const = default;
};

// The named colours of the palette.
namespace Theme {
inline constexpr ColorComponents accentBlue{0.27, 0.53, 0.60};
inline constexpr ColorComponents goodGreen{0.36, 0.58, 0.64};
inline constexpr ColorComponents warningYellow{0.88, 0.62, 0.33};
inline constexpr ColorComponents badOrange{0.90, 0.34, 0.18};
inline constexpr ColorComponents badRed{0.78, 0.18, 0.16};
inline constexpr ColorComponents appBackground{0.965, 0.952, 0.925};
inline constexpr ColorComponents cardBackground{0.985, 0.980, 0.958};
inline constexpr ColorComponents mutedTeal{0.57, 0.70, 0.72};
inline constexpr ColorComponents cardStroke{0, 0, 0, 0.095};
inline constexpr ColorComponents divider{0, 0, 0, 0.08};
inline constexpr ColorComponents hoverBackground{0, 0, 0, 0.045};
inline constexpr ColorComponents trackBackground{0, 0, 0, 0.075};
// Text on the insight card and in the views, which are always light.
inline constexpr ColorComponents primaryText{0.13, 0.16, 0.18};
inline constexpr ColorComponents secondaryText{0.42, 0.43, 0.43};
inline constexpr ColorComponents tertiaryText{0.60, 0.61, 0.61};

// The drift ramp: goodGreen on the baseline, warningYellow at 0.7 of the alert
// threshold, badRed from the threshold on. Not a number counts as full drift,
// so a broken figure never looks reassuring.
ColorComponents driftColorComponents(double fraction);
} // namespace Theme

} // namespace backbeacon
