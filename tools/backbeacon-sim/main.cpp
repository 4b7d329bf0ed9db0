// backbeacon-sim: plays a head-motion script to the app as opentrack
// datagrams on loopback. See --help.
#include "backbeacon-sim/Playback.h"
#include "backbeacon-sim/PoseCsv.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSim, "backbeacon.sim")

using namespace backbeacon::sim;

namespace {

constexpr int kFailed = 1;
constexpr int kBadInput = 2;

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void requestStop(int) {
    g_stopRequested = 1;
}

// Real time from the steady clock. SIGINT and SIGTERM stay blocked except while
// waiting, so a stop request always lands in a wait and is never lost between
// the check and the sleep.
class SteadyPacer final : public Pacer {
public:
    SteadyPacer() {
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGINT);
        sigaddset(&stopSignals, SIGTERM);
        sigprocmask(SIG_BLOCK, &stopSignals, &m_waitMask);
        sigdelset(&m_waitMask, SIGINT);
        sigdelset(&m_waitMask, SIGTERM);
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }

    double now() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

    bool waitUntil(double seconds) override {
        for (;;) {
            if (g_stopRequested) {
                return false;
            }
            const double left = seconds - now();
            if (left <= 0) {
                return true;
            }
            const double whole = std::floor(left);
            const timespec timeout{static_cast<time_t>(whole),
                                   static_cast<long>((left - whole) * 1e9)};
            ::ppoll(nullptr, 0, &timeout, &m_waitMask);
        }
    }

private:
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    sigset_t m_waitMask{};
};

// Datagrams to 127.0.0.1:port; phases announced on stdout for a driving script.
class UdpOutput final : public PlaybackOutput {
public:
    explicit UdpOutput(std::uint16_t port) : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(port);
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~UdpOutput() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UdpOutput(const UdpOutput&) = delete;
    UdpOutput& operator=(const UdpOutput&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    void phaseStarted(const Phase& phase) override {
        std::printf("%.3f phase %s\n", phase.start, phase.name.c_str());
    }

    bool send(const OpentrackDatagram& datagram) override {
        const ssize_t n = ::sendto(m_fd, datagram.data(), datagram.size(), 0,
                                   reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to);
        if (n == static_cast<ssize_t>(datagram.size())) {
            return true;
        }
        // Nobody listening is normal for UDP: say so once per kind of failure
        // and keep the head moving, so an app started later still gets it.
        const int error = n < 0 ? errno : EMSGSIZE;
        if (m_reported.insert(error).second) {
            qCWarning(lcSim, "sending to 127.0.0.1:%u failed: %s (carrying on)",
                      ntohs(m_to.sin_port), std::strerror(error));
        }
        return false;
    }

private:
    int m_fd;
    sockaddr_in m_to{};
    std::set<int> m_reported;
};

int badInput(const QString& message) {
    std::fprintf(stderr, "backbeacon-sim: %s\nTry 'backbeacon-sim --help'.\n", qPrintable(message));
    return kBadInput;
}

// The option's value as a number within [low, high], or an error message.
std::optional<double> numberOption(const QCommandLineParser& parser,
                                   const QCommandLineOption& option, double low, double high,
                                   QString& error) {
    bool ok = false;
    const QString text = parser.value(option);
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high) {
        error = QStringLiteral("--%1 must be a number from %2 to %3, not \"%4\"")
                    .arg(option.names().constFirst())
                    .arg(low)
                    .arg(high)
                    .arg(text.left(32));
        return std::nullopt;
    }
    return value;
}

const char* const kDescription =
    R"(Plays head motion to Backbeacon as opentrack "UDP over network" datagrams
(48 bytes: x, y, z cm, yaw, pitch, roll degrees, little-endian doubles) sent
to 127.0.0.1. Angles are opentrack's: positive pitch looks UP, so looking down
(a slouch) is NEGATIVE pitch; positive roll tilts toward the left shoulder.

