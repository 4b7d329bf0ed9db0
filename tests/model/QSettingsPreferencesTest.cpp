#include "model/QSettingsPreferences.h"

#include "QtPrinters.h"
#include "ScratchMount.h"
#include "model/MemoryPreferences.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <memory>

using namespace backbeacon;
using backbeacon::testing::ScratchMount;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class QSettingsPreferencesTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("Backbeacon.conf")); }
    QStringList filesBesideTheConf() const {
        QStringList names =
            QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        names.removeAll(QStringLiteral("Backbeacon.conf"));
        return names;
    }
    // What a later run of the program would read: the file copied to a path
    // this process has never opened, since QSettings shares parsed files by path.
    std::unique_ptr<QSettingsPreferences> reopen() {
        const QString copy = other.filePath(QString::number(++reopened) + QStringLiteral(".conf"));
        writeFile(copy, readFile(path()));
        return std::make_unique<QSettingsPreferences>(copy);
    }

    QTemporaryDir dir;
    QTemporaryDir other;
    int reopened = 0;
};

} // namespace

TEST(StoredValue, KindsAreNotConvertedIntoEachOther) {
    MemoryPreferences store;
    store.plant("number", 2.5);
    store.plant("integer", 7);
    store.plant("numberText", QStringLiteral("-1.25e2"));
    store.plant("word", QStringLiteral("abc"));
    store.plant("partly", QStringLiteral("12abc"));
    store.plant("empty", QString());
    store.plant("flag", true);
    store.plant("flagText", QStringLiteral("false"));
    store.plant("capitalised", QStringLiteral("True"));
    store.plant("bytes", QByteArray("{}"));
    store.plant("list", QStringList{"1", "5"});

    EXPECT_EQ(store.readDouble("number"), 2.5);
    EXPECT_EQ(store.readDouble("integer"), 7);
    EXPECT_EQ(store.readDouble("numberText"), -125);
    for (const char* key : {"word", "partly", "empty", "flag", "bytes", "list", "missing"}) {
        EXPECT_FALSE(store.readDouble(key)) << key;
    }
    EXPECT_EQ(store.readBool("flag"), true);
    EXPECT_EQ(store.readBool("flagText"), false);
    for (const char* key : {"capitalised", "number", "integer", "word", "bytes", "missing"}) {
        EXPECT_FALSE(store.readBool(key)) << key;
    }
    EXPECT_EQ(store.readData("bytes"), QByteArray("{}"));
    for (const char* key : {"word", "number", "flag", "missing"}) {
        EXPECT_FALSE(store.readData(key)) << key;
    }
}

TEST_F(QSettingsPreferencesTest, HandEditedFileReadsOnlyWhatMatchesTheKind) {
    writeFile(path(), "[General]\n"
                      "settings.a=25\n"
                      "settings.b=0.5e1\n"
                      "settings.c=abc\n"
                      "settings.d=1,5\n"
                      "settings.e=1e400\n"
                      "settings.f=true\n"
                      "settings.g=True\n"
                      "settings.h=1\n"
                      "settings.i=@ByteArray({\\\"x\\\":1})\n"
                      "settings.j=\"{\\\"x\\\":1}\"\n"
                      "settings.k=12\n");
    QSettingsPreferences store(path());
    EXPECT_EQ(store.readDouble("settings.a"), 25);
    EXPECT_EQ(store.readDouble("settings.b"), 5);
    EXPECT_FALSE(store.readDouble("settings.c"));
    EXPECT_FALSE(store.readDouble("settings.d")); // a decimal comma reads as a list
    EXPECT_FALSE(store.readDouble("settings.e")); // out of range
    EXPECT_FALSE(store.readDouble("settings.f"));
    EXPECT_EQ(store.readBool("settings.f"), true);
    EXPECT_FALSE(store.readBool("settings.g"));
    EXPECT_FALSE(store.readBool("settings.h"));
    EXPECT_EQ(store.readData("settings.i"), QByteArray(R"({"x":1})"));
    EXPECT_FALSE(store.readData("settings.j")); // text, not data
    EXPECT_FALSE(store.readData("settings.k"));
    EXPECT_FALSE(store.readDouble("settings.missing"));
}

