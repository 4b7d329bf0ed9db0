#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QObject>

namespace backbeacon {

// The palette and the motion of the views, handed to QML as `theme`, so the
// colours come from the one palette in model/Theme.h.
class ViewTheme final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor accentBlue MEMBER accentBlue CONSTANT)
    Q_PROPERTY(QColor goodGreen MEMBER goodGreen CONSTANT)
    Q_PROPERTY(QColor warningYellow MEMBER warningYellow CONSTANT)
    Q_PROPERTY(QColor badOrange MEMBER badOrange CONSTANT)
    Q_PROPERTY(QColor badRed MEMBER badRed CONSTANT)
    Q_PROPERTY(QColor appBackground MEMBER appBackground CONSTANT)
    Q_PROPERTY(QColor cardBackground MEMBER cardBackground CONSTANT)
    Q_PROPERTY(QColor mutedTeal MEMBER mutedTeal CONSTANT)
    Q_PROPERTY(QColor cardStroke MEMBER cardStroke CONSTANT)
    Q_PROPERTY(QColor divider MEMBER divider CONSTANT)
    Q_PROPERTY(QColor hoverBackground MEMBER hoverBackground CONSTANT)
    Q_PROPERTY(QColor trackBackground MEMBER trackBackground CONSTANT)
    Q_PROPERTY(QColor primaryText MEMBER primaryText CONSTANT)
    Q_PROPERTY(QColor secondaryText MEMBER secondaryText CONSTANT)
    Q_PROPERTY(QColor tertiaryText MEMBER tertiaryText CONSTANT)
    // The swap between the calibration and the monitor view, and state changes.
    Q_PROPERTY(QEasingCurve contentSpring MEMBER contentSpring CONSTANT)
    Q_PROPERTY(int contentSpringDuration MEMBER contentSpringDuration CONSTANT)
    // Gauge bars following their figure.
    Q_PROPERTY(QEasingCurve barSpring MEMBER barSpring CONSTANT)
    Q_PROPERTY(int barSpringDuration MEMBER barSpringDuration CONSTANT)

public:
    explicit ViewTheme(QObject* parent = nullptr);

    QColor accentBlue, goodGreen, warningYellow, badOrange, badRed, appBackground, cardBackground,
        mutedTeal, cardStroke, divider, hoverBackground, trackBackground, primaryText,
        secondaryText, tertiaryText;
    QEasingCurve contentSpring, barSpring;
    int contentSpringDuration = 0;
    int barSpringDuration = 0;
};

// A damped spring released from 0 towards 1, as progress over `durationMs`:
// `response` is the undamped period in seconds and `dampingFraction` the share
// of critical damping (below 1). The duration returned lets the motion settle
// to within 0.1 % before the animation ends on exactly 1.
struct Spring {
    double response;
    double dampingFraction;
    int durationMs() const;
    double progress(double seconds) const;
};

} // namespace backbeacon
