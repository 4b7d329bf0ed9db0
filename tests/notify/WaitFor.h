#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace backbeacon::testing {

// Runs the event loop until `done` holds or `timeoutMs` has passed; false on
// timeout. Wakes for every event, and at least every 20 ms to look again.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 10'000) {
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(20);
    QEventLoop loop;
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace backbeacon::testing
