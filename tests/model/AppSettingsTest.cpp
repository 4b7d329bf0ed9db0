#include "model/AppSettings.h"

#include "FakeLoginItem.h"
#include "ManualClock.h"
#include "MessageLog.h"
#include "QtPrinters.h"
#include "model/MemoryPreferences.h"
#include "model/RecordJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace backbeacon;
using backbeacon::testing::FakeLoginItem;
using backbeacon::testing::ManualClock;
using backbeacon::testing::MessageLog;
using Status = LoginItem::Status;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

class AppSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<AppSettings> load() {
        return std::make_unique<AppSettings>(store, loginItem, clock);
    }
    // Loads with one value planted under one key.
    std::unique_ptr<AppSettings> loadWith(QLatin1StringView key, const QVariant& value) {
        store.plant(key, value);
        return load();
    }

    MemoryPreferences store;
    FakeLoginItem loginItem;
    ManualClock clock;
};

QByteArray encoded(const PosturePoint& point) {
    return QByteArray::fromStdString(*json::encode(point));
}

} // namespace

TEST_F(AppSettingsTest, FreshUserGetsDefaultsAndTheStoreStaysEmpty) {
    loginItem.setStatus(Status::enabled);
    const auto settings = load();
    EXPECT_EQ(settings->sensitivityDegrees(), 20);
    EXPECT_EQ(settings->alertDelay(), 15);
    EXPECT_EQ(settings->notificationCooldown(), 300);
    EXPECT_TRUE(settings->soundEnabled());
    EXPECT_TRUE(settings->monitoringEnabled());
    EXPECT_TRUE(settings->autoStart());
    EXPECT_TRUE(settings->launchAtLogin()); // follows the login item
    EXPECT_FALSE(settings->collectDiagnostics());
    EXPECT_FALSE(settings->goodPosture());
    EXPECT_FALSE(settings->isCalibrated());
    EXPECT_FALSE(settings->snoozeUntil());
    EXPECT_EQ(settings->diagnostics(), Diagnostics{});
    EXPECT_TRUE(store.isEmpty());
    EXPECT_EQ(loginItem.statusQueries, 1);
    EXPECT_EQ(loginItem.registerCalls + loginItem.unregisterCalls, 0);
}

TEST_F(AppSettingsTest, LaunchAtLoginDefaultIsTrueOnlyForAnEnabledItem) {
    for (Status status : {Status::notRegistered, Status::requiresApproval, Status::notFound}) {
        loginItem.setStatus(status);
        EXPECT_FALSE(load()->launchAtLogin()) << static_cast<int>(status);
    }
    // A stored choice wins and the system is not asked.
    loginItem.setStatus(Status::enabled);
    loginItem.statusQueries = 0;
    EXPECT_FALSE(loadWith(settingsKey::launchAtLogin, false)->launchAtLogin());
    EXPECT_EQ(loginItem.statusQueries, 0);
}

TEST_F(AppSettingsTest, ThresholdIsUsedOnlyWithinFiveToThirty) {
    const std::pair<double, double> cases[] = {{4.9, 20},    {5, 5},  {30, 30},  {30.1, 20},
                                               {12.5, 12.5}, {0, 20}, {-10, 20}, {std::nan(""), 20},
                                               {kInf, 20}};
    for (const auto& [stored, loaded] : cases) {
        EXPECT_EQ(loadWith(settingsKey::sensitivityDegrees, stored)->sensitivityDegrees(), loaded)
            << stored;
    }
}

TEST_F(AppSettingsTest, DelayAndCooldownMustBePositiveAndFinite) {
    const std::pair<double, double> delays[] = {{0, 15},    {-5, 15},   {20, 20},
                                                {0.5, 0.5}, {kInf, 15}, {std::nan(""), 15}};
    for (const auto& [stored, loaded] : delays) {
        EXPECT_EQ(loadWith(settingsKey::alertDelay, stored)->alertDelay(), loaded) << stored;
    }
    const std::pair<double, double> cooldowns[] = {{0, 300}, {-1, 300}, {45, 45}, {kInf, 300}};
    for (const auto& [stored, loaded] : cooldowns) {
        EXPECT_EQ(loadWith(settingsKey::notificationCooldown, stored)->notificationCooldown(),
                  loaded)
            << stored;
    }
}

