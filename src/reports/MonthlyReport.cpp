#include "MonthlyReport.h"

#include <alarms/Outbox.h>
#include <core/Clock.h>
#include <core/IniFile.h>
#include <core/ProgramState.h>

#include <QDir>
#include <QFileInfo>

const QString MonthlyReport::StatusKey = QStringLiteral("Monthly report: ");

namespace {
const QString kReportWhere = QStringLiteral("Monthly report");
const QString kMonthFormat = QStringLiteral("yyyy-MM");
constexpr int kRetryMinutes = 60;

QDate firstOfMonth(const QDate &day)
{
    return QDate(day.year(), day.month(), 1);
}
} // namespace

MonthlyReport::MonthlyReport(ProgramState &state, Outbox &outbox, IniFile &ini, QObject *parent)
    : QObject(parent), m_state(state), m_outbox(outbox), m_ini(ini)
{
    connect(&m_job, &ReportJob::finished, this, &MonthlyReport::onFinished);
}

QDate MonthlyReport::LatestDueMonth(const QDateTime &now, const QTime &reportTime)
{
    const QDate first = firstOfMonth(now.date());
    // A report time that cannot be read makes the report at the start of the day rather than never.
    const QDateTime scheduled(first, reportTime.isValid() ? reportTime : QTime(0, 0));
    return now >= scheduled ? first.addMonths(-1) : first.addMonths(-2);
}

QString MonthlyReport::ReportPath(const QDate &month) const
{
    return QDir(m_state.programFile(QStringLiteral("Reports")))
        .filePath(MonthTitle(month) + QStringLiteral(".pdf"));
}

QDate MonthlyReport::lastMade() const
{
    const QDate stored =
        QDate::fromString(m_state.Ini.reports.lastMonthlyReport.trimmed() + QStringLiteral("-01"),
                          kMonthFormat + QStringLiteral("-dd"));
    if (!stored.isValid())
        return m_lastMade;
    return m_lastMade.isValid() ? qMax(stored, m_lastMade) : stored;
}

QDate MonthlyReport::nextMonthToMake(const QDateTime &now) const
{
    const QDate due = LatestDueMonth(now, ScheduledReportTime(m_state.Config));
    const QDate last = lastMade();
    if (!last.isValid())
        return due;
    if (last >= due)
        return {};
    return qMax(last.addMonths(1), due.addMonths(1 - MaxMonthsMadeUp));
}

// The months whose report time passed while the report was off are marked as done: while it
// is off, and once more when it is seen on after being off (a report time may have passed
// between the two looks). While it stays off the mark is saved once a run, not every month;
// switching on saves it.
void MonthlyReport::FollowSwitch()
{
    const bool on = AutoPrintReportOn(m_state.Config);
    if (!on || m_seenOff) {
        const QDate passed = LatestDueMonth(m_state.clock().now(), ScheduledReportTime(m_state.Config));
        const QDate last = lastMade();
        if (!last.isValid() || last < passed)
            remember(passed, false);
        if (m_unsaved && (on || !m_savedWhileOff)) {
            saveMark();
            m_savedWhileOff = m_savedWhileOff || !on;
        }
    }
    m_seenOff = !on;
}

void MonthlyReport::Check()
{
    FollowSwitch();
    if (!AutoPrintReportOn(m_state.Config) || m_job.running())
        return;
    const QDateTime now = m_state.clock().now();
    if (m_retryAfter.isValid() && now < m_retryAfter)
        return;
    const QDate month = nextMonthToMake(now);
    if (month.isValid())
        start(month);
}

QString MonthlyReport::printerName() const
{
    const QString name = m_state.Config.PrinterName.trimmed();
    return name.isEmpty() || name == QLatin1String("No Printer Selected") ? QString() : name;
}

void MonthlyReport::start(const QDate &month)
{
    const QString path = ReportPath(month);
    const ConfigRecord &config = m_state.Config;
    ReportRequest request;
    request.dataDirectory = m_state.programDirectory();
    request.databasePath = m_state.programFile(QStringLiteral("wexa.mdb"));
    request.period = MonthPeriod(month);
    request.now = m_state.clock().now();
    request.heading = {config.OrgName.trimmed(), config.OrgAddress.trimmed(),
                       config.OrgPhoneNumber.trimmed()};

    ReportOutputs outputs;
    QDir().mkpath(QFileInfo(path).absolutePath());
    outputs.pdfPath = path;
    outputs.keepPdf = true;
    const QString printer = printerName();
    if (!printer.isEmpty() && print)
        outputs.print = [print = print, printer](const Report &report, QString &error) {
            return print(report, printer, error);
        };
    m_making = month;
    m_state.UpdateStatus(StatusKey, MonthTitle(month) + QStringLiteral(" is being made"));
    m_job.start(request, outputs);
}

void MonthlyReport::onFinished(const ReportResult &result)
{
    const QDate month = m_making;
    const QString title = MonthTitle(month);
    if (!result.built) {
        // Tried again in an hour: the database may be back by then.
        m_retryAfter = m_state.clock().now().addSecs(kRetryMinutes * 60);
        m_state.AddError(kReportWhere, title + QStringLiteral(": ") + result.error);
        m_state.UpdateStatus(StatusKey, title + QStringLiteral(" could not be made: ") + result.error);
        emit reportFinished(month, false);
        return;
    }
    m_retryAfter = QDateTime();
    for (const QString &failure : result.failures)
        m_state.AddError(kReportWhere, title + QStringLiteral(": ") + failure);
    m_state.UpdateStatus(StatusKey, result.pdfSaved
                                        ? title + QStringLiteral(" saved to ") +
                                              QDir::toNativeSeparators(ReportPath(month))
                                        : title + QStringLiteral(" could not be saved; see the errors"));
    // Queued before the month is marked made: a program stopped in between makes the report
    // again rather than never sending it.
    if (!result.pdf.isEmpty() && !m_state.Config.AdminEmailAddress.trimmed().isEmpty())
        queueMail(month, result.pdf);
    remember(month);
    emit reportFinished(month, true);
    // A month the program missed before this one is made next, without waiting for a cycle.
    Check();
}

void MonthlyReport::remember(const QDate &month, bool save)
{
    // A report started before the months that passed while switched off were skipped does not
    // take the bookkeeping back when it ends.
    const QDate last = lastMade();
    if (last.isValid() && month < last)
        return;
    m_lastMade = month;
    m_state.Ini.reports.lastMonthlyReport = month.toString(kMonthFormat);
    m_unsaved = true;
    if (save)
        saveMark();
}

void MonthlyReport::saveMark()
{
    // Only its own key: the rest of the file may have been edited by hand since the start.
    m_ini.Save(QStringLiteral("reports"), QStringLiteral("lastMonthlyReport"));
    m_unsaved = false;
}

void MonthlyReport::queueMail(const QDate &month, const QByteArray &pdf)
{
    // The outbox stores the message with its file and sends it off the poll cycle, retrying
    // until the mail server takes it.
    const QString title = MonthTitle(month);
    const MailMessage::Attachment file{title + QStringLiteral(".pdf"), "application/pdf", pdf};
    QString error;
    if (!m_outbox.QueueReportEmail(QStringLiteral("Tallyport monitoring report for ") + title,
                                   QStringLiteral("The monitoring report for ") + title +
                                       QStringLiteral(" is attached."),
                                   file, error))
        m_state.UpdateStatus(StatusKey, title + QStringLiteral(" could not be e-mailed: ") + error);
}

#include "moc_MonthlyReport.cpp"
