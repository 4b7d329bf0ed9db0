#pragma once

#include "LocalCalendar.h"
#include "SaveLocationChooser.h"
#include "model/DailyStats.h"
#include "model/Timer.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace backbeacon {

class StatisticsStore;

// The "Save Insight Card" action: renders the card of the last 7 days, then
// asks where to save it and writes it there. Nothing is reported to the user:
// a card that cannot be made, a cancelled dialog or a failed write end quietly.
class InsightCardSaver {
public:
    using Encoder = std::function<std::optional<QByteArray>(const std::vector<DailyStats>&)>;

    static constexpr double kDialogDelay = 0.12;

    // `encoder` turns the days into the file's bytes (the card's PNG unless told).
    InsightCardSaver(const StatisticsStore& store, const LocalCalendar& calendar,
                     SaveLocationChooser& chooser, TimerFactory& timers, Encoder encoder = {});
    ~InsightCardSaver();
    InsightCardSaver(const InsightCardSaver&) = delete;
    InsightCardSaver& operator=(const InsightCardSaver&) = delete;

    // The bytes are made now, so the file shows the figures of this moment; the
    // dialog opens after a short pause that lets the panel close first. A second
    // request while one waits replaces it; one while the dialog is open is ignored.
    void saveInsightCard();

    // "backbeacon-2026-12-06.png" for a record of 6 December: the local date of
    // today's record, as the card's header shows it.
    QString proposedFileName() const;

private:
    void chooseAndWrite();

    const StatisticsStore& m_store;
    const LocalCalendar& m_calendar;
    SaveLocationChooser& m_chooser;
    Encoder m_encoder;
    std::unique_ptr<Timer> m_delay;
    std::optional<QByteArray> m_pending;
    bool m_choosing = false;
};

} // namespace backbeacon
