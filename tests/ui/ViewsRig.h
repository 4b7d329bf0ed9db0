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
    // Stored days up to yesterday, oldest first, each with 600 s of monitoring
    // of which `slouched` seconds out of line and 0 to 3 slouches; a negative
    // figure, none at all.
    static StatsStorage::Loaded storedDays(const std::vector<double>& slouched) {
        const Instant today = LocalCalendar{QTimeZone::utc()}.startOfDay(VirtualTime().now());
        std::vector<DailyStats> days;
        for (std::size_t i = 0; i < slouched.size(); ++i) {
            const Instant date = today - double(slouched.size() - i) * 86400;
            days.push_back(slouched[i] < 0
                               ? DailyStats{date}
                               : DailyStats{date, 600, slouched[i], std::int64_t(i % 4)});
        }
        return {StatsStorage::Loaded::Outcome::read,
                *json::encode(std::span<const DailyStats>(days))};
    }

    explicit ViewsRig(const std::vector<double>& slouched = {}) : engine(storedDays(slouched)) {}

    // A saved baseline without a running monitor: the monitor view, nothing measured.
    void keepBaseline() { engine.settings.setGoodPosture(PosturePoint(0, 0, engine.time.now())); }

    EngineRig engine;
    FakeProcessLauncher launcher;
    CameraSupervisor camera{engine.settings, launcher, engine.time.clock(), engine.time,
                            QStringLiteral("backbeacon-camera")};
    ViewModel::Models models{
        engine.settings,     engine.stats, *engine.monitor, engine.notifications,
        engine.time.clock(), engine.time,  engine.calendar, camera};
    QuickViews views{models};
};

} // namespace backbeacon::testing
