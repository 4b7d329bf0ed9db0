// How well and how cheaply backbeacon-camera follows a head, measured on real
// portraits moved by known amounts. Prints figures next to their goals; it
// checks nothing itself. Needs scripts/test-photos.sh to have run.
#include "PhotoMotion.h"
#include "backbeacon-camera/FaceTracker.h"
#include "backbeacon-camera/HeadPipeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace backbeacon::camera;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double stddev(const std::vector<double>& v) {
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
    double sum = 0;
    for (double x : v) {
        sum += (x - mean) * (x - mean);
    }
    return std::sqrt(sum / v.size());
}

double median(std::vector<double> v) {
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void rollAccuracy(const std::shared_ptr<const FaceModel>& model, const cv::Mat& photo) {
    const auto level = photos::poseOf(model, photo);
    if (!level) {
        std::printf("  roll: no face found\n");
        return;
    }
    std::printf("  roll error (goal within 1.5°):");
    for (double degrees : {-20.0, -10.0, -5.0, 5.0, 10.0, 20.0}) {
        const auto pose = photos::poseOf(model, photos::rotated(photo, degrees));
        // Counter-clockwise on screen is a right-shoulder tilt: opentrack roll -degrees.
        if (pose) {
            std::printf("  %+.0f°: %+.2f", degrees, (pose->roll - level->roll) + degrees);
        } else {
            std::printf("  %+.0f°: lost", degrees);
        }
    }
    std::printf("\n");
}

void pitchResponse(const std::shared_ptr<const FaceModel>& model, const cv::Mat& photo) {
    const auto row = photos::faceMiddleRow(model, photo);
    if (!row) {
        return;
    }
    std::printf("  pitch for warps (+ = looking down; goal: falls monotonically):\n   ");
    for (double degrees : {-30.0, -20.0, -10.0, 0.0, 10.0, 20.0, 30.0}) {
        const auto pose = photos::poseOf(model, photos::tilted(photo, degrees, *row));
        if (pose) {
            std::printf("  %+.0f°: %+.2f", degrees, pose->pitch);
        } else {
            std::printf("  %+.0f°: lost", degrees);
        }
    }
    std::printf("\n");
}

// How long after a step from `photo` to `stepped` the smoothed value of
// `axis` is within 1° of where it settles, in ms at 10 Hz; negative when the
// face was lost.
double stepResponse(const std::shared_ptr<const FaceModel>& model, const cv::Mat& photo,
                    const cv::Mat& stepped, double HeadPose::*axis, double& before, double& after) {
    HeadPipeline pipeline(model);
    const int still = 30;
    std::vector<double> values;
    for (int i = 0; i < still + 30; ++i) {
        const auto pose =
            pipeline.process(photos::withNoise(i < still ? photo : stepped, 3, i + 1), i * 0.1);
        if (pose && i >= still - 1) {
            values.push_back((*pose).*axis);
        }
    }
    if (values.size() < 20) {
        return -1;
    }
    before = values.front();
    after = std::accumulate(values.end() - 10, values.end(), 0.0) / 10; // settled
    std::size_t within = 1;
    while (within < values.size() && std::fabs(values[within] - after) > 1.0) {
        ++within;
    }
    // Frame `within` after the step is analysed `within - 1` periods after it.
    return (within - 1) * 100.0;
}

void stillAndStep(const std::shared_ptr<const FaceModel>& model, const cv::Mat& photo) {
    HeadPipeline pipeline(model);
    std::vector<double> pitch, roll, rawPitch, rawRoll;
    for (int i = 0; i < 60; ++i) {
        const auto pose = pipeline.process(photos::withNoise(photo, 3, i + 1), i * 0.1);
        if (pose && i >= 10) {
            pitch.push_back(pose->pitch);
            roll.push_back(pose->roll);
            rawPitch.push_back(pipeline.lastRaw()->pitch);
            rawRoll.push_back(pipeline.lastRaw()->roll);
        }
    }
    std::printf("  still head, σ=3 noise, 10 Hz: std-dev pitch %.3f°, roll %.3f° (goal < 0.3°; "
                "unsmoothed %.3f°, %.3f°)\n",
                stddev(pitch), stddev(roll), stddev(rawPitch), stddev(rawRoll));

    // A 10° tilt toward the left shoulder, and a look up from a look down
    // (the flat photo answers the 30° turn with about 10 to 14°).
    const double row = photos::faceMiddleRow(model, photo).value_or(photo.rows / 2.0);
    const struct {
        const char* what;
        cv::Mat from;
        cv::Mat to;
        double HeadPose::*axis;
    } steps[] = {{"roll", photo, photos::rotated(photo, -10), &HeadPose::roll},
                 {"pitch", photos::tilted(photo, 15, row), photos::tilted(photo, -15, row),
                  &HeadPose::pitch}};
    for (const auto& step : steps) {
        double before = 0, after = 0;
        const double ms = stepResponse(model, step.from, step.to, step.axis, before, after);
        if (ms < 0) {
            std::printf("  %s step: face lost\n", step.what);
        } else {
            std::printf("  %s step (%.1f° → %.1f°): within 1° after %.0f ms at 10 Hz (goal ≤ "
                        "300 ms)\n",
                        step.what, before, after, ms);
        }
    }
}

void frameCost(const std::shared_ptr<const FaceModel>& model, const cv::Mat& photo) {
    HeadPipeline pipeline(model);
    const cv::Mat frame = photos::framed(photo, 640, 480);
    std::vector<cv::Mat> noisy;
    for (int i = 0; i < 8; ++i) {
        noisy.push_back(photos::withNoise(frame, 3, 100 + i));
    }
    std::vector<double> detected, tracked;
    for (int i = 0; i < 200; ++i) {
        const auto start = Clock::now();
        pipeline.process(noisy[i % noisy.size()], i * 0.1);
        (pipeline.tracker().lastCallDetected() ? detected : tracked).push_back(msSince(start));
    }
    // Nobody in view: the coarse look every frame, the closer one now and then.
    const cv::Mat empty = photos::withNoise(cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(90)), 3, 9);
    const auto start = Clock::now();
    const int emptyFrames = 30;
    for (int i = 0; i < emptyFrames; ++i) {
        pipeline.process(empty, 100 + i * 0.1);
    }
    std::printf("  cost per 640×480 frame: tracked %.2f ms (median of %zu), with detection "
                "%.2f ms (median of %zu), no face in view %.2f ms (mean)\n",
                median(tracked), tracked.size(), median(detected), detected.size(),
                msSince(start) / emptyFrames);
}

