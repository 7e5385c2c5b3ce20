// The calibration frame of the editors: new correction factors from actual temperatures.
#include "EditorForm.h"
#include "EditorSession.h"
#include "FieldText.h"
#include "PageCodec.h"

#include <core/ProgramState.h>
#include <core/Prompts.h>

namespace {
const QString StoreTitle = QStringLiteral("Upload Calibration Factors");
const QString ResetTitle = QStringLiteral("Reset Cal Factors");
const QString NothingStored = QStringLiteral("  No correction factor was stored.");
} // namespace

void EditorSession::ShowCalibration()
{
    const CalibrationLayout &cal = m_layout.calibration;
    for (int i : cal.sensors) {
        m_form.setText(ControlKey("lblName", i), SensorNamed(m_form, i)
                                                     ? m_form.text(ControlKey("txtName", i))
                                                     : QStringLiteral("Not Named"));
        m_form.setText(ControlKey("txtActualTemp", i), QString());
    }
    m_form.setShown(QStringLiteral("frmNotes"), false);
    m_form.setText(QStringLiteral("btnNotes"), QStringLiteral("Notes"));
    for (int i = 0; i < m_layout.sensorCount(); ++i) {
        if (!cal.sensors.contains(i))
            m_form.setShown(ControlKey("txtReading", i), false);
    }
    if (cal.correctionOnRequest) {
        for (int i : cal.sensors)
            m_form.setShown(ControlKey("txtCF", i), false);
        m_form.setShown(ControlKey("lblCal", 1), false);
    }
    m_form.setShown(QStringLiteral("frmCal"), true);
}

void EditorSession::CloseCalibration()
{
    m_form.setShown(QStringLiteral("frmCal"), false);
    for (int i = 0; i < m_layout.sensorCount(); ++i)
        m_form.setShown(ControlKey("txtReading", i), true);
}

void EditorSession::ShowCorrection()
{
    for (int i : m_layout.calibration.sensors)
        m_form.setShown(ControlKey("txtCF", i), true);
    m_form.setShown(ControlKey("lblCal", 1), true);
}

// new factor = old factor + (actual - reading), in single precision as the device computes. The
// old factor is the one the device gave with the reading, never the box: after a first
// computation the box already holds the result, and using it again would add the difference
// twice.
bool EditorSession::ComputeFactor(int sensor)
{
    const QString actualText = m_form.text(ControlKey("txtActualTemp", sensor));
    const auto actual = NumberFromText(actualText);
    const auto reading = NumberFromText(m_form.text(ControlKey("txtReading", sensor)));
    const bool factorShown = NumberFromText(m_form.text(ControlKey("txtCF", sensor))).has_value();
    const auto factor = factorShown ? deviceFactor(sensor) : std::nullopt;
    QString problem;
    if (!actual)
        problem = QStringLiteral("The actual temperature of %1 is not a number.");
    else if (!reading)
        problem = QStringLiteral("%1 has no current reading to calibrate against.");
    else if (!factor)
        problem = QStringLiteral("%1 has no correction factor to adjust.");
    if (!problem.isEmpty()) {
        m_services.state.prompts().message(problem.arg(sensorLabel(sensor)) + NothingStored, StoreTitle,
                                           Prompts::Icon::Exclamation);
        return false;
    }
    const float result = float(*factor) + (float(*actual) - float(*reading));
    m_form.setText(ControlKey("txtCF", sensor), OneDecimalText(double(result)));
    return true;
}

// Computes the factor of every sensor with an actual temperature; false when one cannot be.
bool EditorSession::factorsComputed()
{
    const CalibrationLayout &cal = m_layout.calibration;
    for (int i : cal.sensors) {
        const QString actual = m_form.text(ControlKey("txtActualTemp", i));
        if (actual.trimmed().isEmpty() || (cal.skipNonNumeric && !IsNumericText(actual)))
            continue;
        if (!ComputeFactor(i))
            return false;
    }
    return true;
}

bool EditorSession::StoreCalibration()
{
    const CalibrationLayout &cal = m_layout.calibration;
    Prompts &prompts = m_services.state.prompts();
    const auto ask = [&] {
        return prompts.ask(cal.storeQuestion, StoreTitle, Prompts::Buttons::OkCancel,
                           Prompts::Icon::Question) == Prompts::Answer::Ok;
    };
    if (cal.askFirst) {
        if (!ask() || !factorsComputed())
            return false;
    } else {
        const bool anyActual = std::any_of(cal.sensors.cbegin(), cal.sensors.cend(), [&](int i) {
            return !m_form.text(ControlKey("txtActualTemp", i)).trimmed().isEmpty();
        });
        if (!anyActual) {
            prompts.message(QStringLiteral("Please enter the actual temperature"), StoreTitle);
            return false;
        }
        if (!factorsComputed() || !ask())
            return false;
    }
    storeFactors(false);
    return true;
}

bool EditorSession::ResetCalibration()
{
    const CalibrationLayout &cal = m_layout.calibration;
    if (m_services.state.prompts().ask(cal.resetQuestion, ResetTitle, Prompts::Buttons::OkCancel,
                                       Prompts::Icon::Question) != Prompts::Answer::Ok)
        return false;
    for (int i : cal.sensors) {
        m_form.setText(ControlKey("txtActualTemp", i), QString());
        m_form.setText(ControlKey("txtCF", i), QStringLiteral("0"));
    }
    storeFactors(true);
    return true;
}

// Stores the calibration pages and reads back what the device now holds (the Wexa editors read
// twice, the second time as Refresh does). The lines of the store stay in the status list above
// those of the read-back, so a failed store is not wiped out by the download after it.
void EditorSession::storeFactors(bool readBackAlways)
{
    RunScope scope(*this);
    const CalibrationLayout &cal = m_layout.calibration;
    Buttons(false);
    const bool stored = SaveLimits(true);
    if (stored || readBackAlways) {
        const QStringList storeLines = m_form.messages();
        if (cal.readBackDelayMs > 0)
            waitMs(cal.readBackDelayMs); // the device commits a stored page in about 2 seconds
        GetLimits();
        if (!readBackAlways && !cal.askFirst) {
            Buttons(true);
            Refresh();
        }
        const QStringList readLines = m_form.messages();
        m_form.clearMessages();
        for (const QString &line : storeLines + readLines)
            m_form.addMessage(line);
    }
    Buttons(true);
}
