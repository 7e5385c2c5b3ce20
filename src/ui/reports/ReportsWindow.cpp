#include "ReportsWindow.h"

#include "SensorChoice.h"

#include <core/Clock.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <db/Database.h>
#include <reports/ReportPdf.h>
#include <ui/main/ModalWindow.h>
#include <ui/settings/SettingsWidgets.h>

#include <QButtonGroup>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
// The print dialog, with the printer chosen in the settings.
std::shared_ptr<QPrinter> printDialog(QWidget *parent, const QString &settingsPrinter)
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(QStringLiteral("Tallyport report"));
    if (!QPrinterInfo::printerInfo(settingsPrinter).isNull())
        printer->setPrinterName(settingsPrinter);
    QPrintDialog dialog(printer.get(), parent);
    dialog.setWindowTitle(QStringLiteral("Print Report"));
    if (ExecModal(dialog) != QDialog::Accepted)
        return nullptr;
    return printer;
}
} // namespace

ReportsWindow::ReportsWindow(ProgramState &state, Database &db, QWidget *parent)
    : QDialog(parent), m_state(state), m_db(db)
{
    setObjectName(QStringLiteral("frmReports"));
    setWindowTitle(QStringLiteral("Create Reports"));
    choosePrinter = [this](QWidget *owner) {
        return printDialog(owner, m_state.Config.PrinterName.trimmed());
    };
    buildLayout();
    loadSensors();
    showPeriod();
    connect(&m_job, &ReportJob::progress, this, [this](int done, int total) {
        m_progress->setMaximum(qMax(1, total));
        m_progress->setValue(done);
        m_status->setText(QStringLiteral("%1: sensor %2 of %3").arg(m_doing).arg(done).arg(total));
    });
    connect(&m_job, &ReportJob::finished, this, &ReportsWindow::onFinished);
}

void ReportsWindow::buildLayout()
{
    auto *sensorsBox = new QGroupBox(QStringLiteral("Devices and sensors"), this);
    m_sensors = new SensorChoice(sensorsBox);
    auto *all = Named(new QPushButton(QStringLiteral("All"), sensorsBox), "btnAll");
    auto *none = Named(new QPushButton(QStringLiteral("None"), sensorsBox), "btnNone");
    connect(all, &QPushButton::clicked, this, [this] { m_sensors->checkAll(true); });
    connect(none, &QPushButton::clicked, this, [this] { m_sensors->checkAll(false); });
    auto *choiceButtons = new QHBoxLayout;
    choiceButtons->addWidget(all);
    choiceButtons->addWidget(none);
    choiceButtons->addStretch();
    auto *sensorsLayout = new QVBoxLayout(sensorsBox);
    sensorsLayout->addWidget(m_sensors);
    sensorsLayout->addLayout(choiceButtons);

    m_progress = Named(new QProgressBar(this), "prgReport");
    m_progress->setValue(0);
    m_status = Named(new QLabel(this), "lblStatus");
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildPeriod());
    layout->addWidget(sensorsBox, 1);
    layout->addWidget(buildButtons());
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    resize(460, 560);
}

QWidget *ReportsWindow::buildPeriod()
{
    auto *box = Named(new QGroupBox(QStringLiteral("Period"), this), "fraPeriod");
    m_periods = new QButtonGroup(box);
    auto *grid = new QGridLayout(box);
    const struct {
        PeriodChoice choice;
        const char *name;
        const char *caption;
    } options[] = {{PeriodChoice::Yesterday, "optYesterday", "Yesterday"},
                   {PeriodChoice::Last7Days, "optLast7Days", "Last 7 days"},
                   {PeriodChoice::LastMonth, "optLastMonth", "Last month"},
                   {PeriodChoice::ThisMonth, "optThisMonth", "This month"},
                   {PeriodChoice::Range, "optFromTo", "From"}};
    int row = 0;
    for (const auto &o : options) {
        auto *option = Named(new QRadioButton(QString::fromLatin1(o.caption), box), o.name);
        m_periods->addButton(option, int(o.choice));
        grid->addWidget(option, row++, 0);
    }
    m_periods->button(int(PeriodChoice::LastMonth))->setChecked(true);

    const ReportPeriod lastMonth = PeriodFor(PeriodChoice::LastMonth, m_state.clock().now());
    m_from = Named(new QDateEdit(lastMonth.from.date(), box), "dtpFrom");
    m_to = Named(new QDateEdit(lastMonth.to.date().addDays(-1), box), "dtpTo");
    for (QDateEdit *edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("M/d/yyyy"));
        connect(edit, &QDateEdit::dateChanged, this, &ReportsWindow::showPeriod);
    }
    auto *range = new QHBoxLayout;
    range->addWidget(m_from);
    range->addWidget(new QLabel(QStringLiteral("to"), box));
    range->addWidget(m_to);
    range->addStretch();
    grid->addLayout(range, row - 1, 1);
    m_periodText = Named(new QLabel(box), "lblPeriod");
    grid->addWidget(m_periodText, row, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    connect(m_periods, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            showPeriod();
    });
    return box;
}

