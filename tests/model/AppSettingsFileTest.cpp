#include "FakeLoginItem.h"
#include "Files.h"
#include "ManualClock.h"
#include "model/AppSettings.h"
#include "model/QSettingsPreferences.h"

#include <gtest/gtest.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

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
