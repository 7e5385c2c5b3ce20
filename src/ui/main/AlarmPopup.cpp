#include "AlarmPopup.h"

#include "AppIcon.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

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
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);
    setFixedWidth(320);

    m_hideTimer->setSingleShot(true);
    connect(m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
    const QString sound = QDir(programDirectory).filePath(QStringLiteral("ding.wav"));
    if (QFileInfo::exists(sound))
        m_sound->setSource(QUrl::fromLocalFile(sound));
}

AlarmPopup::~AlarmPopup() = default;

void AlarmPopup::showNotice(const QString &text)
{
    m_text->setText(text);
    adjustSize();
    placeInCorner();
    show();
    raise();
    m_hideTimer->start(DisplayMs);
    if (m_sound->status() != QSoundEffect::Error && !m_sound->source().isEmpty())
        m_sound->play();
}

QString AlarmPopup::text() const
{
    return m_text->text();
}

void AlarmPopup::placeInCorner()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.right() - width() - 12, area.bottom() - height() - 12);
}
