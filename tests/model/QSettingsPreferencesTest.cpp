#include "model/QSettingsPreferences.h"

#include "Files.h"
#include "ScratchMount.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

class QSettingsPreferencesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Backbeacon.conf"));
    QString aside = path + QStringLiteral(".unreadable");
    NextStart next;
};

} // namespace

TEST_F(QSettingsPreferencesTest, DefaultPathIsWhereQSettingsKeepsTheApplicationsSettings) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    EXPECT_EQ(QSettingsPreferences::defaultFilePath(), dir.filePath("Backbeacon/Backbeacon.conf"));
    EXPECT_EQ(QSettingsPreferences::defaultFilePath(),
              QSettings(QStringLiteral("Backbeacon"), QStringLiteral("Backbeacon")).fileName());
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(QSettingsPreferencesTest, UnreadableFileIsCopiedAsideBeforeTheFirstWrite) {
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
        EXPECT_TRUE(store.isSaved());
        EXPECT_EQ(QSettingsPreferences(next.copyOf(path)).readBool("settings.autoStart"), false);
    }
    QFile::remove(aside);
    writeAll(path, "[General]\nsettings.alertDelay=25\n");
    QSettingsPreferences(path).writeBool("settings.soundEnabled", false);
    EXPECT_EQ(entries(dir.path()), QStringList{"Backbeacon.conf"}) << "a readable file stays put";
}

TEST_F(QSettingsPreferencesTest, UnreadableFileIsKeptWhileNoCopyCanBeMade) {
    const std::string original = "[General\nsettings.alertDelay=25\n";
    writeAll(path, original);
    ASSERT_TRUE(QDir().mkdir(aside)); // a folder where the copy should go
    QSettingsPreferences store(path);
    store.writeDouble("settings.alertDelay", 30);
    EXPECT_EQ(readAll(path), original);
    EXPECT_FALSE(store.isSaved());
    EXPECT_EQ(store.readDouble("settings.alertDelay"), 30);

    ASSERT_TRUE(QDir().rmdir(aside));
    store.writeBool("settings.autoStart", false);
    EXPECT_TRUE(store.isSaved());
    EXPECT_EQ(readAll(aside), original);
    EXPECT_EQ(QSettingsPreferences(next.copyOf(path)).readDouble("settings.alertDelay"), 30);
}

TEST_F(QSettingsPreferencesTest, WritesThatCannotReachTheFileAreSentWithTheNext) {
    const QString folder = dir.filePath(QStringLiteral("Backbeacon"));
    writeAll(folder, "a file where the folder should be");
    QSettingsPreferences store(folder + QStringLiteral("/Backbeacon.conf"));
    store.writeDouble("settings.sensitivityDegrees", 12);
    store.writeData("settings.goodPosture", "{}");
    store.remove("settings.goodPosture");
    EXPECT_FALSE(store.isSaved());
    EXPECT_EQ(store.readDouble("settings.sensitivityDegrees"), 12);
    EXPECT_FALSE(store.readData("settings.goodPosture"));

    ASSERT_TRUE(QFile::remove(folder));
    store.writeBool("settings.soundEnabled", false);
    EXPECT_TRUE(store.isSaved());
    EXPECT_EQ(readAll(store.filePath()), "[General]\nsettings.sensitivityDegrees=12\n"
                                         "settings.soundEnabled=false\n");
}

TEST_F(QSettingsPreferencesTest, FullDiskKeepsThePreviousFile) {
    ScratchMount disk(dir.path(), 64);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.reason();
    }
    QSettingsPreferences store(path);
    store.writeDouble("settings.sensitivityDegrees", 25);
    store.writeBool("settings.soundEnabled", false);
    const std::string before = readAll(path);
    ASSERT_TRUE(store.isSaved());

    // One page left: enough for Qt's lock file, not for the new settings file.
    // Unguarded, Qt reports success here and leaves the file empty.
    ASSERT_TRUE(disk.fill(4096));
    store.writeDouble("settings.alertDelay", 30);
    EXPECT_EQ(readAll(path), before);
    // Completely full: Qt cannot even take its lock.
    ASSERT_TRUE(disk.fill(0));
    store.remove("settings.soundEnabled");
    EXPECT_EQ(readAll(path), before);
    EXPECT_FALSE(store.isSaved() || store.readBool("settings.soundEnabled"));
    EXPECT_EQ(store.readDouble("settings.alertDelay"), 30);
    EXPECT_EQ(entries(dir.path()), (QStringList{"Backbeacon.conf", "filler"}));

    disk.release();
    store.writeBool("settings.autoStart", false);
    EXPECT_TRUE(store.isSaved());
    EXPECT_EQ(readAll(path), "[General]\nsettings.alertDelay=30\nsettings.autoStart=false\n"
                             "settings.sensitivityDegrees=25\n");
    EXPECT_EQ(entries(dir.path()), QStringList{"Backbeacon.conf"});
}