TEST_F(AppSettingsTest, StoredBooleansWin) {
    store.plant(settingsKey::soundEnabled, false);
    store.plant(settingsKey::monitoringEnabled, false);
    store.plant(settingsKey::autoStart, false);
    store.plant(settingsKey::collectDiagnostics, true);
    const auto settings = load();
    EXPECT_FALSE(settings->soundEnabled());
    EXPECT_FALSE(settings->monitoringEnabled());
    EXPECT_FALSE(settings->autoStart());
    EXPECT_TRUE(settings->collectDiagnostics());
}

TEST_F(AppSettingsTest, WrongKindsOfValueGiveTheDefaults) {
    store.plant(settingsKey::sensitivityDegrees, QStringLiteral("twenty-five"));
    store.plant(settingsKey::alertDelay, true);
    store.plant(settingsKey::notificationCooldown, QByteArray("600"));
    store.plant(settingsKey::soundEnabled, QStringLiteral("no"));
    store.plant(settingsKey::autoStart, 0);
    store.plant(settingsKey::collectDiagnostics, QStringLiteral("True"));
    store.plant(settingsKey::launchAtLogin, 1.0);
    store.plant(settingsKey::goodPosture, 42);
    store.plant(settingsKey::snoozeUntil, QStringLiteral("tomorrow"));
    store.plant(settingsKey::diagnostics, QStringLiteral(R"({"launches":3})"));
    loginItem.setStatus(Status::enabled);
    const QStringList before = store.keys();

    const auto settings = load();
    EXPECT_EQ(settings->sensitivityDegrees(), 20);
    EXPECT_EQ(settings->alertDelay(), 15);
    EXPECT_EQ(settings->notificationCooldown(), 300);
    EXPECT_TRUE(settings->soundEnabled());
    EXPECT_TRUE(settings->autoStart());
    EXPECT_FALSE(settings->collectDiagnostics());
    EXPECT_TRUE(settings->launchAtLogin()); // unreadable, so the system decides
    EXPECT_EQ(loginItem.statusQueries, 1);
    EXPECT_FALSE(settings->isCalibrated());
    EXPECT_FALSE(settings->snoozeUntil());
    EXPECT_EQ(settings->diagnostics(), Diagnostics{});
    // The bad values stay until assigned over.
    EXPECT_EQ(store.keys(), before);
    EXPECT_TRUE(store.writeLog().isEmpty());
}

TEST_F(AppSettingsTest, NumbersWrittenAsTextStillRead) {
    // What a text-backed store hands back for numbers and booleans.
    store.plant(settingsKey::sensitivityDegrees, QStringLiteral("25"));
    store.plant(settingsKey::soundEnabled, QStringLiteral("false"));
    const auto settings = load();
    EXPECT_EQ(settings->sensitivityDegrees(), 25);
    EXPECT_FALSE(settings->soundEnabled());
}

TEST_F(AppSettingsTest, BadRecordsLoadAsAbsentOrZeroAndStayStored) {
    const PosturePoint point(0.1, -0.2, Instant::fromReferenceSeconds(800'000'000.5));
    const QByteArray garbage("{\"pitch\":0.1,\"roll\":");
    const auto settings = loadWith(settingsKey::goodPosture, garbage);
    EXPECT_FALSE(settings->goodPosture());
    EXPECT_EQ(store.raw(settingsKey::goodPosture).toByteArray(), garbage);

    store.plant(settingsKey::goodPosture, encoded(point));
    store.plant(settingsKey::diagnostics, QByteArray("\xff\xfe not json"));
    const auto again = load();
    EXPECT_EQ(again->goodPosture(), point);
    EXPECT_TRUE(again->isCalibrated());
    EXPECT_EQ(again->diagnostics(), Diagnostics{});
}