// utime + stime in clock ticks, and the resident set in KiB.
bool sampleProcess(pid_t pid, long& ticks, long& rssKiB, long& peakKiB) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
        }
    }
    ticks = utime + stime;
    rssKiB = -1;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            rssKiB = std::stol(line.substr(6));
        } else if (line.starts_with("VmHWM:")) {
            peakKiB = std::stol(line.substr(6));
        }
    }
    return rssKiB >= 0; // gone (or a zombie) by now
}

// How much of the process's anonymous memory (the face model) is on huge pages.
long anonHugePagesKiB(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);) {
        if (line.starts_with("AnonHugePages:")) {
            return std::stol(line.substr(14));
        }
    }
    return 0;
}

// The real executable replaying `input` at 10 analysed frames a second.
void measureTool(const std::string& input, const char* what, double seconds) {
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string duration = std::to_string(seconds);
        execl(BACKBEACON_CAMERA_EXECUTABLE, "backbeacon-camera", "--input", input.c_str(), "--rate",
              "10", "--duration", duration.c_str(), "--port", "9", nullptr);
        _exit(127);
    }
    const long hz = sysconf(_SC_CLK_TCK);
    long ticks = 0, rss = 0, peak = 0, startTicks = -1, hugeKiB = 0;
    const auto started = Clock::now();
    Clock::time_point steadyFrom;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        long t = 0, r = 0, p = 0;
        if (sampleProcess(pid, t, r, p)) {
            hugeKiB = anonHugePagesKiB(pid);
            ticks = t;
            rss = r;
            peak = std::max(peak, p);
            // From 3 s on the model is loaded and the face found.
            if (startTicks < 0 && msSince(started) > 3000) {
                startTicks = t;
                steadyFrom = Clock::now();
            }
        }
        usleep(100'000);
    }
    const double steadyCpu =
        startTicks < 0 ? NAN : 100.0 * (ticks - startTicks) / hz / (msSince(steadyFrom) / 1000);
    std::printf("whole tool, %s, 10 analysed frames/s for %.0f s (exit %d):\n"
                "  CPU %.1f%% of one core in steady state; resident %.1f MiB near the end "
                "(%.0f MiB of it on huge pages), peak %.1f MiB (goal ≤ 140 MiB)\n",
                what, seconds, WIFEXITED(status) ? WEXITSTATUS(status) : -1, steadyCpu,
                rss / 1024.0, hugeKiB / 1024.0, peak / 1024.0);
}

void wholeTool(const cv::Mat& photo) {
    char dir[] = "/tmp/backbeacon-camera-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        return;
    }
    const cv::Mat frame = photos::framed(photo, 640, 480);
    const std::string video = std::string(dir) + "/head.avi";
    const double seconds = 12;
    {
        cv::VideoWriter writer(video, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10,
                               cv::Size(640, 480));
        for (int i = 0; i < seconds * 10; ++i) {
            // A head swaying a few degrees, with camera noise.
            const double sway = 4 * std::sin(i * 0.2);
            writer.write(photos::withNoise(photos::rotated(frame, sway), 3, i));
        }
    }
    // A still picture takes the path a YUYV camera takes: grey frames, no
    // video module.
    const std::string still = std::string(dir) + "/head.png";
    cv::imwrite(still, photos::withNoise(frame, 3, 1));
    measureTool(still, "640×480 still picture (as a YUYV camera: no video module)", seconds);
    measureTool(video, "640×480 MJPEG video (video module loaded)", seconds);
    std::remove(video.c_str());
    std::remove(still.c_str());
    rmdir(dir);
}

} // namespace

int main() {
    auto start = Clock::now();
    std::shared_ptr<const FaceModel> model;
    try {
        model = std::make_shared<const FaceModel>(BACKBEACON_DEFAULT_FACE_MODEL);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("face model loaded in %.0f ms\n", msSince(start));
    for (const char* name : photos::kPhotoNames) {
        const cv::Mat photo = photos::loadPhoto(name);
        if (photo.empty()) {
            std::printf("%s: missing from %s (run scripts/test-photos.sh)\n", name,
                        photos::photoDirectory().c_str());
            continue;
        }
        std::printf("%s (%dx%d):\n", name, photo.cols, photo.rows);
        rollAccuracy(model, photo);
        pitchResponse(model, photo);
        stillAndStep(model, photo);
        frameCost(model, photo);
    }
    const cv::Mat photo = photos::loadPhoto(photos::kPhotoNames[0]);
    if (!photo.empty()) {
        wholeTool(photo);
    }
}
