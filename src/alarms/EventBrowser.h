#pragma once

#include "EventModels.h"

#include <QObject>
#include <QString>

class AlarmResponse;
class Database;
class ProgramState;

// What the alarm reader shows.
struct AlarmReader {
    QString text;           // the alarm's text; lines end in a carriage return
    QString recordLabel;    // "Alarm i of n" or "No Alarms"
    bool hasAlarms = false; // the resolution entry may be opened
    int alarmCount = 0;     // the highest alarm number (0 without alarms)
    int alarmNum = 0;       // the alarm shown, 1 = the newest (0 without alarms)
    qint64 alarmId = 0;     // its IDNum: where a resolution is written (0 without alarms)
    // The alarm is open and nobody has acknowledged it: it may be acknowledged.
    bool acknowledgeable = false;
};

// The stored events as the main window's event views show them: the alarm, device-failure and
// error grids, which of the last two are shown, the alarm reader, the resolution entry and the
// clearing of lists. No widgets: the window shows what this holds and passes on the user's acts.
class EventBrowser final : public QObject {
    Q_OBJECT
public:
    EventBrowser(ProgramState &state, Database &db, QObject *parent = nullptr);
    // Where alarms are acknowledged; without it nothing is.
    void setResponse(AlarmResponse *response) { m_response = response; }
    AlarmResponse *response() const { return m_response; }

    AlarmTableModel &alarms() { return m_alarms; }
    ServerFailureTableModel &deviceAlarms() { return m_deviceAlarms; }
    ErrorTableModel &systemErrors() { return m_systemErrors; }
    // Whether the device-failure and error grids are shown (hidden while they are empty).
    bool deviceAlarmsShown() const { return m_deviceAlarmsShown; }
    bool systemErrorsShown() const { return m_systemErrorsShown; }

    // The Events menu: all alarms, all errors and the failure episodes whose notice e-mail was
    // attempted. Stops at the first list that cannot be read (logged); the lists after it stay
    // as they were.
    bool RefreshEventsDatabase();
    // The errors tab: the same, with every failure episode.
    bool BindErrorsTab();

    // Shows alarm number alarmNum (1 = the newest; kept within the alarms there are) after
    // reading the alarm list again. A failure leaves the reader's text empty, without a message.
    bool DisplayAlarms(int alarmNum);
    const AlarmReader &reader() const { return m_reader; }
    // Shows the alarm of a row of the alarm grid (0 = the newest). Alarms that arrived since the
    // grid was read come first, so the picked alarm is followed to its new number.
    bool PickAlarm(int row);

    // Writes "Resolution Entered " + now + CR + typed over the resolution of the alarm shown and
    // shows that alarm again. A failure is shown to the user and changes nothing. An open alarm
    // nobody has acknowledged is acknowledged with it, by the name typed (the desktop's name when
    // none is: the administrator logged in, else this computer's user).
    bool SaveResolution(const QString &typed, const QString &by = QString());
    // Acknowledges the alarm shown; a refusal is shown to the user. True when it was
    // acknowledged.
    bool Acknowledge(const QString &by, const QString &comment);
    static QString ResolutionText(const QDateTime &now, const QString &typed);
    // The reader's text of an alarm.
    // notifications: each notification channel's outcome ("channel: outcome"), shown after the
    // e-mail's.
    static QString AlarmText(const AlarmRecord &alarm, const QStringList &notifications = {});
    // Its line about acknowledgement: who took it, or that nobody has (yet).
    static QString AckLine(const AlarmRecord &alarm);

    // Ask first; on OK delete every failure episode (or every error log line) and read the lists
    // again as the Events menu does. True when the user agreed.
    bool ClearDeviceAlarms();
    bool ClearSystemErrors();

signals:
    void readerChanged();
    // deviceAlarmsShown or systemErrorsShown may have changed.
    void gridsShownChanged();

private:
    bool bind(bool notifiedOnly, bool errorsTab);
    bool confirmClear(const QString &question);
    void showAgain();
    // After DisplayAlarms(shownNum): when the alarm shown is not alarm id because alarms
    // arrived since the list held shownCount, shows alarm id at its new number.
    void followAlarm(qint64 id, int shownNum, int shownCount);
    void setShown(bool deviceAlarms, bool systemErrors);
    // Shows the alarm shown again, followed to its new number when alarms arrived meanwhile.
    void showAgainFollowing(qint64 id, int shownNum, int shownCount);
    QString resolutionAckName(const QString &typed) const;

    ProgramState &m_state;
    Database &m_db;
    AlarmTableModel m_alarms;
    ServerFailureTableModel m_deviceAlarms;
    ErrorTableModel m_systemErrors;
    AlarmReader m_reader;
    AlarmResponse *m_response = nullptr;
    bool m_deviceAlarmsShown = true;
    bool m_systemErrorsShown = true;
};
