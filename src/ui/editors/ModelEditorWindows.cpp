// The model editors' own controls on the shared sensor editor.
#include "ModelEditorWindows.h"

#include "EditorBoxes.h"

#include "PhoneParametersWindow.h"
#include "SensorEditorWindow.h"

#include <editors/ModelLayouts.h>

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

const QString RelayOn = QStringLiteral("Turn on alarm relay when a sensor goes into alarm.");
const QString RelayOff =
    QStringLiteral("Turn off alarm relay when a sensor goes into alarm or the main power fails.");

QLabel *namedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// The backup battery voltage: a read-only box with its caption.
QWidget *batteryRow(QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(
        namedLabel(QStringLiteral("lblBattV"), QStringLiteral("Backup Battery Voltage (vdc)"), row));
    QLineEdit *box = NamedBox(QStringLiteral("txtBattV"), row, 6);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(box);
    layout->addStretch();
    return row;
}

// frmRX705: relay and buzzer options, battery voltage, and the reading filter settings in the
// calibration frame.
class Rx705Window final : public SensorEditorWindow {
public:
    using SensorEditorWindow::SensorEditorWindow;

protected:
    void addExtras(QWidget *parent, QVBoxLayout *column) override
    {
        auto *options = new QHBoxLayout;
        options->addWidget(optionPair(QStringLiteral("optRelayLogic"), QStringLiteral("Alarm Relay"), RelayOn,
                                      RelayOff, parent));
        options->addWidget(optionPair(QStringLiteral("optEnableBuzzer"), QStringLiteral("Alarm Buzzer"),
                                      QStringLiteral("Enable Alarm Buzzer"),
                                      QStringLiteral("Disable Alarm Buzzer"), parent));
        column->addLayout(options);
        column->addWidget(batteryRow(parent));
    }
    void addCalibrationExtras(QWidget *frame, QVBoxLayout *column) override
    {
        auto *filter = new QGroupBox(QStringLiteral("Reading Filter"), frame);
        filter->setObjectName(QStringLiteral("frmRX705rev23"));
        auto *form = new QFormLayout(filter);
        form->addRow(QStringLiteral("Erroneous Bit Change (bits)"),
                     NamedBox(ControlKey("txtCF", 8), filter, 3));
        form->addRow(QStringLiteral("Number of Erroneous Readings"),
                     NamedBox(ControlKey("txtCF", 9), filter, 3));
        column->addWidget(filter);
    }
};

// frmRX708: the battery voltage.
class Rx708Window final : public SensorEditorWindow {
public:
    using SensorEditorWindow::SensorEditorWindow;

protected:
    void addExtras(QWidget *parent, QVBoxLayout *column) override { column->addWidget(batteryRow(parent)); }
};

// frmWexa and frmWexa16: the alarm configuration frame and the note on unused sensors.
class WexaWindow final : public SensorEditorWindow {
public:
    using SensorEditorWindow::SensorEditorWindow;

protected:
    void addExtras(QWidget *parent, QVBoxLayout *column) override
    {
        column->addWidget(
            new QLabel(QStringLiteral("Note: to disable a sensor, leave the name blank."), parent));
        auto *frame = new QGroupBox(QStringLiteral("Alarm Configuration"), parent);
        frame->setObjectName(QStringLiteral("frmAlarmConfiguration"));
        auto *grid = new QGridLayout(frame);
        const auto delayRow = [&](int row, const char *name, const char *label, const QString &text) {
            QLabel *caption = namedLabel(QLatin1String(label), text, frame);
            caption->setWordWrap(true);
            grid->addWidget(caption, row, 0);
            grid->addWidget(NamedBox(QLatin1String(name), frame, 3), row, 1, Qt::AlignTop);
        };
        delayRow(
            0, "txtAlarmReminderTimeDelay", "lblAlarmReminderTimeDelay",
            QStringLiteral("Alarm reminder time delay (min).  Enter a value from 1 to 255 minutes, or 0 to "
                           "disable alarm reminder."));
        delayRow(
            1, "txtTwoStageDoorAlarmTimeDelay", "lblTwoStageDoorAlarmTimeDelay",
            QStringLiteral("Two stage door alarm time delay.  Generate a full alarm after this time delay "
                           "(min).  Enter a value from 1 to 255 minutes, or 0 to disable two stage alarm."));
        auto *options = new QHBoxLayout;
        options->addWidget(optionPair(QStringLiteral("optRelayLogic"), QStringLiteral("Alarm Relay"), RelayOn,
                                      RelayOff, frame));
        options->addWidget(optionPair(QStringLiteral("optEnableBuzzer"), QStringLiteral("Buzzer"),
                                      QStringLiteral("Enable Buzzer"), QStringLiteral("Disable Buzzer"),
                                      frame));
        grid->addLayout(options, 2, 0, 1, 2);
        column->addWidget(frame);
    }
    void afterBuild() override
    {
        if (auto *heading = findChild<QLabel *>(QStringLiteral("lblWexa_3"))) {
            heading->setText(QStringLiteral("Time (min)"));
            heading->setToolTip(QStringLiteral(
                "The amount of time that the sensor has to out of limits, programmed in minutes."));
        }
        if (auto *label = findChild<QLabel *>(QStringLiteral("lblAlarmReminderTimeDelay")))
            label->setToolTip(
                QStringLiteral("After an alarm has been acknowledged, a new alarm will be generated "
                               "after this value (in minutes).    "));
    }
};

template <typename Window>
std::unique_ptr<EditorWindow> makeSensorEditor(const EditorLayout &layout, const EditorServices &services,
                                               QWidget *parent)
{
    auto window = std::make_unique<Window>(services, layout, parent);
    window->build();
    return window;
}

} // namespace

std::unique_ptr<EditorWindow> MakeEditorWindow(const QString &name, const EditorServices &services,
                                               QWidget *parent)
{
    if (name == u"frmRX705")
        return makeSensorEditor<Rx705Window>(Rx705Layout(), services, parent);
    if (name == u"frmRX708")
        return makeSensorEditor<Rx708Window>(Rx708Layout(), services, parent);
    if (name == u"frmRX720")
        return makeSensorEditor<SensorEditorWindow>(Rx720Layout(), services, parent);
    if (name == u"frmRX740")
        return makeSensorEditor<SensorEditorWindow>(Rx740Layout(), services, parent);
    if (name == u"frmWexa")
        return makeSensorEditor<WexaWindow>(WexaLayout(), services, parent);
    if (name == u"frmWexa16")
        return makeSensorEditor<WexaWindow>(Wexa16Layout(), services, parent);
    if (name == u"frmRX705PhoneParameters")
        return MakePhoneParametersWindow(services, parent);
    return nullptr;
}
