#pragma once

#include "model/Instant.h"

#include <QMetaType>
#include <QObject>

namespace backbeacon {

// What the monitor is doing with the head it sees. `bad` carries the start of
// the out-of-line streak, `snoozed` the end of the pause; two states are equal
// when their kinds are, and for those two also their dates.
class PostureState {
    Q_GADGET
    Q_PROPERTY(Kind kind READ kind)
    Q_PROPERTY(double dateUnixSeconds READ dateUnixSeconds)

public:
    enum class Kind {
        bad,
        snoozed,
        idle,
        unavailable,
        waitingForAirPods,
        needsCalibration,
        capturing,
        good
    };
    Q_ENUM(Kind)

    constexpr PostureState() = default;
    static constexpr PostureState bad(Instant since) { return {Kind::bad, since}; }
    static constexpr PostureState snoozed(Instant until) { return {Kind::snoozed, until}; }
    static constexpr PostureState idle() { return {Kind::idle}; }
    static constexpr PostureState unavailable() { return {Kind::unavailable}; }
    static constexpr PostureState waitingForAirPods() { return {Kind::waitingForAirPods}; }
    static constexpr PostureState needsCalibration() { return {Kind::needsCalibration}; }
    static constexpr PostureState capturing() { return {Kind::capturing}; }
    static constexpr PostureState good() { return {Kind::good}; }

    constexpr Kind kind() const { return m_kind; }
    constexpr bool is(Kind kind) const { return m_kind == kind; }
    // The streak's start for `bad`, the pause's end for `snoozed`.
    constexpr Instant date() const { return m_date; }
    double dateUnixSeconds() const { return m_date.unixSeconds(); }

    constexpr bool operator==(const PostureState& other) const {
        return m_kind == other.m_kind &&
               ((m_kind != Kind::bad && m_kind != Kind::snoozed) || m_date == other.m_date);
    }

private:
    constexpr PostureState(Kind kind, Instant date = {}) : m_kind(kind), m_date(date) {}

    Kind m_kind = Kind::idle;
    Instant m_date;
};

} // namespace backbeacon

Q_DECLARE_METATYPE(backbeacon::PostureState)
