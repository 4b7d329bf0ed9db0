#include "ui/ViewModel.h"

#include "ViewsRig.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <deque>

namespace backbeacon::testing {
namespace {

struct ModelRig : ViewsRig {
    using ViewsRig::ViewsRig;
    ViewModel model{models};
};

// Counts the view model's announcements whose signal starts with `prefix`.
struct Announcements {
    explicit Announcements(ViewModel& model) {
        const QMetaObject& meta = ViewModel::staticMetaObject;
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            if (meta.property(i).hasNotifySignal()) {
                m_spies.emplace_back(&model, meta.property(i).notifySignal());
            }
        }
    }
    int of(const char* prefix = "") const {
        int sum = 0, known = 0;
        for (const QSignalSpy& spy : m_spies) {
            known += spy.signal().startsWith(prefix);
            sum += spy.signal().startsWith(prefix) ? int(spy.count()) : 0;
        }
        EXPECT_GT(known, 0) << "no signal " << prefix;
        return sum;
    }
    std::deque<QSignalSpy> m_spies;
};

// The monitor reports every sample and the statistics every tick; the views
// hear only of what they show changing. A steady head at 50 Hz moves nothing
// but today's measured time, which reads in whole seconds for the first
// minute and in whole minutes afterwards.
TEST(ViewModelTest, FiguresAreAnnouncedOnlyAsTheyShowAndFollowAtThePanelsPace) {
    ModelRig rig;
    rig.engine.settings.setSensitivityDegrees(20);
    rig.engine.startCalibrated();
    rig.engine.hold(0, 0, 1.0, 0.02);
    Announcements heard(rig.model);
    rig.engine.hold(0, 0, 30.0, 0.02);
    EXPECT_GE(heard.of("historyRowsChanged"), 28);
    EXPECT_LE(heard.of(), 31) << "more than one announcement per shown second";
    EXPECT_EQ(heard.of("headline") + heard.of("driftText") + heard.of("weekScore"), 0);
    rig.engine.hold(0, 0, 60.0, 0.02);
    const int before = heard.of();
    rig.engine.hold(0, 0, 300.0, 0.02);
    EXPECT_GE(heard.of() - before, 4);
    EXPECT_LE(heard.of() - before, 6) << "more than one announcement per shown minute";

    // The live figures follow at the panel's pace: a change of state at once,
    // the drift within one interval; a jittering head leaves the gauge where it is.
    rig.engine.time.advance(ViewModel::kLiveFigureInterval);
    QSignalSpy gauge(&rig.model, &ViewModel::driftGaugeChanged);
    const double jitter[] = {0.3, -0.5, 0.6, 0.1, -0.6, 0.4, 0.5, -0.2};
    for (int i = 0; i < 500; ++i) {
        rig.engine.sampleAfter(0.02, jitter[i % 8], jitter[(i + 5) % 8]);
    }
    EXPECT_EQ(gauge.count(), 0);
    rig.engine.time.advance(ViewModel::kLiveFigureInterval);
    const QString shown = rig.model.driftText();
    rig.engine.sampleAfter(0.02, 12);
    EXPECT_EQ(rig.model.driftText(), shown) << "before the interval is up";
    rig.engine.time.advance(ViewModel::kLiveFigureInterval);
    EXPECT_EQ(rig.model.driftText(), "12° toward bad posture");
    EXPECT_NEAR(rig.model.driftGauge(), 0.6, 1e-9);
    rig.engine.sampleAfter(0.02, 25);
    EXPECT_EQ(rig.model.headline(), "Return to center") << "a new state shows at once";
    EXPECT_EQ(rig.model.driftGauge(), 1.0);
}

// Past days hold 3000 s monitored and 1422 s out of line (53 %). An hour of
// good posture today makes it 1422 of 6600 s (78 %), and every figure of the
// week and of today follows without waiting for a slouch or a new day.
TEST(ViewModelTest, AnHourOfGoodPostureMovesTheWeeksFigures) {
    ModelRig rig({300, 300, 300, 300, 222});
    rig.engine.startCalibrated();
    EXPECT_EQ(rig.model.weekScore(), 53);
    EXPECT_EQ(rig.model.weekBadTime(), "23m");
    rig.engine.hold(0, 0, 3600.0 - rig.engine.stats.today().monitoredSeconds, 0.1);
    EXPECT_EQ(std::tuple(rig.model.weekScore(), rig.model.weekBadTime(), rig.model.weekSlouches()),
              std::tuple(78, QString("23m"), 0 + 1 + 2 + 3 + 0));
    const QVariantMap today = rig.model.historyRows().value(0).toMap();
    EXPECT_EQ(today["measured"].toString() + today["score"].toString(), "Measured 1h100%");
}

// Pickers store their choice and ignore an index out of range; the headline
// names the chosen head source; the sound row says who plays the sound.
TEST(ViewModelTest, PickersStoreTheirChoiceAndTheRowsSayWhatRunsAndWhatPlays) {
    ModelRig rig;
    rig.model.setCooldownIndex(4);
    EXPECT_EQ(rig.engine.settings.notificationCooldown(), 900);
    rig.model.setAlertDelayIndex(5);
    rig.model.setAlertDelayIndex(-1);
    EXPECT_EQ(rig.engine.settings.alertDelay(), 15);
    rig.keepBaseline();
    rig.engine.monitor->start();
    rig.model.setHeadSourceIndex(1);
    rig.model.setHeadSourceIndex(2);
    EXPECT_EQ(rig.engine.settings.headSource(), HeadSource::camera);
    EXPECT_EQ(rig.model.headline(), "Waiting for camera");

    Announcements announced(rig.model);
    EXPECT_EQ(rig.model.soundPlayedByText(), "") << "said before any server answered";
    rig.engine.center.setSoundPlayedBy(SoundPlayedBy::app);
    EXPECT_EQ(rig.model.soundPlayedByText(), "Played by Backbeacon");
    rig.engine.center.setSoundPlayedBy(SoundPlayedBy::server);
    EXPECT_EQ(rig.model.soundPlayedByText(), "Played by the notification server");
    EXPECT_EQ(std::pair(announced.of("soundPlayedByTextChanged"), announced.of()), std::pair(2, 2));
}

} // namespace
} // namespace backbeacon::testing
