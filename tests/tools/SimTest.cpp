// The head-motion simulator: its logic in virtual time, then the tool itself
// over real loopback, each datagram read with the app's own parser.
#include "ToolRun.h"
#include "backbeacon-sim/Playback.h"
#include "backbeacon-sim/PoseCsv.h"
#include "engine/OpentrackDatagram.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numeric>
#include <tuple>

using namespace backbeacon;
using namespace backbeacon::sim;
using namespace backbeacon::testing;

namespace {

struct Sent {
    double at, pitch, roll;
    bool operator==(const Sent&) const = default;
};

std::string label(const Phase& phase) {
    return phase.name + "@" + std::to_string(phase.start).substr(0, 4);
}

std::vector<std::string> phaseList(const SimScript& script) {
    std::vector<std::string> out;
    std::transform(script.phases.begin(), script.phases.end(), std::back_inserter(out), label);
    return out;
}

// Playback's clock and receiver in one. Time moves only as playback waits: the
// first wait due at or after `stallAt` finds the clock at `stallTo`, and one due
// at `stopAt` is refused. Each sample is kept as the app's own parser reads
// it, back in opentrack's degrees; each phase as "name@start #samples before".
struct Recorder final : Pacer, PlaybackOutput {
    double clock = 0, stallAt = INFINITY, stallTo = 0, stopAt = INFINITY;
    bool accept = true;
    std::vector<Sent> sent;
    std::vector<std::string> phases;
    double now() override { return clock; }
    bool waitUntil(double due) override {
        clock = std::max({clock, due, due >= stallAt && clock < stallAt ? stallTo : 0.0});
        return due < stopAt;
    }
    void phaseStarted(const Phase& phase) override {
        phases.push_back(label(phase) + " #" + std::to_string(sent.size()));
    }
    bool send(const OpentrackDatagram& datagram) override {
        const auto s = parseOpentrackDatagram(datagram.data(), datagram.size());
        sent.push_back({clock, s ? -s->pitch * 180 / M_PI : NAN, s ? -s->roll * 180 / M_PI : NAN});
        return accept;
    }
};

SimScript csv(const std::string& text) {
    CsvResult result = parsePoseCsv(text);
    EXPECT_TRUE(result.track) << result.error.describe("text");
    return csvScript(result.track ? *result.track : PoseTrack({Keyframe{}}));
}

} // namespace

TEST(PoseCsv, ReadsRowsAroundHeaderCommentsAndBlanksAndInterpolates) {
    const CsvResult result = parsePoseCsv("# recorded at the desk\r\n"
                                          "seconds, pitch_degrees, roll_degrees\r\n\n"
                                          "100, 0, 0   # times count from the first row\r\n"
                                          "102,-20,+4\n"
                                          "102, -30, 0\n" // a step: the later row holds
                                          "103.5,-30,-1e1");
    ASSERT_TRUE(result.track) << result.error.describe("text");
    EXPECT_DOUBLE_EQ(result.track->duration(), 3.5);
    const double expected[][3] = {{-1, 0, 0},  {0.5, -5, 1},    {1.5, -15, 3},
                                  {2, -30, 0}, {2.75, -30, -5}, {9, -30, -10}};
    for (const auto& [t, pitch, roll] : expected) {
        EXPECT_DOUBLE_EQ(result.track->poseAt(t).pitchDegrees, pitch) << t;
        EXPECT_DOUBLE_EQ(result.track->poseAt(t).rollDegrees, roll) << t;
    }
}

// Every bad text is refused whole, naming the line, so nothing half-read plays.
TEST(PoseCsv, RefusesBadLinesNamingThem) {
    // "1e400" is a number too large, not a header.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"0,0,0\n1,2\n", 2, "found 2"},
        {"0,0,0\n1,2,3,4\n", 2, "found 4"},
        {"0,0,0\n\n1,,3\n", 3, "pitch_degrees \"\" is not"},
        {"0,0,0\n1,2,3x\n", 2, "roll_degrees \"3x\""},
        {"0,0,0\n1,nan,0\n", 2, "not a finite"},
        {"0,0,0\ninf,0,0\n", 2, "not a finite"},
        {"1e400,pitch,roll\n", 1, "seconds \"1e400\""},
        {"0,0,0\nseconds,pitch,roll\n", 2, "seconds \"seconds\""},
        {"0,0,0\n2,0,0\n1,0,0\n", 3, "backwards"},
        {"0,0,0\n1,-181,0\n", 2, "within -180 to 180"},
        {"-1e300,0,0\n1e300,0,0\n", 2, "10000000 seconds"},
        {"0,\x01\xff,0\n", 1, "\"??\""},
        {"seconds,pitch,roll\n# only a header\n", 0, "no rows"},
        {"", 0, "no rows"}};
    for (const auto& [text, line, says] : cases) {
        const CsvResult result = parsePoseCsv(text);
        EXPECT_TRUE(!result.track && result.error.line == line &&
                    result.error.message.find(says) != std::string::npos)
            << text << " refused at " << result.error.line << ": " << result.error.message;
    }
    // A file that never ends is refused at the size limit, not read into memory.
    for (const char* path : {"/nonexistent/head.csv", "/dev/zero"}) {
        const CsvResult result = loadPoseCsv(path);
        EXPECT_TRUE(!result.track && result.error.line == 0) << path << result.error.message;
    }
}

