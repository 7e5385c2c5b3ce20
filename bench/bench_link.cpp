// Identify + readings exchanges per second against the simulated device on loopback: the
// program's link (DeviceLink::ReadFromQM, event-driven on this thread) side by side with a
// plain blocking POSIX-socket client doing the same exchanges. The device runs on a thread of
// its own so the blocking client can be served. Prints figures; never passes or fails.
//
//   bench_link [seconds per round, default 2] [rounds, default 3]

#include "BenchPrompts.h"

#include <core/Clock.h>
#include <core/EventLoopChoice.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>

#include <SimDevice.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace {

const char *const Address = "127.0.4.200";
constexpr int Port = 10001;

// One exchange the plain way: connect, send 60 bytes, read 60, close.
bool plainExchange(const sockaddr_in &where, const QByteArray &command, QByteArray &reply)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&where), sizeof where) == 0 &&
              ::send(fd, command.constData(), size_t(command.size()), 0) == command.size();
    reply.resize(60);
    qsizetype got = 0;
    while (ok && got < 60) {
        const ssize_t n = ::recv(fd, reply.data() + got, size_t(60 - got), 0);
        ok = n > 0;
        got += ok ? n : 0;
    }
    ::close(fd);
    return ok && reply.first(4) == command.first(4);
}

// Processor time (user and system) this thread has used, in seconds.
double threadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Round {
    int exchanges = 0;
    int failures = 0;
    double seconds = 0;
    double cpuSeconds = 0; // of the calling thread
    double rate() const { return exchanges / seconds; }
    double cpuMicrosPerExchange() const { return cpuSeconds * 1e6 / exchanges; }
};

template <typename Exchange> Round runFor(double seconds, Exchange exchange)
{
    const QByteArray commands[2] = {BuildCommand(DeviceCommands().IdentifyCommand),
                                    BuildCommand(DeviceCommands().DataCommand)};
    Round round;
    const double cpuBefore = threadCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        for (const QByteArray &command : commands) {
            QByteArray reply;
            ++round.exchanges;
            if (!exchange(command, reply))
                ++round.failures;
        }
    }
    round.seconds = clock.elapsed() / 1000.0;
    round.cpuSeconds = threadCpuSeconds() - cpuBefore;
    return round;
}

} // namespace

int main(int argc, char **argv)
{
    // The event loop the program runs on.
    PreferQtEventLoop();
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    QThread deviceThread;
    deviceThread.start();
    SimDevice *device = nullptr;
    bool listening = false;
    QObject anchor;
    anchor.moveToThread(&deviceThread);
    QMetaObject::invokeMethod(
        &anchor,
        [&] {
            device = new SimDevice(5, 8, 26);
            listening = device->start(QString::fromLatin1(Address), Port);
        },
        Qt::BlockingQueuedConnection);
    if (!listening) {
        std::fprintf(stderr, "the simulated device could not listen on %s:%d\n", Address, Port);
        return 1;
    }

    QTemporaryDir dir;
    SystemClock clock;
    SilentPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(dir.path(), clock, prompts, errors, status);
    state.setMonitoringActive(true);
    state.Config.TCPTimeOut = 3;
    DeviceLink link(state);

    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(Port);
    inet_pton(AF_INET, Address, &where.sin_addr);

    const auto viaLink = [&](const QByteArray &command, QByteArray &reply) {
        return link.ReadFromQM(QString::fromLatin1(Address), Port, command, reply, 60, QString());
    };
    const auto viaPlain = [&](const QByteArray &command, QByteArray &reply) {
        return plainExchange(where, command, reply);
    };

    std::printf(
        "exchanges per second (identify + readings alternately, one connection each), %d rounds of %.1f s\n",
        rounds, seconds);
    std::printf("%-6s %14s %14s %9s\n", "round", "Tallyport", "plain client", "ratio");
    Round linkTotal, plainTotal;
    for (int i = 1; i <= rounds; ++i) {
        const Round plain = runFor(seconds, viaPlain);
        const Round viaTallyport = runFor(seconds, viaLink);
        std::printf("%-6d %14.0f %14.0f %9.2f\n", i, viaTallyport.rate(), plain.rate(),
                    viaTallyport.rate() / plain.rate());
        for (auto [total, round] : {std::pair{&linkTotal, viaTallyport}, std::pair{&plainTotal, plain}}) {
            total->exchanges += round.exchanges;
            total->failures += round.failures;
            total->seconds += round.seconds;
            total->cpuSeconds += round.cpuSeconds;
        }
    }
    std::printf("%-6s %14.0f %14.0f %9.2f\n", "all", linkTotal.rate(), plainTotal.rate(),
                linkTotal.rate() / plainTotal.rate());
    std::printf("failed exchanges: Tallyport %d, plain client %d\n", linkTotal.failures, plainTotal.failures);
    // The device's share is the same for both; this is what each client spends on an exchange.
    std::printf(
        "processor time of the calling thread per exchange: Tallyport %.1f us, plain client %.1f us\n",
        linkTotal.cpuMicrosPerExchange(), plainTotal.cpuMicrosPerExchange());

    QMetaObject::invokeMethod(
        &anchor, [&] { delete device; }, Qt::BlockingQueuedConnection);
    deviceThread.quit();
    deviceThread.wait();
    return 0;
}
