#pragma once

#include <QColor>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace backbeacon::testing {

// `top` painted at `opacity` (times its own alpha) over an opaque `under`.
inline QColor over(const QColor& top, const QColor& under, double opacity = 1) {
    const double a = top.alphaF() * opacity;
    const auto mix = [a](double t, double u) { return t * a + u * (1 - a); };
    return QColor::fromRgbF(float(mix(top.redF(), under.redF())),
                            float(mix(top.greenF(), under.greenF())),
                            float(mix(top.blueF(), under.blueF())));
}

// Whether red, green and blue each lie within `tolerance` (of 255) of the expected.
inline ::testing::AssertionResult near(const QColor& actual, const QColor& expected,
                                       double tolerance = 3) {
    const int off = std::max({std::abs(actual.red() - expected.red()),
                              std::abs(actual.green() - expected.green()),
                              std::abs(actual.blue() - expected.blue())});
    if (off <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << actual.name().toStdString() << " is not " << expected.name().toStdString();
}

} // namespace backbeacon::testing
