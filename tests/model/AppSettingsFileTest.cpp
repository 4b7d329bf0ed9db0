#include "FakeLoginItem.h"
#include "Files.h"
#include "ManualClock.h"
#include "model/AppSettings.h"
#include "model/QSettingsPreferences.h"

#include <gtest/gtest.h>

#include <bit>

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
    FakeLoginItem loginItem{LoginItem::Status::enabled};
    ManualClock clock{Instant::fromUnixSeconds(1'780'000'000.0)};
    std::unique_ptr<QSettingsPreferences> preferences;
    std::unique_ptr<AppSettings> settings;
};

} // namespace

TEST_F(AppSettingsFileTest, HandEditedValuesOfTheWrongKindGiveDefaults) {
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
    AppSettings& s = start(path);
    EXPECT_EQ(s.sensitivityDegrees(), 20);
    EXPECT_EQ(s.alertDelay(), 15);
    EXPECT_EQ(s.notificationCooldown(), 300);
    EXPECT_TRUE(s.soundEnabled() && s.autoStart() && s.launchAtLogin());
    EXPECT_FALSE(s.monitoringEnabled());
    EXPECT_TRUE(s.collectDiagnostics());
    EXPECT_FALSE(s.isCalibrated());
    EXPECT_EQ(s.snoozeUntil(),
              Instant::fromUnixSeconds(1780000100)); // quoted text is still a number
    EXPECT_EQ(s.diagnostics(), Diagnostics{});
    EXPECT_EQ(readAll(path), text); // loading writes nothing

    s.countDiagnostic(&Diagnostics::launches);
    EXPECT_EQ(restart().diagnostics(), (Diagnostics{1, 0, 0, 0, 0}));
}

TEST_F(AppSettingsFileTest, EveryPropertySurvivesARestartBitForBit) {
    AppSettings& first = start(path);
    const Instant deadline = Instant::fromUnixSeconds(1780000123.456789);
    const PosturePoint baseline(0.1234567890123456789, -0.3,
                                Instant::fromReferenceSeconds(1e8 / 3));
    first.setSensitivityDegrees(12.5);
    first.setAlertDelay(30);
    first.setNotificationCooldown(900);
    first.setSoundEnabled(false);
    first.setAutoStart(false);
    first.setLaunchAtLogin(false);
    first.setCollectDiagnostics(true);
    first.setGoodPosture(baseline);
    first.setSnoozeUntil(deadline);
    first.setDiagnostics({1, 2, 3, 4, 5});
    EXPECT_NE(readAll(path).find("settings.snoozeUntil=1780000123.456789\n"), std::string::npos);

    AppSettings& second = restart();
    EXPECT_EQ(second.sensitivityDegrees(), 12.5);
    EXPECT_EQ(second.alertDelay(), 30);
    EXPECT_EQ(second.notificationCooldown(), 900);
    EXPECT_FALSE(second.soundEnabled() || second.autoStart() || second.launchAtLogin());
    EXPECT_TRUE(second.collectDiagnostics());
    EXPECT_EQ(second.goodPosture(), baseline);
    ASSERT_TRUE(second.snoozeUntil());
    EXPECT_EQ(std::bit_cast<quint64>(second.snoozeUntil()->unixSeconds()),
              std::bit_cast<quint64>(1780000123.456789));
    EXPECT_EQ(second.diagnostics(), (Diagnostics{1, 2, 3, 4, 5}));

    second.setGoodPosture(std::nullopt);
    second.setSnoozeUntil(std::nullopt);
    EXPECT_EQ(readAll(preferences->filePath()).find("goodPosture"), std::string::npos);
    EXPECT_FALSE(restart().isCalibrated() || settings->snoozeUntil());
}
