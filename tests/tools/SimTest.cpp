#include "backbeacon-sim/Playback.h"
#include "backbeacon-sim/PoseCsv.h"
#include "engine/OpentrackDatagram.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>

using namespace backbeacon;
using namespace backbeacon::sim;

namespace {

constexpr double kPi = 3.141592653589793;

double field(const OpentrackDatagram& bytes, std::size_t index) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | bytes[index * 8 + static_cast<std::size_t>(i)];
    }
    return std::bit_cast<double>(bits);
}

// Time that moves only as playback waits; `onWait` may stall it or refuse.
struct VirtualPacer final : Pacer {
    double clock = 0;
    std::function<bool(VirtualPacer&, double)> onWait;
    double now() override { return clock; }
    bool waitUntil(double seconds) override {
        if (onWait && !onWait(*this, seconds)) {
            return false;
        }
        clock = std::max(clock, seconds);
        return true;
    }
};

struct Sent {
    double at;
    double pitch;
    double roll;
};

struct RecordingOutput final : PlaybackOutput {
    explicit RecordingOutput(Pacer& pacer) : pacer(pacer) {}
    Pacer& pacer;
    bool accept = true;
    std::vector<Sent> sent;
    std::vector<std::string> phases; // "name@start, announced before sample n"
    void phaseStarted(const Phase& phase) override {
        phases.push_back(phase.name + "@" + std::to_string(phase.start).substr(0, 4) + " #" +
                         std::to_string(sent.size()));
    }
    bool send(const OpentrackDatagram& datagram) override {
        sent.push_back({pacer.now(), field(datagram, 4), field(datagram, 5)});
        return accept;
    }
};

// "name@start" for each phase, the start cut to `digits` characters.
std::vector<std::string> phaseList(const SimScript& script, std::size_t digits) {
    std::vector<std::string> out;
    for (const Phase& p : script.phases) {
        out.push_back(p.name + "@" + std::to_string(p.start).substr(0, digits));
    }
    return out;
}

SimScript csv(const char* text) {
    CsvResult result = parsePoseCsv(text);
    EXPECT_TRUE(result.track) << result.error.describe("text");
    return csvScript(result.track ? *result.track : PoseTrack({Keyframe{}}));
}

} // namespace

// The app must read what the simulator means: opentrack's up-positive pitch and
// left-positive roll become the engine's down-positive, right-positive radians.
TEST(SimDatagram, ParsesInTheAppAsTheSamePoseWithTheAppsSigns) {
    const OpentrackDatagram bytes = encodeOpentrackDatagram({10.0, 5.0});
    const auto sample = parseOpentrackDatagram(bytes.data(), bytes.size());
    ASSERT_TRUE(sample);
    EXPECT_DOUBLE_EQ(sample->pitch, -10.0 * kPi / 180.0);
    EXPECT_DOUBLE_EQ(sample->roll, -5.0 * kPi / 180.0);
    // Little-endian whatever the host: 1.0 is 00 .. 00 f0 3f; x, y, z and yaw are 0.
    const OpentrackDatagram one = encodeOpentrackDatagram({1.0, 0.0});
    EXPECT_EQ(one[38], 0xf0);
    EXPECT_EQ(one[39], 0x3f);
    EXPECT_TRUE(std::all_of(one.begin(), one.begin() + 32, [](auto b) { return b == 0; }));
}

TEST(PoseCsv, ReadsRowsAroundHeaderCommentsAndBlanksAndInterpolates) {
    const CsvResult result = parsePoseCsv("# recorded at the desk\r\n"
                                          "seconds, pitch_degrees, roll_degrees\r\n"
                                          "\n"
                                          "100, 0, 0   # times count from the first row\r\n"
                                          "102,-20,+4\n"
                                          "102, -30, 0\n" // a step: the later row holds
                                          "103.5,-30,-1e1");
    ASSERT_TRUE(result.track) << result.error.describe("text");
    const PoseTrack& track = *result.track;
    EXPECT_DOUBLE_EQ(track.duration(), 3.5);
    const auto pitch = [&](double t) { return track.poseAt(t).pitchDegrees; };
    EXPECT_DOUBLE_EQ(pitch(-1), 0);
    EXPECT_DOUBLE_EQ(pitch(0.5), -5);
    EXPECT_DOUBLE_EQ(track.poseAt(1.5).rollDegrees, 3);
    EXPECT_DOUBLE_EQ(pitch(2), -30);
    EXPECT_DOUBLE_EQ(track.poseAt(2.75).rollDegrees, -5);
    EXPECT_DOUBLE_EQ(track.poseAt(9).rollDegrees, -10);
}

