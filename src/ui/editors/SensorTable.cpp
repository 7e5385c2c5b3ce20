#include "SensorTable.h"

#include "EditorBoxes.h"

#include <editors/EditorLayout.h>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace SensorTable {
namespace {

int rowHeight()
{
    static const int height = QLineEdit().sizeHint().height();
    return height;
}

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// The sensor that the layout's normal-state list of a power sensor belongs to, or -1.
int normalStateIndex(const EditorLayout &layout, int sensor)
{
    for (const PageField &field : layout.fields) {
        if (field.sensor == sensor && field.key.startsWith(QLatin1String("cmboNormalState_")))
            return field.key.section(QLatin1Char('_'), 1).toInt();
    }
    return -1;
}

bool hasAny(const EditorLayout &layout, const char *control)
{
    const QString prefix = QLatin1String(control) + QLatin1Char('_');
    return std::any_of(layout.fields.cbegin(), layout.fields.cend(),
                       [&](const PageField &f) { return f.key.startsWith(prefix); });
}

} // namespace

QGridLayout *NewGrid(QWidget *parent, int rows)
{
    auto *grid = new QGridLayout(parent);
    grid->setVerticalSpacing(4);
    for (int row = 0; row <= rows; ++row)
        grid->setRowMinimumHeight(row, rowHeight());
    grid->setRowStretch(rows + 1, 1);
    return grid;
}

QGroupBox *Build(const EditorLayout &layout, QWidget *parent)
{
    auto *frame = new QGroupBox(QStringLiteral("Sensors"), parent);
    frame->setObjectName(QStringLiteral("frmSensors"));
    QGridLayout *grid = NewGrid(frame, layout.sensorCount());
    int column = 1;
    grid->addWidget(new QLabel(QStringLiteral("Sensor Name"), frame), 0, column++);
    const bool limits = hasAny(layout, "txtLL");
    const bool states = hasAny(layout, "cmboNormalState");
    const int limitColumn = column;
    if (limits) {
        grid->addWidget(label(QStringLiteral("lblWexa_1"), QStringLiteral("Lower Limit"), frame), 0,
                        column++);
        grid->addWidget(label(QStringLiteral("lblWexa_2"), QStringLiteral("Upper Limit"), frame), 0,
                        column++);
    }
    const int stateColumn = column;
    if (states)
        grid->addWidget(new QLabel(QStringLiteral("Normal State"), frame), 0, column++);
    const int timeColumn = column++;
    grid->addWidget(label(QStringLiteral("lblWexa_3"), QStringLiteral("Time"), frame), 0, timeColumn);
    const int readingColumn = column;
    grid->addWidget(label(QStringLiteral("lblWexa_26"), QStringLiteral("Current Reading"), frame), 0,
                    readingColumn);

    for (int i = 0; i < layout.sensorCount(); ++i) {
        const int row = i + 1;
        grid->addWidget(label(ControlKey("lblSensorType", i), layout.sensors.at(i), frame), row, 0);
        grid->addWidget(NamedBox(ControlKey("txtName", i), frame, 20, 170), row, 1);
        if (layout.hasField(ControlKey("txtLL", i))) {
            grid->addWidget(NamedBox(ControlKey("txtLL", i), frame, 6), row, limitColumn);
            grid->addWidget(NamedBox(ControlKey("txtUL", i), frame, 6), row, limitColumn + 1);
        }
        const int state = normalStateIndex(layout, i);
        if (state >= 0) {
            auto *list = new QComboBox(frame);
            list->setObjectName(ControlKey("cmboNormalState", state));
            list->addItems({QStringLiteral("On"), QStringLiteral("Off")});
            list->setCurrentIndex(-1);
            grid->addWidget(list, row, stateColumn);
        }
        if (layout.hasField(ControlKey("txtTOL", i)))
            grid->addWidget(NamedBox(ControlKey("txtTOL", i), frame), row, timeColumn);
        QLineEdit *reading = NamedBox(ControlKey("txtReading", i), frame, 0, 110);
        reading->setReadOnly(true);
        reading->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(reading, row, readingColumn);
    }
    return frame;
}

QGroupBox *BuildNotes(const EditorLayout &layout, QWidget *parent)
{
    auto *frame = new QGroupBox(QStringLiteral("Sensor Notes"), parent);
    frame->setObjectName(QStringLiteral("frmNotes"));
    QGridLayout *grid = NewGrid(frame, layout.sensorCount());
    grid->addWidget(new QLabel(frame), 0, 0); // the heading row, as in the sensor table
    for (int i = 0; i < layout.sensorCount(); ++i)
        grid->addWidget(NamedBox(ControlKey("txtNotes", i), frame, 0, 240), i + 1, 0);
    return frame;
}

QGridLayout *BuildCalibrationRows(const EditorLayout &layout, QWidget *frame)
{
    const QList<int> &sensors = layout.calibration.sensors;
    const int last = sensors.isEmpty() ? 0 : *std::max_element(sensors.cbegin(), sensors.cend());
    QGridLayout *grid = NewGrid(nullptr, last + 1);
    grid->setRowStretch(last + 2, 0);
    grid->addWidget(label(ControlKey("lblCal", 0), QStringLiteral("Actual Temperature"), frame), 0, 1);
    grid->addWidget(label(ControlKey("lblCal", 1), QStringLiteral("Correction"), frame), 0, 2);
    for (int i : sensors) {
        grid->addWidget(label(ControlKey("lblName", i), QString(), frame), i + 1, 0);
        grid->addWidget(NamedBox(ControlKey("txtActualTemp", i), frame, 6), i + 1, 1);
        grid->addWidget(NamedBox(ControlKey("txtCF", i), frame, 6), i + 1, 2);
    }
    return grid;
}

} // namespace SensorTable
