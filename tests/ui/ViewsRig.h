#pragma once

#include "EngineRig.h"
#include "FakeProcessLauncher.h"
#include "engine/CameraSupervisor.h"
#include "model/RecordJson.h"
#include "ui/QuickViews.h"

#include <span>

namespace backbeacon::testing {

// The views over the real models, with stored days and a motion source driven
// in virtual time.
struct ViewsRig {
    static constexpr double kDay = 86400;

    // `pastDays` stored days before today, oldest first, each with 600 s of
    // monitoring of which `slouched` seconds out of line; a day given a
    // negative figure has no monitored time at all.
    static StatsStorage::Loaded storedDays(const std::vector<double>& slouched) {
        const LocalCalendar calendar{QTimeZone::utc()};
        const Instant today = calendar.startOfDay(VirtualTime().now());
        std::vector<DailyStats> days;
        const auto count = static_cast<double>(slouched.size());
        for (std::size_t i = 0; i < slouched.size(); ++i) {
            DailyStats day = DailyStats::freshDay(today - (count - double(i)) * kDay);
            if (slouched[i] >= 0) {
                day.monitoredSeconds = 600;
                day.slouchedSeconds = slouched[i];
                day.slouches = static_cast<std::int64_t>(i % 4);
                day.fixes = static_cast<std::int64_t>(i % 3);
            }
            days.push_back(day);
        }
        if (days.empty()) {
            return {};
        }
        return {StatsStorage::Loaded::Outcome::read,
                *json::encode(std::span<const DailyStats>(days))};
    }

    explicit ViewsRig(const std::vector<double>& slouched = {}) : engine(storedDays(slouched)) {}

    EngineRig engine;
    FakeProcessLauncher launcher;
    CameraSupervisor camera{engine.settings, launcher, engine.time.clock(), engine.time,
                            QStringLiteral("backbeacon-camera")};
    QuickViews views{{engine.settings, engine.stats, *engine.monitor, engine.notifications,
                      engine.time.clock(), engine.time, engine.calendar, camera}};
};

} // namespace backbeacon::testing
