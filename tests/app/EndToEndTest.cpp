// Backbeacon as a user runs it: the real executable on the private desktop of
// scripts/private-session.sh --desktop (X server, session bus, dunst, trayer),
// fed head motion over UDP, looked at and clicked through desktop-tools.sh.
#include "BusPeer.h"
#include "Files.h"
#include "OpentrackSender.h"
#include "app/StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDirIterator>
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

#include <cmath>
#include <numbers>

using namespace backbeacon::testing;

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

QString env(const char* name) {
    return qEnvironmentVariable(name);
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

// A screenshot of that part of the screen, kept in `file`.
QImage shot(const QString& file, const QRect& part) {
    tool(QStringList{"shot", file} + area(part));
    return QImage(file);
}

// Whether any pixel of the image is one `wanted` accepts.
template <typename Wanted> bool any(const QImage& image, Wanted wanted) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (wanted(image.pixelColor(x, y))) {
                return true;
            }
        }
    }
    return false;
}

bool panelCloses() {
    return QTest::qWaitFor([] { return tool({"window", "Backbeacon Panel"}).isEmpty(); }, 5'000);
}

std::string dunstctl(const QStringList& arguments) {
    QProcess ctl;
    ctl.start(QStringLiteral("dunstctl"), arguments);
    ctl.waitForFinished(10'000);
    return ctl.readAllStandardOutput().trimmed().toStdString();
}

// Whether something is bound to the loopback port, from the kernel's table.
bool udpPortBound(std::uint16_t port) {
    const QString wanted =
        QStringLiteral("0100007F:%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    return QString::fromStdString(readAll(QStringLiteral("/proc/net/udp"))).contains(wanted);
}

// Every file below the folders and its bytes.
std::map<QString, std::string> snapshot(const QStringList& folders) {
    std::map<QString, std::string> files;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            files[path] = readAll(path);
        }
    }
    return files;
}

struct Totals {
    double monitored = 0;
    double slouched = 0;
    qint64 slouches = 0;
    qint64 fixes = 0;
};

// The statistics file summed over its days (a run may cross midnight).
Totals statsOnDisk() {
    Totals totals;
    const auto days =
        QJsonDocument::fromJson(
            QByteArray::fromStdString(readAll(env("XDG_DATA_HOME") + "/Backbeacon/stats.json")))
            .array();
    for (const auto& day : days) {
        const QJsonObject d = day.toObject();
        totals.monitored += d["monitoredSeconds"].toDouble();
        totals.slouched += d["slouchedSeconds"].toDouble();
        totals.slouches += d["slouches"].toInteger();
        totals.fixes += d["fixes"].toInteger();
    }
    return totals;
}

// Sends one head pose at 50 Hz from the test's event loop.
class HeadTracker {
public:
    HeadTracker() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_socket.send(m_pose.data(), m_pose.size());
            if (!m_sending.isValid()) {
                m_sending.start();
            }
            m_lastSentMs = m_sending.elapsed();
        });
    }
    void hold(double pitchDegrees, double rollDegrees) {
        m_pose = opentrackPose(pitchDegrees, rollDegrees);
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    // From the first datagram to the last, in seconds.
    double secondsSent() const { return m_lastSentMs / 1000.0; }

private:
    UdpSender m_socket{4242};
    OpentrackBytes m_pose{};
    QTimer m_timer;
    QElapsedTimer m_sending;
    qint64 m_lastSentMs = 0;
};

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(env("PRIVATE_SESSION_DIR").isEmpty()) << "run through private-session.sh";
        writeAll(conf, "[General]\nsettings.alertDelay=5\n");
    }
    void TearDown() override {
        for (QProcess* app : {&second, &app}) {
            app->kill();
            app->waitForFinished(10'000);
        }
        if (HasFailure()) {
            scratch.setAutoRemove(false); // the screenshots, for a look
            std::cerr << "--- the app's log\n"
                      << readAll(log) << "--- dunst's menu offered\n"
                      << readAll(env("PRIVATE_SESSION_DIR") + "/menu.offered") << '\n';
        }
    }

    void launch(QProcess& process) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("1"));
        // libxkbcommon-x11 strndup()s atom names that have no terminator, which
        // is allowed but what AddressSanitizer's strict string checks reject.
        if (environment.contains(QStringLiteral("ASAN_OPTIONS"))) {
            environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                   QStringLiteral(":strict_string_checks=0"));
        }
        process.setProcessEnvironment(environment);
        process.setStandardErrorFile(log, QIODevice::Append);
        process.start(QStringLiteral(BACKBEACON_APP), {});
    }

    // A copy of the preferences as the next start would read them.
    QVariant preference(const QString& key) {
        return QSettings(nextStart.copyOf(conf), QSettings::IniFormat).value(key);
    }

    const QString conf = env("XDG_CONFIG_HOME") + "/Backbeacon/Backbeacon.conf";
    QTemporaryDir scratch;
    const QString log = scratch.filePath(QStringLiteral("app.log"));
    NextStart nextStart;
    QProcess app;
    QProcess second;
    HeadTracker head;
};

} // namespace

