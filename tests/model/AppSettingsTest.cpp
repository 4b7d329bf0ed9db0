#include "model/AppSettings.h"

#include "FakeLoginItem.h"
#include "Files.h"
#include "ManualClock.h"
#include "MessageLog.h"
#include "ScratchMount.h"
#include "model/MemoryPreferences.h"
#include "model/QSettingsPreferences.h"
#include "model/RecordJson.h"

#include <QSettings>

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

// A real preferences file, read by AppSettings or QSettingsPreferences.
class PreferencesFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Backbeacon.conf"));
    QString aside = path + QStringLiteral(".unreadable");
    NextStart next;
    FakeLoginItem loginItem; // not registered
    ManualClock clock{Instant::fromUnixSeconds(1'780'000'000.0)};
};

} // namespace

TEST_F(AppSettingsTest, FreshUserGetsDefaultsNothingIsWrittenHeadSourceIsStoredByName) {
    const auto s = load();
    EXPECT_EQ(std::tuple(s->sensitivityDegrees(), s->alertDelay(), s->notificationCooldown()),
              std::tuple(20, 15, 300));
    // The login item is enabled, so launch at login is on.
    EXPECT_TRUE(s->soundEnabled() && s->monitoringEnabled() && s->autoStart() &&
                s->launchAtLogin());
    EXPECT_FALSE(s->collectDiagnostics() || s->isCalibrated() || s->snoozeUntil());
    EXPECT_TRUE(store.isEmpty());
    EXPECT_EQ(loginItem.registerCalls + loginItem.unregisterCalls, 0);
    loginItem.setStatus(Status::requiresApproval);
    EXPECT_FALSE(load()->launchAtLogin());
    loginItem.statusQueries = 0;
    EXPECT_TRUE(loadWith(settingsKey::launchAtLogin, true)->launchAtLogin());
    EXPECT_EQ(loginItem.statusQueries, 0) << "a stored choice needs no question";
    // The head source is stored by name; anything else reads as the tracker.
    EXPECT_EQ(loadWith(settingsKey::headSource, QByteArray("Camera"))->headSource(),
              loadWith(settingsKey::headSource, 1.0)->headSource());
    const auto source = load();
    EXPECT_EQ(source->headSource(), HeadSource::headTracker);
    int changes = 0;
    QObject::connect(source.get(), &AppSettings::headSourceChanged, [&] { ++changes; });
    source->setHeadSource(HeadSource::camera);
    source->setHeadSource(HeadSource::camera);
    EXPECT_EQ(std::pair(changes, stored(settingsKey::headSource)),
              std::pair(1, std::string("camera")));
    EXPECT_EQ(load()->headSource(), HeadSource::camera);
}

