#include "Escalation.h"

#include "EscalationRules.h"
#include "Outbox.h"

#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <db/Database.h>
#include <notify/Notifier.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

const QString Escalation::ReminderKind = QStringLiteral("alarm-reminder");
const QString Escalation::StepKind = QStringLiteral("alarm-escalation");
const QString Escalation::AcknowledgedKind = QStringLiteral("alarm-acknowledged");

namespace {
const QString kEscalationWhere = QStringLiteral("Escalation");
const QChar kEscalationCR(13);
constexpr qint64 kEscalationMinuteMs = 60 * 1000;

QString escalationToldText(const QStringList &emails, const QStringList &channels)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("emails"), QJsonArray::fromStringList(emails)},
                                  {QStringLiteral("channels"), QJsonArray::fromStringList(channels)}})
            .toJson(QJsonDocument::Compact));
}

QStringList toldListIn(const QJsonObject &object, const QString &key)
{
    QStringList items;
    for (const QJsonValue &value : object.value(key).toArray())
        items.append(value.toString());
    return items;
}

void addNewTold(QStringList &to, const QStringList &items)
{
    for (const QString &item : items)
        if (!to.contains(item, Qt::CaseInsensitive))
            to.append(item);
}
} // namespace

Escalation::Escalation(ProgramState &state, Database &database, Outbox &outbox, QObject *parent)
    : QObject(parent), m_state(state), m_database(database), m_outbox(outbox)
{
}

void Escalation::Follow(const Alarm &alarm, const EscalationRow &row)
{
    Followed f;
    f.alarm = alarm;
    f.row = row;
    const qint64 sinceStart = qMax<qint64>(0, row.StartedAt.msecsTo(m_state.clock().now()));
    f.startMs = m_state.clock().monotonicMs() - sinceStart;
    if (const auto waited = m_unrecorded.constFind(alarm.sensorId); waited != m_unrecorded.cend()) {
        // Followed while its record could not be written: it goes on from the same start, with
        // what was sent meanwhile (carried into the row).
        f.startMs = waited->startMs;
        f.toldEmails = waited->toldEmails;
        f.toldChannels = waited->toldChannels;
        if (!f.alarm.port)
            f.alarm.port = waited->alarm.port;
        m_unrecorded.erase(waited);
    }
    m_alarms.insert(alarm.alarmId, f);
}

void Escalation::FollowUnrecorded(const Alarm &alarm, const QDateTime &start)
{
    Followed f;
    f.alarm = alarm;
    f.alarm.alarmId = 0;
    f.alarm.link.clear();
    f.row.DeviceID = alarm.deviceId;
    f.row.Address = alarm.address;
    f.row.StartedAt = start;
    const qint64 sinceStart = qMax<qint64>(0, start.msecsTo(m_state.clock().now()));
    f.startMs = m_state.clock().monotonicMs() - sinceStart;
    m_unrecorded.insert(alarm.sensorId, f);
}

void Escalation::Carry(qint64 sensorId, EscalationRow &row) const
{
    const auto waited = m_unrecorded.constFind(sensorId);
    if (waited == m_unrecorded.cend())
        return;
    row.Reminders = waited->row.Reminders;
    row.StepsDone = waited->row.StepsDone;
    row.Told = waited->row.Told;
}

void Escalation::EndedUnrecorded(qint64 sensorId)
{
    const auto waited = m_unrecorded.find(sensorId);
    if (waited == m_unrecorded.end())
        return;
    Followed f = waited.value();
    m_unrecorded.erase(waited);
    // No row to write: the outbox and the channels keep the messages until the database takes them.
    sendEndWord(f);
}

void Escalation::Resume(const std::function<QString(qint64, const QString &)> &linkFor)
{
    QList<EscalationRow> rows;
    QList<AlarmRecord> open;
    if (!m_database.EscalationsOfOpenAlarms(rows) || !m_database.ActiveAlarmsNewestFirst(open))
        return;
    for (const EscalationRow &row : std::as_const(rows)) {
        if (row.Closed || m_alarms.contains(row.AlarmID))
            continue;
        const auto alarm = std::find_if(open.cbegin(), open.cend(),
                                        [&row](const AlarmRecord &a) { return a.IDNum == row.AlarmID; });
        if (alarm == open.cend() || alarm->Ack.isSet())
            continue;
        Alarm a;
        a.alarmId = row.AlarmID;
        a.deviceId = row.DeviceID;
        a.device = alarm->Server;
        a.sensor = alarm->Sensor;
        a.sensorId = alarm->SensorIDNum;
        a.address = row.Address;
        a.link = linkFor ? linkFor(row.AlarmID, row.LinkKey) : QString();
        QVariant port;
        if (m_database.GetFieldValue(a.sensorId, QStringLiteral("tblSensors"), QStringLiteral("PortNum"),
                                     port))
            a.port = port.toInt();
        Follow(a, row);
        Followed &f = m_alarms[row.AlarmID];
        const QJsonObject told = QJsonDocument::fromJson(row.Told.toUtf8()).object();
        f.toldEmails = toldListIn(told, QStringLiteral("emails"));
        f.toldChannels = toldListIn(told, QStringLiteral("channels"));
    }
}

