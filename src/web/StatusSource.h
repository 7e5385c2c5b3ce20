#pragma once

#include "WebSnapshot.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <functional>

class Database;
class PollTimer;
class ProgramState;
class StatusGridModel;

// What a sensor's page and history take from the engine: its row as the status page shows it
// (or its name alone, before a cycle has shown it), its limits and its open alarms.
struct SensorFacts {
    SensorView view;
    bool inGrid = false;
    std::optional<double> lowerLimit;
    std::optional<double> upperLimit;
    QList<AlarmRecord> openAlarms;
    QString dataDirectory; // where its data files are
    QDateTime now;
    int updateRateSeconds = 60;
};

// Where the remote views take what they show. Requests are answered from memory only: the grid,
// the status list and the cycle times as the windows show them, and the device list, alarms and
// failures that refresh() reads from the database after each cycle.
class StatusSource final : public QObject {
    Q_OBJECT
public:
    // The newest alarms kept for /api/v1/alarms and the failures kept for the page.
    static constexpr int KeptAlarms = 100;
    static constexpr int KeptFailures = 10;

    StatusSource(ProgramState &state, StatusGridModel &grid, PollTimer &pollTimer, Database &database,
                 QObject *parent = nullptr);

    // The number of e-mails waiting in the outbox, when the program has one.
    std::function<int()> emailsWaiting;
    // The escalation steps taken since the start, by step number; none when not set.
    std::function<QMap<int, quint64>()> escalationSteps;
    // The notification channels' queues; none when not set.
    std::function<QList<ChannelView>()> channels;

    // Reads the device list, the active alarms, the newest alarms and the newest device failures.
    // What could not be read keeps its earlier value. False when a read failed.
    bool refresh();

    WebSnapshot snapshot() const;
    HealthView health() const;
    // Counts every change of what the views show (grid, status list, what refresh() read), so a
    // rendered answer can be used again while it has not moved.
    quint64 generation() const { return m_generation; }
    bool cycleRunning() const;
    // The sensor of that key, from the grid or (before a cycle has shown it) the database. False
    // when the database could not be read; found false when there is no such named sensor.
    bool sensorFacts(int sensorId, SensorFacts &facts, bool &found) const;
    // The sensor's alarms open at some time in [from, to), oldest first, at most limit.
    bool sensorAlarms(int sensorId, const QDateTime &from, const QDateTime &to, int limit,
                      QList<AlarmRecord> &alarms) const;
    // The newest alarms, at most KeptAlarms.
    QList<AlarmRecord> newestAlarms(int limit) const;

private:
    QList<SensorView> sensorRows() const;
    SensorView sensorRow(int row, int sensorId) const;
    QList<DeviceView> deviceRows(QStringList &otherLines) const;
    void changed() { ++m_generation; }
    void onCycleEnded();

    ProgramState &m_state;
    StatusGridModel &m_grid;
    PollTimer &m_pollTimer;
    Database &m_database;
    QList<ServerRecord> m_devices;
    QList<AlarmRecord> m_openAlarms;
    QList<AlarmRecord> m_newestAlarms;
    QList<ServerFailureRecord> m_failures;
    // The sensors whose rows the last cycle that ended wrote. While a cycle runs, a row it has
    // not reached yet still shows that cycle, and counts as current when that cycle wrote it.
    QSet<int> m_currentAtLastEnd;
    quint64 m_generation = 1;
};
