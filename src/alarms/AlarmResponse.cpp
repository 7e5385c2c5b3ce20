#include "AlarmResponse.h"

#include "AckInput.h"
#include "Escalation.h"
#include "Outbox.h"

#include <acquisition/StatusGridModel.h>
#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <core/PublicUrl.h>
#include <db/Database.h>
#include <notify/Notifier.h>

#include <QRandomGenerator>

#include <openssl/crypto.h>

namespace {
const QString kAckWhere = QStringLiteral("Acknowledgement");

bool sameKey(const QString &given, const QString &stored)
{
    const QByteArray a = given.toUtf8();
    const QByteArray b = stored.toUtf8();
    return !b.isEmpty() && a.size() == b.size() &&
           CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}
} // namespace

QString AlarmResponse::NewKey()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString AlarmResponse::ViaText(Via via)
{
    switch (via) {
    case Via::Desktop:
        return QStringLiteral("desktop");
    case Via::WebPage:
        return QStringLiteral("web page");
    case Via::Api:
        return QStringLiteral("API");
    }
    return QString();
}

AlarmResponse::AlarmResponse(ProgramState &state, Database &database, Outbox &outbox, StatusGridModel &grid,
                             QObject *parent)
    : QObject(parent), m_state(state), m_database(database), m_outbox(outbox), m_grid(grid)
{
}

QString AlarmResponse::AckNote(const AlarmAck &ack)
{
    QString note =
        QStringLiteral("Acknowledged by %1 at %2 (%3)").arg(ack.AckBy, DateTimeText(ack.AckAt), ack.AckVia);
    if (!ack.AckPeer.isEmpty())
        note += QStringLiteral(" from ") + ack.AckPeer;
    if (!ack.AckComment.isEmpty())
        note += QStringLiteral(": ") + ack.AckComment;
    return note;
}

AlarmResponse::AckOutcome AlarmResponse::Acknowledge(const AckRequest &request)
{
    AlarmAck ack;
    if (const QString problem = AckInput::CheckName(request.by, ack.AckBy); !problem.isEmpty())
        return {AckResult::BadInput, problem, {}};
    if (const QString problem = AckInput::CheckComment(request.comment, ack.AckComment); !problem.isEmpty())
        return {AckResult::BadInput, problem, {}};
    ack.AlarmID = request.alarmId;
    ack.AckAt = m_state.clock().now();
    ack.AckVia = ViaText(request.via);
    ack.AckPeer = request.peer;

    AlarmRecord alarm;
    bool found = false;
    // The alarm is read and the acknowledgement written in one transaction: what was decided on
    // is what is stored.
    const bool stored = m_outbox.StoreWithRecord([&] {
        if (!m_database.AlarmById(request.alarmId, alarm, found))
            return false;
        if (!found || !alarm.AlarmActive || alarm.Ack.isSet())
            return true;
        return m_database.AddAlarmAck(ack);
    });
    const QString number = QString::number(request.alarmId);
    if (!stored) {
        const QString error = m_database.lastError();
        m_state.AddError(kAckWhere,
                         QStringLiteral("Alarm %1 could not be acknowledged: %2").arg(number, error));
        return {AckResult::NotStored,
                QStringLiteral("The acknowledgement could not be stored; please try again.  The error is ") +
                    error,
                {}};
    }
    if (!found)
        return {AckResult::Unknown, QStringLiteral("There is no alarm number %1.").arg(number), {}};
    if (alarm.Ack.isSet())
        return {AckResult::AlreadyAcknowledged,
                QStringLiteral("Alarm %1 was already acknowledged: %2.").arg(number, AckNote(alarm.Ack)),
                alarm.Ack};
    if (!alarm.AlarmActive)
        return {AckResult::Ended,
                QStringLiteral("Alarm %1 has ended; only an open alarm can be acknowledged.").arg(number),
                {}};
    m_grid.SetAcknowledgement(int(alarm.SensorIDNum), AckNote(ack));
    if (escalation)
        escalation->Acknowledged(ack);
    tellAlerts(alarm, ack.AckBy);
    emit acknowledged(ack.AlarmID);
    return {AckResult::Acknowledged, QStringLiteral("Alarm %1 is acknowledged.").arg(number), ack};
}

QString AlarmResponse::DesktopName() const
{
    return m_state.LoginSucceeded ? m_state.Config.AdminUserName.trimmed() : QString();
}

