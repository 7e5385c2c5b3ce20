#pragma once

#include "ReportBuilder.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

// What to make of a report once its figures are read.
struct ReportOutputs {
    QString pdfPath;      // write the PDF here; empty: no file
    QString csvPath;      // write the CSV here; empty: no file
    bool keepPdf = false; // hand the PDF back (for an e-mail)
    // Prints the report; runs on the worker thread. False with the cause.
    std::function<bool(const Report &report, QString &error)> print;
};

struct ReportResult {
    bool built = false;
    QString error; // why the report could not be made (nothing was written)
    std::shared_ptr<const Report> report;
    QByteArray pdf; // when kept
    bool pdfSaved = false;
    bool csvSaved = false;
    bool printed = false;
    QStringList failures; // each output that failed, with its cause
};

// Makes a report on a worker thread of low priority: reads the files and its own database
// connection, writes the outputs and hands the result back on the job's thread, so neither the
// window nor the poll cycle waits for it. One report at a time.
class ReportJob final : public QObject {
    Q_OBJECT
public:
    explicit ReportJob(QObject *parent = nullptr);
    // Cancels a report being made and waits for the worker.
    ~ReportJob() override;

    // False (nothing started) while a report is being made.
    bool start(const ReportRequest &request, const ReportOutputs &outputs);
    bool running() const { return m_thread != nullptr; }
    // The report being made stops at its next sensor or page; finished() says it was cancelled.
    void cancel() { m_cancel.store(true); }

    // The whole work on the calling thread (the command line has nothing else to do).
    static ReportResult Make(const ReportRequest &request, const ReportOutputs &outputs,
                             const ReportProgress &progress = {}, const std::atomic_bool *cancel = nullptr);

signals:
    // Sensors read so far, on the job's thread.
    void progress(int done, int total);
    void finished(const ReportResult &result);

private:
    void onThreadFinished();

    QThread *m_thread = nullptr;
    std::shared_ptr<ReportResult> m_result;
    std::atomic_bool m_cancel = false;
};
