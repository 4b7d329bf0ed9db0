#include "notify/NotificationManager.h"

#include "FakeLoginItem.h"
#include "FakeNotificationCenter.h"
#include "Files.h"
#include "ManualClock.h"
#include "model/AppSettings.h"
#include "model/MemoryPreferences.h"

#include <QImage>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

class NotificationManagerTest : public ::testing::Test {
protected:
    NotificationManagerTest() {
        manager.setIconFolder(dir.path());
        manager.setIconProvider([this] {
            ++iconRenders;
            return appIcon;
        });
    }

    // Raises an alert `seconds` after the previous one; true if it was requested.
    bool alertAfter(double seconds) {
        clock.advance(seconds);
        const std::size_t before = center.requests.size();
        manager.notifyPostureAlert();
        return center.requests.size() > before;
    }
    QString attached() const { return center.requests.back().attachmentPath; }

    QTemporaryDir dir;
    MemoryPreferences store;
    FakeLoginItem loginItem;
    ManualClock clock;
    AppSettings settings{store, loginItem, clock};
    FakeNotificationCenter center;
    NotificationManager manager{settings, center, clock};
    QImage appIcon;
    int iconRenders = 0;
};

} // namespace

TEST_F(NotificationManagerTest, CooldownHoldsBackOnlyAlertsThatComeTooSoon) {
    // Denied or not, alerts are requested (the service drops them) and restart the cooldown.
    center.status = 1;
    manager.refreshAuthorization();
    settings.setNotificationCooldown(60);
    EXPECT_TRUE(alertAfter(0)) << "the first alert after start always passes";
    EXPECT_FALSE(alertAfter(10));
    EXPECT_TRUE(alertAfter(50)) << "the held-back alert must not restart the cooldown";
    EXPECT_TRUE(alertAfter(60)) << "exactly one cooldown later passes";
    EXPECT_FALSE(alertAfter(59.999));

    settings.setNotificationCooldown(900);
    EXPECT_FALSE(alertAfter(120));
    settings.setNotificationCooldown(60);
    EXPECT_TRUE(alertAfter(0)) << "a lowered cooldown counts from the last request";

    // The wall clock set back an hour: waiting for it to catch up would mute alerts for an hour.
    EXPECT_TRUE(alertAfter(-3600));
    EXPECT_FALSE(alertAfter(30)) << "and the cooldown runs from the new time";
}

TEST_F(NotificationManagerTest, OnlyThePauseActionSnoozesAndOnlyRealChangesOfAuthorizationShow) {
    center.invoke(QStringLiteral("backbeacon.snooze10")); // no handler yet: ignored
    std::vector<int> snoozes;
    manager.setSnoozeHandler([&](int minutes) { snoozes.push_back(minutes); });
    for (const char* other : {"default", "", "backbeacon.snooze1"}) {
        center.invoke(QString::fromLatin1(other));
    }
    EXPECT_TRUE(snoozes.empty());
    center.invoke(QStringLiteral("backbeacon.snooze10"));
    EXPECT_EQ(snoozes, std::vector<int>{10});

    QSignalSpy changes(&manager, &NotificationManager::authorizationStatusChanged);
    manager.refreshAuthorization();
    manager.refreshAuthorization();
    center.status = 1;
    manager.refreshAuthorization();
    ASSERT_EQ(changes.size(), 2) << "only real changes are reported";
    EXPECT_EQ(changes[0][0].toInt(), 2);
    EXPECT_EQ(changes[1][0].toInt(), 1);
}

TEST_F(NotificationManagerTest, IconIsRenderedOnceAndReusedWhileTheFileLasts) {
    settings.setNotificationCooldown(0);
    const QString icon = dir.filePath(QString::fromLatin1(NotificationIcon::kFileName));
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(attached(), QString()) << "a null image goes out as no picture";
    EXPECT_EQ(entries(dir.path()), QStringList{});

    appIcon = QImage(300, 100, QImage::Format_ARGB32);
    appIcon.fill(QColor(20, 140, 220));
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(attached(), icon);
    const QImage written(icon);
    EXPECT_EQ(written.size(), QSize(128, 128));
    EXPECT_EQ(written.pixelColor(0, 0), QColor(20, 140, 220)) << "the whole icon, to the corners";
    EXPECT_EQ(written.pixelColor(127, 127), QColor(20, 140, 220));

    // Replaced behind our back (or left by an earlier run): attached as it is.
    writeAll(icon, "planted");
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(attached(), icon);
    EXPECT_EQ(readAll(icon), "planted");

    // Removed: written again from the first rendering.
    ASSERT_TRUE(QFile::remove(icon));
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(attached(), icon);
    EXPECT_EQ(QImage(icon).size(), QSize(128, 128));
    EXPECT_EQ(iconRenders, 2) << "the null image, then the real one once";
    EXPECT_EQ(entries(dir.path()), QStringList{NotificationIcon::kFileName})
        << "no temporary files";

    // A folder that cannot be made (a plain file in the way; holds for root too), then no icon.
    manager.setIconFolder(icon + QStringLiteral("/Backbeacon"));
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(attached(), QString());
    manager.setIconProvider({});
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(attached(), QString());
}