TEST_F(AppSettingsTest, SnoozeDeadlineMustLieAhead) {
    const double now = clock.now().unixSeconds();
    EXPECT_FALSE(loadWith(settingsKey::snoozeUntil, now - 1)->snoozeUntil());
    EXPECT_FALSE(loadWith(settingsKey::snoozeUntil, now)->snoozeUntil());
    EXPECT_FALSE(loadWith(settingsKey::snoozeUntil, kInf)->snoozeUntil());
    EXPECT_FALSE(loadWith(settingsKey::snoozeUntil, std::nan(""))->snoozeUntil());
    const auto settings = loadWith(settingsKey::snoozeUntil, now + 3600.25);
    ASSERT_TRUE(settings->snoozeUntil());
    EXPECT_EQ(settings->snoozeUntil()->unixSeconds(), now + 3600.25);
    // A stale deadline is dropped from memory, not from the store.
    store.plant(settingsKey::snoozeUntil, now - 1);
    load();
    EXPECT_TRUE(store.contains(settingsKey::snoozeUntil));
}

TEST_F(AppSettingsTest, EveryAssignmentWritesThroughButOnlyChangesNotify) {
    const auto settings = load();
    int notifications = 0;
    const auto count = [&notifications] { ++notifications; };
    QObject::connect(settings.get(), &AppSettings::sensitivityDegreesChanged, count);
    QObject::connect(settings.get(), &AppSettings::alertDelayChanged, count);
    QObject::connect(settings.get(), &AppSettings::notificationCooldownChanged, count);
    QObject::connect(settings.get(), &AppSettings::soundEnabledChanged, count);
    QObject::connect(settings.get(), &AppSettings::monitoringEnabledChanged, count);
    QObject::connect(settings.get(), &AppSettings::autoStartChanged, count);
    QObject::connect(settings.get(), &AppSettings::collectDiagnosticsChanged, count);
    QObject::connect(settings.get(), &AppSettings::snoozeUntilChanged, count);
    QObject::connect(settings.get(), &AppSettings::diagnosticsChanged, count);

    const Instant deadline = clock.now() + 600.5;
    const Diagnostics counters{1, 2, 3, 4, 5};
    for (int round = 0; round < 2; ++round) {
        settings->setSensitivityDegrees(40); // not validated on assignment
        settings->setAlertDelay(0);
        settings->setNotificationCooldown(600);
        settings->setSoundEnabled(false);
        settings->setMonitoringEnabled(false);
        settings->setAutoStart(false);
        settings->setCollectDiagnostics(true);
        settings->setSnoozeUntil(deadline);
        settings->setDiagnostics(counters);
    }
    EXPECT_EQ(notifications, 9);
    EXPECT_EQ(store.writeLog().size(), 18);
    EXPECT_EQ(store.raw(settingsKey::sensitivityDegrees), QVariant(40.0));
    EXPECT_EQ(store.raw(settingsKey::alertDelay), QVariant(0.0));
    EXPECT_EQ(store.raw(settingsKey::notificationCooldown), QVariant(600.0));
    EXPECT_EQ(store.raw(settingsKey::soundEnabled), QVariant(false));
    EXPECT_EQ(store.raw(settingsKey::monitoringEnabled), QVariant(false));
    EXPECT_EQ(store.raw(settingsKey::autoStart), QVariant(false));
    EXPECT_EQ(store.raw(settingsKey::collectDiagnostics), QVariant(true));
    EXPECT_EQ(store.raw(settingsKey::snoozeUntil), QVariant(deadline.unixSeconds()));
    EXPECT_EQ(
        json::decodeDiagnostics(store.raw(settingsKey::diagnostics).toByteArray().toStdString()),
        counters);

    // The next start applies the load rules to what was stored.
    const auto next = load();
    EXPECT_EQ(next->sensitivityDegrees(), 20);
    EXPECT_EQ(next->alertDelay(), 15);
    EXPECT_EQ(next->notificationCooldown(), 600);
    EXPECT_EQ(next->snoozeUntil(), deadline);
    EXPECT_EQ(next->diagnostics(), counters);
}

