#include "EventViewsReader.h"

#include <alarms/EventBrowser.h>
#include <ui/settings/SettingsWidgets.h>

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
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
    layout->addWidget(m_btnResolution, 0, Qt::AlignLeft);

    m_frmResolution = Named(new QGroupBox(QStringLiteral("Enter Alarm Resolution"), this), "frmResolution");
    auto *entry = new QVBoxLayout(m_frmResolution);
    m_txtResolution = Named(new QPlainTextEdit(m_frmResolution), "txtResolution");
    m_txtResolution->setTabChangesFocus(true);
    m_txtResolution->setFixedHeight(m_txtResolution->fontMetrics().lineSpacing() * 5 + 12);
    entry->addWidget(m_txtResolution);
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

    connect(m_alarmNum, &QScrollBar::valueChanged, this,
            [this](int value) { m_browser.DisplayAlarms(value); });
    connect(&m_browser, &EventBrowser::readerChanged, this, &AlarmReaderPage::showReader);
    connect(m_btnResolution, &QPushButton::clicked, this, &AlarmReaderPage::openResolution);
    connect(m_btnCancelResolution, &QPushButton::clicked, this, &AlarmReaderPage::closeResolution);
    connect(m_btnSaveResolution, &QPushButton::clicked, this, &AlarmReaderPage::saveResolution);
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
    // While the entry is open the button stays off; it comes back when the entry closes.
    m_btnResolution->setEnabled(reader.hasAlarms && m_frmResolution->isHidden());
}

void AlarmReaderPage::openResolution()
{
    m_btnResolution->setEnabled(false);
    m_txtResolution->clear();
    m_frmResolution->show();
    m_txtResolution->setFocus();
}

void AlarmReaderPage::closeResolution()
{
    m_txtResolution->clear();
    m_frmResolution->hide();
    m_btnResolution->setEnabled(m_browser.reader().hasAlarms);
}

void AlarmReaderPage::saveResolution()
{
    // On failure the entry stays open with the text typed, so nothing is lost.
    if (m_browser.SaveResolution(m_txtResolution->toPlainText()))
        closeResolution();
}
