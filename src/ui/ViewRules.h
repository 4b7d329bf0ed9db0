#pragma once

#include "engine/CameraSupervisor.h"
#include "engine/PostureState.h"
#include "model/Choices.h"
#include "model/DailyStats.h"
#include "model/Instant.h"
#include "model/Theme.h"

#include <QLocale>
#include <QString>

#include <optional>
#include <vector>

namespace backbeacon {

class LocalCalendar;

// What the panel, the calibration view and the Settings window show, as plain
// functions of the models' values, so every rule is checked without a display.

// The panel's headline: "Aligned", "Drifting forward", "Return to center", ...
// Drift counts as forward only above 0.6 of the threshold. Waiting and
// unavailable name the head source: "Waiting for camera".
QString headline(const PostureState& state, double driftFraction,
                 HeadSource source = HeadSource::headTracker);

// The Settings window's line under the head source while it is the camera:
// what the camera tool is doing, or why it is not running.
QString cameraStatusText(CameraSupervisor::Status status);

// The save button's caption: "Hold still" during a capture, else "Save Baseline
// Again" once a baseline exists, else "Save Baseline".
QString calibrationCaption(const PostureState& state, bool isComplete);

// Degrees as shown: rounded to the nearest whole number, halves away from zero;
// 0 for a figure that is not finite.
long long roundedDegrees(double degrees);

// The drift gauge's right-hand text: "7° leaning", "12° tilting right".
QString driftText(double combinedDegrees, const QString& directionLabel);

// A gauge's filled share: clamped to 0...1, 0 for not a number.
double gaugeFraction(double fraction);
// The gauge moves in steps of this much of its length.
inline constexpr double kGaugeStep = 0.05;
// The gauge value to show, given the one shown: kept while `gauge` stays
// within a step of it, so a tracker's jitter does not keep the bar's spring
// (and the panel's repaints) going; a real drift moves it at once. No drift
// and full drift show as they are.
double steadyGauge(double gauge, double shown);

// The sum of the last seven records (oldest first, today last), dated at the
// start of today, so it is scored like a single day.
DailyStats sevenDayTotal(const std::vector<DailyStats>& recentDays, Instant startOfToday);

// The panel's seven-day strip: accentBlue at 80 and above, mutedTeal from 50,
// badRed below; full opacity for a day with monitored time, 0.5 otherwise.
ColorComponents stripCellColor(int score);
double stripCellOpacity(const DailyStats& day);

// The Settings window's score colour (bars and day rows): goodGreen at 80 and
// above, warningYellow from 50, badRed below.
ColorComponents scoreColor(int score);
// A history bar: score / 100 × 70 points high but never under 8; full opacity
// for a day with monitored time, 0.25 otherwise.
double historyBarHeight(int score);
double historyBarOpacity(const DailyStats& day);

// Whole seconds below a minute ("59s"), whole minutes below an hour ("59m"),
// whole hours above ("1h"). Truncates toward zero; not a number reads "0s".
QString formatDuration(double seconds);

// "Measured 5m" for a day with monitored time, "No signal" otherwise.
QString measuredText(const DailyStats& day);

// The day rows' date ("Dec 6, 2026") and the bars' narrow weekday ("S"), in
// the user's locale, for the local day of `day.date`.
QString dayRowDate(const DailyStats& day, const LocalCalendar& calendar, const QLocale& locale);
QString narrowWeekday(const DailyStats& day, const LocalCalendar& calendar, const QLocale& locale);

// The Authorization row. No colour means the secondary text colour.
struct AuthorizationText {
    QString text;
    std::optional<ColorComponents> color;
    bool operator==(const AuthorizationText&) const = default;
};
AuthorizationText authorizationText(int status);

// "13° score" beside "Sensitivity", and the sentence under the slider.
QString sensitivityText(double degrees);
QString sensitivitySentence(double degrees);

// "Cancel Snooze" is offered only while a snooze ends after `now`.
bool snoozeLiesAhead(std::optional<Instant> snoozeUntil, Instant now);

} // namespace backbeacon
