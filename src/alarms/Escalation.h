#pragma once

#include <core/IniSettings.h>
#include <db/Records.h>

#include <QHash>
#include <QMap>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class Database;
class Notifier;
class Outbox;
class ProgramState;

// No alarm stays unanswered: while an alarm is open and nobody has acknowledged it, its own
// e-mail list and channels get a reminder every [escalation] repeatMinutes, and each step of
// [escalate.N] tells its recipients once, afterMinutes after the alarm's start. Acknowledgement or
// the alarm's end stops both; those told only by a step then get one message saying who took
// the alarm, or that it ended.
//
// While running, times count on the monotonic clock, so a wall clock set back or forward hurries
// or delays nothing. Each alarm's row in tblEscalations keeps its start (as the wall clock read it
// when the row was last written, so a clock moved since is followed), the reminders sent, the
// steps done and who they told, written in one transaction with the messages queued: a restart
// neither repeats a step nor skips one that fell due meanwhile.
class Escalation final : public QObject {
    Q_OBJECT
public:
    // Message kinds: of the outbox (the sent-mail log) and of the channels' events.
    static const QString ReminderKind;     // "alarm-reminder"
    static const QString StepKind;         // "alarm-escalation"
    static const QString AcknowledgedKind; // "alarm-acknowledged"

    // An alarm as the escalation follows it.
    struct Alarm {
        qint64 alarmId = 0;
        qint64 deviceId = 0;
        QString device;
        QString sensor;
        qint64 sensorId = 0;
        QString address; // the device's, as polled
        QString link;    // to the alarm's page; empty without [web] publicUrl
        // The sensor's port: with the address it names the alarm's alert on every channel.
        std::optional<int> port;
    };

    Escalation(ProgramState &state, Database &database, Outbox &outbox, QObject *parent = nullptr);

    // The notification channels (none while null).
    Notifier *notifier = nullptr;

    // A recorded alarm starts being followed; row is its stored row (just written). An alarm of the
    // same sensor followed while its record could not be written goes on where it stood.
    void Follow(const Alarm &alarm, const EscalationRow &row);
    // An alarm whose record cannot be written yet (the database is out) is followed all the same,
    // from its start, by its sensor: reminders and steps go out on time, without a number or a
    // link. Its record, once written, takes up what was sent (see Carry and Follow).
    void FollowUnrecorded(const Alarm &alarm, const QDateTime &start);
    // The reminders, steps done and who was told of the sensor's unrecorded alarm, into the row
    // written with its record.
    void Carry(qint64 sensorId, EscalationRow &row) const;
    // The sensor's unrecorded alarm ended before its record was written.
    void EndedUnrecorded(qint64 sensorId);
    // At each activation: the open alarms of the stored rows are followed again, each counting
    // from its stored start.
    void Resume(const std::function<QString(qint64 alarmId, const QString &key)> &linkFor);
    // Sends what is due: the poll cycle calls it after each cycle.
    void Check();
    // The alarm was acknowledged, or ended: nothing more is sent for it but the last word to
    // those told only by a step.
    void Acknowledged(const AlarmAck &ack);
    void Ended(qint64 alarmId);

    // How many steps have been taken since the start, by step number (for /metrics).
    const QMap<int, quint64> &stepsTaken() const { return m_stepsTaken; }
    // The alarms followed now (open, unacknowledged), recorded or not.
    int followed() const { return int(m_alarms.size() + m_unrecorded.size()); }

private:
    struct Followed {
        Alarm alarm;
        EscalationRow row;
        qint64 startMs = 0; // on the monotonic clock
        QStringList toldEmails;
        QStringList toldChannels;
        bool unsaved = false; // sent while the database refused its row
    };

    bool checkOne(Followed &f, qint64 nowMs);
    bool anyDue(const Followed &f, qint64 elapsedMs) const;
    // The reminder and the steps due; true when any was sent.
    bool sendDue(Followed &f, qint64 elapsedMs);
    void sendReminder(const Followed &f, int number);
    void sendStep(Followed &f, const EscalationStepSettings &step);
    // The last word to those told only by steps.
    void sendLastWord(Followed &f, const QString &subject, const QString &line, const QString &kind);
    bool save(Followed &f, qint64 nowMs);
    void queueEmail(const QString &kind, const QStringList &addresses, const QString &subject,
                    const QString &text);
    void notify(const Followed &f, const QString &kind, const QString &subject, const QString &text,
                const QStringList &channels);
    QString alarmLines(const Followed &f) const;
    // The channels that take the alarm itself.
    QStringList ownChannels(const Followed &f) const;
    void finish(qint64 alarmId, const std::function<void(Followed &)> &lastWord);
    void sendEndWord(Followed &f);

    ProgramState &m_state;
    Database &m_database;
    Outbox &m_outbox;
    QHash<qint64, Followed> m_alarms;
    // The alarms waiting for their record, by sensor (a sensor has one open alarm at most).
    QHash<qint64, Followed> m_unrecorded;
    QMap<int, quint64> m_stepsTaken;
};