void Escalation::Check()
{
    const qint64 nowMs = m_state.clock().monotonicMs();
    for (auto it = m_alarms.begin(); it != m_alarms.end(); ++it)
        checkOne(it.value(), nowMs);
    // Without a record there is no row to write: the messages alone go, kept by the outbox and
    // the channels until the database takes them.
    for (auto it = m_unrecorded.begin(); it != m_unrecorded.end(); ++it)
        sendDue(it.value(), nowMs - it->startMs);
}

bool Escalation::anyDue(const Followed &f, qint64 elapsedMs) const
{
    const int repeat = m_state.Ini.escalation.repeatMinutes;
    if (repeat > 0 && elapsedMs / (repeat * kEscalationMinuteMs) > f.row.Reminders)
        return true;
    const QList<EscalationStepSettings> &steps = m_state.Ini.escalation.steps;
    return std::any_of(steps.cbegin(), steps.cend(), [&f, elapsedMs](const EscalationStepSettings &step) {
        return !f.row.StepsDone.contains(step.number) && elapsedMs >= step.afterMinutes * kEscalationMinuteMs;
    });
}

bool Escalation::checkOne(Followed &f, qint64 nowMs)
{
    const qint64 elapsedMs = nowMs - f.startMs;
    if (!anyDue(f, elapsedMs)) {
        // A row the database refused earlier is written once it takes it.
        if (f.unsaved)
            f.unsaved = !save(f, nowMs);
        return true;
    }
    const Followed before = f;
    // The messages and the row that says they were sent are one commit: rolled back, neither
    // happened.
    if (m_outbox.StoreWithRecord([&] { return !sendDue(f, elapsedMs) || save(f, nowMs); })) {
        f.unsaved = false;
        return true;
    }
    m_state.AddError(kEscalationWhere, QStringLiteral("The escalation of alarm %1 could not be stored: %2")
                                           .arg(f.alarm.alarmId)
                                           .arg(m_database.lastError()));
    // The database is out: the messages go all the same (the outbox and the channels keep them
    // until they can store them), and the row is written once it can be.
    f = before;
    sendDue(f, elapsedMs);
    f.unsaved = true;
    return false;
}

bool Escalation::sendDue(Followed &f, qint64 elapsedMs)
{
    bool sent = false;
    const int repeat = m_state.Ini.escalation.repeatMinutes;
    if (repeat > 0) {
        const int due = int(elapsedMs / (repeat * kEscalationMinuteMs));
        if (due > f.row.Reminders) {
            sendReminder(f, due);
            f.row.Reminders = due;
            sent = true;
        }
    }
    for (const EscalationStepSettings &step : std::as_const(m_state.Ini.escalation.steps)) {
        if (f.row.StepsDone.contains(step.number) || elapsedMs < step.afterMinutes * kEscalationMinuteMs)
            continue;
        f.row.StepsDone.append(step.number);
        sent = true;
        if (EscalationRules::Takes(step, f.alarm.device, f.alarm.address))
            sendStep(f, step);
    }
    return sent;
}

QString Escalation::alarmLines(const Followed &f) const
{
    const QString number = f.alarm.alarmId > 0 ? QStringLiteral("Alarm number %1").arg(f.alarm.alarmId)
                                               : QStringLiteral("Alarm");
    QString text = QStringLiteral("%1: sensor %2 connected to device %3, since %4.")
                       .arg(number, f.alarm.sensor, f.alarm.device, DateTimeText(f.row.StartedAt));
    if (!f.alarm.link.isEmpty())
        text += QString(kEscalationCR) + kEscalationCR + QStringLiteral("See or acknowledge this alarm: ") +
                f.alarm.link;
    return text + kEscalationCR;
}

void Escalation::sendReminder(const Followed &f, int number)
{
    const QString subject =
        QStringLiteral("Reminder: Sensor: %1 has generated an alarm!").arg(f.alarm.sensor);
    const QString text =
        QStringLiteral("Reminder %1: this alarm is still open and nobody has acknowledged it.").arg(number) +
        kEscalationCR + kEscalationCR + alarmLines(f);
    QString error;
    // The alarm's own list: the device's addresses, as its first e-mail had them.
    const qint64 key =
        m_outbox.QueueAlarmReminder(int(f.alarm.deviceId), f.alarm.sensor, subject, text, error);
    if (key == 0 && !error.isEmpty())
        m_state.AddError(kEscalationWhere,
                         QStringLiteral("Reminder of alarm %1: %2").arg(f.alarm.alarmId).arg(error));
    if (notifier)
        notify(f, ReminderKind, subject, text, ownChannels(f));
}

