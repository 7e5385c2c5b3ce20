#include "EditorSession.h"

#include "EditorForm.h"
#include "ErrorWordPages.h"
#include "FieldText.h"
#include "PageCodec.h"

#include <core/LocalWait.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <db/Database.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>
#include <link/PageValues.h>

#include <QSet>

namespace {

constexpr int PageSize = DeviceLink::FrameLength;
constexpr int ResolutionIndex = 58; // readings byte 59: 10 when ports report tenths
constexpr int kEditorTenthsFlag = 10;
constexpr double LimitBound = 999.9;

QString notUploadedText(int page)
{
    return QStringLiteral("Page %1 was not uploaded because it could not be downloaded").arg(page);
}

// The last line of an upload that left pages out: which pages the device did not get.
QString notStoredText(const QList<int> &pages)
{
    QStringList numbers;
    for (int page : pages)
        numbers.append(QString::number(page));
    return QStringLiteral("Upload incomplete: %1 %2 not stored")
        .arg(pages.size() == 1 ? QStringLiteral("page") : QStringLiteral("pages"),
             numbers.join(QStringLiteral(", ")));
}

const char *const ResolutionUnknown =
    "The resolution of the readings is not known because they could not be downloaded, so the "
    "limits are not shown and are left on the device as they are.  Press Refresh to try again.";

} // namespace

EditorSession::EditorSession(EditorServices services, const EditorLayout &layout, EditorForm &form,
                             QObject *parent)
    : QObject(parent), m_services(services), m_layout(layout), m_form(form),
      m_transfer(services.state, services.link)
{
    // Until the window identifies the device itself, it knows what its opener found.
    m_identity = {services.state.ModelFamily, services.state.ModelNumber, services.state.FirmwareRevision};
    for (int page : layout.pages())
        m_buffers.insert(page, QByteArray(PageSize, '\0'));
}

// ---- Buttons and window actions ----

void EditorSession::Buttons(bool state)
{
    for (const QString &button : m_layout.buttons)
        m_form.setEnabled(button, state);
    // The calibration frame's buttons as well: a second Store in the middle of one would apply
    // the difference twice.
    if (m_layout.calibration.fromFirmware >= 0) {
        for (const char *button : {"btnStoreCalFactors", "btnReset", "btnCF", "btnCloseCal"})
            m_form.setEnabled(QLatin1String(button), state);
    }
    const int calibrationFrom = m_layout.calibration.fromFirmware;
    if (calibrationFrom > 0 && m_identity.firmware < calibrationFrom)
        m_form.setEnabled(QStringLiteral("btnCal"), false);
}

void EditorSession::ClearTextBoxes()
{
    for (const PageField &field : m_layout.fields) {
        if (!field.isChoice())
            m_form.setText(field.key, QString());
    }
    if (m_layout.download.notes) {
        for (int i = 0; i < m_layout.sensorCount(); ++i)
            m_form.setText(ControlKey("txtNotes", i), QString());
    }
    m_form.clearMessages();
}

void EditorSession::Load()
{
    m_form.setShown(QStringLiteral("frmCal"), false);
    m_form.setShown(QStringLiteral("frmNotes"), false);
    m_form.setText(QStringLiteral("btnNotes"), QStringLiteral("Notes"));
}

void EditorSession::Activate()
{
    RunScope scope(*this);
    Buttons(false);
    GetLimits();
    Buttons(true);
}

void EditorSession::Refresh()
{
    m_form.setShown(QStringLiteral("frmNotes"), false);
    m_form.setText(QStringLiteral("btnNotes"), QStringLiteral("Notes"));
    Activate();
}

void EditorSession::Save()
{
    RunScope scope(*this);
    Buttons(false);
    SaveLimits(false);
    Buttons(true);
}

void EditorSession::ToggleNotes()
{
    const bool show = !m_form.shown(QStringLiteral("frmNotes"));
    m_form.setShown(QStringLiteral("frmNotes"), show);
    m_form.setText(QStringLiteral("btnNotes"), show ? QStringLiteral("Hide") : QStringLiteral("Notes"));
}

void EditorSession::setRunning(bool running)
{
    m_running = running;
    if (!running)
        m_stopRequested = false;
    emit transferRunningChanged(running);
}

bool EditorSession::keepRunning() const
{
    return !m_stopRequested && m_services.state.MonitoringActive();
}

bool EditorSession::finish(bool result)
{
    m_form.setStatusText(QString());
    return result;
}

QString EditorSession::sensorLabel(int sensor) const
{
    return m_layout.sensors.value(sensor);
}