bool AlarmResponse::OpenUnacknowledged(QList<AlarmRecord> &alarms)
{
    if (!m_database.ActiveAlarmsNewestFirst(alarms))
        return false;
    alarms.removeIf([](const AlarmRecord &a) { return a.Ack.isSet(); });
    return true;
}

QString AlarmResponse::AlarmRecorded(const OpenedAlarm &alarm)
{
    EscalationRow row;
    row.AlarmID = alarm.alarmId;
    row.LinkKey = NewKey();
    row.DeviceID = alarm.deviceId;
    row.Address = alarm.address;
    row.StartedAt = alarm.start.isValid() ? alarm.start : m_state.clock().now();
    // What was sent while the record could not be written is stored with it.
    if (escalation)
        escalation->Carry(alarm.sensorId, row);
    if (!m_database.AddEscalation(row)) {
        m_state.AddError(kAckWhere, QStringLiteral("The link key of alarm %1 could not be stored: %2")
                                        .arg(alarm.alarmId)
                                        .arg(m_database.lastError()));
        return QString();
    }
    const QString link = LinkFor(alarm.alarmId, row.LinkKey);
    // Followed once the record stands: rolled back, the alarm is recorded again later.
    if (escalation)
        m_database.afterTransaction([this, alarm, row, link](bool committed) {
            if (committed)
                escalation->Follow({alarm.alarmId, alarm.deviceId, alarm.deviceName, alarm.sensorName,
                                    alarm.sensorId, alarm.address, link, alarm.port},
                                   row);
        });
    return link;
}

void AlarmResponse::AlarmUnrecorded(const OpenedAlarm &alarm)
{
    if (escalation)
        escalation->FollowUnrecorded({0, alarm.deviceId, alarm.deviceName, alarm.sensorName, alarm.sensorId,
                                      alarm.address, QString(), alarm.port},
                                     alarm.start.isValid() ? alarm.start : m_state.clock().now());
}

void AlarmResponse::UnrecordedEnded(qint64 sensorId)
{
    if (escalation)
        escalation->EndedUnrecorded(sensorId);
}

QString AlarmResponse::LinkFor(qint64 alarmId, const QString &key) const
{
    QString base;
    QString reason;
    const QString publicUrl = m_state.Ini.web.publicUrl.trimmed();
    if (key.isEmpty() || publicUrl.isEmpty() || !PublicUrlUsable(publicUrl, base, reason))
        return QString();
    return base + QStringLiteral("alarm/%1?key=").arg(alarmId) + key;
}

bool AlarmResponse::KeyOpens(qint64 alarmId, const QString &key)
{
    EscalationRow row;
    bool found = false;
    if (key.isEmpty() || !m_database.EscalationOf(alarmId, row, found) || !found ||
        !sameKey(key, row.LinkKey))
        return false;
    AlarmRecord alarm;
    return m_database.AlarmById(alarmId, alarm, found) && found && alarm.AlarmActive;
}

bool AlarmResponse::ReadAlarm(qint64 alarmId, AlarmRecord &alarm, bool &found)
{
    return m_database.AlarmById(alarmId, alarm, found);
}

void AlarmResponse::Resume()
{
    if (escalation)
        escalation->Resume([this](qint64 alarmId, const QString &key) { return LinkFor(alarmId, key); });
    QList<AlarmRecord> open;
    if (!m_database.ActiveAlarmsNewestFirst(open))
        return;
    for (const AlarmRecord &alarm : std::as_const(open)) {
        m_grid.SetAcknowledgement(int(alarm.SensorIDNum), alarm.Ack.isSet() ? AckNote(alarm.Ack) : QString());
        if (alarm.Ack.isSet())
            tellAlerts(alarm, alarm.Ack.AckBy);
    }
}

void AlarmResponse::tellAlerts(const AlarmRecord &alarm, const QString &by)
{
    if (notifier)
        notifier->Acknowledged({alarm.IDNum, alarm.Server, alarm.Sensor, by});
}

void AlarmResponse::AlarmEnded(qint64 sensorId, qint64 alarmId)
{
    m_grid.SetAcknowledgement(int(sensorId), QString());
    if (escalation)
        escalation->Ended(alarmId);
}

#include "moc_AlarmResponse.cpp"
