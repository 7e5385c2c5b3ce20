#include "ProgramState.h"

#include "Clock.h"
#include "ErrorLog.h"
#include "StatusList.h"

#include <QDir>

ProgramState::ProgramState(const QString &programDirectory, Clock &clock, Prompts &prompts, ErrorLog &errors,
                           StatusList &status, QObject *parent)
    : QObject(parent), m_programDirectory(programDirectory), m_clock(clock), m_prompts(prompts),
      m_errors(errors), m_status(status)
{
}

void ProgramState::setMonitoringActive(bool active)
{
    if (m_monitoringActive == active)
        return;
    m_monitoringActive = active;
    emit monitoringActiveChanged(active);
}

QString ProgramState::programFile(const QString &name) const
{
    return QDir(m_programDirectory).filePath(name);
}

void ProgramState::UpdateStatus(const QString &key, const QString &value)
{
    m_status.UpdateStatus(key, value);
}

void ProgramState::AddError(const QString &where, const QString &cause)
{
    m_errors.get().AddError(where, cause);
}

QDateTime ProgramState::readingsTime() const
{
    return ReadingsTakenAt.isValid() ? ReadingsTakenAt : m_clock.now();
}

#include "moc_ProgramState.cpp"
