#pragma once

#include <db/Records.h>

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class Database;
class Escalation;
class Notifier;
class Outbox;
class ProgramState;
class StatusGridModel;

// Someone answers every alarm: an open alarm is acknowledged once, by a named person, from the
// desktop, the alarm's web page or the API, and the acknowledgement is kept in tblAlarmAcks beside
// the alarm. Everything that acknowledges (the pop-up, the Events view, the web routes) calls this
// class; nothing else writes an acknowledgement. The status grid marks a sensor whose open alarm
// is acknowledged.
class AlarmResponse final : public QObject {
    Q_OBJECT
public:
    enum class Via { Desktop, WebPage, Api };
    // How an acknowledgement came, as stored: "desktop", "web page", "API".
    static QString ViaText(Via via);
    // 128 random bits as URL-safe text: a link's key, a form's nonce.
    static QString NewKey();

    struct AckRequest {
        qint64 alarmId = 0;
        QString by;      // as typed: checked here
        QString comment; // as typed, may be empty
        Via via = Via::Desktop;
        QString peer; // the remote address of a web or API request
    };
    enum class AckResult { Acknowledged, BadInput, Unknown, Ended, AlreadyAcknowledged, NotStored };
    struct AckOutcome {
        AckResult result = AckResult::NotStored;
        QString message; // for the person who asked: what was done, or why not
        AlarmAck ack;    // the stored acknowledgement (also the earlier one when already acknowledged)
        bool acknowledged() const { return result == AckResult::Acknowledged; }
    };

    AlarmResponse(ProgramState &state, Database &database, Outbox &outbox, StatusGridModel &grid,
                  QObject *parent = nullptr);

    // Follows the alarms recorded, acknowledged and ended with reminders and steps; none while
    // null.
    Escalation *escalation = nullptr;
    // The channels whose alerts say who acknowledged them; none while null.
    Notifier *notifier = nullptr;

    // Acknowledges an open alarm that nobody has acknowledged yet. A name or comment that is not
    // usable, an unknown or ended alarm, and one already acknowledged are refused with a message
    // and change nothing.
    AckOutcome Acknowledge(const AckRequest &request);

    // The name the desktop acknowledges with: the administrator's while logged in; empty when
    // nobody is (the person types a name).
    QString DesktopName() const;
    // The open alarms nobody has acknowledged, newest first (the pop-up offers them). False when
    // they could not be read.
    bool OpenUnacknowledged(QList<AlarmRecord> &alarms);
    // How an acknowledgement reads in a tool tip or a line: "Acknowledged by Ann at ... (web page)".
    static QString AckNote(const AlarmAck &ack);

    // A sensor's alarm as the alarm evaluation opened it.
    struct OpenedAlarm {
        qint64 alarmId = 0;
        qint64 sensorId = 0;
        qint64 deviceId = 0;
        QString deviceName;
        QString sensorName;
        QString address; // the device's address, as polled
        QDateTime start;
        std::optional<int> port; // the sensor's, when known
    };
    // The alarm's record has just been written, in the transaction that wrote it: its link key and
    // escalation row are stored with it. Returns the link to the alarm's page its messages carry
    // (empty without a usable [web] publicUrl). A row the file refuses is logged; the alarm stands
    // without it (and without a link).
    QString AlarmRecorded(const OpenedAlarm &alarm);
    // The alarm's record could not be written (alarmId is 0): it is reminded and escalated all
    // the same, and AlarmRecorded takes it up once its record is written. UnrecordedEnded: it
    // ended before that.
    void AlarmUnrecorded(const OpenedAlarm &alarm);
    void UnrecordedEnded(qint64 sensorId);
    // publicUrl/alarm/{id}?key=K; empty without a usable [web] publicUrl or a key.
    QString LinkFor(qint64 alarmId, const QString &key) const;
    // Whether key is the key of the alarm's links while the alarm is open: a link opens and
    // acknowledges its own alarm only, and only until it ends.
    bool KeyOpens(qint64 alarmId, const QString &key);
    // One alarm with its acknowledgement, for its page; found is false when there is none.
    bool ReadAlarm(qint64 alarmId, AlarmRecord &alarm, bool &found);

    // At each activation: the grid marks the sensors whose open alarms are acknowledged, and the
    // escalation takes up the open alarms it follows.
    void Resume();
    // The alarm evaluation ended a sensor's alarm: its mark goes.
    void AlarmEnded(qint64 sensorId, qint64 alarmId);

signals:
    // An alarm was acknowledged (the views showing it read it again).
    void acknowledged(qint64 alarmId);

private:
    void tellAlerts(const AlarmRecord &alarm, const QString &by);

    ProgramState &m_state;
    Database &m_database;
    Outbox &m_outbox;
    StatusGridModel &m_grid;
};