// ---- Download ----

bool EditorSession::GetLimits()
{
    RunScope scope(*this);
    m_form.setStatusText(QStringLiteral("Downloading..."));
    ClearTextBoxes();
    m_identified = false;
    m_notesLoaded = false;
    // Only what this download reads may go back to the device.
    for (auto it = m_downloaded.begin(); it != m_downloaded.end(); ++it)
        it.value() = false;
    for (const DownloadStep &step : m_layout.download.steps) {
        if (!keepRunning())
            return finish(false);
        if (!stepTaken(step))
            continue;
        if (runDownloadStep(step) == StepResult::Stop)
            return finish(false);
    }
    loadNotes();
    if (m_layout.download.completion)
        m_form.addMessage(QLatin1String(m_layout.download.completion));
    return finish(true);
}

bool EditorSession::stepTaken(const DownloadStep &step) const
{
    if (step.fromFirmware > 0 && m_identity.firmware < step.fromFirmware)
        return false;
    if (step.alarmOptions)
        return m_identified && m_identity.model >= m_layout.alarmOptionsFromModel;
    return true;
}

EditorSession::StepResult EditorSession::runDownloadStep(const DownloadStep &step)
{
    if (step.status)
        m_form.setStatusText(QLatin1String(step.status));
    if (step.page == DownloadStep::Identify)
        return runIdentifyStep(step);
    QByteArray image;
    const PageOutcome outcome = m_transfer.ReadPage(IPAddress, step.page, image);
    m_buffers.insert(step.page, image);
    m_downloaded.insert(step.page, outcome == PageOutcome::Done);
    if (outcome == PageOutcome::Done) {
        m_readImages.insert(step.page, image);
        if (step.page == ReadingsPage) {
            const auto flag = PageByte(image, ResolutionIndex);
            m_tenthsMode = m_layout.tenthsFromFirmware >= 0 && flag == kEditorTenthsFlag &&
                           m_identity.firmware >= m_layout.tenthsFromFirmware;
            m_readingsRead = true;
        }
        DecodePage(m_layout, step.page, image, m_form, m_tenthsMode);
        clearHeldBack(step.page);
        return StepResult::Next;
    }
    const StepResult result = reportFailure(outcome, step.busy, step.failure, step.stops);
    const QString errorWord = ErrorWordReadText(m_layout, step.page, image);
    if (!errorWord.isEmpty())
        m_form.addMessage(errorWord);
    if (step.page == ReadingsPage && result == StepResult::Next && !tenthsKnown())
        m_form.addMessage(QLatin1String(ResolutionUnknown));
    return result;
}

// A busy device answers the identify with the busy reply: that is the model's busy message, not
// a failure to identify.
EditorSession::StepResult EditorSession::runIdentifyStep(const DownloadStep &step)
{
    const PageOutcome outcome = identify();
    if (outcome == PageOutcome::Done)
        return StepResult::Next;
    return reportFailure(outcome, step.busy, step.failure, step.stops);
}

bool EditorSession::tenthsKnown() const
{
    const int from = m_layout.tenthsFromFirmware;
    return from < 0 || m_readingsRead || (m_identified && m_identity.firmware < from);
}

bool EditorSession::heldBack(const PageField &field) const
{
    if (field.codec == FieldCodec::Reading || tenthsKnown())
        return false;
    return field.scale == FieldScale::TenthsMode || field.gate == FieldGate::TenthsMode;
}

void EditorSession::clearHeldBack(int page)
{
    for (const PageField &field : m_layout.fields) {
        if (field.page == page && heldBack(field))
            m_form.setText(field.key, QString());
    }
}

void EditorSession::encode(int page, QByteArray &buffer) const
{
    for (const PageField &field : m_layout.fields) {
        if (field.page == page && !heldBack(field))
            EncodeField(field, m_form, buffer, m_tenthsMode);
    }
}

// A busy reply with a busy line ends the transfer; any other failure adds its line, if any.
EditorSession::StepResult EditorSession::reportFailure(PageOutcome outcome, const char *busy,
                                                       const char *failure, bool stops)
{
    if (outcome == PageOutcome::Busy && busy) {
        m_form.addMessage(QLatin1String(busy));
        return StepResult::Stop;
    }
    if (failure)
        m_form.addMessage(QLatin1String(failure));
    return stops ? StepResult::Stop : StepResult::Next;
}

PageOutcome EditorSession::identify()
{
    const PageOutcome outcome = m_transfer.Identify(IPAddress);
    if (outcome != PageOutcome::Done)
        return outcome;
    const ProgramState &state = m_services.state;
    m_identity = {state.ModelFamily, state.ModelNumber, state.FirmwareRevision};
    m_identified = true;
    applyRules();
    return outcome;
}

