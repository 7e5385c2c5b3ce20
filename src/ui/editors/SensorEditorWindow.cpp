#include "SensorEditorWindow.h"

#include "SensorTable.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

void SensorEditorWindow::build()
{
    const EditorLayout &layout = m_session.layout();
    auto *body = new QWidget(this);
    auto *row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    auto *column = new QVBoxLayout;
    column->addWidget(SensorTable::Build(layout, body));
    addExtras(body, column);
    column->addStretch();
    row->addLayout(column);
    row->addWidget(SensorTable::BuildNotes(layout, body), 0, Qt::AlignTop);
    if (layout.calibration.fromFirmware >= 0)
        row->addWidget(buildCalibrationFrame(body), 0, Qt::AlignTop);
    finish(body);
    connectButtons();
    m_session.Load();
    // A reading may be longer than its box: the box shows it in full as its tool tip.
    connect(&m_form, &EditorForm::textChanged, this, [this](const QString &key) {
        if (key.startsWith(QLatin1String("txtReading_")))
            if (auto *box = findChild<QLineEdit *>(key))
                box->setToolTip(m_form.text(key));
    });
    afterBuild();
}

void SensorEditorWindow::addExtras(QWidget *parent, QVBoxLayout *column)
{
    Q_UNUSED(parent);
    Q_UNUSED(column);
}

void SensorEditorWindow::addCalibrationExtras(QWidget *frame, QVBoxLayout *column)
{
    Q_UNUSED(frame);
    Q_UNUSED(column);
}

QGroupBox *SensorEditorWindow::optionPair(const QString &name, const QString &title, const QString &first,
                                          const QString &second, QWidget *parent)
{
    auto *frame = new QGroupBox(title, parent);
    auto *column = new QVBoxLayout(frame);
    const QString captions[] = {first, second};
    for (int index = 0; index < 2; ++index) {
        auto *option = new QRadioButton(captions[index], frame);
        option->setObjectName(name + QLatin1Char('_') + QString::number(index));
        column->addWidget(option);
    }
    return frame;
}

QGroupBox *SensorEditorWindow::buildCalibrationFrame(QWidget *parent)
{
    const bool wexa = m_session.layout().calibration.correctionOnRequest;
    auto *frame = new QGroupBox(QStringLiteral("Temperature Calibration"), parent);
    frame->setObjectName(QStringLiteral("frmCal"));
    auto *column = new QVBoxLayout(frame);
    column->addLayout(SensorTable::BuildCalibrationRows(m_session.layout(), frame));
    addCalibrationExtras(frame, column);
    auto *buttons = new QHBoxLayout;
    const auto add = [&](const char *name, const QString &caption) {
        auto *button = new QPushButton(caption, frame);
        button->setObjectName(QLatin1String(name));
        button->setAutoDefault(false);
        buttons->addWidget(button);
    };
    add("btnStoreCalFactors",
        wexa ? QStringLiteral("Store Calibration Factors") : QStringLiteral("Store Correction Factors"));
    add("btnReset", wexa ? QStringLiteral("Clear Calibration Factors") : QStringLiteral("Reset"));
    if (wexa)
        add("btnCF", QStringLiteral("CF"));
    add("btnCloseCal", QStringLiteral("Close"));
    column->addLayout(buttons);
    column->addStretch();
    return frame;
}

void SensorEditorWindow::connectButtons()
{
    const auto on = [this](const char *name, auto action) {
        if (QPushButton *b = button(QLatin1String(name)))
            connect(b, &QPushButton::clicked, this, action);
    };
    on("btnSave", [this] { m_session.Save(); });
    on("btnRefresh", [this] { m_session.Refresh(); });
    on("btnNotes", [this] { m_session.ToggleNotes(); });
    on("btnCal", [this] { m_session.ShowCalibration(); });
    on("btnStoreCalFactors", [this] { m_session.StoreCalibration(); });
    on("btnReset", [this] { m_session.ResetCalibration(); });
    on("btnCloseCal", [this] { m_session.CloseCalibration(); });
    on("btnCF", [this] { m_session.ShowCorrection(); });
}

#include "moc_SensorEditorWindow.cpp"
