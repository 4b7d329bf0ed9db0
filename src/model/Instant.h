#pragma once

#include <compare>
#include <limits>

namespace backbeacon {

// A point in time as seconds since 2001-01-01T00:00:00Z, the reference instant
// our records are stored against. Keeping that reference in memory means a date
// survives a trip through the statistics file bit for bit.
class Instant {
public:
    // Seconds from 1970-01-01T00:00:00Z to 2001-01-01T00:00:00Z.
    static constexpr double kUnixOffset = 978307200.0;

    constexpr Instant() = default;

    static constexpr Instant fromReferenceSeconds(double seconds) { return Instant(seconds); }
    static constexpr Instant fromUnixSeconds(double seconds) {
        return Instant(seconds - kUnixOffset);
    }
    // Earliest meaningful instant (0001-01-01): "a save is due at once".
    static constexpr Instant distantPast() { return Instant(-63114076800.0); }

    constexpr double referenceSeconds() const { return m_seconds; }
    constexpr double unixSeconds() const { return m_seconds + kUnixOffset; }

    constexpr Instant operator+(double seconds) const { return Instant(m_seconds + seconds); }
    constexpr Instant operator-(double seconds) const { return Instant(m_seconds - seconds); }
    constexpr double operator-(Instant other) const { return m_seconds - other.m_seconds; }

    constexpr auto operator<=>(const Instant&) const = default;

private:
    constexpr explicit Instant(double seconds) : m_seconds(seconds) {}
    double m_seconds = 0.0;
};

} // namespace backbeacon