TEST_F(AppSettingsTest, ObserversSeeTheStoreAlreadyWritten) {
    const auto settings = load();
    std::optional<double> seen;
    QObject::connect(settings.get(), &AppSettings::sensitivityDegreesChanged,
                     [&] { seen = store.readDouble(settingsKey::sensitivityDegrees); });
    settings->setSensitivityDegrees(12);
    EXPECT_EQ(seen, 12);
}

TEST_F(AppSettingsTest, BaselineIsStoredAsJsonAndRemovedWhenAbsent) {
    const auto settings = load();
    QList<bool> calibratedSignals;
    int baselineSignals = 0;
    QObject::connect(settings.get(), &AppSettings::isCalibratedChanged,
                     [&](bool calibrated) { calibratedSignals.append(calibrated); });
    QObject::connect(settings.get(), &AppSettings::goodPostureChanged, [&] { ++baselineSignals; });

    const PosturePoint first(0.25, -0.125, clock.now());
    const PosturePoint second(0.5, 0, clock.now() + 1);
    settings->setGoodPosture(first);
    settings->setGoodPosture(first);
    settings->setGoodPosture(second);
    EXPECT_EQ(store.raw(settingsKey::goodPosture).toByteArray(), encoded(second));
    EXPECT_TRUE(settings->isCalibrated());

    settings->setGoodPosture(std::nullopt);
    EXPECT_FALSE(store.contains(settingsKey::goodPosture));
    EXPECT_FALSE(settings->isCalibrated());
    EXPECT_EQ(baselineSignals, 3);
    EXPECT_EQ(calibratedSignals, (QList<bool>{true, false}));
    EXPECT_EQ(store.writeLog().count(QLatin1String("-") + settingsKey::goodPosture), 1);
}

TEST_F(AppSettingsTest, BaselineThatCannotBeEncodedRemovesTheKey) {
    store.plant(settingsKey::goodPosture, encoded(PosturePoint(0.1, 0.1, clock.now())));
    const auto settings = load();
    settings->setGoodPosture(PosturePoint(std::nan(""), 0, clock.now()));
    EXPECT_FALSE(store.contains(settingsKey::goodPosture));
    EXPECT_TRUE(settings->isCalibrated()); // in memory until the next start
    EXPECT_FALSE(load()->isCalibrated());
}

TEST_F(AppSettingsTest, SnoozeAbsentRemovesTheKey) {
    const auto settings = load();
    settings->setSnoozeUntil(clock.now() + 60);
    settings->setSnoozeUntil(std::nullopt);
    EXPECT_FALSE(store.contains(settingsKey::snoozeUntil));
    EXPECT_FALSE(settings->snoozeUntil());
}

TEST_F(AppSettingsTest, DiagnosticsCountOnlyWhileCollecting) {
    const auto settings = load();
    int changes = 0;
    QObject::connect(settings.get(), &AppSettings::diagnosticsChanged, [&] { ++changes; });

    settings->countDiagnostic(&Diagnostics::launches);
    settings->countDiagnostic(&Diagnostics::alertsSent);
    EXPECT_EQ(settings->diagnostics(), Diagnostics{});
    EXPECT_TRUE(store.isEmpty());
    EXPECT_EQ(changes, 0);

    settings->setCollectDiagnostics(true);
    store.clearWriteLog();
    settings->countDiagnostic(&Diagnostics::launches);
    settings->countDiagnostic(&Diagnostics::calibrations);
    settings->countDiagnostic(&Diagnostics::alertsSent);
    settings->countDiagnostic(&Diagnostics::alertsSent);
    settings->countDiagnostic(&Diagnostics::disconnects);
    settings->countDiagnostic(&Diagnostics::unexpectedQuits);
    const Diagnostics expected{1, 1, 2, 1, 1};
    EXPECT_EQ(settings->diagnostics(), expected);
    EXPECT_EQ(changes, 6);
    EXPECT_EQ(store.writeLog(), QStringList(6, QString(settingsKey::diagnostics)));

    // Turning collection off stops counting but keeps the values.
    settings->setCollectDiagnostics(false);
    settings->countDiagnostic(&Diagnostics::launches);
    EXPECT_EQ(settings->diagnostics(), expected);
    EXPECT_EQ(load()->diagnostics(), expected);
}

