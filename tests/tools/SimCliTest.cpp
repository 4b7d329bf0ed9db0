#include "OpentrackSender.h"
#include "engine/OpentrackDatagram.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace backbeacon;

namespace {

// A loopback UDP port the simulator can be pointed at, each datagram read as
// the app would read it.
class Listener {
public:
    QString port() const { return QString::number(m_udp.port()); }
    std::vector<std::optional<MotionSample>> drain() {
        std::vector<std::optional<MotionSample>> got;
        for (const auto& datagram : m_udp.drain()) {
            got.push_back(parseOpentrackDatagram(datagram.data(), datagram.size()));
        }
        return got;
    }

private:
    backbeacon::testing::UdpListener m_udp;
};

// Runs the simulator to its end, gathering what reached the listener meanwhile.
std::vector<std::optional<MotionSample>> runToEnd(QProcess& sim, Listener& listener,
                                                  const QStringList& arguments) {
    sim.start(QStringLiteral(BACKBEACON_SIM_EXECUTABLE), arguments);
    std::vector<std::optional<MotionSample>> got;
    while (!sim.waitForFinished(50) && sim.state() != QProcess::NotRunning) {
        const auto more = listener.drain();
        got.insert(got.end(), more.begin(), more.end());
    }
    const auto rest = listener.drain();
    got.insert(got.end(), rest.begin(), rest.end());
    return got;
}

} // namespace

// What a demo script relies on: the phase lines on stdout, every datagram one
// the app accepts, a slouch the app sees as looking down, and a clean exit.
TEST(SimTool, PlaysTheSessionAsShapedAndAnnouncesEachPhase) {
    Listener listener;
    QProcess sim;
    const auto got = runToEnd(sim, listener,
                              {"--port", listener.port(), "--neutral-seconds", "0.4",
                               "--good-seconds", "0.4", "--slouch-seconds", "1",
                               "--recovery-seconds", "0.4", "--noise", "0.5", "--seed", "3"});
    ASSERT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    EXPECT_EQ(sim.readAllStandardOutput().toStdString(), "0.000 phase neutral\n"
                                                         "0.400 phase good\n"
                                                         "0.800 phase slouch\n"
                                                         "1.800 phase recovery\n"
                                                         "2.200 done\n");
    // 50 Hz over 2.2 s, both ends included; a stalled machine may skip a few.
    EXPECT_LE(got.size(), 111u);
    EXPECT_GE(got.size(), 90u);
    double deepest = 0;
    for (const auto& sample : got) {
        ASSERT_TRUE(sample) << "the app would drop this datagram";
        deepest = std::max(deepest, sample->pitch * 180.0 / 3.141592653589793);
    }
    EXPECT_GT(deepest, 28.0) << "the slouch must read as looking down, past the sensitivity";
}

TEST(SimTool, RefusesBadInputBeforeSendingAnything) {
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("head.csv"));
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("seconds,pitch_degrees,roll_degrees\n0,0,0\n1,-30\n2,0,0\n");
    file.close();

    Listener listener;
    for (const QStringList& arguments :
         {QStringList{"--csv", csv}, QStringList{"--csv", csv, "--slouch-seconds", "3"},
          QStringList{"--noise", "nan"}, QStringList{"--cycles", "1.5"}}) {
        QProcess sim;
        const auto got =
            runToEnd(sim, listener, QStringList{"--port", listener.port()} + arguments);
        const QString args = arguments.join(u' ');
        EXPECT_EQ(sim.exitCode(), 2) << args.toStdString();
        EXPECT_TRUE(got.empty()) << args.toStdString();
        EXPECT_TRUE(sim.readAllStandardOutput().isEmpty()) << args.toStdString();
        const QString errors = QString::fromUtf8(sim.readAllStandardError());
        if (arguments == QStringList{"--csv", csv}) {
            EXPECT_TRUE(errors.contains(csv + QStringLiteral(":3: expected 3")))
                << errors.toStdString();
        }
    }
}

TEST(SimTool, StopsCleanlyOnSigterm) {
    Listener listener;
    QProcess sim;
    sim.start(QStringLiteral(BACKBEACON_SIM_EXECUTABLE), {"--port", listener.port()});
    ASSERT_TRUE(sim.waitForReadyRead(10'000));
    EXPECT_EQ(sim.readLine().toStdString(), "0.000 phase neutral\n");
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10'000)) << "still running after SIGTERM";
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_TRUE(sim.readAllStandardOutput().endsWith(" stopped\n"));
}
