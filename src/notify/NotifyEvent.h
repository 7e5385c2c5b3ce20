#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// One event for the notification channels: what happened, where and when, with the e-mail's
// subject and text. Its JSON form is the webhook's document and the stored form of a queued
// message alike.
struct NotifyEvent;

// An acknowledged alarm, as the channels that keep its alert open are told of it.
struct AlertAcknowledgement {
    qint64 alarmNumber = 0;
    QString device;
    QString sensor;
    QString by;
    // Whether the event is of this alarm (or of its sensor's alarm sent before its record was
    // written, which has no number).
    bool Names(const NotifyEvent &event) const;
};

struct NotifyEvent {
    QString id;   // stable for every attempt of every channel, so a receiver can drop a repeat
    QString kind; // alarm, alarm-end, device-failure, device-recovered, backup, system-ok, shutdown, test
    QDateTime time;
    QString device;
    QString address; // the device's address as entered
    // The device's port the sensor is on: with the address it names the sensor alike on every
    // collector, whatever key each one's database gave it. None for events of no sensor.
    std::optional<int> port;
    QString sensor;
    qint64 sensorId = 0;
    std::optional<double> reading;
    QString units;
    QString state;
    std::optional<double> upperLimit;
    std::optional<double> lowerLimit;
    qint64 alarmNumber = 0; // the alarm record's key; 0 for other events
    QDateTime startedAt;    // alarm-end and device-recovered: when it began
    QString subject;
    QString text; // lines end in "\n"
    QString organisation;
    QString collector; // the computer that sends it
    // An alarm's alert as re-posted: who acknowledged the alarm (not stored with the event).
    QString acknowledgedBy;

    // The webhook's document: compact JSON in the documented order.
    QByteArray Json() const;
    static NotifyEvent fromJson(const QJsonObject &object);
    // The kind as a stored message (and its Kind column) carries it: a reminder, an escalation
    // step and an acknowledgement are stored as "alarm" with their "stage" in the payload, so
    // that a version that does not know them sends them as the alarm.
    QString StoredKind() const;
    // The event as a channel message keeps it: compact JSON text.
    QString StoredPayload() const;
    static NotifyEvent FromStoredPayload(const QString &payload);
    // Whether a stored event was made by a version that did not give the port yet.
    static bool StoredWithoutPort(const QString &payload);
    // A new event of the kind, now, with a fresh ID, this computer as collector and the
    // organisation given.
    static NotifyEvent make(const QString &kind, const QDateTime &now, const QString &organisation);

private:
    QByteArray document(const QString &event, const QString &stage) const;
};
