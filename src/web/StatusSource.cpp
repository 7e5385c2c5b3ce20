#include "StatusSource.h"

#include "HealthCheck.h"

#include <acquisition/PollCycle.h>
#include <acquisition/StatusGridModel.h>
#include <core/Clock.h>
#include <core/PollTimer.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>
#include <db/Database.h>

#include <cmath>
#include <optional>

namespace {
const QString kOk = QStringLiteral(": OK");
const QString kFailed = QStringLiteral(": FAILED");
const QString kBusy = QStringLiteral(": Is busy");

// The key and outcome of a device line of the status list; Unknown for other lines.
DeviceView::Outcome splitDeviceLine(const QString &line, QString &key)
{
    if (!line.startsWith(QLatin1String("Communication with server ")))
        return DeviceView::Outcome::Unknown;
    const std::pair<QString, DeviceView::Outcome> endings[] = {{kOk, DeviceView::Outcome::Ok},
                                                               {kFailed, DeviceView::Outcome::Failed},
                                                               {kBusy, DeviceView::Outcome::Busy}};
    for (const auto &[ending, outcome] : endings) {
        if (line.endsWith(ending)) {
            key = line.left(line.size() - ending.size());
            return outcome;
        }
    }
    return DeviceView::Outcome::Unknown;
}
} // namespace

QString DeviceView::outcomeText() const
{
    switch (outcome) {
    case Outcome::Ok:
        return QStringLiteral("OK");
    case Outcome::Failed:
        return QStringLiteral("FAILED");
    case Outcome::Busy:
        return QStringLiteral("Is busy");
    case Outcome::Unknown:
        break;
    }
    return QString();
}

StatusSource::StatusSource(ProgramState &state, StatusGridModel &grid, PollTimer &pollTimer,
                           Database &database, QObject *parent)
    : QObject(parent), m_state(state), m_grid(grid), m_pollTimer(pollTimer), m_database(database)
{
    for (const QAbstractItemModel *model :
         {static_cast<QAbstractItemModel *>(&grid), static_cast<QAbstractItemModel *>(&state.status())}) {
        connect(model, &QAbstractItemModel::dataChanged, this, &StatusSource::changed);
        connect(model, &QAbstractItemModel::modelReset, this, &StatusSource::changed);
        connect(model, &QAbstractItemModel::rowsInserted, this, &StatusSource::changed);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &StatusSource::changed);
    }
    connect(&pollTimer, &PollTimer::cycleEnded, this, &StatusSource::onCycleEnded);
}

void StatusSource::onCycleEnded()
{
    m_currentAtLastEnd.clear();
    for (int row = 0; row < m_grid.rowCount(); ++row) {
        const std::optional<int> id = m_grid.sensorIdAt(row);
        if (id && m_grid.evaluatedThisCycle(row))
            m_currentAtLastEnd.insert(*id);
    }
    changed();
}

bool StatusSource::cycleRunning() const
{
    return m_pollTimer.cycleTimes().running;
}

bool StatusSource::refresh()
{
    changed();
    bool ok = true;
    QList<ServerRecord> devices;
    int count = 0;
    if (m_database.RecordServers(devices, count))
        m_devices = devices;
    else
        ok = false;
    QList<AlarmRecord> alarms;
    if (m_database.ActiveAlarmsNewestFirst(alarms))
        m_openAlarms = alarms;
    else
        ok = false;
    if (m_database.AlarmsNewestFirst(alarms, 0, KeptAlarms))
        m_newestAlarms = alarms;
    else
        ok = false;
    QList<ServerFailureRecord> failures;
    if (m_database.ServerFailuresNewestFirst(failures, false, 0, KeptFailures))
        m_failures = failures;
    else
        ok = false;
    return ok;
}

QList<AlarmRecord> StatusSource::newestAlarms(int limit) const
{
    return m_newestAlarms.mid(0, qMax(0, limit));
}

SensorView StatusSource::sensorRow(int row, int sensorId) const
{
    SensorView view;
    view.device = m_grid.cellText(row, StatusGridModel::DeviceColumn);
    view.sensor = m_grid.cellText(row, StatusGridModel::SensorColumn);
    view.reading = m_grid.cellText(row, StatusGridModel::ReadingColumn);
    view.unit = m_grid.cellText(row, StatusGridModel::UnitsColumn);
    view.status = m_grid.status(row);
    view.sensorId = sensorId;
    view.current = m_grid.evaluatedThisCycle(row) || m_currentAtLastEnd.contains(sensorId);
    bool number = false;
    const double value = view.reading.trimmed().toDouble(&number);
    if (number && std::isfinite(value))
        view.value = value;
    return view;
}

