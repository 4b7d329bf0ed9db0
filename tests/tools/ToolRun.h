#pragma once
// backbeacon-sim and backbeacon-camera run as the app runs them, each datagram
// read with the app's own parser.
#include "OpentrackSender.h"
#include "engine/OpentrackDatagram.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <vector>

namespace backbeacon::testing {

struct ToolRun {
    int exitCode = -1; // also when it crashed or would not stop
    QString said, errors;
    std::vector<MotionSample> samples;
    qint64 ms = -1; // from SIGTERM, or else from the start, to the end
};

// Runs `program` to its end sending to `listener` (if given); if `terminate`,
// sends it SIGTERM once it has said its first line.
inline ToolRun runTool(const char* program, QStringList arguments, UdpListener* listener,
                       bool terminate = false) {
    QProcess tool;
    tool.start(
        QString::fromUtf8(program),
        (listener ? QStringList{"--port", QString::number(listener->port())} : QStringList{}) +
            arguments);
    ToolRun run;
    QElapsedTimer clock;
    clock.start();
    if (terminate) {
        EXPECT_TRUE(tool.waitForReadyRead(20'000)) << "no first line";
        clock.restart();
        tool.terminate();
    }
    for (bool running = true; running;) {
        running = !tool.waitForFinished(50) && tool.state() != QProcess::NotRunning &&
                  !(terminate && clock.elapsed() > 10'000);
        if (!listener) {
            continue; // the tool sends elsewhere: nothing to read
        }
        for (const auto& d : listener->drain()) {
            const auto sample = parseOpentrackDatagram(d.data(), d.size());
            EXPECT_TRUE(sample) << "the app would drop this datagram";
            run.samples.push_back(sample.value_or(MotionSample{}));
        }
    }
    run.ms = clock.elapsed();
    const bool ended = tool.state() == QProcess::NotRunning;
    run.exitCode = ended && tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.said = QString::fromUtf8(tool.readAllStandardOutput());
    run.errors = QString::fromUtf8(tool.readAllStandardError());
    return run;
}

} // namespace backbeacon::testing