Sources:
  the built-in session (default, --session demo): the phases
    neutral   head still at 0,0 (the app takes the mean of its first 2.2 s
              as the baseline)
    good      small movements, at most 4 degrees off
    slouch    head down by --slouch-degrees (reached in 0.8 s), held
    recovery  back to 0,0 (in 0.8 s), held
  with good, slouch and recovery repeated --cycles times. A phase given
  0 seconds is left out. The defaults raise one alert at the app's shortest
  alert delay (5 s) and default sensitivity (20 degrees) in 23 seconds.

  --csv FILE: rows of  seconds,pitch_degrees,roll_degrees  with an optional
  header line of three names, blank lines and # comments. Times count from
  the first row, must be finite and never go backwards; angles are within
  -180 to 180. Poses between rows are interpolated linearly; playback stops
  at the last row. A bad line is reported as FILE:LINE and nothing is sent.

Output (stdout, one line each, times in seconds from the start):
  0.000 phase neutral    when a phase begins ("csv" for a CSV file)
  23.000 done            after the last sample
  7.412 stopped          after SIGINT or SIGTERM

Exit status: 0 when done or stopped, 2 for bad options or a bad CSV file,
1 when no socket could be opened. A datagram that cannot be sent (nothing
listening) is reported once on stderr and playback carries on.)";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("backbeacon-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BACKBEACON_VERSION));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const SessionShape defaults;
    const auto number = [](double value) { return QString::number(value); };
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption csvOption(
        QStringLiteral("csv"), QStringLiteral("Play the CSV <file>."), QStringLiteral("file"));
    const QCommandLineOption sessionOption(
        QStringLiteral("session"), QStringLiteral("Play the built-in session <name>: demo."),
        QStringLiteral("name"), QStringLiteral("demo"));
    const QCommandLineOption neutralOption(
        QStringLiteral("neutral-seconds"),
        QStringLiteral("Length of the neutral phase (0 to 3600)."), QStringLiteral("seconds"),
        number(defaults.neutralSeconds));
    const QCommandLineOption goodOption(QStringLiteral("good-seconds"),
                                        QStringLiteral("Length of each good phase (0 to 3600)."),
                                        QStringLiteral("seconds"), number(defaults.goodSeconds));
    const QCommandLineOption slouchOption(
        QStringLiteral("slouch-seconds"),
        QStringLiteral("Length of each slouch phase (0 to 3600)."), QStringLiteral("seconds"),
        number(defaults.slouchSeconds));
    const QCommandLineOption slouchDegreesOption(
        QStringLiteral("slouch-degrees"),
        QStringLiteral("How far the head drops in a slouch (0 to 90)."), QStringLiteral("degrees"),
        number(defaults.slouchDegrees));
    const QCommandLineOption recoveryOption(
        QStringLiteral("recovery-seconds"),
        QStringLiteral("Length of each recovery phase (0 to 3600)."), QStringLiteral("seconds"),
        number(defaults.recoverySeconds));
    const QCommandLineOption cyclesOption(
        QStringLiteral("cycles"),
        QStringLiteral("How many times good, slouch and recovery repeat (1 to 100)."),
        QStringLiteral("count"), number(defaults.cycles));
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("Samples per second (1 to 1000)."),
                                        QStringLiteral("hz"), QStringLiteral("50"));
    const QCommandLineOption noiseOption(
        QStringLiteral("noise"),
        QStringLiteral("Standard deviation of Gaussian noise added to pitch and roll (0 to 45)."),
        QStringLiteral("degrees"), QStringLiteral("0"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("Seed for the noise, to repeat a run exactly (default: random)."),
        QStringLiteral("n"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("UDP port on 127.0.0.1 (1 to 65535)."),
                                        QStringLiteral("port"), QStringLiteral("4242"));
    const QList<QCommandLineOption> shapeOptions = {
        neutralOption, goodOption, slouchOption, slouchDegreesOption, recoveryOption, cyclesOption};
    parser.addOptions({csvOption, sessionOption});
    parser.addOptions(shapeOptions);
    parser.addOptions({rateOption, noiseOption, seedOption, portOption});

    if (!parser.parse(QCoreApplication::arguments())) {
        return badInput(parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("backbeacon-sim %s\n", BACKBEACON_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return badInput(QStringLiteral("unexpected argument \"%1\"")
                            .arg(parser.positionalArguments().constFirst().left(32)));
    }

    QString error;
    PlaybackOptions playback;
    const auto rate = numberOption(parser, rateOption, kMinRateHz, kMaxRateHz, error);
    const auto noise = numberOption(parser, noiseOption, 0, kMaxNoiseDegrees, error);
    const auto port = numberOption(parser, portOption, 1, 65535, error);
    if (!rate || !noise || !port || *port != std::floor(*port)) {
        return badInput(error.isEmpty() ? QStringLiteral("--port must be a whole number") : error);
    }
    playback.rateHz = *rate;
    playback.noiseDegrees = *noise;
    if (parser.isSet(seedOption)) {
        bool ok = false;
        playback.seed = parser.value(seedOption).toULongLong(&ok);
        if (!ok) {
            return badInput(QStringLiteral("--seed must be a whole number from 0 to 2^64-1"));
        }
    } else {
        playback.seed = (std::uint64_t{std::random_device{}()} << 32) | std::random_device{}();
        if (playback.noiseDegrees > 0) {
            qCInfo(lcSim, "noise seed %llu", static_cast<unsigned long long>(playback.seed));
        }
    }

    std::optional<SimScript> script;
    if (parser.isSet(csvOption)) {
        const bool shaped = parser.isSet(sessionOption) ||
                            std::any_of(shapeOptions.begin(), shapeOptions.end(),
                                        [&](const auto& option) { return parser.isSet(option); });
        if (shaped) {
            return badInput(QStringLiteral("--csv plays a file; --session and its phase "
                                           "options shape the built-in session instead"));
        }
        const std::string path = parser.value(csvOption).toStdString();
        CsvResult csv = loadPoseCsv(path);
        if (!csv.track) {
            std::fprintf(stderr, "backbeacon-sim: %s\n", csv.error.describe(path).c_str());
            return kBadInput;
        }
        script = csvScript(std::move(*csv.track));
    } else {
        if (parser.value(sessionOption) != QStringLiteral("demo")) {
            return badInput(QStringLiteral("unknown session \"%1\" (there is: demo)")
                                .arg(parser.value(sessionOption).left(32)));
        }
        SessionShape shape;
        const std::pair<const QCommandLineOption*, double*> lengths[] = {
            {&neutralOption, &shape.neutralSeconds},
            {&goodOption, &shape.goodSeconds},
            {&slouchOption, &shape.slouchSeconds},
            {&recoveryOption, &shape.recoverySeconds}};
        for (const auto& [option, into] : lengths) {
            const auto value = numberOption(parser, *option, 0, kMaxPhaseSeconds, error);
            if (!value) {
                return badInput(error);
            }
            *into = *value;
        }
        const auto degrees = numberOption(parser, slouchDegreesOption, 0, kMaxSlouchDegrees, error);
        const auto cycles = numberOption(parser, cyclesOption, 1, kMaxCycles, error);
        if (!degrees || !cycles || *cycles != std::floor(*cycles)) {
            return badInput(error.isEmpty() ? QStringLiteral("--cycles must be a whole number")
                                            : error);
        }
        shape.slouchDegrees = *degrees;
        shape.cycles = static_cast<int>(*cycles);
        script = demoSession(shape);
    }

    UdpOutput output(static_cast<std::uint16_t>(*port));
    if (!output.isOpen()) {
        std::fprintf(stderr, "backbeacon-sim: cannot open a UDP socket: %s\n",
                     std::strerror(errno));
        return kFailed;
    }
    SteadyPacer pacer;
    const PlaybackReport report = play(*script, playback, pacer, output);
    std::printf("%.3f %s\n", report.stopped ? pacer.now() : report.endSeconds,
                report.stopped ? "stopped" : "done");
    qCInfo(lcSim, "sent %llu datagrams to 127.0.0.1:%u (%llu failed, %llu skipped)",
           static_cast<unsigned long long>(report.sent), static_cast<unsigned>(*port),
           static_cast<unsigned long long>(report.failed),
           static_cast<unsigned long long>(report.skipped));
    return 0;
}
