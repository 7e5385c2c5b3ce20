#include "EventViewsReader.h"

#include <alarms/AckInput.h>
#include <alarms/AlarmResponse.h>
#include <alarms/EventBrowser.h>
#include <ui/settings/SettingsWidgets.h>

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {
// Stored texts break lines with a carriage return alone.
QString shownText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}
} // namespace

AlarmReaderPage::AlarmReaderPage(EventBrowser &browser, QWidget *parent) : QWidget(parent), m_browser(browser)
{
    auto *layout = new QVBoxLayout(this);
    m_lblAlarmRecordNum = Named(new QLabel(this), "lblAlarmRecordNum");
    layout->addWidget(m_lblAlarmRecordNum);
    m_alarmNum = Named(new QScrollBar(Qt::Horizontal, this), "AlarmNum");
    m_alarmNum->setToolTip(QStringLiteral("The most recent alarm is always Alarm 1 of x"));
    m_alarmNum->setRange(0, 0);
    m_alarmNum->setValue(0);
    layout->addWidget(m_alarmNum);
    m_rtbAlarms = Named(new QTextEdit(this), "rtbAlarms");
    m_rtbAlarms->setReadOnly(true);
    m_rtbAlarms->setAcceptRichText(false);
    layout->addWidget(m_rtbAlarms, 1);

    m_btnResolution = Named(new QPushButton(QStringLiteral("Enter Alarm Resolution"), this), "btnResolution");
    m_btnResolution->setEnabled(false);
    m_btnAcknowledge = Named(new QPushButton(QStringLiteral("Acknowledge"), this), "btnAcknowledge");
    m_btnAcknowledge->setToolTip(
        QStringLiteral("Say that you have taken this alarm: reminders and escalation "
                       "stop, and those told are told who took it"));
    m_btnAcknowledge->setEnabled(false);
    auto *readerButtons = new QHBoxLayout;
    readerButtons->addWidget(m_btnResolution);
    readerButtons->addWidget(m_btnAcknowledge);
    readerButtons->addStretch(1);
    layout->addLayout(readerButtons);

    m_frmResolution = Named(new QGroupBox(QStringLiteral("Enter Alarm Resolution"), this), "frmResolution");
    auto *entry = new QVBoxLayout(m_frmResolution);
    m_txtResolution = Named(new QPlainTextEdit(m_frmResolution), "txtResolution");
    m_txtResolution->setTabChangesFocus(true);
    m_txtResolution->setFixedHeight(m_txtResolution->fontMetrics().lineSpacing() * 5 + 12);
    entry->addWidget(m_txtResolution);
    // Resolving an open alarm acknowledges it; with nobody logged in, by the name typed here.
    m_resolutionByRow = new QWidget(m_frmResolution);
    auto *byRow = new QHBoxLayout(m_resolutionByRow);
    byRow->setContentsMargins(0, 0, 0, 0);
    byRow->addWidget(
        new QLabel(QStringLiteral("Your name (acknowledges the open alarm)"), m_resolutionByRow));
    m_txtResolutionBy = NamedLineEdit("txtResolutionBy", AckInput::MaxNameLength, m_resolutionByRow);
    byRow->addWidget(m_txtResolutionBy, 1);
    entry->addWidget(m_resolutionByRow);
    auto *buttons = new QHBoxLayout;
    m_btnSaveResolution =
        Named(new QPushButton(QStringLiteral("Save"), m_frmResolution), "btnSaveResolution");
    m_btnCancelResolution =
        Named(new QPushButton(QStringLiteral("Cancel"), m_frmResolution), "btnCancelResolution");
    buttons->addStretch(1);
    buttons->addWidget(m_btnSaveResolution);
    buttons->addWidget(m_btnCancelResolution);
    entry->addLayout(buttons);
    m_frmResolution->hide();
    layout->addWidget(m_frmResolution);

    m_frmAcknowledge = Named(new QGroupBox(QStringLiteral("Acknowledge Alarm"), this), "frmAcknowledge");
    auto *ackForm = new QFormLayout;
    m_txtAckBy = NamedLineEdit("txtAckBy", AckInput::MaxNameLength, m_frmAcknowledge);
    m_txtAckComment = NamedLineEdit("txtAckComment", AckInput::MaxCommentLength, m_frmAcknowledge);
    m_txtAckComment->setPlaceholderText(QStringLiteral("optional, for example: on my way"));
    ackForm->addRow(QStringLiteral("Your name"), m_txtAckBy);
    ackForm->addRow(QStringLiteral("Comment"), m_txtAckComment);
    auto *ackButtons = new QHBoxLayout;
    m_btnSaveAcknowledge =
        Named(new QPushButton(QStringLiteral("Acknowledge"), m_frmAcknowledge), "btnSaveAcknowledge");
    m_btnCancelAcknowledge =
        Named(new QPushButton(QStringLiteral("Cancel"), m_frmAcknowledge), "btnCancelAcknowledge");
    ackButtons->addStretch(1);
    ackButtons->addWidget(m_btnSaveAcknowledge);
    ackButtons->addWidget(m_btnCancelAcknowledge);
    auto *ackLayout = new QVBoxLayout(m_frmAcknowledge);
    ackLayout->addLayout(ackForm);
    ackLayout->addLayout(ackButtons);
    m_frmAcknowledge->hide();
    layout->addWidget(m_frmAcknowledge);

    connect(m_alarmNum, &QScrollBar::valueChanged, this,
            [this](int value) { m_browser.DisplayAlarms(value); });
    connect(&m_browser, &EventBrowser::readerChanged, this, &AlarmReaderPage::showReader);
    connect(m_btnResolution, &QPushButton::clicked, this, &AlarmReaderPage::openResolution);
    connect(m_btnCancelResolution, &QPushButton::clicked, this, &AlarmReaderPage::closeResolution);
    connect(m_btnSaveResolution, &QPushButton::clicked, this, &AlarmReaderPage::saveResolution);
    connect(m_btnAcknowledge, &QPushButton::clicked, this, &AlarmReaderPage::openAcknowledge);
    connect(m_btnCancelAcknowledge, &QPushButton::clicked, this, &AlarmReaderPage::closeAcknowledge);
    connect(m_btnSaveAcknowledge, &QPushButton::clicked, this, &AlarmReaderPage::saveAcknowledge);
    connect(m_txtAckBy, &QLineEdit::returnPressed, this, &AlarmReaderPage::saveAcknowledge);
    connect(m_txtAckBy, &QLineEdit::textEdited, this, [this] { MarkWhite(m_txtAckBy); });
    connect(m_txtAckComment, &QLineEdit::returnPressed, this, &AlarmReaderPage::saveAcknowledge);
}

