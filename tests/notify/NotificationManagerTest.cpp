#include "notify/NotificationManager.h"

#include "FakeLoginItem.h"
#include "FakeNotificationCenter.h"
#include "Files.h"
#include "ManualClock.h"
#include "model/AppSettings.h"
#include "model/MemoryPreferences.h"

#include <QImage>
#include <QSignalSpy>
#include <QUuid>

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

const QString kIconName = QString::fromLatin1(NotificationIcon::kFileName);

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
    QString iconPath() const { return dir.filePath(kIconName); }

    QTemporaryDir dir;
    MemoryPreferences store;
    FakeLoginItem loginItem;
    ManualClock clock;
    AppSettings settings{store, loginItem, clock};
    FakeNotificationCenter center;
    NotificationManager manager{settings, center, clock};
    QImage appIcon = [] {
        QImage image(300, 100, QImage::Format_ARGB32);
        image.fill(QColor(20, 140, 220));
        return image;
    }();
    int iconRenders = 0;
};

} // namespace

TEST_F(NotificationManagerTest, CooldownHoldsBackOnlyAlertsThatComeTooSoon) {
    settings.setNotificationCooldown(1e9);
    EXPECT_TRUE(alertAfter(0)) << "the first alert after start always passes";

    settings.setNotificationCooldown(60);
    EXPECT_TRUE(alertAfter(1e9));
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

TEST_F(NotificationManagerTest, DeniedNotificationsStillRestartTheCooldown) {
    center.status = 1;
    manager.refreshAuthorization();
    ASSERT_EQ(manager.authorizationStatus(), 1);
    settings.setNotificationCooldown(60);
    EXPECT_TRUE(alertAfter(0)) << "requested even when denied; the service drops it";
    EXPECT_FALSE(alertAfter(30));
}

// The texts, category and action are checked as they reach a real daemon (DunstTest.cpp).
TEST_F(NotificationManagerTest, SoundFollowsTheSettingAndEveryRequestIsNew) {
    settings.setNotificationCooldown(0);
    settings.setSoundEnabled(false);
    ASSERT_TRUE(alertAfter(0));
    settings.setSoundEnabled(true);
    ASSERT_TRUE(alertAfter(0));
    ASSERT_TRUE(alertAfter(0));

    EXPECT_EQ(center.requests[0].sound, false);
    EXPECT_EQ(center.requests[1].sound, true);
    std::set<QString> identifiers;
    for (const NotificationRequest& request : center.requests) {
        EXPECT_FALSE(QUuid::fromString(request.identifier).isNull())
            << request.identifier.toStdString();
        EXPECT_EQ(request.identifier.size(), 36);
        identifiers.insert(request.identifier);
    }
    EXPECT_EQ(identifiers.size(), 3u) << "a fresh identifier for every request";
}

TEST_F(NotificationManagerTest, OnlyThePauseActionSnoozesForTenMinutes) {
    center.invoke(QStringLiteral("backbeacon.snooze10")); // no handler yet: ignored

    std::vector<int> snoozes;
    manager.setSnoozeHandler([&](int minutes) { snoozes.push_back(minutes); });
    ASSERT_TRUE(alertAfter(0));
    center.invoke(QStringLiteral("default"));
    center.invoke(QString());
    center.invoke(QStringLiteral("backbeacon.snooze1"));
    EXPECT_TRUE(snoozes.empty());
    center.invoke(QStringLiteral("backbeacon.snooze10"));
    EXPECT_EQ(snoozes, std::vector<int>{10});
}

TEST_F(NotificationManagerTest, AuthorizationNotifiesOnlyOnARealChange) {
    QSignalSpy changes(&manager, &NotificationManager::authorizationStatusChanged);
    EXPECT_EQ(manager.authorizationStatus(), 0);
    manager.refreshAuthorization();
    manager.refreshAuthorization();
    center.status = 1;
    manager.refreshAuthorization();
    EXPECT_EQ(manager.authorizationStatus(), 1);
    EXPECT_EQ(center.authorizationQueries, 3);
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0][0].toInt(), 2);
    EXPECT_EQ(changes[1][0].toInt(), 1);
}

TEST_F(NotificationManagerTest, IconIsRenderedOnceAndReusedWhileTheFileLasts) {
    settings.setNotificationCooldown(0);
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(center.requests.back().attachmentPath, iconPath());
    const QImage written(iconPath());
    EXPECT_EQ(written.size(), QSize(128, 128)) << "the whole icon scaled to 128 x 128";
    EXPECT_EQ(written.pixelColor(0, 0), QColor(20, 140, 220));
    EXPECT_EQ(written.pixelColor(127, 127), QColor(20, 140, 220));

    // Replaced behind our back (or left by an earlier run): attached as it is, not drawn again.
    writeAll(iconPath(), "planted");
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(center.requests.back().attachmentPath, iconPath());
    EXPECT_EQ(readAll(iconPath()), "planted");

    // Removed: written again from the first rendering.
    ASSERT_TRUE(QFile::remove(iconPath()));
    ASSERT_TRUE(alertAfter(0));
    EXPECT_EQ(center.requests.back().attachmentPath, iconPath());
    EXPECT_EQ(QImage(iconPath()).size(), QSize(128, 128));
    EXPECT_EQ(iconRenders, 1);
    EXPECT_EQ(entries(dir.path()), QStringList{kIconName}) << "no temporary files left";
}

TEST_F(NotificationManagerTest, WithoutAnIconTheAlertGoesOutBare) {
    settings.setNotificationCooldown(0);
    appIcon = QImage();
    ASSERT_TRUE(alertAfter(0));
    EXPECT_TRUE(center.requests.back().attachmentPath.isEmpty());
    EXPECT_FALSE(QFile::exists(iconPath()));

    // A folder that cannot be made (a plain file in the way; holds for root too).
    appIcon = QImage(16, 16, QImage::Format_ARGB32);
    appIcon.fill(Qt::red);
    writeAll(dir.filePath("blocker"), "");
    manager.setIconFolder(dir.filePath("blocker/Backbeacon"));
    ASSERT_TRUE(alertAfter(0));
    EXPECT_TRUE(center.requests.back().attachmentPath.isEmpty());

    manager.setIconProvider({});
    manager.setIconFolder(dir.filePath("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("elsewhere")));
    ASSERT_TRUE(alertAfter(0));
    EXPECT_TRUE(center.requests.back().attachmentPath.isEmpty());
    EXPECT_EQ(center.requests.size(), 3u);
}

TEST(NotificationIconTest, DefaultsToThePrivateScratchFolder) {
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    NotificationIcon icon([] {
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::green);
        return image;
    });
    const QString path = icon.attachmentPath();
    qputenv("XDG_RUNTIME_DIR", saved);

    EXPECT_EQ(path, runtime.filePath(QStringLiteral("Backbeacon/") + kIconName));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(runtime.filePath("Backbeacon")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}