TEST_F(AppSettingsTest, NumbersLoadWithinTheirLimitsOrAsDefaults) {
    const double now = clock.now().unixSeconds();
    const struct {
        QLatin1StringView key;
        QVariant stored;
        double loaded;
    } cases[] = {{settingsKey::sensitivityDegrees, 4.9, 20},
                 {settingsKey::sensitivityDegrees, 30, 30},
                 {settingsKey::sensitivityDegrees, 30.1, 20},
                 {settingsKey::sensitivityDegrees, "25", 25}, // as read back from a file
                 {settingsKey::alertDelay, true, 15},
                 {settingsKey::notificationCooldown, kInf, 300},
                 {settingsKey::snoozeUntil, now, NAN},
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

TEST_F(AppSettingsTest, AssignmentsWriteThroughOnlyChangesNotifyDiagnosticsOnlyWhileCollecting) {
    store.plant(settingsKey::diagnostics, QByteArray(R"({"launches":"many"})"));
    const auto s = load();
    s->countDiagnostic(&Diagnostics::launches); // not collecting: nothing written
    EXPECT_TRUE(store.writeLog().isEmpty());
    const PosturePoint baseline(0.25, -0.125, clock.now());
    for (int round = 0; round < 2; ++round) {
        s->setGoodPosture(baseline);
        s->setSnoozeUntil(clock.now() + 600.5);
    }
    EXPECT_EQ(store.writeLog().size(), 4);
    EXPECT_EQ(stored(settingsKey::goodPosture), json::encode(baseline));
    EXPECT_EQ(store.raw(settingsKey::snoozeUntil), QVariant(clock.now().unixSeconds() + 600.5));
    s->setGoodPosture(PosturePoint(NAN, 0, clock.now())); // cannot be encoded: no key left
    s->setSnoozeUntil(std::nullopt);
    EXPECT_FALSE(store.contains(settingsKey::goodPosture) ||
                 store.contains(settingsKey::snoozeUntil));
    int counted = 0;
    QObject::connect(s.get(), &AppSettings::diagnosticsChanged, [&] { ++counted; });
    s->setCollectDiagnostics(true);
    s->countDiagnostic(&Diagnostics::alertsSent);
    s->countDiagnostic(&Diagnostics::disconnects);
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(load()->diagnostics(), (Diagnostics{0, 0, 1, 1, 0})) << "the corrupt bytes are gone";
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    s->setDiagnostics({kMax, 0, 0, 0, 0});
    s->countDiagnostic(&Diagnostics::launches);
    EXPECT_EQ(s->diagnostics().launches, kMax);
}

TEST_F(AppSettingsTest, LoginItemIsChangedOnlyWhenItDisagreesAndFailuresAreLogged) {
    const struct {
        Status status;
        bool wanted;
        int registers, unregisters;
    } cases[] = {{Status::enabled, true, 0, 0},          {Status::notRegistered, true, 1, 0},
                 {Status::requiresApproval, true, 1, 0}, {Status::notFound, false, 0, 0},
                 {Status::enabled, false, 0, 1},         {Status::requiresApproval, false, 0, 0}};
    for (const auto& c : cases) {
        FakeLoginItem item(c.status);
        store.plant(settingsKey::launchAtLogin, !c.wanted);
        AppSettings(store, item, clock).setLaunchAtLogin(c.wanted);
        EXPECT_EQ(std::tuple(item.statusQueries, item.registerCalls, item.unregisterCalls),
                  std::tuple(1, c.registers, c.unregisters))
            << int(c.status) << c.wanted;
    }
    loginItem.setStatus(Status::notRegistered);
    loginItem.failure = QStringLiteral("No space left on device");
    MessageLog log;
    load()->setLaunchAtLogin(true);
    EXPECT_EQ(log.lines(), QStringList("backbeacon.settings: Backbeacon failed to update login "
                                       "item: No space left on device"));
    EXPECT_TRUE(store.raw(settingsKey::launchAtLogin).toBool()) << "the choice is kept";
}

TEST_F(PreferencesFileTest, HandEditedValuesGiveDefaultsEverythingSurvivesARestartAtTheUsualPath) {
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
    QSettingsPreferences file(path);
    AppSettings first(file, loginItem, clock);
    EXPECT_EQ(
        std::tuple(first.sensitivityDegrees(), first.alertDelay(), first.notificationCooldown()),
        std::tuple(20, 15, 300));
    EXPECT_TRUE(first.soundEnabled() && first.autoStart() && first.collectDiagnostics());
    EXPECT_FALSE(first.launchAtLogin()) << "unreadable, so the login item decides";
    EXPECT_FALSE(first.monitoringEnabled() || first.isCalibrated());
    EXPECT_EQ(first.snoozeUntil(), Instant::fromUnixSeconds(1780000100)); // quoted, still a number
    EXPECT_EQ(first.diagnostics(), Diagnostics{});
    EXPECT_EQ(readAll(path), text) << "loading writes nothing";

    const Instant deadline = Instant::fromUnixSeconds(1780000123.456789);
    const PosturePoint baseline(0.1234567890123456789, -0.3,
                                Instant::fromReferenceSeconds(1e8 / 3));
    first.setSensitivityDegrees(12.5);
    first.setSoundEnabled(false);
    first.setGoodPosture(baseline);
    first.setSnoozeUntil(deadline);
    first.countDiagnostic(&Diagnostics::launches); // over the corrupt record
    QSettingsPreferences restarted(next.copyOf(path));
    const AppSettings second(restarted, loginItem, clock);
    EXPECT_EQ(std::tuple(second.sensitivityDegrees(), second.soundEnabled(), second.goodPosture()),
              std::tuple(12.5, false, baseline));
    EXPECT_EQ(second.snoozeUntil(), deadline) << "to the last bit";
    EXPECT_EQ(second.diagnostics(), (Diagnostics{1, 0, 0, 0, 0}));

    // The default path is where QSettings keeps the application's settings.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    EXPECT_EQ(QSettingsPreferences::defaultFilePath(),
              QSettings(QStringLiteral("Backbeacon"), QStringLiteral("Backbeacon")).fileName());
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(PreferencesFileTest, UnreadableFileIsCopiedAsideOnceAndUnreachableWritesGoWithTheNext) {
    // Qt reports the first at once, the others only once the section is parsed.
    for (const std::string& original : {std::string("[General\nsettings.alertDelay=25\n"),
                                        std::string("[General]\nsettings.alertDelay=25\njunk\n"),
                                        std::string("\x01\x02\x00\xff[\n", 6)}) {
        writeAll(aside, "an older copy");
        writeAll(path, original);
        QSettingsPreferences store(path);
        EXPECT_EQ(readAll(aside), "an older copy"); // reading alone changes nothing
        store.writeBool("settings.soundEnabled", false);
        store.writeBool("settings.autoStart", false);
        EXPECT_EQ(readAll(aside), original);
        EXPECT_EQ(QSettingsPreferences(next.copyOf(path)).readBool("settings.autoStart"), false);
    }
    QFile::remove(aside);
    writeAll(path, "[General]\nsettings.alertDelay=25\n");
    QSettingsPreferences(path).writeBool("settings.soundEnabled", false);
    EXPECT_EQ(entries(dir.path()), QStringList{"Backbeacon.conf"}) << "a readable file stays put";

    writeAll(path, "[General\n");
    ASSERT_TRUE(QDir().mkdir(aside)); // no copy can be made: the file is kept as it is
    QSettingsPreferences store(path);
    store.writeDouble("settings.alertDelay", 30);
    EXPECT_EQ(readAll(path), "[General\n");
    EXPECT_FALSE(store.isSaved());
    ASSERT_TRUE(QDir().rmdir(aside));
    store.writeBool("settings.autoStart", false);
    EXPECT_EQ(readAll(aside), "[General\n");
    EXPECT_EQ(QSettingsPreferences(next.copyOf(path)).readDouble("settings.alertDelay"), 30);

    // Writes that cannot reach the file are sent with the next.
    writeAll(dir.filePath("Backbeacon"), "a file where the folder should be");
    QSettingsPreferences unreached(dir.filePath("Backbeacon/Backbeacon.conf"));
    unreached.writeDouble("settings.sensitivityDegrees", 12);
    unreached.writeData("settings.goodPosture", "{}");
    unreached.remove("settings.goodPosture");
    EXPECT_FALSE(unreached.isSaved() || unreached.readData("settings.goodPosture"));
    ASSERT_TRUE(QFile::remove(dir.filePath("Backbeacon")));
    unreached.writeBool("settings.soundEnabled", false);
    EXPECT_TRUE(unreached.isSaved());
    EXPECT_EQ(readAll(unreached.filePath()), "[General]\nsettings.sensitivityDegrees=12\n"
                                             "settings.soundEnabled=false\n");
}

TEST_F(PreferencesFileTest, FullDiskKeepsThePreviousFile) {
    ScratchMount disk(dir.path(), 64);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.reason();
    }
    QSettingsPreferences store(path);
    store.writeDouble("settings.sensitivityDegrees", 25);
    const std::string before = readAll(path);
    // One page left: enough for Qt's lock file, not for the new settings file.
    // Unguarded, Qt reports success here and leaves the file empty.
    ASSERT_TRUE(disk.fill(4096));
    store.writeDouble("settings.alertDelay", 30);
    EXPECT_EQ(readAll(path), before);
    ASSERT_TRUE(disk.fill(0)); // completely full: Qt cannot even take its lock
    store.writeBool("settings.soundEnabled", false);
    EXPECT_EQ(readAll(path), before);
    EXPECT_FALSE(store.isSaved());
    EXPECT_EQ(entries(dir.path()), (QStringList{"Backbeacon.conf", "filler"}));
    disk.release();
    store.writeBool("settings.autoStart", false);
    EXPECT_TRUE(store.isSaved());
    EXPECT_EQ(readAll(path), "[General]\nsettings.alertDelay=30\nsettings.autoStart=false\n"
                             "settings.sensitivityDegrees=25\nsettings.soundEnabled=false\n");
    EXPECT_EQ(entries(dir.path()), QStringList{"Backbeacon.conf"});
}