// The demo raises one alert at the app's defaults: a still start for the
// baseline, good posture inside the sensitivity, a slouch past 20 degrees for
// longer than the 5-second alert delay, and a return to the baseline.
TEST(DemoSession, RaisesOneAlertAtTheAppsDefaultsAndRepeatsCycles) {
    const SimScript script = demoSession({});
    EXPECT_EQ(phaseList(script), (std::vector<std::string>{"neutral@0.00", "good@3.00",
                                                           "slouch@9.00", "recovery@18.0"}));
    EXPECT_DOUBLE_EQ(script.track.duration(), 23);
    double outOfLine = 0;
    for (double t = 0; t <= 23; t += 0.01) {
        const OpentrackPose pose = script.track.poseAt(t);
        const double drift = std::hypot(pose.pitchDegrees, pose.rollDegrees);
        ASSERT_LT(drift, t < 3 ? 1e-12 : t < 9 ? 5 : 90) << t;
        ASSERT_TRUE(drift <= 20 || pose.pitchDegrees < 0) << "a slouch looks down: " << t;
        outOfLine += t >= 9 && drift > 20 ? 0.01 : 0;
    }
    EXPECT_TRUE(outOfLine > 7.5 && outOfLine < 9) << outOfLine;
    EXPECT_EQ(script.track.poseAt(18.9).pitchDegrees, 0);
    // Empty phases are left out; a slouch shorter than the drop still reaches
    // the full depth at its end.
    const SimScript cycles =
        demoSession({.neutralSeconds = 0, .goodSeconds = 0, .slouchSeconds = 0.5, .cycles = 2});
    EXPECT_EQ(phaseList(cycles), (std::vector<std::string>{"slouch@0.00", "recovery@0.50",
                                                           "slouch@5.50", "recovery@6.00"}));
    EXPECT_DOUBLE_EQ(cycles.track.poseAt(6.0).pitchDegrees, -30);
    EXPECT_DOUBLE_EQ(cycles.track.duration(), 11);
}

// Samples fall on whole periods from the start, the last on the script's exact
// end; each phase is announced just before its first sample. The app reads
// opentrack's up-positive pitch and left-positive roll with the same meaning.
TEST(Playback, SendsOnTheRateAndEndsOnTheLastRow) {
    Recorder rec;
    SimScript script = csv("0,0,0\n0.25,-10,0\n0.33,-10,4\n");
    script.phases.push_back({0.25, "down"});
    const PlaybackReport report = play(script, {.rateHz = 10}, rec, rec);
    EXPECT_TRUE(!report.stopped && report.sent == 5) << report.sent;
    std::vector<double> times;
    std::ranges::transform(rec.sent, std::back_inserter(times), &Sent::at);
    ASSERT_EQ(times, (std::vector<double>{0, 0.1, 0.2, 0.3, 0.33}));
    EXPECT_DOUBLE_EQ(rec.sent[2].pitch, -8);
    EXPECT_DOUBLE_EQ(rec.sent[4].roll, 4);
    EXPECT_EQ(rec.phases, (std::vector<std::string>{"csv@0.00 #0", "down@0.25 #3"}));
}

// A stalled process must not fire the missed samples in a burst the app would
// read as one instant; it picks up at the present, still announcing every phase.
TEST(Playback, JumpsToThePresentAfterAStallAndStopsWhenAsked) {
    Recorder rec;
    rec.stallAt = 1, rec.stallTo = 6, rec.accept = false; // nothing listening: carry on
    const PlaybackReport report = play(demoSession({}), {.rateHz = 10}, rec, rec);
    EXPECT_EQ(std::pair(report.failed, report.skipped),
              (std::pair<std::uint64_t, std::uint64_t>(181, 50)));
    const auto tooSoon = [](const Sent& a, const Sent& b) { return b.at - a.at < 0.1 - 1e-9; };
    EXPECT_EQ(std::ranges::adjacent_find(rec.sent, tooSoon), rec.sent.end());
    EXPECT_EQ(rec.phases, (std::vector<std::string>{"neutral@0.00 #0", "good@3.00 #10",
                                                    "slouch@9.00 #40", "recovery@18.0 #130"}));
    Recorder cut;
    cut.stopAt = 2;
    EXPECT_TRUE(play(demoSession({}), {.rateHz = 10}, cut, cut).stopped && cut.sent.size() == 20);
}

