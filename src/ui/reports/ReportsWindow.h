#pragma once

#include <reports/ReportJob.h>

#include <QDialog>

#include <functional>
#include <memory>

class Database;
class ProgramState;
class QButtonGroup;
class QDateEdit;
class QLabel;
class QPrinter;
class QProgressBar;
class QPushButton;
class SensorChoice;

// frmReports, "Create Reports": a period (yesterday, the last 7 days, last month, this month, or
// from one day to another) and the devices and sensors to cover (all at first); Preview, Save
// as PDF, Print and Export CSV. The report is made on a worker thread, so the window answers and
// polling goes on while it is made; the progress bar counts the sensors read.
class ReportsWindow final : public QDialog {
    Q_OBJECT
public:
    ReportsWindow(ProgramState &state, Database &db, QWidget *parent = nullptr);

    // The printer to print on, set up by the user; null when the user cancelled. The print
    // dialog, with the settings' printer chosen; tests give a printer of their own.
    std::function<std::shared_ptr<QPrinter>(QWidget *parent)> choosePrinter;

    ReportPeriod period() const;
    bool busy() const { return m_job.running(); }

signals:
    // A report was made and its outputs written (or not; the status line says which).
    void reportDone(const ReportResult &result);

protected:
    void reject() override;

private:
    void buildLayout();
    QWidget *buildPeriod();
    QWidget *buildButtons();
    void showPeriod();
    void loadSensors();
    void setBusy(bool busy);

    // Whether a report can be made of what the window shows; says why not.
    bool canMake();
    void onPreview();
    void onSavePdf();
    void onPrint();
    void onExportCsv();
    // Starts the report with these outputs; `done` runs with the result on this thread.
    void make(const ReportOutputs &outputs, const QString &what,
              std::function<void(const ReportResult &)> done = {});
    void onFinished(const ReportResult &result);
    // A file in the Reports folder, as the save dialog suggests it.
    QString suggestedPath(const QString &extension) const;

    ProgramState &m_state;
    Database &m_db;
    ReportJob m_job;
    std::function<void(const ReportResult &)> m_done;
    QString m_doing;

    QButtonGroup *m_periods = nullptr;
    QDateEdit *m_from = nullptr;
    QDateEdit *m_to = nullptr;
    QLabel *m_periodText = nullptr;
    SensorChoice *m_sensors = nullptr;
    QList<QPushButton *> m_actions;
    QProgressBar *m_progress = nullptr;
    QLabel *m_status = nullptr;
};
