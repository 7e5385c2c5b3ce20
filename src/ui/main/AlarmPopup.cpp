#include "AlarmPopup.h"

#include "AppIcon.h"

#include <alarms/AckInput.h>
#include <alarms/AlarmResponse.h>
#include <core/DateTimeText.h>
#include <ui/settings/SettingsWidgets.h>

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// The alarms listed at most; the Events view shows every one.
constexpr int kListedAlarms = 5;
} // namespace

AlarmPopup::AlarmPopup(const QString &programDirectory, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_title(new QLabel(QStringLiteral("Tallyport"), this)), m_text(new QLabel(this)),
      m_hideTimer(new QTimer(this)), m_sound(new QSoundEffect(this))
{
    setObjectName(QStringLiteral("frmAlarmPopup"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(175, 185, 215));
    setPalette(colours);
    m_title->setStyleSheet(QStringLiteral("color: rgb(128, 0, 0); font-weight: bold;"));
    m_text->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
    m_text->setObjectName(QStringLiteral("lblNotice"));
    m_text->setWordWrap(true);

    auto *icon = new QLabel(this);
    icon->setPixmap(TallyportIcon().pixmap(32, 32));
    auto *texts = new QVBoxLayout;
    texts->addWidget(m_title);
    texts->addWidget(m_text);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    buildAcknowledgement();
    layout->addWidget(m_ackArea);
    setFixedWidth(360);

    m_hideTimer->setSingleShot(true);
    connect(m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
    const QString sound = QDir(programDirectory).filePath(QStringLiteral("ding.wav"));
    if (QFileInfo::exists(sound))
        m_sound->setSource(QUrl::fromLocalFile(sound));
}

AlarmPopup::~AlarmPopup() = default;

void AlarmPopup::buildAcknowledgement()
{
    m_ackArea = new QWidget(this);
    auto *area = new QVBoxLayout(m_ackArea);
    area->setContentsMargins(0, 0, 0, 0);
    area->addWidget(new QLabel(QStringLiteral("Not acknowledged:"), m_ackArea));
    m_alarms = Named(new QListWidget(m_ackArea), "lstPopupAlarms");
    m_alarms->setFixedHeight(m_alarms->fontMetrics().lineSpacing() * 3 + 8);
    area->addWidget(m_alarms);
    m_nameRow = new QWidget(m_ackArea);
    auto *nameRow = new QHBoxLayout(m_nameRow);
    nameRow->setContentsMargins(0, 0, 0, 0);
    nameRow->addWidget(new QLabel(QStringLiteral("Your name"), m_nameRow));
    m_name = NamedLineEdit("txtPopupAckBy", AckInput::MaxNameLength, m_nameRow);
    nameRow->addWidget(m_name, 1);
    area->addWidget(m_nameRow);
    auto *buttons = new QHBoxLayout;
    m_acknowledge = Named(new QPushButton(QStringLiteral("Acknowledge"), m_ackArea), "btnPopupAcknowledge");
    m_close = Named(new QPushButton(QStringLiteral("Close"), m_ackArea), "btnPopupClose");
    buttons->addWidget(m_acknowledge);
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    area->addLayout(buttons);
    m_answer = Named(new QLabel(m_ackArea), "lblPopupAnswer");
    m_answer->setWordWrap(true);
    area->addWidget(m_answer);
    m_ackArea->hide();

    // Working in it keeps it up: the notice would vanish under a name half typed.
    for (QWidget *w : {static_cast<QWidget *>(m_alarms), static_cast<QWidget *>(m_alarms->viewport()),
                       static_cast<QWidget *>(m_name), static_cast<QWidget *>(m_acknowledge)})
        w->installEventFilter(this);
    connect(m_acknowledge, &QPushButton::clicked, this, &AlarmPopup::acknowledgeSelected);
    connect(m_name, &QLineEdit::returnPressed, this, &AlarmPopup::acknowledgeSelected);
    connect(m_name, &QLineEdit::textEdited, this, [this] { MarkWhite(m_name); });
    connect(m_close, &QPushButton::clicked, this, &AlarmPopup::dismiss);
}

void AlarmPopup::setResponse(AlarmResponse *response)
{
    m_response = response;
}

bool AlarmPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::FocusIn ||
        event->type() == QEvent::KeyPress)
        engage();
    return QWidget::eventFilter(watched, event);
}

void AlarmPopup::engage()
{
    m_engaged = true;
    m_hideTimer->stop();
}

void AlarmPopup::dismiss()
{
    m_engaged = false;
    m_name->clear();
    m_answer->clear();
    hide();
}

void AlarmPopup::showNotice(const QString &text)
{
    m_text->setText(text);
    if (!m_engaged)
        m_answer->clear();
    listUnacknowledged();
    adjustSize();
    placeInCorner();
    show();
    raise();
    if (!m_engaged)
        m_hideTimer->start(DisplayMs);
    if (m_sound->status() != QSoundEffect::Error && !m_sound->source().isEmpty())
        m_sound->play();
}

QString AlarmPopup::text() const
{
    return m_text->text();
}

void AlarmPopup::listUnacknowledged()
{
    QList<AlarmRecord> alarms;
    if (!m_response || !m_response->OpenUnacknowledged(alarms))
        alarms.clear();
    const qint64 selected =
        m_alarms->currentItem() ? m_alarms->currentItem()->data(Qt::UserRole).toLongLong() : 0;
    m_alarms->clear();
    // The oldest first: it has waited longest.
    for (qsizetype i = alarms.size() - 1; i >= 0 && m_alarms->count() < kListedAlarms; --i) {
        const AlarmRecord &a = alarms.at(i);
        auto *item = new QListWidgetItem(QStringLiteral("Alarm %1: %2 on %3, since %4")
                                             .arg(a.IDNum)
                                             .arg(a.Sensor, a.Server, DateTimeText(a.AlarmStart)),
                                         m_alarms);
        item->setData(Qt::UserRole, a.IDNum);
        if (a.IDNum == selected || m_alarms->count() == 1)
            m_alarms->setCurrentItem(item);
    }
    m_nameRow->setVisible(m_response && m_response->DesktopName().isEmpty());
    m_ackArea->setVisible(m_alarms->count() > 0 || !m_answer->text().isEmpty());
    m_acknowledge->setEnabled(m_alarms->count() > 0);
}

void AlarmPopup::acknowledgeSelected()
{
    engage();
    QListWidgetItem *item = m_alarms->currentItem();
    if (!m_response || !item)
        return;
    QString name = m_response->DesktopName();
    if (name.isEmpty())
        name = m_name->text();
    if (name.trimmed().isEmpty()) {
        MarkYellow(m_name);
        m_name->setFocus();
        return;
    }
    MarkWhite(m_name);
    const AlarmResponse::AckOutcome outcome = m_response->Acknowledge(
        {item->data(Qt::UserRole).toLongLong(), name, QString(), AlarmResponse::Via::Desktop, QString()});
    m_answer->setText(outcome.message);
    listUnacknowledged();
    adjustSize();
    placeInCorner();
}

void AlarmPopup::placeInCorner()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.right() - width() - 12, area.bottom() - height() - 12);
}

#include "moc_AlarmPopup.cpp"
