#include "support_child.h"

#include <QCoreApplication>
#include <QProcess>

#include <csignal>

#include <grp.h>

#include <sys/resource.h>
#include <unistd.h>

bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

bool RunTestAsNobody(const QString &testFunctionAndRow, QString &output)
{
    constexpr uid_t kNobody = 65534;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    env.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(99);
    });
    child.start(QCoreApplication::applicationFilePath(), {testFunctionAndRow});
    const bool finished = child.waitForFinished(50000);
    output = QString::fromLocal8Bit(child.readAll());
    if (!finished) {
        child.kill();
        child.waitForFinished();
        output += QStringLiteral("\n(the child did not finish)");
        return false;
    }
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_previous = limit.rlim_cur;
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    if (m_set && ::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = rlim_t(m_previous);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::signal(SIGXFSZ, m_previousHandler ? m_previousHandler : SIG_DFL);
}
