#pragma once

#include "ConfigRecord.h"
#include "IniSettings.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

class Clock;
class ErrorLog;
class Prompts;
class StatusList;

// Program-wide flags and values, made once by main() and handed to whoever needs them. Tests
// make their own. The services (clock, prompts, error log, status list) are not owned here.
class ProgramState final : public QObject {
    Q_OBJECT
public:
    static constexpr int ReadingCount = 61;
    static constexpr float NoDataValue = -999991.0f;

    ProgramState(const QString &programDirectory, Clock &clock, Prompts &prompts, ErrorLog &errors,
                 StatusList &status, QObject *parent = nullptr);

    // Every wait and cycle ends early once this is false; clearing it signals the waits.
    bool MonitoringActive() const { return m_monitoringActive; }
    void setMonitoringActive(bool active);

    bool UpdateInProgress = false;
    bool ReinitOnActivate = true;
    bool FirstCycle = true;
    bool TrendingEnabled = false;
    bool AutoPrintDone = false;
    bool LoginSucceeded = false;
    QString ActiveFormName = QStringLiteral("frmMain");
    QString LogDirectory;

    ConfigRecord Config;
    // The settings of "Tallyport.ini", read at every activation.
    IniSettings Ini;

    // Filled by reply parsing: for port p, [3p] reading, [3p+1] minutes out of limits,
    // [3p+2] alarm byte.
    std::array<float, ReadingCount> Readings{};
    // When the device's reply with those readings came (invalid: now). A cycle whose exchanges
    // overlap takes a device's readings some time after they were read; they are filed, and
    // their alarms started and ended, at the time they were read.
    QDateTime ReadingsTakenAt;
    QDateTime readingsTime() const;
    int ModelFamily = 0;
    int ModelNumber = 0;
    int FirmwareRevision = 0;
    // The scale letter of the last readings reply; "F" until a device has reported its scale.
    int TemperatureScale = 'F';

    const QString &programDirectory() const { return m_programDirectory; }
    // A path inside the program directory.
    QString programFile(const QString &name) const;

    Clock &clock() const { return m_clock; }
    Prompts &prompts() const { return m_prompts; }
    ErrorLog &errors() const { return m_errors; }
    StatusList &status() const { return m_status; }
    void setErrorLog(ErrorLog &errors) { m_errors = std::ref(errors); }

    // Shortcut for the status list's only writer.
    void UpdateStatus(const QString &key, const QString &value);
    void AddError(const QString &where, const QString &cause);

signals:
    void monitoringActiveChanged(bool active);

private:
    QString m_programDirectory;
    Clock &m_clock;
    Prompts &m_prompts;
    std::reference_wrapper<ErrorLog> m_errors;
    StatusList &m_status;
    bool m_monitoringActive = false;
};
