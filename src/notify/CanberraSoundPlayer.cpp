#include "CanberraSoundPlayer.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>
#include <canberra.h>
#include <cstdarg>
#include <cstdio>

Q_LOGGING_CATEGORY(lcSound, "backbeacon.sound")

namespace backbeacon {

namespace {

// ALSA writes every failed device lookup to stderr itself, eight lines per
// alert on a machine without sound; its words go to the debug log instead.
void alsaToDebugLog(const char* /*file*/, int /*line*/, const char* function, int error,
                    const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    qCDebug(lcSound) << "ALSA:" << function << text << (error ? snd_strerror(error) : "");
}

} // namespace

// Owns the libcanberra context; used on the sound thread only.
class CanberraSoundPlayer::Worker final : public QObject {
public:
    ~Worker() override { close(); }

    bool play(const QByteArray& eventId) {
        int result = m_context ? CA_SUCCESS : open();
        if (result == CA_SUCCESS) {
            result = ca_context_play(m_context, 0, CA_PROP_EVENT_ID, eventId.constData(),
                                     CA_PROP_EVENT_DESCRIPTION, "Posture alert", nullptr);
        }
        if (result != CA_SUCCESS) {
            // Without a sound device every alert would fail alike: say it once,
            // and again only after sound has worked in between.
            if (!m_failureLogged) {
                qCWarning(lcSound) << "alert sound not played:" << ca_strerror(result);
                m_failureLogged = true;
            }
            // Opened afresh next time, so a device that turns up later is used.
            close();
            return false;
        }
        m_failureLogged = false;
        return true;
    }

private:
    int open() {
        // libcanberra plays through ALSA when no sound server answers.
        snd_lib_error_set_handler(alsaToDebugLog);
        int result = ca_context_create(&m_context);
        if (result != CA_SUCCESS) {
            m_context = nullptr;
            return result;
        }
        ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Backbeacon",
                                CA_PROP_APPLICATION_ID, "org.backbeacon.Backbeacon",
                                CA_PROP_APPLICATION_ICON_NAME, "org.backbeacon.Backbeacon",
                                nullptr);
        result = ca_context_open(m_context);
        return result;
    }

    void close() {
        if (m_context) {
            ca_context_destroy(m_context);
            m_context = nullptr;
        }
    }

    ca_context* m_context = nullptr;
    bool m_failureLogged = false;
};

CanberraSoundPlayer::CanberraSoundPlayer() : m_worker(new Worker) {
    m_thread.setObjectName(QStringLiteral("backbeacon-sound"));
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

CanberraSoundPlayer::~CanberraSoundPlayer() {
    m_thread.quit();
    m_thread.wait();
}

void CanberraSoundPlayer::play(const QString& eventId) {
    if (m_busy.exchange(true)) {
        return; // the last alert's sound is still being started
    }
    QMetaObject::invokeMethod(
        m_worker,
        [this, id = eventId.toUtf8()] {
            const bool started = m_worker->play(id);
            m_busy = false;
            if (m_attempted) {
                m_attempted(started);
            }
        },
        Qt::QueuedConnection);
}

} // namespace backbeacon
