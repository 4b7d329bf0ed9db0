#include "model/AppSettings.h"

#include "FakeLoginItem.h"
#include "Files.h"
#include "ManualClock.h"
#include "MessageLog.h"
#include "model/MemoryPreferences.h"
#include "model/QSettingsPreferences.h"
#include "model/RecordJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace backbeacon;
using namespace backbeacon::testing;
using Status = LoginItem::Status;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

class AppSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<AppSettings> load() {
        return std::make_unique<AppSettings>(store, loginItem, clock);
    }
    std::unique_ptr<AppSettings> loadWith(QLatin1StringView key, const QVariant& value) {
        store.plant(key, value);
        return load();
    }
    std::string stored(QLatin1StringView key) const {
        return store.raw(key).toByteArray().toStdString();
    }

    MemoryPreferences store;
    FakeLoginItem loginItem{Status::enabled};
    ManualClock clock;
};

// AppSettings over a real preferences file.
class AppSettingsFileTest : public ::testing::Test {
protected:
    AppSettings& start(const QString& path) {
        settings.reset();
        preferences = std::make_unique<QSettingsPreferences>(path);
        settings = std::make_unique<AppSettings>(*preferences, loginItem, clock);
        return *settings;
    }
    AppSettings& restart() { return start(next.copyOf(preferences->filePath())); }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Backbeacon.conf"));
    NextStart next;
    FakeLoginItem loginItem; // not registered
    ManualClock clock{Instant::fromUnixSeconds(1'780'000'000.0)};
    std::unique_ptr<QSettingsPreferences> preferences;
    std::unique_ptr<AppSettings> settings;
};

} // namespace

TEST_F(AppSettingsTest, FreshUserGetsDefaultsAndNothingIsWritten) {
    const auto s = load();
    EXPECT_EQ(std::tuple(s->sensitivityDegrees(), s->alertDelay(), s->notificationCooldown()),
              std::tuple(20, 15, 300));
    EXPECT_TRUE(s->soundEnabled() && s->monitoringEnabled() && s->autoStart());
    EXPECT_TRUE(s->launchAtLogin()); // the login item is enabled
    EXPECT_FALSE(s->collectDiagnostics() || s->isCalibrated() || s->snoozeUntil());
    EXPECT_EQ(s->diagnostics(), Diagnostics{});
    EXPECT_TRUE(store.isEmpty());
    EXPECT_EQ(loginItem.registerCalls + loginItem.unregisterCalls, 0);

    loginItem.setStatus(Status::requiresApproval);
    EXPECT_FALSE(load()->launchAtLogin());
    loginItem.statusQueries = 0;
    EXPECT_TRUE(loadWith(settingsKey::launchAtLogin, true)->launchAtLogin());
    EXPECT_EQ(loginItem.statusQueries, 0) << "a stored choice needs no question";
}

TEST_F(AppSettingsTest, NumbersLoadWithinTheirLimitsOrAsDefaults) {
    const double now = clock.now().unixSeconds();
    const struct {
        QLatin1StringView key;
        QVariant stored;
        double loaded;
    } cases[] = {{settingsKey::sensitivityDegrees, 4.9, 20},
                 {settingsKey::sensitivityDegrees, 5, 5},
                 {settingsKey::sensitivityDegrees, 30, 30},
                 {settingsKey::sensitivityDegrees, 30.1, 20},
                 {settingsKey::sensitivityDegrees, NAN, 20},
                 {settingsKey::sensitivityDegrees, "twenty-five", 20},
                 {settingsKey::sensitivityDegrees, "25", 25}, // as read back from a file
                 {settingsKey::alertDelay, 0, 15},
                 {settingsKey::alertDelay, true, 15},
                 {settingsKey::notificationCooldown, 0, 300},
                 {settingsKey::notificationCooldown, 45, 45},
                 {settingsKey::notificationCooldown, kInf, 300},
                 {settingsKey::snoozeUntil, now, NAN},
                 {settingsKey::snoozeUntil, kInf, NAN},
                 {settingsKey::snoozeUntil, "tomorrow", NAN},
                 {settingsKey::snoozeUntil, now + 3600.25, now + 3600.25}};
    for (const auto& c : cases) {
        store = {};
        const auto s = loadWith(c.key, c.stored);
        const double loaded = c.key == settingsKey::snoozeUntil
                                  ? (s->snoozeUntil() ? s->snoozeUntil()->unixSeconds() : NAN)
                                  : s->property(QString(c.key).mid(9).toLatin1()).toDouble();
        EXPECT_TRUE(loaded == c.loaded || (std::isnan(loaded) && std::isnan(c.loaded)))
            << c.key.data() << " " << c.stored.toString().toStdString() << " loaded as " << loaded;
        EXPECT_TRUE(store.writeLog().isEmpty()); // stale values stay until assigned over
    }
}

TEST_F(AppSettingsTest, EveryAssignmentWritesThroughButOnlyChangesNotify) {
    const auto s = load();
    QStringList heard;
    const auto listen = [&](auto signal, const char* name) {
        QObject::connect(s.get(), signal, [&heard, name] { heard << name; });
    };
    listen(&AppSettings::sensitivityDegreesChanged, "threshold");
    listen(&AppSettings::soundEnabledChanged, "sound");
    listen(&AppSettings::goodPostureChanged, "baseline");
    listen(&AppSettings::isCalibratedChanged, "calibrated");
    listen(&AppSettings::snoozeUntilChanged, "snooze");
    listen(&AppSettings::diagnosticsChanged, "diagnostics");
    std::optional<double> storedWhenHeard;
    QObject::connect(s.get(), &AppSettings::sensitivityDegreesChanged,
                     [&] { storedWhenHeard = store.readDouble(settingsKey::sensitivityDegrees); });

    const PosturePoint baseline(0.25, -0.125, clock.now());
    for (int round = 0; round < 2; ++round) {
        s->setSensitivityDegrees(40); // not validated until the next start
        s->setSoundEnabled(false);
        s->setGoodPosture(baseline);
        s->setSnoozeUntil(clock.now() + 600.5);
        s->setDiagnostics({1, 2, 3, 4, 5});
    }
    EXPECT_EQ(heard.join(u' '), "threshold sound baseline calibrated snooze diagnostics");
    EXPECT_EQ(store.writeLog().size(), 10);
    EXPECT_EQ(storedWhenHeard, 40);
    EXPECT_EQ(store.raw(settingsKey::soundEnabled), QVariant(false));
    EXPECT_EQ(store.raw(settingsKey::snoozeUntil), QVariant(clock.now().unixSeconds() + 600.5));
    EXPECT_EQ(stored(settingsKey::goodPosture), json::encode(baseline));
    EXPECT_EQ(stored(settingsKey::diagnostics), json::encode(Diagnostics{1, 2, 3, 4, 5}));

    s->setGoodPosture(std::nullopt);
    s->setSnoozeUntil(std::nullopt);
    EXPECT_FALSE(s->isCalibrated());
    EXPECT_FALSE(store.contains(settingsKey::goodPosture) ||
                 store.contains(settingsKey::snoozeUntil));
    EXPECT_EQ(heard.mid(6).join(u' '), "baseline calibrated snooze");

    // A baseline that cannot be encoded leaves no key behind either.
    s->setGoodPosture(baseline);
    s->setGoodPosture(PosturePoint(NAN, 0, clock.now()));
    EXPECT_FALSE(store.contains(settingsKey::goodPosture));
    EXPECT_FALSE(load()->isCalibrated());
}

TEST_F(AppSettingsTest, DiagnosticsCountOnlyWhileCollecting) {
    store.plant(settingsKey::diagnostics, QByteArray(R"({"launches":"many"})"));
    const auto s = load();
    int changes = 0;
    QObject::connect(s.get(), &AppSettings::diagnosticsChanged, [&] { ++changes; });
    s->countDiagnostic(&Diagnostics::launches);
    EXPECT_EQ(s->diagnostics(), Diagnostics{});
    EXPECT_TRUE(store.writeLog().isEmpty());

    s->setCollectDiagnostics(true);
    store.clearWriteLog();
    for (auto counter :
         {&Diagnostics::alertsSent, &Diagnostics::disconnects, &Diagnostics::alertsSent}) {
        s->countDiagnostic(counter);
    }
    EXPECT_EQ(s->diagnostics(), (Diagnostics{0, 0, 2, 1, 0}));
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(store.writeLog(), QStringList(3, settingsKey::diagnostics));
    EXPECT_EQ(load()->diagnostics(), (Diagnostics{0, 0, 2, 1, 0})) << "the corrupt bytes are gone";

    // A stored count at the very top stays there rather than overflow.
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    s->setDiagnostics({kMax, 0, 0, 0, 0});
    s->countDiagnostic(&Diagnostics::launches);
    EXPECT_EQ(s->diagnostics().launches, kMax);
}

TEST_F(AppSettingsTest, LoginItemIsChangedOnlyWhenItDisagreesAndFailuresAreLogged) {
    struct Case {
        Status status;
        bool wanted;
        int registers, unregisters;
    } const cases[] = {
        {Status::enabled, true, 0, 0},           {Status::notRegistered, true, 1, 0},
        {Status::requiresApproval, true, 1, 0},  {Status::notFound, true, 1, 0},
        {Status::enabled, false, 0, 1},          {Status::notRegistered, false, 0, 0},
        {Status::requiresApproval, false, 0, 0}, {Status::notFound, false, 0, 0},
    };
    for (const Case& c : cases) {
        FakeLoginItem item(c.status);
        store.plant(settingsKey::launchAtLogin, !c.wanted);
        AppSettings(store, item, clock).setLaunchAtLogin(c.wanted);
        EXPECT_EQ(std::tuple(item.statusQueries, item.registerCalls, item.unregisterCalls),
                  std::tuple(1, c.registers, c.unregisters))
            << int(c.status) << c.wanted;
    }

    loginItem.setStatus(Status::notRegistered);
    const auto s = load();
    loginItem.failure = QStringLiteral("No space left on device");
    MessageLog log;
    s->setLaunchAtLogin(true);
    EXPECT_EQ(log.lines(),
              QStringList(QStringLiteral("backbeacon.settings: Backbeacon failed to "
                                         "update login item: No space left on device")));
    EXPECT_TRUE(s->launchAtLogin());
    EXPECT_EQ(store.raw(settingsKey::launchAtLogin), QVariant(true));
}

TEST_F(AppSettingsTest, HeadSourceIsStoredByNameAndAnythingElseReadsAsTheTracker) {
    const struct {
        QVariant stored;
        HeadSource loaded;
    } cases[] = {{QByteArray("camera"), HeadSource::camera},
                 {QByteArray("headTracker"), HeadSource::headTracker},
                 {QByteArray("Camera"), HeadSource::headTracker},
                 {QByteArray(), HeadSource::headTracker},
                 {1.0, HeadSource::headTracker},
                 {true, HeadSource::headTracker}};
    for (const auto& c : cases) {
        store = {};
        EXPECT_EQ(loadWith(settingsKey::headSource, c.stored)->headSource(), c.loaded)
            << c.stored.toString().toStdString();
    }

    store = {};
    const auto s = load();
    int changes = 0;
    QObject::connect(s.get(), &AppSettings::headSourceChanged, [&] { ++changes; });
    s->setHeadSource(HeadSource::camera);
    s->setHeadSource(HeadSource::camera);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(store.writeLog().size(), 2);
    EXPECT_EQ(stored(settingsKey::headSource), "camera");
    EXPECT_EQ(load()->headSource(), HeadSource::camera);
}

TEST_F(AppSettingsFileTest, HandEditedValuesGiveDefaultsAndEveryPropertySurvivesARestart) {
    const std::string text = "[General]\n"
                             "settings.sensitivityDegrees=abc\n"
                             "settings.alertDelay=1e400\n"
                             "settings.notificationCooldown=1,5\n" // a list to QSettings
                             "settings.soundEnabled=False\n"
                             "settings.monitoringEnabled=false\n"
                             "settings.autoStart=0\n"
                             "settings.launchAtLogin=True\n"
                             "settings.collectDiagnostics=true\n"
                             "settings.goodPosture=42\n"
                             "settings.snoozeUntil=\"1780000100\"\n"
                             "settings.diagnostics=@ByteArray({\\\"launches\\\":)\n";
    writeAll(path, text);
    AppSettings& first = start(path);
    EXPECT_EQ(
        std::tuple(first.sensitivityDegrees(), first.alertDelay(), first.notificationCooldown()),
        std::tuple(20, 15, 300));
    EXPECT_TRUE(first.soundEnabled() && first.autoStart());
    EXPECT_FALSE(first.launchAtLogin()) << "unreadable, so the login item decides";
    EXPECT_FALSE(first.monitoringEnabled() || first.isCalibrated());
    EXPECT_TRUE(first.collectDiagnostics());
    EXPECT_EQ(first.snoozeUntil(), Instant::fromUnixSeconds(1780000100)); // quoted, still a number
    EXPECT_EQ(first.diagnostics(), Diagnostics{});
    EXPECT_EQ(readAll(path), text) << "loading writes nothing";

    const Instant deadline = Instant::fromUnixSeconds(1780000123.456789);
    const PosturePoint baseline(0.1234567890123456789, -0.3,
                                Instant::fromReferenceSeconds(1e8 / 3));
    first.setSensitivityDegrees(12.5);
    first.setAlertDelay(30);
    first.setNotificationCooldown(900);
    first.setSoundEnabled(false);
    first.setAutoStart(false);
    first.setLaunchAtLogin(false);
    first.setGoodPosture(baseline);
    first.setSnoozeUntil(deadline);
    first.countDiagnostic(&Diagnostics::launches); // over the corrupt record

    AppSettings& second = restart();
    EXPECT_EQ(
        std::tuple(second.sensitivityDegrees(), second.alertDelay(), second.notificationCooldown()),
        std::tuple(12.5, 30, 900));
    EXPECT_FALSE(second.soundEnabled() || second.autoStart() || second.launchAtLogin());
    EXPECT_EQ(second.goodPosture(), baseline);
    EXPECT_EQ(second.snoozeUntil(), deadline) << "to the last bit";
    EXPECT_EQ(second.diagnostics(), (Diagnostics{1, 0, 0, 0, 0}));

    second.setGoodPosture(std::nullopt);
    second.setSnoozeUntil(std::nullopt);
    EXPECT_FALSE(restart().isCalibrated() || settings->snoozeUntil());
}