QWidget *ReportsWindow::buildButtons()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    const struct {
        const char *name;
        const char *caption;
        void (ReportsWindow::*slot)();
    } buttons[] = {{"btnPreview", "Preview", &ReportsWindow::onPreview},
                   {"btnSavePdf", "Save as PDF...", &ReportsWindow::onSavePdf},
                   {"btnPrint", "Print...", &ReportsWindow::onPrint},
                   {"btnExportCsv", "Export CSV...", &ReportsWindow::onExportCsv}};
    for (const auto &b : buttons) {
        auto *button = Named(new QPushButton(QString::fromLatin1(b.caption), row), b.name);
        connect(button, &QPushButton::clicked, this, b.slot);
        layout->addWidget(button);
        m_actions.append(button);
    }
    layout->addStretch();
    auto *close = Named(new QPushButton(QStringLiteral("Close"), row), "btnClose");
    connect(close, &QPushButton::clicked, this, &ReportsWindow::reject);
    layout->addWidget(close);
    return row;
}

ReportPeriod ReportsWindow::period() const
{
    const auto choice = PeriodChoice(m_periods->checkedId());
    return PeriodFor(choice, m_state.clock().now(), m_from->date(), m_to->date());
}

void ReportsWindow::showPeriod()
{
    const bool range = m_periods->checkedId() == int(PeriodChoice::Range);
    m_from->setEnabled(range);
    m_to->setEnabled(range);
    const ReportPeriod p = period();
    m_periodText->setText(p.isValid() ? p.text() + QStringLiteral(" (%1 hours)").arg(p.hours())
                                      : QStringLiteral("The last day is before the first."));
}

void ReportsWindow::loadSensors()
{
    QString error;
    if (!m_sensors->load(m_db, error))
        m_status->setText(QStringLiteral("The sensor list could not be read: ") + error);
}

void ReportsWindow::setBusy(bool busy)
{
    for (QPushButton *button : std::as_const(m_actions))
        button->setEnabled(!busy);
    if (busy) {
        m_progress->setMaximum(0); // moving until the first sensor is read
        m_progress->setValue(0);
    } else {
        m_progress->setMaximum(1);
        m_progress->setValue(1);
    }
}

QString ReportsWindow::suggestedPath(const QString &extension) const
{
    const ReportPeriod p = period();
    const QString reports = m_state.programFile(QStringLiteral("Reports"));
    QDir().mkpath(reports);
    const QDate last = p.to.time() == QTime(0, 0) ? p.to.date().addDays(-1) : p.to.date();
    return QDir(reports).filePath(
        QStringLiteral("Report %1 to %2.%3")
            .arg(p.from.date().toString(Qt::ISODate), last.toString(Qt::ISODate), extension));
}

bool ReportsWindow::canMake()
{
    if (busy())
        return false;
    QString problem;
    if (!period().isValid())
        problem = QStringLiteral("The last day of the period is before the first.");
    else if (!m_sensors->anyChosen())
        problem = QStringLiteral("Choose at least one sensor.");
    if (problem.isEmpty())
        return true;
    m_state.prompts().message(problem, windowTitle(), Prompts::Icon::Exclamation);
    return false;
}