void Escalation::sendStep(Followed &f, const EscalationStepSettings &step)
{
    ++m_stepsTaken[step.number];
    const QString subject =
        QStringLiteral("Escalation: Sensor: %1 has generated an alarm!").arg(f.alarm.sensor);
    const QString text =
        QStringLiteral("Nobody has acknowledged this alarm in %1 minutes; you are told as step %2 of the "
                       "escalation chain.")
            .arg(step.afterMinutes)
            .arg(step.number) +
        kEscalationCR + kEscalationCR + alarmLines(f);
    const QStringList addresses = EscalationRules::Addresses(step);
    if (!addresses.isEmpty())
        queueEmail(StepKind, addresses, subject, text);
    const QStringList channels = EscalationRules::Channels(step);
    if (notifier && !channels.isEmpty())
        notify(f, StepKind, subject, text, channels);
    addNewTold(f.toldEmails, addresses);
    addNewTold(f.toldChannels, channels);
    f.row.Told = escalationToldText(f.toldEmails, f.toldChannels);
}

void Escalation::queueEmail(const QString &kind, const QStringList &addresses, const QString &subject,
                            const QString &text)
{
    QString error;
    if (m_outbox.QueueListEmail(kind, addresses, subject, text, error) == 0)
        m_state.AddError(
            kEscalationWhere,
            QStringLiteral("%1 e-mail to %2: %3").arg(kind, addresses.join(QStringLiteral(", ")), error));
}

void Escalation::notify(const Followed &f, const QString &kind, const QString &subject, const QString &text,
                        const QStringList &channels)
{
    if (channels.isEmpty())
        return;
    NotifyEvent event;
    event.kind = kind;
    event.device = f.alarm.device;
    event.address = f.alarm.address;
    event.port = f.alarm.port;
    event.sensor = f.alarm.sensor;
    event.sensorId = f.alarm.sensorId;
    event.alarmNumber = f.alarm.alarmId;
    event.startedAt = f.row.StartedAt;
    event.subject = subject;
    event.text = text;
    event.text.replace(kEscalationCR, QLatin1Char('\n'));
    notifier->Notify(event, QString(), 0, true, channels);
}

bool Escalation::save(Followed &f, qint64 nowMs)
{
    // The start as the wall clock reads it now: a restart counts from there.
    f.row.StartedAt = m_state.clock().now().addMSecs(-(nowMs - f.startMs));
    return m_database.SaveEscalation(f.row);
}

void Escalation::Acknowledged(const AlarmAck &ack)
{
    finish(ack.AlarmID, [this, &ack](Followed &f) {
        QString line = QStringLiteral("This alarm was acknowledged by %1 at %2 (%3).")
                           .arg(ack.AckBy, DateTimeText(ack.AckAt), ack.AckVia);
        if (!ack.AckComment.isEmpty())
            line += QString(kEscalationCR) + QStringLiteral("Comment: ") + ack.AckComment;
        sendLastWord(f, QStringLiteral("Acknowledged by %1: Sensor: %2").arg(ack.AckBy, f.alarm.sensor), line,
                     AcknowledgedKind);
    });
}

void Escalation::Ended(qint64 alarmId)
{
    finish(alarmId, [this](Followed &f) { sendEndWord(f); });
}

void Escalation::sendEndWord(Followed &f)
{
    sendLastWord(f, QStringLiteral("Ended: Sensor: %1 is back to normal").arg(f.alarm.sensor),
                 QStringLiteral("This alarm has ended."), QStringLiteral("alarm-end"));
}

void Escalation::finish(qint64 alarmId, const std::function<void(Followed &)> &lastWord)
{
    const auto it = m_alarms.find(alarmId);
    if (it == m_alarms.end())
        return;
    Followed f = it.value();
    m_alarms.erase(it);
    f.row.Closed = true;
    const qint64 nowMs = m_state.clock().monotonicMs();
    if (!m_outbox.StoreWithRecord([&] {
            lastWord(f);
            return save(f, nowMs);
        }))
        m_state.AddError(kEscalationWhere,
                         QStringLiteral("The end of the escalation of alarm %1 could not be stored: %2")
                             .arg(alarmId)
                             .arg(m_database.lastError()));
}

QStringList Escalation::ownChannels(const Followed &f) const
{
    return notifier ? notifier->Takers(QStringLiteral("alarm"), f.alarm.device, f.alarm.address)
                    : QStringList();
}

void Escalation::sendLastWord(Followed &f, const QString &subject, const QString &line, const QString &kind)
{
    const QString text = line + kEscalationCR + kEscalationCR + alarmLines(f);
    if (!f.toldEmails.isEmpty())
        queueEmail(kind, f.toldEmails, subject, text);
    if (!notifier)
        return;
    // The alarm's own channels hear of its end, and of nothing more, as they always have.
    QStringList channels = f.toldChannels;
    const QStringList own = ownChannels(f);
    channels.removeIf([&own](const QString &name) { return own.contains(name); });
    notify(f, kind, subject, text, channels);
}

#include "moc_Escalation.cpp"