// Every bad text is refused whole, naming the line, so nothing half-read plays.
TEST(PoseCsv, RefusesBadLinesNamingThem) {
    const struct {
        const char* text;
        int line;
        const char* says;
    } cases[] = {
        {"0,0,0\n1,2\n", 2, "found 2"},
        {"0,0,0\n1,2,3,4\n", 2, "found 4"},
        {"0,0,0\n\n1,,3\n", 3, "pitch_degrees \"\" is not"},
        {"0,0,0\n1,2,3x\n", 2, "roll_degrees \"3x\""},
        {"0,0,0\n1,nan,0\n", 2, "not a finite"},
        {"0,0,0\ninf,0,0\n", 2, "not a finite"},
        {"1e400,pitch,roll\n", 1, "seconds \"1e400\""}, // a number too large, not a header
        {"0,0,0\nseconds,pitch,roll\n", 2, "seconds \"seconds\""},
        {"0,0,0\n2,0,0\n1,0,0\n", 3, "backwards"},
        {"0,0,0\n1,-181,0\n", 2, "within -180 to 180"},
        {"-1e300,0,0\n1e300,0,0\n", 2, "10000000 seconds"},
        {"0,\x01\xff,0\n", 1, "\"??\""},
        {"seconds,pitch,roll\n# only a header\n", 0, "no rows"},
        {"", 0, "no rows"},
    };
    for (const auto& c : cases) {
        const CsvResult result = parsePoseCsv(c.text);
        EXPECT_FALSE(result.track) << c.text;
        EXPECT_EQ(result.error.line, c.line) << c.text;
        EXPECT_NE(result.error.message.find(c.says), std::string::npos)
            << c.text << " -> " << result.error.message;
    }
    EXPECT_EQ(parsePoseCsv("0,0,0\n1,2\n").error.describe("head.csv").rfind("head.csv:2: ", 0), 0u);
    // A file that never ends is refused at the size limit, not read into memory.
    for (const char* path : {"/nonexistent/head.csv", "/dev/zero"}) {
        const CsvResult result = loadPoseCsv(path);
        EXPECT_FALSE(result.track);
        EXPECT_EQ(result.error.line, 0) << path << ": " << result.error.message;
    }
}

// The demo must do what the app needs to show an alert: a still start for the
// baseline, good posture inside the sensitivity, a slouch past 20 degrees for
// longer than the 5-second alert delay, and a return to the baseline.
TEST(DemoSession, RaisesOneAlertAtTheAppsDefaults) {
    const SimScript script = demoSession({});
    EXPECT_EQ(phaseList(script, 2),
              (std::vector<std::string>{"neutral@0.", "good@3.", "slouch@9.", "recovery@18"}));
    EXPECT_DOUBLE_EQ(script.track.duration(), 23);

    double outOfLine = 0;
    for (double t = 0; t <= 23; t += 0.01) {
        const OpentrackPose pose = script.track.poseAt(t);
        const double drift = std::hypot(pose.pitchDegrees, pose.rollDegrees);
        if (t < 3) {
            ASSERT_EQ(drift, 0) << t;
        } else if (t < 9) {
            ASSERT_LT(drift, 5) << t;
        } else if (drift > 20) {
            ASSERT_LT(pose.pitchDegrees, 0) << "a slouch looks down: " << t;
            outOfLine += 0.01;
        }
    }
    EXPECT_GT(outOfLine, 7.5);
    EXPECT_LT(outOfLine, 9);
    EXPECT_EQ(script.track.poseAt(18.9).pitchDegrees, 0);
}

TEST(DemoSession, LeavesOutEmptyPhasesAndRepeatsCycles) {
    SessionShape shape;
    shape.neutralSeconds = 0;
    shape.goodSeconds = 0;
    shape.slouchSeconds = 0.5; // shorter than the drop: the full depth at its end
    shape.cycles = 2;
    const SimScript script = demoSession(shape);
    EXPECT_EQ(phaseList(script, 3), (std::vector<std::string>{"slouch@0.0", "recovery@0.5",
                                                              "slouch@5.5", "recovery@6.0"}));
    EXPECT_DOUBLE_EQ(script.track.poseAt(6.0).pitchDegrees, -30);
    EXPECT_DOUBLE_EQ(script.track.duration(), 11);
}

