#include "InsightCardSaver.h"

#include "StatisticsStore.h"
#include "StatsInfographicRenderer.h"
#include "model/AtomicFile.h"

#include <QLoggingCategory>

#include <cstring>

Q_LOGGING_CATEGORY(lcCardSave, "backbeacon.stats")

namespace backbeacon {

InsightCardSaver::InsightCardSaver(const StatisticsStore& store, const LocalCalendar& calendar,
                                   SaveLocationChooser& chooser, TimerFactory& timers,
                                   Encoder encoder)
    : m_store(store), m_calendar(calendar), m_chooser(chooser),
      m_encoder(encoder ? std::move(encoder) : Encoder([](const std::vector<DailyStats>& days) {
          return StatsInfographicRenderer::pngData(days);
      })),
      m_delay(timers.createTimer()) {}

InsightCardSaver::~InsightCardSaver() = default;

void InsightCardSaver::saveInsightCard() {
    if (m_choosing) {
        return;
    }
    auto bytes = m_encoder(m_store.recentDays(7));
    if (!bytes) {
        return;
    }
    m_pending = std::move(bytes);
    m_delay->start(kDialogDelay, [this] {
        m_delay->stop();
        chooseAndWrite();
    });
}

QString InsightCardSaver::proposedFileName() const {
    // The record's date is its local midnight: in UTC that is still the day
    // before east of Greenwich, so the name takes the local calendar's date.
    const QDate date = m_calendar.localDate(m_store.today().date);
    return QStringLiteral("backbeacon-") + date.toString(Qt::ISODate) + QStringLiteral(".png");
}

void InsightCardSaver::chooseAndWrite() {
    if (!m_pending) {
        return;
    }
    const QByteArray bytes = std::move(*m_pending);
    m_pending.reset();

    const SaveRequest request{QStringLiteral("Save Insight Card"), proposedFileName(),
                              QStringLiteral("image/png"), true};
    m_choosing = true;
    const std::optional<QString> path = m_chooser.chooseSaveLocation(request);
    m_choosing = false;
    if (!path || path->isEmpty()) {
        return;
    }
    // A picture the user keeps: readable by others as their other files are.
    const int error = AtomicFile::replace(
        *path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), 0644);
    if (error != 0) {
        qCWarning(lcCardSave) << "Could not save the insight card to" << *path << ":"
                              << std::strerror(error);
    }
}

} // namespace backbeacon
