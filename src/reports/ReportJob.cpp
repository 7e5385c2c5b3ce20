#include "ReportJob.h"

#include "ReportCsv.h"
#include "ReportOutput.h"
#include "ReportPdf.h"
#include "core/ThreadHandOff.h"

#include <QDir>
#include <QThread>

#if defined(Q_OS_LINUX)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {
// The report yields the processor to the poll cycle and the window. QThread::LowPriority does
// nothing for ordinary Linux threads, whose share follows their nice value instead.
void yieldToOtherWork()
{
#if defined(Q_OS_LINUX)
    constexpr int kNice = 10;
    setpriority(PRIO_PROCESS, id_t(gettid()), kNice); // a failure leaves the usual share
#endif
}
} // namespace

ReportJob::ReportJob(QObject *parent) : QObject(parent) {}

ReportJob::~ReportJob()
{
    m_cancel.store(true);
    if (m_thread) {
        DeleteEndedThread(m_thread);
    }
}

ReportResult ReportJob::Make(const ReportRequest &request, const ReportOutputs &outputs,
                             const ReportProgress &progress, const std::atomic_bool *cancel)
{
    ReportResult result;
    auto report = std::make_shared<Report>();
    result.built = BuildReport(request, *report, result.error, progress, cancel);
    if (!result.built)
        return result;
    result.report = report;

    if (!outputs.csvPath.isEmpty()) {
        QString error;
        result.csvSaved = WriteReportCsv(*report, outputs.csvPath, error);
        if (!result.csvSaved)
            result.failures.append(error);
    }
    if (!outputs.pdfPath.isEmpty() || outputs.keepPdf) {
        QString error;
        const QByteArray pdf = ReportPdf(*report, error, cancel);
        if (pdf.isEmpty()) {
            result.failures.append(QStringLiteral("The PDF could not be made: ") + error);
        } else {
            if (!outputs.pdfPath.isEmpty()) {
                result.pdfSaved = SaveReportFile(outputs.pdfPath, pdf, error);
                if (!result.pdfSaved)
                    result.failures.append(error);
            }
            if (outputs.keepPdf)
                result.pdf = pdf;
        }
    }
    if (outputs.print && !(cancel && cancel->load())) {
        QString error;
        result.printed = outputs.print(*report, error);
        if (!result.printed)
            result.failures.append(QStringLiteral("The report could not be printed: ") + error);
    }
    return result;
}

bool ReportJob::start(const ReportRequest &request, const ReportOutputs &outputs)
{
    if (m_thread)
        return false;
    m_cancel.store(false);
    m_result = std::make_shared<ReportResult>();
    auto result = m_result;
    m_thread = QThread::create([this, request, outputs, result] {
        yieldToOtherWork();
        // Progress is handed over as it comes; dropped when the job is gone by then.
        const ReportProgress progress = [this](int done, int total) {
            QueueToThread(this, [this, done, total] { emit this->progress(done, total); });
        };
        *result = Make(request, outputs, progress, &m_cancel);
    });
    // The thread's end is noticed on the job's thread, after the progress it queued.
    connect(m_thread, &QThread::finished, this, &ReportJob::onThreadFinished, Qt::QueuedConnection);
    m_thread->start(QThread::LowPriority);
    return true;
}

void ReportJob::onThreadFinished()
{
    if (!m_thread)
        return;
    DeleteEndedThread(m_thread);
    const ReportResult result = *m_result;
    m_result.reset();
    emit finished(result);
}

#include "moc_ReportJob.cpp"
