#include "model/QSettingsPreferences.h"

#include "ScratchMount.h"
#include "SettingsFile.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace backbeacon;
using namespace backbeacon::testing;

namespace {

class QSettingsPreferencesTest : public ::testing::Test {
protected:
    QStringList strayFiles() const {
        QStringList names = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        names.removeAll(QStringLiteral("Backbeacon.conf"));
        return names;
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Backbeacon.conf"));
    NextStart next;
};

} // namespace

TEST_F(QSettingsPreferencesTest, DefaultPathIsWhereQSettingsKeepsTheApplicationsSettings) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    EXPECT_EQ(QSettingsPreferences::defaultFilePath(),
              dir.filePath(QStringLiteral("Backbeacon/Backbeacon.conf")));
    EXPECT_EQ(QSettingsPreferences::defaultFilePath(),
              QSettings(QStringLiteral("Backbeacon"), QStringLiteral("Backbeacon")).fileName());
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(QSettingsPreferencesTest, UnreadableFileIsCopiedAsideBeforeTheFirstWrite) {
    const QString aside = path + QStringLiteral(".unreadable");
    // Qt reports the first at once, the others only once the section is parsed.
    for (const QByteArray& original : {QByteArray("[General\nsettings.alertDelay=25\n"),
                                       QByteArray("[General]\nsettings.alertDelay=25\njunk\n"),
                                       QByteArray("\x01\x02\x00\xff[\n", 6)}) {
        writeFile(aside, "an older copy");
        writeFile(path, original);
        QSettingsPreferences store(path);
        EXPECT_EQ(readFile(aside), "an older copy"); // reading alone changes nothing
        store.writeBool("settings.soundEnabled", false);
        store.writeBool("settings.autoStart", false);
        EXPECT_EQ(readFile(aside), original);
        EXPECT_TRUE(store.isSaved());
        EXPECT_EQ(QSettingsPreferences(next.copyOf(path)).readBool("settings.autoStart"), false);
    }
    QFile::remove(aside);
    writeFile(path, "[General]\nsettings.alertDelay=25\n");
    QSettingsPreferences(path).writeBool("settings.soundEnabled", false);
    EXPECT_EQ(strayFiles(), QStringList()); // a readable file is not copied
}

TEST_F(QSettingsPreferencesTest, UnreadableFileIsKeptWhileNoCopyCanBeMade) {
    const QByteArray original = "[General\nsettings.alertDelay=25\n";
    writeFile(path, original);
    // A folder where the copy should go: the copy cannot be renamed into place.
    const QString obstacle = path + QStringLiteral(".unreadable");
    ASSERT_TRUE(QDir().mkdir(obstacle));
    QSettingsPreferences store(path);
    store.writeDouble("settings.alertDelay", 30);
    EXPECT_EQ(readFile(path), original);
    EXPECT_FALSE(store.isSaved());
    EXPECT_EQ(store.readDouble("settings.alertDelay"), 30);

    ASSERT_TRUE(QDir().rmdir(obstacle));
    store.writeBool("settings.autoStart", false);
    EXPECT_TRUE(store.isSaved());
    EXPECT_EQ(readFile(path + QStringLiteral(".unreadable")), original);
    EXPECT_EQ(QSettingsPreferences(next.copyOf(path)).readDouble("settings.alertDelay"), 30);
}

TEST_F(QSettingsPreferencesTest, WritesThatCannotReachTheFileAreSentWithTheNext) {
    const QString folder = dir.filePath(QStringLiteral("Backbeacon"));
    writeFile(folder, "a file where the folder should be");
    const QString conf = folder + QStringLiteral("/Backbeacon.conf");
    QSettingsPreferences store(conf);
    store.writeDouble("settings.sensitivityDegrees", 12);
    store.writeData("settings.goodPosture", "{}");
    store.remove("settings.goodPosture");
    EXPECT_FALSE(store.isSaved());
    EXPECT_EQ(store.readDouble("settings.sensitivityDegrees"), 12);
    EXPECT_FALSE(store.readData("settings.goodPosture"));

    ASSERT_TRUE(QFile::remove(folder));
    store.writeBool("settings.soundEnabled", false);
    EXPECT_TRUE(store.isSaved());
    EXPECT_EQ(readFile(conf), "[General]\nsettings.sensitivityDegrees=12\n"
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
    const QByteArray before = readFile(path);
    ASSERT_TRUE(store.isSaved() && before.contains("settings.sensitivityDegrees=25\n"));

    // One page left: enough for Qt's lock file, not for the new settings file.
    // Unguarded, Qt reports success here and leaves the file empty.
    ASSERT_TRUE(disk.fill(4096));
    store.writeDouble("settings.alertDelay", 30);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(store.readDouble("settings.alertDelay"), 30);
    // Completely full: Qt cannot even take its lock.
    ASSERT_TRUE(disk.fill(0));
    store.remove("settings.soundEnabled");
    EXPECT_EQ(readFile(path), before);
    EXPECT_FALSE(store.isSaved() || store.readBool("settings.soundEnabled"));
    EXPECT_EQ(strayFiles(), QStringList{QStringLiteral("filler")});

    disk.release();
    store.writeBool("settings.autoStart", false);
    EXPECT_TRUE(store.isSaved());
    EXPECT_EQ(readFile(path), "[General]\nsettings.alertDelay=30\nsettings.autoStart=false\n"
                              "settings.sensitivityDegrees=25\n");
    EXPECT_EQ(strayFiles(), QStringList());
}
