#pragma once

#include <acquisition/StatusGridModel.h>
#include <core/PollTimer.h>
#include <db/Records.h>

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// One sensor row of the status grid as the remote views show it.
struct SensorView {
    QString device;
    QString sensor;
    QString reading; // the reading or state text, as the grid shows it
    QString unit;
    StatusGridModel::SensorStatus status = StatusGridModel::SensorStatus::Unset;
    int sensorId = 0;
    // The reading as a number; empty for state texts ("Open", "No Data", ...).
    std::optional<double> value;
    // False while the row shows an earlier cycle (its device was busy in this one).
    bool current = true;
};

// A device's outcome in the last cycle, from its line of the status list.
struct DeviceView {
    enum class Outcome { Unknown, Ok, Failed, Busy };
    QString name;
    QString address;
    Outcome outcome = Outcome::Unknown;

    // "OK", "FAILED", "Is busy", or empty before the device's first poll.
    QString outcomeText() const;
};

// What /healthz answers: ok, or the reason polling is not keeping up. code is a short word an
// uptime checker can match; text explains it.
struct HealthView {
    bool ok = false;
    QString code;
    QString text;
};

// A notification channel's queue: messages waiting, and those given up in this run.
struct ChannelView {
    QString name;
    QString type;
    int waiting = 0;
    int failed = 0;

    bool operator==(const ChannelView &) const = default;
};

// Everything the remote views show, taken from memory when a request arrives.
struct WebSnapshot {
    QDateTime now;
    QList<SensorView> sensors;
    QList<DeviceView> devices;
    QStringList otherStatusLines; // the status list less the device lines
    QList<AlarmRecord> openAlarms;
    QList<ServerFailureRecord> recentFailures;
    CycleTimes cycle;
    HealthView health;
    int updateRateSeconds = 60;
    std::optional<int> emailsWaiting; // empty when there is no outbox
    // Escalation steps taken since the program started, by step number; empty without escalation.
    QMap<int, quint64> escalationSteps;
    QList<ChannelView> channels; // the notification channels beside e-mail
};