void AlarmReaderPage::DisplayAlarms()
{
    m_browser.DisplayAlarms(m_alarmNum->value());
}

void AlarmReaderPage::showRow(int row)
{
    m_browser.PickAlarm(row);
}

void AlarmReaderPage::showReader()
{
    const AlarmReader &reader = m_browser.reader();
    m_rtbAlarms->setPlainText(shownText(reader.text));
    m_lblAlarmRecordNum->setText(reader.recordLabel);
    {
        const QSignalBlocker quiet(m_alarmNum);
        m_alarmNum->setRange(reader.hasAlarms ? 1 : 0, reader.alarmCount);
        m_alarmNum->setValue(reader.alarmNum);
    }
    // An entry open for an alarm that is no longer acknowledgeable (another desk took it) closes.
    if (!reader.acknowledgeable && !m_frmAcknowledge->isHidden())
        closeAcknowledge();
    m_resolutionByRow->setVisible(reader.acknowledgeable && nameNeeded());
    enableButtons();
}

void AlarmReaderPage::enableButtons()
{
    // While an entry is open the buttons stay off; they come back when it closes.
    const bool entryOpen = !m_frmResolution->isHidden() || !m_frmAcknowledge->isHidden();
    const AlarmReader &reader = m_browser.reader();
    m_btnResolution->setEnabled(reader.hasAlarms && !entryOpen);
    m_btnAcknowledge->setEnabled(reader.acknowledgeable && m_browser.response() && !entryOpen);
}

bool AlarmReaderPage::nameNeeded() const
{
    return !m_browser.response() || m_browser.response()->DesktopName().isEmpty();
}

void AlarmReaderPage::openResolution()
{
    m_txtResolution->clear();
    m_txtResolutionBy->clear();
    m_resolutionByRow->setVisible(m_browser.reader().acknowledgeable && nameNeeded());
    m_frmResolution->show();
    enableButtons();
    m_txtResolution->setFocus();
}

void AlarmReaderPage::closeResolution()
{
    m_txtResolution->clear();
    m_txtResolutionBy->clear();
    m_frmResolution->hide();
    enableButtons();
}

void AlarmReaderPage::saveResolution()
{
    // On failure the entry stays open with the text typed, so nothing is lost.
    if (m_browser.SaveResolution(m_txtResolution->toPlainText(), m_txtResolutionBy->text()))
        closeResolution();
}

void AlarmReaderPage::openAcknowledge()
{
    const QString name = m_browser.response() ? m_browser.response()->DesktopName() : QString();
    m_txtAckBy->setText(name);
    m_txtAckBy->setReadOnly(!name.isEmpty());
    MarkWhite(m_txtAckBy);
    m_txtAckComment->clear();
    m_frmAcknowledge->show();
    enableButtons();
    if (name.isEmpty())
        m_txtAckBy->setFocus();
    else
        m_txtAckComment->setFocus();
}

void AlarmReaderPage::closeAcknowledge()
{
    m_txtAckBy->clear();
    m_txtAckComment->clear();
    m_frmAcknowledge->hide();
    enableButtons();
}

void AlarmReaderPage::saveAcknowledge()
{
    if (m_frmAcknowledge->isHidden())
        return;
    if (m_txtAckBy->text().trimmed().isEmpty()) {
        MarkYellow(m_txtAckBy);
        m_txtAckBy->setFocus();
        return;
    }
    // A refusal is shown; the entry stays open with what was typed, unless the alarm can no
    // longer be acknowledged (showReader closes it then).
    if (m_browser.Acknowledge(m_txtAckBy->text(), m_txtAckComment->text()))
        closeAcknowledge();
}

#include "moc_EventViewsReader.cpp"