// Samples fall on whole periods from the start and the last one on the script's
// exact end; each phase is announced just before its first sample.
TEST(Playback, SendsOnTheRateAndEndsOnTheLastRow) {
    VirtualPacer pacer;
    RecordingOutput output(pacer);
    SimScript script = csv("0,0,0\n0.25,-10,0\n0.33,-10,4\n");
    script.phases.push_back({0.25, "down"});
    const PlaybackReport report = play(script, {.rateHz = 10}, pacer, output);

    EXPECT_FALSE(report.stopped);
    EXPECT_EQ(report.sent, 5u);
    std::vector<double> times;
    for (const Sent& s : output.sent) {
        times.push_back(s.at);
    }
    ASSERT_EQ(times, (std::vector<double>{0, 0.1, 0.2, 0.3, 0.33}));
    EXPECT_DOUBLE_EQ(output.sent[2].pitch, -8);
    EXPECT_DOUBLE_EQ(output.sent[4].roll, 4);
    EXPECT_EQ(output.phases, (std::vector<std::string>{"csv@0.00 #0", "down@0.25 #3"}));
}

// A stalled process must not fire the missed samples in a burst the app would
// read as one instant; it picks up at the present, still announcing every phase.
TEST(Playback, JumpsToThePresentAfterAStallAndStopsWhenAsked) {
    VirtualPacer pacer;
    pacer.onWait = [](VirtualPacer& p, double due) {
        if (due >= 1.0 && p.clock < 1.0) {
            p.clock = 6.0;
        }
        return true;
    };
    RecordingOutput output(pacer);
    output.accept = false; // nothing listening: carry on regardless
    const PlaybackReport report = play(demoSession({}), {.rateHz = 10}, pacer, output);
    EXPECT_EQ(report.failed, 231u - report.skipped);
    EXPECT_EQ(report.sent, 0u);
    EXPECT_EQ(report.skipped, 50u);
    for (std::size_t i = 1; i < output.sent.size(); ++i) {
        ASSERT_GE(output.sent[i].at - output.sent[i - 1].at, 0.1 - 1e-9) << i;
    }
    EXPECT_EQ(output.phases, (std::vector<std::string>{"neutral@0.00 #0", "good@3.00 #10",
                                                       "slouch@9.00 #40", "recovery@18.0 #130"}));

    VirtualPacer stopping;
    stopping.onWait = [](VirtualPacer&, double due) { return due < 2.0; };
    RecordingOutput cut(stopping);
    const PlaybackReport stopped = play(demoSession({}), {.rateHz = 10}, stopping, cut);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(cut.sent.size(), 20u);
}

// Noise is Gaussian with the asked deviation, repeatable by seed, and never
// pushes a pose past half a turn (the app drops anything beyond a full one).
TEST(Playback, NoiseFollowsTheSeedAndTheDeviation) {
    const auto run = [](std::uint64_t seed, double noise, double pitch) {
        VirtualPacer pacer;
        RecordingOutput output(pacer);
        SimScript script = csv(
            ("0," + std::to_string(pitch) + ",0\n20," + std::to_string(pitch) + ",0\n").c_str());
        play(script, {.rateHz = 100, .noiseDegrees = noise, .seed = seed}, pacer, output);
        return output.sent;
    };
    const std::vector<Sent> a = run(7, 2.0, -30);
    const std::vector<Sent> b = run(7, 2.0, -30);
    ASSERT_EQ(a.size(), 2001u);
    double sum = 0;
    double squares = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].pitch, b[i].pitch);
        sum += a[i].roll;
        squares += a[i].roll * a[i].roll;
    }
    EXPECT_NE(a[1].pitch, run(8, 2.0, -30)[1].pitch);
    const double mean = sum / static_cast<double>(a.size());
    EXPECT_NEAR(mean, 0, 0.2);
    EXPECT_NEAR(std::sqrt(squares / static_cast<double>(a.size()) - mean * mean), 2.0, 0.2);

    for (const Sent& s : run(1, 45.0, 180)) {
        ASSERT_LE(s.pitch, kMaxPoseDegrees);
        ASSERT_LE(std::fabs(s.roll), kMaxPoseDegrees);
    }
}