TEST_F(QSettingsPreferencesTest, ValuesSurviveTheFileBitForBit) {
    const double doubles[] = {1780000123.456789,
                              0.1,
                              1e-300,
                              std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::max(),
                              20};
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i) {
        allBytes.append(static_cast<char>(i));
    }
    {
        QSettingsPreferences store(path());
        for (std::size_t i = 0; i < std::size(doubles); ++i) {
            store.writeDouble(QStringLiteral("settings.d%1").arg(i), doubles[i]);
        }
        store.writeBool("settings.on", true);
        store.writeBool("settings.off", false);
        store.writeData("settings.json", QByteArray(R"({"text":"é = ; \"q\" \\"})"));
        store.writeData("settings.bytes", allBytes);
        store.writeDouble("settings.gone", 1);
        store.remove("settings.gone");
        EXPECT_TRUE(store.isSaved());
    }
    const QByteArray text = readFile(path());
    EXPECT_TRUE(text.contains("=1780000123.456789\n")) << text.constData();
    EXPECT_TRUE(text.contains("settings.on=true\n"));
    EXPECT_TRUE(text.contains("settings.off=false\n"));

    const auto store = reopen();
    for (std::size_t i = 0; i < std::size(doubles); ++i) {
        const auto read = store->readDouble(QStringLiteral("settings.d%1").arg(i));
        ASSERT_TRUE(read) << i;
        EXPECT_EQ(std::bit_cast<quint64>(*read), std::bit_cast<quint64>(doubles[i])) << i;
    }
    EXPECT_EQ(store->readBool("settings.on"), true);
    EXPECT_EQ(store->readBool("settings.off"), false);
    EXPECT_EQ(store->readData("settings.json"), QByteArray(R"({"text":"é = ; \"q\" \\"})"));
    EXPECT_EQ(store->readData("settings.bytes"), allBytes);
    EXPECT_FALSE(store->readDouble("settings.gone"));
}

TEST_F(QSettingsPreferencesTest, DefaultPathIsWhereQSettingsKeepsTheApplicationsSettings) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    EXPECT_EQ(QSettingsPreferences::defaultFilePath(),
              config.filePath(QStringLiteral("Backbeacon/Backbeacon.conf")));
    EXPECT_EQ(QSettingsPreferences::defaultFilePath(),
              QSettings(QStringLiteral("Backbeacon"), QStringLiteral("Backbeacon")).fileName());
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(QSettingsPreferencesTest, UnreadableFileIsCopiedAsideBeforeTheFirstWrite) {
    // Qt reports the first at once and the second only when the section is read.
    const QByteArray unreadable[] = {
        "[General\nsettings.sensitivityDegrees=25\n",
        "[General]\nsettings.sensitivityDegrees=25\nnot a setting\n",
        QByteArray("\x01\x02\x00\xff[\n", 6),
    };
    for (const QByteArray& original : unreadable) {
        SCOPED_TRACE(original.toPercentEncoding().constData());
        const QString aside = path() + QStringLiteral(".unreadable");
        writeFile(aside, "an older copy");
        writeFile(path(), original);
        {
            QSettingsPreferences store(path());
            EXPECT_EQ(readFile(aside), "an older copy"); // reading alone changes nothing
            store.writeBool("settings.soundEnabled", false);
            EXPECT_EQ(readFile(aside), original);
            EXPECT_TRUE(store.isSaved());
            store.writeBool("settings.autoStart", false);
            EXPECT_EQ(readFile(aside), original); // the copy is of the original only
        }
        const auto store = reopen();
        EXPECT_EQ(store->readBool("settings.soundEnabled"), false);
        EXPECT_EQ(store->readBool("settings.autoStart"), false);
        QFile::remove(aside);
        QFile::remove(path());
    }
}

TEST_F(QSettingsPreferencesTest, ReadableFileIsNotCopiedAside) {
    writeFile(path(), "[General]\nsettings.sensitivityDegrees=25\n");
    QSettingsPreferences store(path());
    store.writeBool("settings.soundEnabled", false);
    EXPECT_EQ(filesBesideTheConf(), QStringList());
    EXPECT_EQ(reopen()->readDouble("settings.sensitivityDegrees"), 25);
}

