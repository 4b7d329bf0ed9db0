#pragma once

#include "model/Clock.h"

#include <QDateTime>

namespace backbeacon::testing {

// A clock that only moves when a test moves it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Instant start = Instant::fromUnixSeconds(1'780'000'000.0))
        : m_now(start) {}

    Instant now() const override { return m_now; }
    void set(Instant instant) { m_now = instant; }
    void advance(double seconds) { m_now = m_now + seconds; }

private:
    Instant m_now;
};

// The instant written as `text`: ISO 8601 with an offset or Z.
inline Instant at(const char* text) {
    const QDateTime time = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    if (!time.isValid()) {
        qFatal("not an ISO 8601 instant: %s", text);
    }
    return Instant::fromUnixSeconds(static_cast<double>(time.toMSecsSinceEpoch()) / 1000.0);
}

} // namespace backbeacon::testing