TEST_F(EndToEndTest, BaselineAlertPauseStatisticsAndQuitThroughTheDesktop) {
    launch(app);
    const QRect icon = area(tool({"wait", "10", "tray-icon"}));
    ASSERT_FALSE(icon.isEmpty()) << "no icon in the tray";

    // A second launch hands over to the running instance and touches nothing.
    const QStringList folders{env("XDG_CONFIG_HOME"), env("XDG_DATA_HOME")};
    const auto before = snapshot(folders);
    launch(second);
    ASSERT_TRUE(second.waitForFinished(15'000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(snapshot(folders), before);
    EXPECT_FALSE(tool({"wait", "5", "window", "Backbeacon Panel"}).isEmpty())
        << "the running instance did not open its panel";
    // A click on the icon toggles the panel: this one closes it.
    tool(QStringList{"click"} + area(icon));
    EXPECT_TRUE(panelCloses());

    // Head up 6°, tilted 4° to the right shoulder, for well over the 2.2 s the
    // baseline is taken from, then 2° higher: only the first pose may count.
    ASSERT_TRUE(QTest::qWaitFor([] { return udpPortBound(4242); }, 10'000));
    QElapsedTimer clock;
    clock.start();
    head.hold(6, -4);
    QTest::qWait(3'200);
    head.hold(8, -4);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return preference("settings.goodPosture").isValid(); }, 5'000));
    EXPECT_GE(clock.elapsed(), 2'000) << "stored before 2.2 s of samples";
    const QJsonObject baseline =
        QJsonDocument::fromJson(preference("settings.goodPosture").toByteArray()).object();
    EXPECT_NEAR(baseline["pitch"].toDouble(), -6 * kRadiansPerDegree, 1e-9);
    EXPECT_NEAR(baseline["roll"].toDouble(), 4 * kRadiansPerDegree, 1e-9);

    // The icon shows a light glyph (white, thinned by the tray's scaling) and
    // a dot in the ramp's colour for 2° of a 20° threshold: (0.434, 0.586, 0.596).
    const QString trayShot = scratch.filePath(QStringLiteral("tray.png"));
    const auto glyph = [](QColor c) {
        return c.red() > 150 && c.red() == c.green() && c.green() == c.blue();
    };
    const auto dot = [](QColor c) {
        return std::abs(c.red() - 111) <= 10 && std::abs(c.green() - 149) <= 10 &&
               std::abs(c.blue() - 152) <= 10;
    };
    const auto iconShows = [&] {
        const QImage image = shot(trayShot, icon);
        return any(image, glyph) && any(image, dot);
    };
    EXPECT_TRUE(QTest::qWaitFor(iconShows, 5'000)) << "see " << trayShot.toStdString();

    // Head down 30°: after the 5 s alert delay, one notification in dunst.
    clock.restart();
    head.hold(-24, -4);
    ASSERT_TRUE(QTest::qWaitFor([] { return dunstctl({"count", "displayed"}) == "1"; }, 15'000));
    EXPECT_GE(clock.elapsed(), 4'900) << "alerted before the delay";
    const double slouchSeconds = clock.elapsed() / 1000.0;

    // Back in line: the fix is saved at once, with the slouch.
    head.hold(8, -4);
    EXPECT_TRUE(QTest::qWaitFor([] { return statsOnDisk().fixes == 1; }, 5'000));
    EXPECT_EQ(statsOnDisk().slouches, 1);

    // The user picks "Pause 10 min" from the bubble's menu.
    dunstctl({"context"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return preference("settings.snoozeUntil").isValid(); }, 5'000));
    const double ahead = preference("settings.snoozeUntil").toDouble() -
                         QDateTime::currentMSecsSinceEpoch() / 1000.0;
    EXPECT_GT(ahead, 590);
    EXPECT_LE(ahead, 600.5);
    const std::string offered = readAll(env("PRIVATE_SESSION_DIR") + "/menu.offered");
    EXPECT_NE(offered.find("#Pause 10 min (Posture signal) ["), std::string::npos) << offered;

    // The throttle writes monitored time at most every 5 s. Right after one of
    // its writes, 2 s more go unwritten: SIGTERM must save them.
    const double written = statsOnDisk().monitored;
    ASSERT_TRUE(QTest::qWaitFor([&] { return statsOnDisk().monitored != written; }, 8'000));
    QTest::qWait(2'000);
    head.stop();
    const double beforeQuit = statsOnDisk().monitored;
    app.terminate();
    ASSERT_TRUE(app.waitForFinished(10'000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);

    const Totals saved = statsOnDisk();
    // Everything sent counts but the 2.2 s the baseline was taken from.
    EXPECT_GE(saved.monitored, head.secondsSent() - 2.2 - 0.5);
    EXPECT_LE(saved.monitored, head.secondsSent());
    EXPECT_GE(saved.monitored, beforeQuit + 1.5) << "the unwritten time was not saved at quit";
    EXPECT_NEAR(saved.slouched, slouchSeconds, 1.0);
    EXPECT_EQ(saved.slouches, 1);
    EXPECT_EQ(saved.fixes, 1);
}

// With the camera as head source the app runs the camera tool from the build
// tree; on a machine without a camera the tool says so and is tried again,
// later each time, while the app keeps going.
TEST_F(EndToEndTest, TheCameraHeadSourceRunsTheToolAndRetriesWithoutACamera) {
    writeAll(conf, "[General]\nsettings.headSource=@ByteArray(camera)\n");
    launch(app);
    const auto endings = [&] {
        return QString::fromStdString(readAll(log))
            .count(QStringLiteral(
                "backbeacon-camera ended with status 69: backbeacon-camera: no camera"));
    };
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return endings() >= 2; }, 10'000)) << readAll(log);
    EXPECT_GE(clock.elapsed(), 900) << "tried again without waiting";
    QTest::qWait(500);
    EXPECT_EQ(endings(), 2) << "the second retry waits twice as long";
    EXPECT_EQ(app.state(), QProcess::Running);
    EXPECT_EQ(preference("settings.headSource").toByteArray(), "camera");
}

namespace {

const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// Reads the item the way the tray host does, and counts its NewIcon signals,
// checking at each one that the image really changed.
class HostView final : public QObject {
    Q_OBJECT

public:
    explicit HostView(QString service)
        : m_peer{QDBusConnection::sessionBus(), std::move(service), QDBus::Block} {
        backbeacon::registerStatusNotifierTypes();
        m_peer.bus.connect(m_peer.service, kItemPath, kItemInterface, QStringLiteral("NewIcon"),
                           this, SLOT(onNewIcon()));
    }
    QVariant item(const QString& name) const {
        return m_peer.property(kItemPath, kItemInterface, name);
    }
    void activate(int x, int y) const {
        m_peer.call(kItemPath, kItemInterface, "Activate", {x, y});
    }

    int newIcons = 0;
    int unchangedImages = 0;

public slots:
    void onNewIcon() {
        ++newIcons;
        const auto pixmaps =
            qdbus_cast<backbeacon::SniPixmaps>(item("IconPixmap").value<QDBusArgument>());
        const QString name = item(QStringLiteral("IconName")).toString();
        if (pixmaps == m_lastPixmaps && name == m_lastName) {
            ++unchangedImages;
        }
        m_lastPixmaps = pixmaps;
        m_lastName = name;
    }

private:
    BusPeer m_peer;
    backbeacon::SniPixmaps m_lastPixmaps;
    QString m_lastName;
};

// With xfce4-panel as the tray host (PRIVATE_SESSION_TRAY=xfce4-panel).
class StatusNotifierHostTest : public EndToEndTest {
protected:
    void SetUp() override {
        EndToEndTest::SetUp();
        ASSERT_EQ(env("PRIVATE_SESSION_TRAY"), "xfce4-panel");
    }
    // The item's bus name, once the host's watcher has it.
    static QString registeredItem() {
        const BusPeer watcher{QDBusConnection::sessionBus(), kWatcher, QDBus::Block};
        return watcher.property("/StatusNotifierWatcher", kWatcher, "RegisteredStatusNotifierItems")
            .toStringList()
            .value(0)
            .section(QLatin1Char('/'), 0, 0);
    }
};

} // namespace

TEST_F(StatusNotifierHostTest, PlacementIconUpdatesToolTipAndStatusThroughXfcePanel) {
    launch(app);
    QString service;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(service = registeredItem()).isEmpty(); }, 10'000))
        << "the item did not register with the host";
    HostView host(service);
    const QRect bar = area(tool({"wait", "5", "bar"}));
    ASSERT_FALSE(bar.isEmpty());

    // The host's own click on the icon, the first one in the bar: Activate(x, y)
    // with the click's point puts the panel above the bar, from that point.
    const QPoint onIcon(bar.left() + 12, bar.center().y());
    // Clicked once the host has drawn it: the light glyph is in the bar.
    const QString barShot = scratch.filePath(QStringLiteral("bar.png"));
    const auto iconDrawn = [&] {
        return any(shot(barShot, QRect(bar.topLeft(), QSize(24, bar.height()))),
                   [](QColor c) { return qGray(c.rgb()) > 180; });
    };
    ASSERT_TRUE(QTest::qWaitFor(iconDrawn, 5'000)) << "see " << barShot.toStdString();
    tool(QStringList{"click"} + area(QRect(onIcon, QSize(1, 1))));
    QRect panel = area(tool({"wait", "5", "window", "Backbeacon Panel"}));
    ASSERT_FALSE(panel.isEmpty()) << "no panel after a click on the icon";
    EXPECT_LE(panel.bottom(), bar.top() - 1) << "over the bar";
    EXPECT_GE(panel.bottom(), bar.top() - 12) << "not by the bar";
    EXPECT_GE(panel.left(), 0);
    EXPECT_LE(panel.left(), onIcon.x());
    tool({"shot", scratch.filePath(QStringLiteral("sni-panel.png"))});
    tool(QStringList{"click"} + area(QRect(onIcon, QSize(1, 1))));
    ASSERT_TRUE(panelCloses());

    // A host that activates from the keyboard, with the pointer elsewhere: the
    // point it names counts, not the pointer.
    tool({"click", "640", "300", "1", "1"});
    host.activate(1200, bar.center().y());
    panel = area(tool({"wait", "5", "window", "Backbeacon Panel"}));
    ASSERT_FALSE(panel.isEmpty());
    EXPECT_EQ(panel.right(), bar.right()) << "not at the point's side of the screen";
    EXPECT_LE(panel.bottom(), bar.top() - 1);
    host.activate(1200, bar.center().y());

    // Before a reading the host shows the installed themed icon.
    EXPECT_EQ(host.item("IconName").toString(), "org.backbeacon.Backbeacon");

    // A steady head: after the baseline, nothing new to fetch.
    ASSERT_TRUE(QTest::qWaitFor([] { return udpPortBound(4242); }, 10'000));
    head.hold(0, 0);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return preference("settings.goodPosture").isValid(); }, 6'000));
    QTest::qWait(1'000);
    EXPECT_EQ(host.item("IconName").toString(), "") << "a live reading shows its own image";
    int before = host.newIcons;
    QTest::qWait(3'000);
    EXPECT_EQ(host.newIcons - before, 0) << "NewIcon over a steady head";

    // A moving head: forward and back within the threshold over 4 s, a new
    // pose every 100 ms.
    before = host.newIcons;
    QElapsedTimer moving;
    moving.start();
    while (moving.elapsed() < 4'000) {
        head.hold(9 * std::sin(moving.elapsed() / 4'000.0 * 2 * std::numbers::pi), 0);
        QTest::qWait(100);
    }
    const int moved = host.newIcons - before;
    EXPECT_GT(moved, 0) << "the image did not follow the head";
    EXPECT_LE(moved, 20) << "more than the redraw rate";
    EXPECT_EQ(host.unchangedImages, 0) << "NewIcon with the same image";

    // An alerted streak: NeedsAttention and the state in the tool tip, until
    // the head is back in line.
    head.hold(-24, 0);
    ASSERT_TRUE(QTest::qWaitFor([] { return dunstctl({"count", "displayed"}) == "1"; }, 15'000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return host.item("Status").toString() == "NeedsAttention"; }, 2'000));
    const auto tip =
        qdbus_cast<backbeacon::SniToolTip>(host.item("ToolTip").value<QDBusArgument>());
    EXPECT_EQ(tip.title, "Backbeacon");
    EXPECT_TRUE(tip.description.startsWith("Return to center \u00b7 today "))
        << tip.description.toStdString();
    head.hold(0, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.item("Status").toString() == "Active"; }, 2'000));
}

#include "EndToEndTest.moc"
