#pragma once

#include "ReportJob.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class IniFile;
class Outbox;
class ProgramState;

// The report that makes itself: with AutoPrintReport "Yes", once the first day of a month has
// reached the report time (TimeToPrint, AMPM), last month's report is made on a worker thread,
// saved as "Reports/<Month> <year>.pdf" in the program directory, printed when a printer is
// chosen and e-mailed with the PDF attached to the administrator address through the outbox. Each month's
// report is made once: the month is kept in Tallyport.ini ([reports] lastMonthlyReport), so a restart does
// not make it again, and a month start the program missed (not running, or no device answering
// at the time) is made up at the next check. Months missed before that are made too, oldest
// first, up to a year back. Only months whose report time came while the report was switched
// on are due: those that passed while it was off are skipped, not made when it is switched on.
class MonthlyReport final : public QObject {
    Q_OBJECT
public:
    static const QString StatusKey;
    static constexpr int MaxMonthsMadeUp = 12;

    MonthlyReport(ProgramState &state, Outbox &outbox, IniFile &ini, QObject *parent = nullptr);

    // Prints a report on the named printer; a window service, so the program sets it (without
    // it the report is not printed). Runs on the report's worker thread.
    std::function<bool(const Report &report, const QString &printer, QString &error)> print;

    // Called by the poll cycle: starts the oldest month's report that is due and not made yet.
    // Returns at once; nothing waits for the report.
    void Check();
    // Notes whether the report is switched on (Check() does so too); called at each activation,
    // so that a switch made before the first poll cycle is seen.
    void FollowSwitch();
    bool running() const { return m_job.running(); }

    // The first day of the latest month whose report is due at now (last month once this
    // month's first day has reached the report time, else the month before).
    static QDate LatestDueMonth(const QDateTime &now, const QTime &reportTime);
    // "<program directory>/Reports/March 2026.pdf".
    QString ReportPath(const QDate &month) const;

signals:
    // A month's report was made (ok) or could not be made; its e-mail may still be on its way.
    void reportFinished(const QDate &month, bool ok);

private:
    QDate lastMade() const;
    QDate nextMonthToMake(const QDateTime &now) const;
    void start(const QDate &month);
    void onFinished(const ReportResult &result);
    // Marks the month made (and every one before it); saved to Tallyport.ini when `save`.
    void remember(const QDate &month, bool save = true);
    void saveMark();
    void queueMail(const QDate &month, const QByteArray &pdf);
    QString printerName() const;

    ProgramState &m_state;
    Outbox &m_outbox;
    IniFile &m_ini;
    ReportJob m_job;
    QDate m_making;
    QDate m_lastMade; // kept here too, for an ini file that cannot be written
    QDateTime m_retryAfter;
    bool m_seenOff = false;
    // The mark has changed since it was last saved.
    bool m_unsaved = false;
    // The months passed while off were saved once in this run.
    bool m_savedWhileOff = false;
};