// Noise is Gaussian with the asked deviation, repeatable by seed, and never
// pushes a pose past half a turn (the app drops anything beyond a full one).
TEST(Playback, NoiseFollowsTheSeedAndTheDeviation) {
    const auto run = [](std::uint64_t seed, double noise, const std::string& pitch) {
        Recorder rec;
        play(csv("0," + pitch + ",0\n20," + pitch + ",0\n"),
             {.rateHz = 100, .noiseDegrees = noise, .seed = seed}, rec, rec);
        return rec.sent;
    };
    const std::vector<Sent> a = run(7, 2.0, "-30");
    ASSERT_EQ(a.size(), 2001u);
    EXPECT_TRUE(a == run(7, 2.0, "-30") && a != run(8, 2.0, "-30"));
    const double squares = std::accumulate(
        a.begin(), a.end(), 0.0, [](double sum, const Sent& s) { return sum + s.roll * s.roll; });
    EXPECT_NEAR(std::sqrt(squares / static_cast<double>(a.size())), 2.0, 0.2) << "about level";
    for (const Sent& s : run(1, 45.0, "180")) {
        ASSERT_LE(std::max(s.pitch, std::fabs(s.roll)), kMaxPoseDegrees + 1e-9);
    }
}

// What a demo script relies on: the phase lines on stdout, every datagram one
// the app accepts, a slouch the app sees as looking down, and a clean exit.
TEST(SimTool, PlaysTheSessionAsShapedAndAnnouncesEachPhase) {
    UdpListener listener;
    const ToolRun run =
        runTool(BACKBEACON_SIM_EXECUTABLE,
                {"--neutral-seconds", "0.4", "--good-seconds", "0.4", "--slouch-seconds", "1",
                 "--recovery-seconds", "0.4", "--noise", "0.5", "--seed", "3"},
                &listener);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.said.toStdString(), "0.000 phase neutral\n0.400 phase good\n0.800 phase slouch\n"
                                      "1.800 phase recovery\n2.200 done\n");
    // 50 Hz over 2.2 s, both ends included; a stalled machine may skip a few.
    ASSERT_TRUE(run.samples.size() >= 90 && run.samples.size() <= 111) << run.samples.size();
    const double deepest = std::ranges::max(run.samples, {}, &MotionSample::pitch).pitch;
    EXPECT_GT(deepest * 180 / M_PI, 28.0) << "a slouch looks down, past the sensitivity";
}

TEST(SimTool, RefusesBadInputBeforeSendingAnything) {
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("head.csv"));
    std::ofstream(csv.toStdString()) << "seconds,pitch_degrees,roll_degrees\n0,0,0\n1,-30\n2,0,0\n";
    UdpListener listener;
    const std::pair<QStringList, QString> cases[] = {
        {{"--csv", csv}, csv + ":3: expected 3"},
        {{"--csv", csv, "--slouch-seconds", "3"}, "--csv plays a file"},
        {{"--noise", "nan"}, "--noise"},
        {{"--cycles", "1.5"}, "--cycles"}};
    for (const auto& [arguments, says] : cases) {
        const ToolRun run = runTool(BACKBEACON_SIM_EXECUTABLE, arguments, &listener);
        EXPECT_TRUE(run.samples.empty() && run.said.isEmpty()) << says.toStdString();
        EXPECT_TRUE(run.exitCode == 2 && run.errors.contains(says)) << run.errors.toStdString();
    }
}

// Untold, it sends where the app listens (its last log line names the port).
TEST(SimTool, StopsCleanlyOnSigtermAndSendsToTheAppsPortByDefault) {
    const ToolRun run = runTool(BACKBEACON_SIM_EXECUTABLE, {"--rate", "1"}, nullptr, true);
    EXPECT_EQ(run.exitCode, 0) << "SIGTERM must end it normally";
    EXPECT_TRUE(run.said.startsWith("0.000 phase neutral\n") && run.said.endsWith(" stopped\n"));
    EXPECT_TRUE(run.errors.contains("to 127.0.0.1:4242 ("));
}
