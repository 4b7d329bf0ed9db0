#pragma once

#include "FakeLoginItem.h"
#include "FakeNotificationCenter.h"
#include "FakeStatsStorage.h"
#include "ScriptedMotionManager.h"
#include "VirtualTime.h"
#include "engine/PostureMonitor.h"
#include "model/AppSettings.h"
#include "model/MemoryPreferences.h"
#include "notify/NotificationManager.h"
#include "stats/StatisticsStore.h"

#include <QTimeZone>

#include <memory>

namespace backbeacon::testing {

constexpr double radians(double degrees) {
    return degrees * 3.141592653589793 / 180.0;
}

// The engine with its real collaborators over in-memory storage, a scripted
// motion source, a recording notification center and virtual time.
struct EngineRig {
    EngineRig() = default;
    // Starts from a statistics file holding `stored`.
    explicit EngineRig(StatsStorage::Loaded stored) : storage(std::move(stored)) {}

    VirtualTime time;
    MemoryPreferences preferences;
    FakeLoginItem loginItem;
    AppSettings settings{preferences, loginItem, time.clock()};
    FakeStatsStorage storage;
    LocalCalendar calendar{QTimeZone::utc()};
    StatisticsStore stats{storage, time.clock(), calendar};
    FakeNotificationCenter center;
    NotificationManager notifications{settings, center, time.clock()};
    ScriptedMotionManager motion;
    std::unique_ptr<PostureMonitor> monitor = std::make_unique<PostureMonitor>(
        settings, stats, notifications, motion, time.clock(), time);

    // Moves time on by `seconds`, then delivers a head orientation in degrees.
    void sampleAfter(double seconds, double pitchDegrees, double rollDegrees = 0) {
        time.advance(seconds);
        motion.deliver(radians(pitchDegrees), radians(rollDegrees));
    }
    // Holds the head still every `step` seconds for `duration` seconds.
    void hold(double pitchDegrees, double rollDegrees, double duration, double step = 0.1) {
        for (double t = 0; t < duration - 1e-9; t += step) {
            sampleAfter(step, pitchDegrees, rollDegrees);
        }
    }
    // Starts the monitor and lets the first reconnect window adopt a level
    // head as the baseline.
    void startCalibrated() {
        monitor->start();
        motion.deliver(0, 0);
        hold(0, 0, PostureMonitor::kReconnectWindow + 0.2);
    }
    std::size_t alertsShown() const { return center.requests.size(); }
};

} // namespace backbeacon::testing
