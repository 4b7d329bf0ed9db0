// Backbeacon as a user runs it: the real executable on the private desktop of
// scripts/private-session.sh --desktop (X server, session bus, dunst, trayer),
// fed head motion over UDP, looked at and clicked through desktop-tools.sh.
#include "Colors.h"
#include "Files.h"
#include "OpentrackSender.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <numbers>

using namespace backbeacon::testing;

namespace {

template <typename Done> bool within(int timeoutMs, Done done) {
    return QTest::qWaitFor(done, timeoutMs);
}

// What a desktop-tools.sh look-up printed; empty when it found nothing.
QString tool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(BACKBEACON_DESKTOP_TOOLS), arguments);
    process.waitForFinished(30'000);
    return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()).trimmed()
                                   : QString();
}

QRect area(const QString& printed) {
    const QStringList n = printed.split(QLatin1Char(' '));
    return n.size() == 4 ? QRect(n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt()) : QRect();
}

QStringList area(const QRect& r) {
    return {QString::number(r.x()), QString::number(r.y()), QString::number(r.width()),
            QString::number(r.height())};
}

// Whether any pixel of a screenshot of `part`, kept in `file`, is one `wanted` accepts.
template <typename Wanted> bool shows(const QString& file, const QRect& part, Wanted wanted) {
    tool(QStringList{"shot", file} + area(part));
    const QImage image(file);
    for (int i = 0; i < image.width() * image.height(); ++i) {
        if (wanted(image.pixelColor(i % image.width(), i / image.width()))) {
            return true;
        }
    }
    return false;
}

bool panelCloses() {
    return within(5'000, [] { return tool({"window", "Backbeacon Panel"}).isEmpty(); });
}

bool alertShown() {
    return within(15'000, [] {
        QProcess ctl;
        ctl.start(QStringLiteral("dunstctl"), {"count", "displayed"});
        return ctl.waitForFinished(10'000) && ctl.readAllStandardOutput().trimmed() == "1";
    });
}

// Whether the app listens on loopback port 4242 (hex 1092), from the kernel's table.
bool listening() {
    return within(10'000, [] {
        return QString::fromStdString(readAll("/proc/net/udp")).contains("0100007F:1092");
    });
}

const QString kStats = qEnvironmentVariable("XDG_DATA_HOME") + "/Backbeacon/stats.json";

// One figure of the statistics file, summed over its days (a run may cross midnight).
double stat(const char* key) {
    double sum = 0;
    for (const auto& day :
         QJsonDocument::fromJson(QByteArray::fromStdString(readAll(kStats))).array()) {
        sum += day[QLatin1StringView(key)].toDouble();
    }
    return sum;
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariable("PRIVATE_SESSION_DIR").isEmpty())
            << "run through private-session.sh";
        writeAll(conf, "[General]\nsettings.alertDelay=5\n");
        tracker.setTimerType(Qt::PreciseTimer);
        tracker.callOnTimeout([this] { socket.send(pose.data(), pose.size()); });
    }
    // Sends this head pose at 50 Hz from the test's event loop.
    void hold(double pitchDegrees, double rollDegrees) {
        pose = opentrackPose(pitchDegrees, rollDegrees);
        tracker.start(20);
    }
    void TearDown() override { // the apps are killed with their QProcess
        if (HasFailure()) {
            scratch.setAutoRemove(false); // the screenshots, for a look
            std::cerr << "--- the app's log\n" << readAll(log);
        }
    }

    void launch(QProcess& process) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("QT_SCALE_FACTOR", "1");
        // libxkbcommon-x11 strndup()s atom names that have no terminator, which
        // is allowed but what AddressSanitizer's strict string checks reject.
        environment.insert("ASAN_OPTIONS",
                           environment.value("ASAN_OPTIONS") + ":strict_string_checks=0");
        process.setProcessEnvironment(environment);
        process.setStandardErrorFile(log, QIODevice::Append);
        process.start(QStringLiteral(BACKBEACON_APP), {});
    }

    // The preference as the next start would read it, once it is there.
    QVariant stored(const QString& key, int timeoutMs = 5'000) {
        QVariant value;
        within(timeoutMs, [&] {
            value = QSettings(nextStart.copyOf(conf), QSettings::IniFormat).value(key);
            return value.isValid();
        });
        return value;
    }

    const QString conf = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Backbeacon/Backbeacon.conf";
    QTemporaryDir scratch;
    const QString log = scratch.filePath(QStringLiteral("app.log"));
    NextStart nextStart;
    QProcess app;
    QProcess second;
    UdpSender socket{4242};
    OpentrackBytes pose{};
    QTimer tracker;
};

// With xfce4-panel as the tray host (PRIVATE_SESSION_TRAY=xfce4-panel).
class StatusNotifierHostTest : public EndToEndTest {};

} // namespace

