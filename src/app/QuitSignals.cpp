#include "QuitSignals.h"

#include <QLoggingCategory>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace backbeacon {

Q_LOGGING_CATEGORY(lcQuit, "backbeacon.app")

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_writeFd = -1;

void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Non-blocking: should the pipe ever be full, a quit is already pending.
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) {
        qCWarning(lcQuit) << "no quit signals:" << strerror(errno);
        return;
    }
    g_writeFd = m_fds[0];
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &QuitSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals) {
        ::sigaction(number, &action, nullptr);
    }
}

QuitSignals::~QuitSignals() {
    if (m_fds[0] < 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : kSignals) {
        ::sigaction(number, &action, nullptr);
    }
    g_writeFd = -1;
    m_notifier.reset();
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void QuitSignals::readSignal() {
    unsigned char byte = 0;
    while (::read(m_fds[1], &byte, 1) == 1) {
        qCInfo(lcQuit) << "quitting on signal" << byte;
        emit quitRequested(byte);
    }
}

} // namespace backbeacon