void ReportsWindow::make(const ReportOutputs &outputs, const QString &what,
                         std::function<void(const ReportResult &)> done)
{
    const ReportPeriod p = period();
    const ConfigRecord &c = m_state.Config;
    ReportRequest request;
    request.dataDirectory = m_state.programDirectory();
    request.databasePath = m_db.path();
    request.period = p;
    request.now = m_state.clock().now();
    request.heading = {c.OrgName.trimmed(), c.OrgAddress.trimmed(), c.OrgPhoneNumber.trimmed()};
    request.sensorIds = m_sensors->chosenSensors();
    if (!m_job.start(request, outputs))
        return;
    m_done = std::move(done);
    m_doing = what;
    m_status->setText(what + QStringLiteral("..."));
    setBusy(true);
}

void ReportsWindow::onFinished(const ReportResult &result)
{
    setBusy(false);
    const auto done = std::exchange(m_done, {});
    if (!result.built) {
        m_status->setText(QStringLiteral("The report could not be made: ") + result.error);
    } else if (!result.failures.isEmpty()) {
        m_status->setText(result.failures.join(QLatin1Char('\n')));
        m_state.prompts().message(result.failures.join(QLatin1Char('\n')), windowTitle(),
                                  Prompts::Icon::Exclamation);
    } else if (done) {
        done(result);
    }
    emit reportDone(result);
}

void ReportsWindow::onPreview()
{
    if (!canMake())
        return;
    make({}, QStringLiteral("Preview"), [this](const ReportResult &result) {
        m_status->setText(QStringLiteral("Preview of %1 sensors.").arg(result.report->sensors.size()));
        auto *preview = Named(new QPrintPreviewDialog(this), "frmReportPreview");
        preview->setAttribute(Qt::WA_DeleteOnClose);
        preview->setWindowTitle(QStringLiteral("Report Preview"));
        const std::shared_ptr<const Report> report = result.report;
        connect(preview, &QPrintPreviewDialog::paintRequested, preview, [report](QPrinter *printer) {
            QString error;
            PaintReport(*report, *printer, error);
        });
        preview->open();
    });
}

void ReportsWindow::onSavePdf()
{
    if (!canMake())
        return;
    const QString path = m_state.prompts().saveFileName(
        QStringLiteral("Save Report as PDF"), suggestedPath("pdf"), QStringLiteral("PDF files (*.pdf)"));
    if (path.isEmpty())
        return;
    ReportOutputs outputs;
    outputs.pdfPath = path;
    make(outputs, QStringLiteral("Saving"), [this, path](const ReportResult &) {
        m_status->setText(QStringLiteral("Saved to ") + QDir::toNativeSeparators(path) + QLatin1Char('.'));
    });
}

void ReportsWindow::onExportCsv()
{
    if (!canMake())
        return;
    const QString path = m_state.prompts().saveFileName(
        QStringLiteral("Export Report as CSV"), suggestedPath("csv"), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    ReportOutputs outputs;
    outputs.csvPath = path;
    make(outputs, QStringLiteral("Exporting"), [this, path](const ReportResult &) {
        m_status->setText(QStringLiteral("Exported to ") + QDir::toNativeSeparators(path) + QLatin1Char('.'));
    });
}

void ReportsWindow::onPrint()
{
    if (!canMake())
        return;
    const std::shared_ptr<QPrinter> printer = choosePrinter ? choosePrinter(this) : nullptr;
    if (!printer)
        return;
    ReportOutputs outputs;
    outputs.print = [printer](const Report &report, QString &error) {
        return PaintReport(report, *printer, error);
    };
    const QString name =
        printer->outputFileName().isEmpty() ? printer->printerName() : printer->outputFileName();
    make(outputs, QStringLiteral("Printing"), [this, name](const ReportResult &) {
        m_status->setText(QStringLiteral("Sent to ") + name + QLatin1Char('.'));
    });
}

void ReportsWindow::reject()
{
    // A report being made stops at its next sensor or page.
    m_job.cancel();
    QDialog::reject();
}

#include "moc_ReportsWindow.cpp"
