// Writes the insight card of a plausible week to the given path, to look at.
#include "stats/StatsInfographicRenderer.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

using namespace backbeacon;

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s card.png\n", argv[0]);
        return 2;
    }
    const auto context = StatsInfographicRenderer::CardContext::current();
    const Instant today = context.calendar.startOfDay(context.now);
    std::vector<DailyStats> days;
    for (int i = 0; i < 7; ++i) { // hours monitored, minutes slouched, drifts and resets vary
        days.push_back({today - 86'400.0 * (6 - i), (3 + i % 4) * 3600.0, (20 + 7 * i) * 60.0,
                        5 + i, 5 + i % 3});
    }
    const auto png = StatsInfographicRenderer::pngData(days);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!png || !file.open(QIODevice::WriteOnly) || file.write(*png) != png->size()) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
