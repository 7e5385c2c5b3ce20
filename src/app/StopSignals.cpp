#include "StopSignals.h"

#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <csignal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
#ifdef Q_OS_UNIX
int g_pipe[2] = {-1, -1};

void onSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
    errno = saved;
}

void install(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}
#else
std::atomic<int> g_received{0};

void onSignal(int number)
{
    g_received = number;
}
#endif

QString nameOf(int number)
{
    return number == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM");
}
} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::takeSignal);
    install(onSignal);
#else
    // Without POSIX signals the handler can only set a flag; look at it twice a second.
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    m_poll = new QTimer(this);
    connect(m_poll, &QTimer::timeout, this, &StopSignals::takeSignal);
    m_poll->start(500);
#endif
}

StopSignals::~StopSignals()
{
#ifdef Q_OS_UNIX
    if (g_pipe[0] < 0)
        return;
    install(SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
#else
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
#endif
}

void StopSignals::takeSignal()
{
#ifdef Q_OS_UNIX
    char byte = 0;
    if (::read(g_pipe[1], &byte, 1) != 1)
        return;
    if (byte == SIGHUP)
        emit reloadRequested();
    else
        emit stopRequested(nameOf(byte));
#else
    const int number = g_received.exchange(0);
    if (number != 0)
        emit stopRequested(nameOf(number));
#endif
}

#include "moc_StopSignals.cpp"