void EditorSession::applyRules()
{
    for (const ControlRule &rule : m_layout.rules) {
        const bool on = rule.when(m_identity);
        if (rule.property == ControlRule::Property::Shown)
            m_form.setShown(rule.key, on);
        else
            m_form.setEnabled(rule.key, on);
    }
}

void EditorSession::loadNotes()
{
    if (!m_layout.download.notes || !m_services.database)
        return;
    for (int i = 0; i < m_layout.sensorCount(); ++i) {
        QString notes;
        m_services.database->GetSensorNotes(DatabaseID, i, notes);
        m_form.setText(ControlKey("txtNotes", i), notes);
    }
    for (int i = 0; i < m_layout.sensorCount(); ++i) {
        if (!SensorNamed(m_form, i))
            m_form.setText(ControlKey("txtNotes", i), QString());
    }
    m_notesLoaded = true;
}

// ---- Upload ----

QList<UploadStep> EditorSession::uploadSteps(bool calOnly) const
{
    QList<UploadStep> steps;
    for (const UploadStep &step : m_layout.upload.steps) {
        if (step.fromFirmware > 0 && m_identity.firmware < step.fromFirmware)
            continue;
        if (calOnly && !step.calibration)
            continue;
        steps.append(step);
    }
    return steps;
}

bool EditorSession::SaveLimits(bool calOnly)
{
    RunScope scope(*this);
    const QList<UploadStep> steps = uploadSteps(calOnly);
    if (!validate(steps))
        return false;
    m_form.setStatusText(QStringLiteral("Uploading..."));
    if (!m_layout.upload.freshRead) {
        for (const UploadStep &step : steps) {
            QByteArray &buffer = m_buffers[step.page];
            InsertStoreUserPageCommand(buffer);
            encode(step.page, buffer);
        }
    }
    QSet<int> stored;
    QList<int> notStored;
    for (const UploadStep &step : steps) {
        if (!keepRunning())
            return finish(false);
        if (!mayStore(step)) {
            m_form.addMessage(notUploadedText(step.page));
            notStored.append(step.page);
            continue;
        }
        const PageOutcome outcome = storeStep(step);
        if (outcome == PageOutcome::Done) {
            stored.insert(step.page);
            continue;
        }
        notStored.append(step.page);
        if (reportFailure(outcome, step.busy, step.failure, false) == StepResult::Stop)
            return finish(false);
    }
    if (!calOnly)
        saveSensors(stored);
    // Pages the device did not take make the upload a failure, and the last line says which.
    if (!notStored.isEmpty()) {
        m_form.addMessage(notStoredText(notStored));
        return finish(false);
    }
    if (m_layout.upload.completion)
        m_form.addMessage(QLatin1String(m_layout.upload.completion));
    return finish(true);
}

// A page this window could not read holds no device page: storing it would write a wrong page
// into the device, or values the window never showed.
bool EditorSession::mayStore(const UploadStep &step) const
{
    if (downloaded(step.page))
        return true;
    return step.alarmOptions && m_identified && m_identity.model < m_layout.alarmOptionsFromModel;
}

PageOutcome EditorSession::storeStep(const UploadStep &step)
{
    if (step.status)
        m_form.setStatusText(QLatin1String(step.status));
    return m_layout.upload.freshRead ? storeFresh(step)
                                     : m_transfer.StorePage(IPAddress, m_buffers.value(step.page));
}

// Reads the page again, puts the form's fields into it and stores it.
PageOutcome EditorSession::storeFresh(const UploadStep &step)
{
    QByteArray image;
    const PageOutcome read = m_transfer.ReadPage(IPAddress, step.page, image);
    if (read != PageOutcome::Done)
        return read;
    encode(step.page, image);
    return m_transfer.StorePage(IPAddress, image);
}

bool EditorSession::validate(const QList<UploadStep> &steps)
{
    if (m_layout.upload.validate && !m_layout.upload.validate(m_form, m_services.state.prompts()))
        return false;
    if (m_layout.upload.limitRange && !limitsInRange())
        return false;
    return fieldsStorable(steps) && pagesReadableAgain(steps);
}

