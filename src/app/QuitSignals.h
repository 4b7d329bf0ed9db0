#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace backbeacon {

// Turns SIGTERM, SIGINT and SIGHUP into a signal on the main thread, so that
// `kill`, Ctrl+C or a closed terminal end the app through its orderly quit.
// One per process: the handlers write to a socket pair that the event loop reads.
class QuitSignals final : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested(int signalNumber);

private:
    void readSignal();

    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace backbeacon
