#include "support_program.h"

#include <QDeadlineTimer>
#include <QTest>

#include <csignal>

QString ProgramRun::BuiltProgram()
{
    return QStringLiteral(TALLYPORT_BINARY_DIR "/bin/tallyport");
}

ProgramRun::ProgramRun(const QString &program)
{
    m_process.setProgram(program);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display, and no platform chosen: the program must manage without.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_process.setProcessEnvironment(env);
}

ProgramRun::~ProgramRun()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    } else {
        showErrorsOfACrash();
    }
}

// A child that died on its own (an abort, a sanitizer's report) says why only on its stderr,
// which the checks of a test never print: show it in the test's log.
void ProgramRun::showErrorsOfACrash()
{
    collect();
    const bool died = m_process.exitStatus() == QProcess::CrashExit && !m_killed;
    if ((died || m_err.contains(QLatin1String("Sanitizer"))) && !m_errorsShown) {
        m_errorsShown = true;
        qWarning("tallyport child ended by itself (%s); its stderr:\n%s",
                 died ? "crashed" : "sanitizer report", qPrintable(m_err));
    }
}

void ProgramRun::setEnvironment(const QString &name, const QString &value)
{
    QProcessEnvironment env = m_process.processEnvironment();
    env.insert(name, value);
    m_process.setProcessEnvironment(env);
}

void ProgramRun::start(const QStringList &arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
    m_process.waitForStarted(10000);
}

bool ProgramRun::finish(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    collect();
    if (m_process.state() == QProcess::NotRunning)
        showErrorsOfACrash();
    return m_process.state() == QProcess::NotRunning;
}

void ProgramRun::terminate()
{
    m_process.terminate();
}

void ProgramRun::crash()
{
    m_killed = true;
    m_process.kill();
    m_process.waitForFinished(5000);
}

void ProgramRun::collect()
{
    m_out += QString::fromLocal8Bit(m_process.readAllStandardOutput());
    m_err += QString::fromLocal8Bit(m_process.readAllStandardError());
}

bool ProgramRun::outputContains(const QString &text)
{
    collect();
    return m_out.contains(text);
}

QString ProgramRun::output()
{
    collect();
    return m_out;
}

QString ProgramRun::errors()
{
    collect();
    return m_err;
}

int ProgramRun::exitCode() const
{
    return m_process.exitCode();
}

bool ProgramRun::exitedNormally() const
{
    return m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit;
}