TEST_F(AppSettingsTest, CorruptDiagnosticsAreOverwrittenByTheFirstCountedEvent) {
    store.plant(settingsKey::collectDiagnostics, true);
    store.plant(settingsKey::diagnostics, QByteArray(R"({"launches":"many"})"));
    const auto settings = load();
    EXPECT_EQ(settings->diagnostics(), Diagnostics{});
    settings->countDiagnostic(&Diagnostics::launches);
    EXPECT_EQ(
        store.raw(settingsKey::diagnostics).toByteArray(),
        R"({"launches":1,"calibrations":0,"alertsSent":0,"disconnects":0,"unexpectedQuits":0})");
}

TEST_F(AppSettingsTest, CountersStopAtTheLargestValueInsteadOfOverflowing) {
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    store.plant(settingsKey::collectDiagnostics, true);
    store.plant(settingsKey::diagnostics,
                QByteArray::fromStdString(*json::encode(Diagnostics{kMax, 0, 0, 0, 0})));
    const auto settings = load();
    settings->countDiagnostic(&Diagnostics::launches);
    settings->countDiagnostic(&Diagnostics::calibrations);
    EXPECT_EQ(settings->diagnostics(), (Diagnostics{kMax, 1, 0, 0, 0}));
}

TEST_F(AppSettingsTest, LoginItemIsChangedOnlyWhenItDisagrees) {
    struct Case {
        Status status;
        bool assigned;
        int registers;
        int unregisters;
    };
    const Case cases[] = {
        {Status::enabled, true, 0, 0},           {Status::notRegistered, true, 1, 0},
        {Status::requiresApproval, true, 1, 0},  {Status::notFound, true, 1, 0},
        {Status::enabled, false, 0, 1},          {Status::notRegistered, false, 0, 0},
        {Status::requiresApproval, false, 0, 0}, {Status::notFound, false, 0, 0},
    };
    for (const Case& c : cases) {
        FakeLoginItem item(c.status);
        store.plant(settingsKey::launchAtLogin, !c.assigned);
        AppSettings settings(store, item, clock);
        settings.setLaunchAtLogin(c.assigned);
        SCOPED_TRACE(::testing::Message()
                     << "status " << static_cast<int>(c.status) << " assigned " << c.assigned);
        EXPECT_EQ(item.statusQueries, 1);
        EXPECT_EQ(item.registerCalls, c.registers);
        EXPECT_EQ(item.unregisterCalls, c.unregisters);
        EXPECT_EQ(store.raw(settingsKey::launchAtLogin), QVariant(c.assigned));
    }
}

TEST_F(AppSettingsTest, FailedLoginItemUpdateIsLoggedAndTheChoiceKept) {
    const auto settings = load();
    int changes = 0;
    QObject::connect(settings.get(), &AppSettings::launchAtLoginChanged, [&] { ++changes; });
    loginItem.failure = QStringLiteral("No space left on device");
    MessageLog log;
    settings->setLaunchAtLogin(true);
    EXPECT_EQ(log.lines(),
              QStringList(QStringLiteral("backbeacon.settings: Backbeacon failed to "
                                         "update login item: No space left on device")));
    EXPECT_TRUE(settings->launchAtLogin());
    EXPECT_EQ(store.raw(settingsKey::launchAtLogin), QVariant(true));
    EXPECT_EQ(changes, 1);

    // No retry of its own: the next assignment tries again.
    loginItem.failure.reset();
    settings->setLaunchAtLogin(true);
    EXPECT_EQ(loginItem.registerCalls, 2);
    EXPECT_EQ(loginItem.status(), Status::enabled);
    EXPECT_EQ(log.lines().size(), 1);
    EXPECT_EQ(changes, 1);
}