// A page stored with bytes that spell "error" could never be read again: the fields that spell
// it (two names side by side, say) are marked and named, and nothing is sent.
bool EditorSession::pagesReadableAgain(const QList<UploadStep> &steps)
{
    for (const UploadStep &step : steps) {
        if (!mayStore(step))
            continue;
        QByteArray image = m_buffers.value(step.page);
        encode(step.page, image);
        const QList<const PageField *> fields = PageFieldsSpellingErrorWord(m_layout, step.page, image);
        if (fields.isEmpty())
            continue;
        for (const PageField *field : fields)
            m_form.setMarked(field->key, true);
        m_form.requestFocus(fields.first()->key);
        m_services.state.prompts().message(ErrorWordStoreText(fields, m_form), m_layout.caption,
                                           Prompts::Icon::Exclamation);
        return false;
    }
    return true;
}

bool EditorSession::limitsInRange()
{
    for (const PageField &field : m_layout.fields) {
        if (!field.key.startsWith(QLatin1String("txtLL_")) && !field.key.startsWith(QLatin1String("txtUL_")))
            continue;
        const auto value = NumberFromText(m_form.text(field.key));
        if (value && (*value > LimitBound || *value < -LimitBound)) {
            m_form.setText(field.key, QString());
            m_form.setMarked(field.key, true);
        }
    }
    for (const PageField &field : m_layout.fields) {
        if ((field.key.startsWith(QLatin1String("txtLL_")) ||
             field.key.startsWith(QLatin1String("txtUL_"))) &&
            m_form.marked(field.key)) {
            m_services.state.prompts().message(
                QStringLiteral("Valid temperature limits are between -999.9 and 999.9 degrees)"));
            return false;
        }
    }
    return true;
}

// Every field the upload writes must fit its bytes; the first that does not is marked and
// named, and nothing is sent.
bool EditorSession::fieldsStorable(const QList<UploadStep> &steps)
{
    for (const UploadStep &step : steps) {
        for (const PageField &field : m_layout.fields) {
            if (field.page != step.page || heldBack(field))
                continue;
            const auto problem = FieldProblem(field, m_form, m_tenthsMode);
            if (!problem)
                continue;
            m_form.setMarked(field.key, true);
            m_form.requestFocus(field.key);
            m_services.state.prompts().message(*problem, m_layout.caption, Prompts::Icon::Exclamation);
            return false;
        }
    }
    return true;
}

// Each column is written from what this window read and the device took: the name when its
// page was stored, the limits when theirs was, with a known resolution, and the notes when they
// were loaded with the name. Every other column keeps what the database holds.
void EditorSession::saveSensors(const QSet<int> &stored)
{
    Database *db = m_services.database;
    if (!db || m_layout.upload.database == DatabaseLimits::None)
        return;
    for (int i = 0; i < m_layout.sensorCount(); ++i) {
        const SensorColumns columns = sensorColumns(i, stored);
        if (!columns.empty())
            db->SaveSensorColumns(DatabaseID, i, sensorLabel(i), columns);
    }
}

SensorColumns EditorSession::sensorColumns(int sensor, const QSet<int> &stored) const
{
    const auto fieldStored = [&](const QString &key) {
        const PageField *field = m_layout.field(key);
        return !field || (stored.contains(field->page) && !heldBack(*field));
    };
    SensorColumns columns;
    const PageField *name = m_layout.field(ControlKey("txtName", sensor));
    if (!name)
        return columns;
    if (fieldStored(name->key))
        columns.name = NameAsStored(m_form.text(name->key));
    // A sensor's notes show only with its name: without the name, the box was never filled.
    if (m_notesLoaded && downloaded(name->page))
        columns.notes = m_form.text(ControlKey("txtNotes", sensor));
    if (m_layout.upload.database == DatabaseLimits::Empty) {
        // These windows keep no limits in the database: the row the name goes to has none.
        if (columns.name)
            columns.limits = SensorColumns::Limits{};
        return columns;
    }
    const QString upper = ControlKey("txtUL", sensor);
    const QString lower = ControlKey("txtLL", sensor);
    const QString time = ControlKey("txtTOL", sensor);
    if (fieldStored(upper) && fieldStored(lower) && fieldStored(time))
        columns.limits = SensorColumns::Limits{m_form.text(upper), m_form.text(lower), m_form.text(time)};
    return columns;
}

std::optional<double> EditorSession::deviceFactor(int sensor) const
{
    const PageField *field = m_layout.field(ControlKey("txtCF", sensor));
    if (!field || !m_readImages.contains(field->page))
        return std::nullopt;
    return FieldNumber(*field, m_readImages.value(field->page), m_tenthsMode);
}

void EditorSession::waitMs(int milliseconds)
{
    LocalWait wait(&m_services.state);
    wait.run(milliseconds);
}

#include "moc_EditorSession.cpp"