TEST_F(EndToEndTest, BaselineAlertPauseStatisticsAndQuitThroughTheDesktop) {
    launch(app);
    const QRect icon = area(tool({"wait", "10", "tray-icon"}));
    ASSERT_FALSE(icon.isEmpty()) << "no icon in the tray";

    // A second launch hands over to the running instance and touches nothing.
    const auto files = [&] { return readAll(conf) + "\n--\n" + readAll(kStats); };
    const std::string before = files();
    launch(second);
    ASSERT_TRUE(second.waitForFinished(15'000));
    EXPECT_TRUE(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
    EXPECT_EQ(files(), before);
    EXPECT_FALSE(tool({"wait", "5", "window", "Backbeacon Panel"}).isEmpty())
        << "the running instance did not open its panel";
    tool(QStringList{"click"} + area(icon)); // a click on the icon toggles the panel
    EXPECT_TRUE(panelCloses());

    // Head up 6°, tilted 4° to the right shoulder, for well over the 2.2 s the
    // baseline is taken from, then 2° higher: only the first pose may count.
    ASSERT_TRUE(listening());
    QElapsedTimer sending, clock;
    sending.start();
    hold(6, -4);
    QTest::qWait(3'200);
    hold(8, -4);
    const QJsonObject baseline =
        QJsonDocument::fromJson(stored("settings.goodPosture").toByteArray()).object();
    EXPECT_NEAR(baseline["pitch"].toDouble(), -6 * std::numbers::pi / 180, 1e-9);
    EXPECT_NEAR(baseline["roll"].toDouble(), 4 * std::numbers::pi / 180, 1e-9);

    // The icon shows a light glyph (white, thinned by the tray's scaling) and
    // a dot in the ramp's colour for 2° of a 20° threshold: (0.434, 0.586, 0.596).
    const QString trayShot = scratch.filePath(QStringLiteral("tray.png"));
    const auto iconShows = [&] {
        return shows(trayShot, icon,
                     [](QColor c) { return c.red() > 150 && !c.hsvSaturation(); }) &&
               shows(trayShot, icon, [](QColor c) { return near(c, QColor(111, 149, 152), 10); });
    };
    EXPECT_TRUE(within(5'000, iconShows)) << "see " << trayShot.toStdString();

    // Head down 30°: after the 5 s alert delay, one notification in dunst.
    clock.start();
    hold(-24, -4);
    ASSERT_TRUE(alertShown());
    EXPECT_GE(clock.elapsed(), 4'900) << "alerted before the delay";
    const double slouchSeconds = clock.elapsed() / 1000.0;

    // Back in line: the fix is saved at once, with the slouch.
    hold(8, -4);
    EXPECT_TRUE(within(5'000, [] { return stat("fixes") == 1 && stat("slouches") == 1; }));

    // The user picks "Pause 10 min" from the bubble's menu.
    QProcess::execute(QStringLiteral("dunstctl"), {"context"});
    const double ahead =
        stored("settings.snoozeUntil").toDouble() - QDateTime::currentMSecsSinceEpoch() / 1000.0;
    EXPECT_GT(ahead, 590);
    EXPECT_LE(ahead, 600.5);

    // The throttle writes monitored time at most every 5 s. Right after one of
    // its writes, 2 s more go unwritten: SIGTERM must save them.
    const double written = stat("monitoredSeconds");
    ASSERT_TRUE(within(8'000, [&] { return stat("monitoredSeconds") != written; }));
    QTest::qWait(2'000);
    tracker.stop();
    const double secondsSent = sending.elapsed() / 1000.0;
    const double beforeQuit = stat("monitoredSeconds");
    app.terminate();
    ASSERT_TRUE(app.waitForFinished(10'000));
    EXPECT_TRUE(app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0);

    // Everything sent counts but the 2.2 s the baseline was taken from.
    const double monitored = stat("monitoredSeconds");
    EXPECT_GE(monitored, secondsSent - 2.2 - 0.5);
    EXPECT_LE(monitored, secondsSent);
    EXPECT_GE(monitored, beforeQuit + 1.5) << "the unwritten time was not saved at quit";
    EXPECT_NEAR(stat("slouchedSeconds"), slouchSeconds, 1.0);
    EXPECT_EQ(stat("slouches"), 1);
    EXPECT_EQ(stat("fixes"), 1);
}

// The host draws the item's icon, and its click on it, the first in the bar,
// opens the panel above the bar from that point; a second click closes it.
TEST_F(StatusNotifierHostTest, TheIconIsDrawnAndClickedThroughXfcePanel) {
    ASSERT_EQ(qEnvironmentVariable("PRIVATE_SESSION_TRAY"), "xfce4-panel");
    launch(app);
    const QRect bar = area(tool({"wait", "5", "bar"}));
    ASSERT_FALSE(bar.isEmpty());
    const QString barShot = scratch.filePath(QStringLiteral("bar.png"));
    const auto drawn = [&] { // the light glyph
        return shows(barShot, QRect(bar.topLeft(), QSize(24, bar.height())),
                     [](QColor c) { return qGray(c.rgb()) > 180; });
    };
    ASSERT_TRUE(within(10'000, drawn)) << "see " << barShot.toStdString();
    const QStringList onIcon = area(QRect(bar.left() + 12, bar.center().y(), 1, 1));
    tool(QStringList{"click"} + onIcon);
    const QRect panel = area(tool({"wait", "5", "window", "Backbeacon Panel"}));
    ASSERT_FALSE(panel.isEmpty()) << "no panel after a click on the icon";
    EXPECT_LE(panel.bottom(), bar.top() - 1) << "over the bar";
    tool(QStringList{"click"} + onIcon);
    EXPECT_TRUE(panelCloses());
}
