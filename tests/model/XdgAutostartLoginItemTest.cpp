#include "model/XdgAutostartLoginItem.h"

#include "Files.h"
#include "ScratchMount.h"

#include <gtest/gtest.h>

using namespace backbeacon;
using namespace backbeacon::testing;
using Status = LoginItem::Status;

namespace {

class XdgAutostartLoginItemTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QString autostart = home.filePath(QStringLiteral("config/autostart"));
    XdgAutostartLoginItem item{autostart, QStringLiteral("/usr/bin/backbeacon")};
    QString entry = item.desktopFilePath();
};

} // namespace

TEST_F(XdgAutostartLoginItemTest, EntryWrittenRemovedQuotedAndHiddenOnesDoNotCount) {
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(readAll(entry), "[Desktop Entry]\nType=Application\nName=Backbeacon\n"
                              "Exec=/usr/bin/backbeacon\nIcon=org.backbeacon.Backbeacon\n"
                              "X-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(item.status(), Status::enabled);
    EXPECT_EQ(modeOf(autostart), 0700u);
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.unregisterItem(), std::nullopt); // already gone is fine
    // Hidden or disabled entries do not count.
    const std::pair<QByteArray, Status> cases[] = {
        {"[Desktop Entry]\nHidden=true\n", Status::notRegistered},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", Status::notRegistered},
        {"[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", Status::enabled},
        {"# Hidden=true\n[Desktop Entry]\n[Desktop Action x]\nHidden=true\n", Status::enabled}};
    for (const auto& [content, status] : cases) {
        writeAll(entry, content);
        EXPECT_EQ(item.status(), status) << content.constData();
    }
    writeAll(entry, "[Desktop Entry]\nHidden=true\n");
    EXPECT_TRUE(!item.registerItem() && item.status() == Status::enabled) << "replaces it";

    // Exec is quoted when the path needs it.
    const std::pair<QString, QString> quoted[] = {
        {R"(/a"b$c`d\e)", R"("/a\\"b\\$c\\`d\\\\e")"},
        {"/opt/it's 100%/bb", R"("/opt/it's 100%%/bb")"},
        {"/tmp/x\nHidden=true", R"("/tmp/x\nHidden=true")"}, // no key slips into the entry
    };
    for (const auto& [path, exec] : quoted) {
        EXPECT_EQ(XdgAutostartLoginItem::execValue(path), exec);
    }
    XdgAutostartLoginItem odd(autostart, QStringLiteral("/tmp/x\nHidden=true"));
    EXPECT_TRUE(!odd.registerItem() && odd.status() == Status::enabled);
}

TEST_F(XdgAutostartLoginItemTest, FailuresGiveAReasonAndLeaveNoDebris) {
    writeAll(autostart, "a file where the folder should be");
    EXPECT_EQ(item.registerItem(),
              QStringLiteral("cannot create the folder %1: Not a directory").arg(autostart));
    ASSERT_TRUE(QFile::remove(autostart));

    ASSERT_TRUE(QDir().mkpath(entry));
    EXPECT_EQ(item.registerItem(), QStringLiteral("cannot write %1: Is a directory").arg(entry));
    EXPECT_EQ(entries(autostart), QStringList()) << "no temporary left";
    ASSERT_TRUE(QDir().rmdir(entry));

    ScratchMount disk(autostart, 16);
    if (!disk.mounted()) {
        GTEST_SKIP() << disk.reason();
    }
    writeAll(entry, "[Desktop Entry]\nHidden=true\n");
    ASSERT_TRUE(disk.fill(0));
    EXPECT_EQ(item.registerItem(),
              QStringLiteral("cannot write %1: No space left on device").arg(entry));
    EXPECT_EQ(readAll(entry), "[Desktop Entry]\nHidden=true\n");
    disk.release();
    ASSERT_EQ(item.registerItem(), std::nullopt);
    ASSERT_TRUE(disk.makeReadOnly());
    EXPECT_EQ(item.unregisterItem(),
              QStringLiteral("cannot remove %1: Read-only file system").arg(entry));
    EXPECT_EQ(entries(autostart), QStringList{XdgAutostartLoginItem::kDesktopFileName});
}