QList<SensorView> StatusSource::sensorRows() const
{
    QList<SensorView> rows;
    rows.reserve(m_grid.rowCount());
    for (int row = 0; row < m_grid.rowCount(); ++row) {
        if (const std::optional<int> id = m_grid.sensorIdAt(row))
            rows.append(sensorRow(row, *id));
    }
    return rows;
}

QList<DeviceView> StatusSource::deviceRows(QStringList &otherLines) const
{
    QHash<QString, DeviceView::Outcome> outcomes;
    for (const QString &line : m_state.status().lines()) {
        QString key;
        const DeviceView::Outcome outcome = splitDeviceLine(line, key);
        if (outcome == DeviceView::Outcome::Unknown)
            otherLines.append(line);
        else if (!outcomes.contains(key))
            outcomes.insert(key, outcome);
    }
    QList<DeviceView> rows;
    for (const ServerRecord &device : m_devices) {
        if (!device.isEnabled())
            continue;
        DeviceView view;
        view.name = device.ServerName;
        view.address = device.ServerIPAddress;
        view.outcome = outcomes.value(PollCycle::OutcomeKey(device), DeviceView::Outcome::Unknown);
        rows.append(view);
    }
    return rows;
}

HealthView StatusSource::health() const
{
    HealthInputs in;
    in.now = m_state.clock().now();
    in.monitoringActive = m_state.MonitoringActive();
    in.pollTimerRunning = m_pollTimer.isRunning();
    in.deviceWindowOpen = m_state.ActiveFormName == QLatin1String("frmTreeConfiguration");
    in.namedSensorRows = m_grid.rowCount();
    in.updateRateSeconds = m_state.Config.UpdateRate;
    in.cycle = m_pollTimer.cycleTimes();
    return EvaluateHealth(in);
}

WebSnapshot StatusSource::snapshot() const
{
    WebSnapshot s;
    s.now = m_state.clock().now();
    s.sensors = sensorRows();
    s.devices = deviceRows(s.otherStatusLines);
    s.openAlarms = m_openAlarms;
    s.recentFailures = m_failures;
    s.cycle = m_pollTimer.cycleTimes();
    s.health = health();
    s.updateRateSeconds = m_state.Config.UpdateRate;
    if (emailsWaiting)
        s.emailsWaiting = emailsWaiting();
    if (channels)
        s.channels = channels();
    if (escalationSteps)
        s.escalationSteps = escalationSteps();
    return s;
}

bool StatusSource::sensorFacts(int sensorId, SensorFacts &facts, bool &found) const
{
    facts = SensorFacts();
    facts.now = m_state.clock().now();
    facts.updateRateSeconds = m_state.Config.UpdateRate;
    facts.dataDirectory = m_state.programDirectory();
    for (int row = 0; row < m_grid.rowCount() && !facts.inGrid; ++row) {
        if (m_grid.sensorIdAt(row) == sensorId) {
            facts.view = sensorRow(row, sensorId);
            facts.inGrid = true;
        }
    }
    SensorRecord record;
    if (!m_database.SensorById(sensorId, record, found)) {
        // The row still shows what the last cycle read, without the limits.
        found = facts.inGrid;
        return facts.inGrid;
    }
    if (!found && facts.inGrid) {
        // Deleted in the device window since the grid was laid out: still shown until then.
        found = true;
    } else if (found) {
        facts.lowerLimit = record.LowerLimit;
        facts.upperLimit = record.UpperLimit;
        if (!facts.inGrid) {
            facts.view.sensorId = sensorId;
            facts.view.sensor = record.SensorName;
            for (const ServerRecord &device : m_devices)
                if (device.IDNum == record.ServerIDNum)
                    facts.view.device = device.ServerName;
        }
    }
    for (const AlarmRecord &alarm : m_openAlarms)
        if (alarm.SensorIDNum == sensorId)
            facts.openAlarms.append(alarm);
    return true;
}

bool StatusSource::sensorAlarms(int sensorId, const QDateTime &from, const QDateTime &to, int limit,
                                QList<AlarmRecord> &alarms) const
{
    return m_database.SensorAlarmsBetween(sensorId, from, to, limit, alarms);
}

#include "moc_StatusSource.cpp"