TEST_F(QSettingsPreferencesTest, UnreadableFileIsNotReplacedWhileNoCopyCanBeMade) {
    const QByteArray original = "[General\nsettings.sensitivityDegrees=25\n";
    writeFile(path(), original);
    // A folder where the copy's temporary file would go.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Backbeacon.conf.unreadable.tmp")));
    QSettingsPreferences store(path());
    store.writeDouble("settings.alertDelay", 30);
    EXPECT_EQ(readFile(path()), original);
    EXPECT_FALSE(store.isSaved());
    EXPECT_EQ(store.readDouble("settings.alertDelay"), 30);

    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("Backbeacon.conf.unreadable.tmp")));
    store.writeBool("settings.autoStart", false);
    EXPECT_TRUE(store.isSaved());
    EXPECT_EQ(readFile(path() + QStringLiteral(".unreadable")), original);
    const auto reread = reopen();
    EXPECT_EQ(reread->readDouble("settings.alertDelay"), 30);
    EXPECT_EQ(reread->readBool("settings.autoStart"), false);
}

TEST_F(QSettingsPreferencesTest, WritesThatCannotReachTheFileAreKeptAndSentLater) {
    // A regular file where the settings folder should be.
    const QString blocked = dir.filePath(QStringLiteral("Backbeacon"));
    writeFile(blocked, "not a folder");
    const QString conf = blocked + QStringLiteral("/Backbeacon.conf");
    QSettingsPreferences store(conf);
    store.writeDouble("settings.sensitivityDegrees", 12);
    store.writeData("settings.goodPosture", "{}");
    store.remove("settings.goodPosture");
    EXPECT_FALSE(store.isSaved());
    EXPECT_EQ(store.readDouble("settings.sensitivityDegrees"), 12);
    EXPECT_FALSE(store.readData("settings.goodPosture"));

    ASSERT_TRUE(QFile::remove(blocked));
    store.writeBool("settings.soundEnabled", false);
    EXPECT_TRUE(store.isSaved());
    const QByteArray text = readFile(conf);
    EXPECT_TRUE(text.contains("settings.sensitivityDegrees=12\n")) << text.constData();
    EXPECT_FALSE(text.contains("goodPosture"));
}

TEST_F(QSettingsPreferencesTest, FullDiskKeepsThePreviousFile) {
    ScratchMount disk(dir.path(), 64);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.reason();
    }
    QSettingsPreferences store(path());
    store.writeDouble("settings.sensitivityDegrees", 25);
    store.writeBool("settings.soundEnabled", false);
    ASSERT_TRUE(store.isSaved());
    const QByteArray before = readFile(path());
    ASSERT_TRUE(before.contains("settings.sensitivityDegrees=25\n"));

    // One page left: enough for Qt's lock file, not for the new settings file.
    // Unguarded, Qt would report success here and leave the file empty.
    ASSERT_TRUE(disk.fill(4096));
    store.writeDouble("settings.alertDelay", 30);
    EXPECT_EQ(readFile(path()), before);
    EXPECT_FALSE(store.isSaved());
    EXPECT_EQ(store.readDouble("settings.alertDelay"), 30);

    // Completely full: Qt cannot even take its lock.
    ASSERT_TRUE(disk.fill(0));
    store.remove("settings.soundEnabled");
    EXPECT_EQ(readFile(path()), before);
    EXPECT_FALSE(store.readBool("settings.soundEnabled"));
    EXPECT_EQ(filesBesideTheConf(), QStringList{QStringLiteral("filler")});

    disk.release();
    store.writeBool("settings.autoStart", false);
    EXPECT_TRUE(store.isSaved());
    const auto reread = reopen();
    EXPECT_EQ(reread->readDouble("settings.sensitivityDegrees"), 25);
    EXPECT_EQ(reread->readDouble("settings.alertDelay"), 30);
    EXPECT_FALSE(reread->readBool("settings.soundEnabled"));
    EXPECT_EQ(reread->readBool("settings.autoStart"), false);
    EXPECT_EQ(filesBesideTheConf(), QStringList());
}
