// Writes the insight card of a plausible week to the given path, to look at;
// with "first", the card of a first day with a little monitoring; with "fresh",
// the card of a day with nothing recorded.
#include "stats/StatsInfographicRenderer.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>

#include <cstdio>

using namespace backbeacon;

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const bool first = argc == 3 && qstrcmp(argv[2], "first") == 0;
    const bool fresh = argc == 3 && qstrcmp(argv[2], "fresh") == 0;
    if (argc != 2 && !first && !fresh) {
        std::fprintf(stderr, "usage: %s card.png [first|fresh]\n", argv[0]);
        return 2;
    }
    const Instant today = StatsInfographicRenderer::CardContext::current().calendar.startOfDay(
        StatsInfographicRenderer::CardContext::current().now);
    // Monitored hours, slouched minutes, drift events and resets, oldest first.
    const double week[7][4] = {{5.5, 40, 9, 7}, {6.2, 31, 7, 7}, {4.1, 52, 11, 8}, {6.8, 22, 5, 5},
                               {3.0, 35, 8, 6}, {5.9, 27, 6, 6}, {4.6, 49, 7, 5}};
    std::vector<DailyStats> days;
    for (int i = 0; i < 7; ++i) {
        days.push_back({today - 86'400.0 * (6 - i), week[i][0] * 3600, week[i][1] * 60,
                        static_cast<std::int64_t>(week[i][2]),
                        static_cast<std::int64_t>(week[i][3])});
    }
    if (first) {
        days = {{today, 1500, 90, 1, 1}};
    } else if (fresh) {
        days.clear();
    }
    const auto png = StatsInfographicRenderer::pngData(days);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!png || !file.open(QIODevice::WriteOnly) || file.write(*png) != png->size()) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
