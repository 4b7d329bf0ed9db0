#include "model/XdgAutostartLoginItem.h"

#include "FakeLoginItem.h"
#include "ManualClock.h"
#include "MessageLog.h"
#include "QtPrinters.h"
#include "ScratchMount.h"
#include "model/AppSettings.h"
#include "model/MemoryPreferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace backbeacon;
using backbeacon::testing::ManualClock;
using backbeacon::testing::MessageLog;
using backbeacon::testing::ScratchMount;
using Status = LoginItem::Status;

namespace {

std::string readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class XdgAutostartLoginItemTest : public ::testing::Test {
protected:
    QString autostart() const { return home.filePath(QStringLiteral("config/autostart")); }
    QStringList autostartFiles() const {
        return QDir(autostart()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir home;
    XdgAutostartLoginItem item{autostart(), QStringLiteral("/usr/bin/backbeacon")};
};

} // namespace

TEST_F(XdgAutostartLoginItemTest, RegisterWritesTheEntryAndUnregisterRemovesIt) {
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(readFile(item.desktopFilePath()), "[Desktop Entry]\n"
                                                "Type=Application\n"
                                                "Name=Backbeacon\n"
                                                "Exec=/usr/bin/backbeacon\n"
                                                "Icon=org.backbeacon.Backbeacon\n"
                                                "X-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(item.status(), Status::enabled);
    EXPECT_EQ(autostartFiles(), QStringList{XdgAutostartLoginItem::kDesktopFileName});
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(autostart()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.unregisterItem(), std::nullopt); // already gone is fine
}

TEST_F(XdgAutostartLoginItemTest, HiddenOrDisabledEntriesDoNotCount) {
    ASSERT_TRUE(QDir().mkpath(autostart()));
    const std::pair<QByteArray, Status> cases[] = {
        {"[Desktop Entry]\nExec=x\n", Status::enabled},
        {"[Desktop Entry]\nHidden=true\n", Status::notRegistered},
        {"[Desktop Entry]\nHidden = true\n", Status::notRegistered},
        {"[Desktop Entry]\nHidden=false\n", Status::enabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", Status::notRegistered},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n", Status::enabled},
        {"# Hidden=true\n[Desktop Entry]\n[Desktop Action x]\nHidden=true\n", Status::enabled},
        {"", Status::enabled},
    };
    for (const auto& [content, status] : cases) {
        writeFile(item.desktopFilePath(), content);
        EXPECT_EQ(item.status(), status) << content.constData();
    }
    // Registering replaces a hidden entry with one that counts.
    writeFile(item.desktopFilePath(), "[Desktop Entry]\nHidden=true\n");
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), Status::enabled);
}

TEST_F(XdgAutostartLoginItemTest, ExecIsQuotedWhenThePathNeedsIt) {
    const std::pair<QString, QString> cases[] = {
        {"/usr/bin/backbeacon", "/usr/bin/backbeacon"},
        {"/opt/Back Beacon/backbeacon", R"("/opt/Back Beacon/backbeacon")"},
        {R"(/a"b$c`d\e)", R"("/a\\"b\\$c\\`d\\\\e")"},
        {"/opt/100%/bb", "/opt/100%%/bb"},
        {"/opt/100% sure/bb", R"("/opt/100%% sure/bb")"},
        {"/opt/it's(mine)/bb", R"("/opt/it's(mine)/bb")"},
        {"/tmp/x\nHidden=true", R"("/tmp/x\nHidden=true")"},
    };
    for (const auto& [path, exec] : cases) {
        EXPECT_EQ(XdgAutostartLoginItem::execValue(path).toStdString(), exec.toStdString());
    }
    // A line break in the path cannot slip a key into the entry.
    XdgAutostartLoginItem odd(autostart(), QStringLiteral("/tmp/x\nHidden=true"));
    EXPECT_EQ(odd.registerItem(), std::nullopt);
    EXPECT_EQ(odd.status(), Status::enabled);
}

TEST_F(XdgAutostartLoginItemTest, DefaultProgramIsTheRunningExecutable) {
    XdgAutostartLoginItem running(autostart());
    EXPECT_EQ(running.registerItem(), std::nullopt);
    const std::string exec =
        "Exec=" +
        XdgAutostartLoginItem::execValue(QCoreApplication::applicationFilePath()).toStdString() +
        "\n";
    EXPECT_NE(readFile(running.desktopFilePath()).find(exec), std::string::npos);
}

TEST_F(XdgAutostartLoginItemTest, FailuresComeBackWithAReasonAndLeaveNoDebris) {
    // A regular file where the autostart folder should be.
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("config"))));
    writeFile(autostart(), "in the way");
    EXPECT_EQ(item.registerItem(),
              QStringLiteral("cannot create the folder %1: Not a directory").arg(autostart()));
    EXPECT_EQ(item.status(), Status::notRegistered);
    ASSERT_TRUE(QFile::remove(autostart()));

    // A folder where the entry should be.
    ASSERT_TRUE(QDir().mkpath(item.desktopFilePath()));
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.registerItem(),
              QStringLiteral("cannot write %1: Is a directory").arg(item.desktopFilePath()));
    EXPECT_EQ(autostartFiles(), QStringList{XdgAutostartLoginItem::kDesktopFileName});
}

TEST_F(XdgAutostartLoginItemTest, FullOrReadOnlyDiskFailsWithoutTouchingTheEntry) {
    ASSERT_TRUE(QDir().mkpath(autostart()));
    ScratchMount disk(autostart(), 16);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.reason();
    }
    writeFile(item.desktopFilePath(), "[Desktop Entry]\nHidden=true\n");
    ASSERT_TRUE(disk.fill(0));
    EXPECT_EQ(
        item.registerItem(),
        QStringLiteral("cannot write %1: No space left on device").arg(item.desktopFilePath()));
    EXPECT_EQ(readFile(item.desktopFilePath()), "[Desktop Entry]\nHidden=true\n");
    disk.release();

    ASSERT_EQ(item.registerItem(), std::nullopt);
    ASSERT_TRUE(disk.makeReadOnly());
    EXPECT_EQ(
        item.unregisterItem(),
        QStringLiteral("cannot remove %1: Read-only file system").arg(item.desktopFilePath()));
    EXPECT_EQ(item.status(), Status::enabled);
    EXPECT_EQ(autostartFiles(), QStringList{XdgAutostartLoginItem::kDesktopFileName});
}

TEST_F(XdgAutostartLoginItemTest, SettingsFollowTheAutostartEntry) {
    MemoryPreferences store;
    ManualClock clock;
    ASSERT_EQ(item.registerItem(), std::nullopt);
    AppSettings settings(store, item, clock);
    EXPECT_TRUE(settings.launchAtLogin());

    settings.setLaunchAtLogin(false);
    EXPECT_FALSE(QFile::exists(item.desktopFilePath()));
    settings.setLaunchAtLogin(true);
    EXPECT_EQ(item.status(), Status::enabled);

    // The autostart folder cannot be made: the choice is kept and the failure logged.
    settings.setLaunchAtLogin(false);
    QDir(home.filePath(QStringLiteral("config"))).removeRecursively();
    writeFile(home.filePath(QStringLiteral("config")), "in the way");
    MessageLog log;
    settings.setLaunchAtLogin(true);
    EXPECT_TRUE(settings.launchAtLogin());
    EXPECT_EQ(log.lines(),
              QStringList(QStringLiteral("backbeacon.settings: Backbeacon failed to update login "
                                         "item: cannot create the folder %1: Not a directory")
                              .arg(autostart())));
}
