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
using namespace Qt::StringLiterals;

namespace {

class NotificationManagerTest : public ::testing::Test {
protected:
    NotificationManagerTest() {
        manager.setIconFolder(dir.path());
        manager.setIconProvider([this] { return appIcon; });
    }

    // Raises an alert `seconds` after the previous one: the request made, if any.
    std::optional<NotificationRequest> alertAfter(double seconds) {
        clock.advance(seconds);
        const std::size_t before = center.requests.size();
        manager.notifyPostureAlert();
        return center.requests.size() > before ? std::optional(center.requests.back())
                                               : std::nullopt;
    }

    QTemporaryDir dir;
    MemoryPreferences store;
    FakeLoginItem loginItem;
    ManualClock clock;
    AppSettings settings{store, loginItem, clock};
    FakeNotificationCenter center;
    NotificationManager manager{settings, center, clock};
    QImage appIcon;
};

} // namespace

// Denied or not, alerts are requested (the service drops them) and restart the
// cooldown; a held-back one does not, a lowered cooldown counts from the last
// request, and a clock set back an hour does not mute alerts for an hour. Only
// the pause action snoozes, and only real changes of authorization show.
TEST_F(NotificationManagerTest, CooldownPauseActionAndAuthorization) {
    center.status = 1;
    manager.refreshAuthorization();
    const std::tuple<double, int, bool> steps[] = {
        {0, 60, true},     {10, 60, false}, {50, 60, true},    {60, 60, true}, {59.999, 60, false},
        {120, 900, false}, {0, 60, true},   {-3600, 60, true}, {30, 60, false}};
    for (const auto& [after, cooldown, passes] : steps) {
        settings.setNotificationCooldown(cooldown);
        EXPECT_EQ(alertAfter(after).has_value(), passes)
            << after << " s after, cooldown " << cooldown;
    }
    settings.setSoundEnabled(false);
    EXPECT_FALSE(alertAfter(60).value().sound);

    center.invoke(u"backbeacon.snooze10"_s); // no handler yet: ignored
    std::vector<int> snoozes;
    manager.setSnoozeHandler([&](int minutes) { snoozes.push_back(minutes); });
    for (const char* action : {"default", "", "backbeacon.snooze1", "backbeacon.snooze10"}) {
        center.invoke(QString::fromLatin1(action));
    }
    EXPECT_EQ(snoozes, std::vector<int>{10});
    QSignalSpy changes(&manager, &NotificationManager::authorizationStatusChanged);
    for (const int status : {1, 2, 2, 1}) {
        center.status = status;
        manager.refreshAuthorization();
    }
    EXPECT_EQ(changes, (QList<QVariantList>{{2}, {1}}));
}

TEST_F(NotificationManagerTest, IconIsRenderedOnceAndReusedWhileTheFileLasts) {
    settings.setNotificationCooldown(0);
    const QString icon = dir.filePath(QString::fromLatin1(NotificationIcon::kFileName));
    EXPECT_EQ(alertAfter(0).value().attachmentPath, QString()) << "a null image: no picture";
    appIcon = QImage(300, 100, QImage::Format_ARGB32);
    appIcon.fill(QColor(20, 140, 220));
    EXPECT_EQ(alertAfter(0).value().attachmentPath, icon);
    EXPECT_EQ(QImage(icon).size(), QSize(128, 128));
    appIcon.fill(Qt::red); // never rendered again

    // Replaced behind our back (or left by an earlier run): attached as it is.
    // Removed: written again from the first rendering, to the corners.
    writeAll(icon, "planted");
    EXPECT_EQ(alertAfter(0).value().attachmentPath, icon);
    EXPECT_EQ(readAll(icon), "planted");
    ASSERT_TRUE(QFile::remove(icon));
    alertAfter(0);
    EXPECT_EQ(QImage(icon).pixelColor(127, 127), QColor(20, 140, 220));
    EXPECT_EQ(entries(dir.path()), QStringList{NotificationIcon::kFileName})
        << "no temporary files";

    // A folder that cannot be made (a plain file in the way; holds for root too), then no icon.
    manager.setIconFolder(icon + u"/Backbeacon"_s);
    EXPECT_EQ(alertAfter(0).value().attachmentPath, QString());
    manager.setIconProvider({});
    EXPECT_EQ(alertAfter(0).value().attachmentPath, QString());
}
