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
    return m_process.state() == QProcess::NotRunning;
}

void ProgramRun::terminate()
{
    m_process.terminate();
}

void ProgramRun::crash()
{
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
