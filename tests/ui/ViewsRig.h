#pragma once

#include "EngineRig.h"
#include "FakeProcessLauncher.h"
#include "engine/CameraSupervisor.h"
#include "model/RecordJson.h"
#include "ui/QuickViews.h"

#include <QDir>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <stdexcept>

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

// The item named `name` under `root`, failing the test at once when missing.
inline QQuickItem* must(QQuickItem* root, const QString& name) {
    auto* item = root->findChild<QQuickItem*>(name);
    if (!item) {
        ADD_FAILURE() << "no item named " << name.toStdString();
        throw std::runtime_error("missing item");
    }
    return item;
}

inline QPoint scenePoint(QQuickItem* item, QPointF local) {
    const QPointF scene = item->mapToScene(local);
    return {int(std::floor(scene.x())), int(std::floor(scene.y()))};
}

inline QPoint centre(QQuickItem* item) {
    return scenePoint(item, {item->width() / 2, item->height() / 2});
}

// The views shown offscreen, drawn in software so that pictures come out the
// same on every machine; animations off unless a test drives them.
class ViewsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { QQuickWindow::setGraphicsApi(QSGRendererInterface::Software); }

    // Renders the window, which also lays it out.
    static QImage render(QQuickWindow* window) {
        QCoreApplication::processEvents();
        return window->grabWindow();
    }
    // Renders the window and keeps the picture.
    static QImage shoot(QQuickWindow* window, const QString& name) {
        QImage image = render(window);
        QDir().mkpath(QStringLiteral(BACKBEACON_SCREENSHOT_DIR));
        image.save(QStringLiteral(BACKBEACON_SCREENSHOT_DIR "/%1.png").arg(name));
        return image;
    }
    static QQuickWindow* openPanel(ViewsRig& rig) {
        rig.views.showPanel(QRect());
        rig.views.viewModel()->setAnimationsEnabled(false);
        return rig.views.panelWindow();
    }
    static QQuickWindow* openSettings(ViewsRig& rig) {
        rig.views.showSettingsWindow();
        rig.views.viewModel()->setAnimationsEnabled(false);
        return rig.views.settingsWindow();
    }
    static void click(QQuickWindow* window, QQuickItem* item) {
        QTest::mouseClick(window, Qt::LeftButton, {}, centre(item));
    }
};

} // namespace backbeacon::testing
