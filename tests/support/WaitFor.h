#pragma once

#include <QTest>

namespace backbeacon::testing {

// Runs the event loop until `done` holds; false once `timeoutMs` has passed.
// Generous: on a loaded machine a daemon may take seconds to start or answer.
template <typename Done> bool waitFor(Done done, int timeoutMs = 10'000) {
    return QTest::qWaitFor(done, timeoutMs);
}

} // namespace backbeacon::testing
