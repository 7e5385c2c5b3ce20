#include "NotificationsPage.h"

#include "SettingsWidgets.h"

#include <alarms/EscalationRules.h>
#include <core/IniFile.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <db/Database.h>
#include <notify/ChannelRename.h>
#include <notify/ChannelRules.h>
#include <notify/Notifier.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

NotificationsPage::NotificationsPage(ProgramState &state, Notifier *notifier, QWidget *parent)
    : QWidget(parent), m_state(state), m_notifier(notifier)
{
    setObjectName(QStringLiteral("pageNotifications"));
    build();
    connect(lstNotifyChannels, &QListWidget::currentTextChanged, this, &NotificationsPage::showChannel);
    connect(btnNotifyNew, &QPushButton::clicked, this, &NotificationsPage::onNew);
    connect(btnNotifySave, &QPushButton::clicked, this, &NotificationsPage::onSave);
    connect(btnNotifyRemove, &QPushButton::clicked, this, &NotificationsPage::onRemove);
    connect(btnNotifyTest, &QPushButton::clicked, this, &NotificationsPage::onTest);
    connect(&m_test, &ChannelTest::finished, this, [this](const HttpOutcome &outcome) {
        lblNotifyAnswer->setText(ChannelTest::AnswerText(outcome));
        btnNotifyTest->setEnabled(true);
    });
    refreshList(QString());
    onNew();
}

void NotificationsPage::build()
{
    lstNotifyChannels = Named(new QListWidget, "lstNotifyChannels");
    txtNotifyName = Named(new QLineEdit, "txtNotifyName");
    cboNotifyType = Named(new QComboBox, "cboNotifyType");
    cboNotifyType->addItems(ChannelRules::Types());
    txtNotifyUrl = Named(new QLineEdit, "txtNotifyUrl");
    txtNotifyToken = Named(new QLineEdit, "txtNotifyToken");
    txtNotifyHeaders = Named(new QLineEdit, "txtNotifyHeaders");
    txtNotifyHeaders->setPlaceholderText(QStringLiteral("Name: value | Name: value"));
    txtNotifySecret = Named(new QLineEdit, "txtNotifySecret");
    txtNotifyEvents = Named(new QLineEdit, "txtNotifyEvents");
    txtNotifyEvents->setPlaceholderText(QStringLiteral("all; or some of ") +
                                        ChannelRules::EventKinds().join(QStringLiteral(", ")));
    txtNotifyDevices = Named(new QLineEdit, "txtNotifyDevices");
    txtNotifyDevices->setPlaceholderText(QStringLiteral("all; or names and addresses, comma-separated"));
    chkNotifyInsecure =
        Named(new QCheckBox(QStringLiteral("Accept any HTTPS certificate")), "chkNotifyInsecure");
    btnNotifyNew = Named(new QPushButton(QStringLiteral("New")), "btnNotifyNew");
    btnNotifySave = Named(new QPushButton(QStringLiteral("Save Channel")), "btnNotifySave");
    btnNotifyRemove = Named(new QPushButton(QStringLiteral("Remove")), "btnNotifyRemove");
    btnNotifyTest = Named(new QPushButton(QStringLiteral("Test")), "btnNotifyTest");
    lblNotifyAnswer = Named(new QLabel, "lblNotifyAnswer");
    lblNotifyAnswer->setWordWrap(true);
    lblNotifyAnswer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QPushButton *b : {btnNotifyNew, btnNotifySave, btnNotifyRemove, btnNotifyTest})
        b->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Name"), txtNotifyName);
    form->addRow(QStringLiteral("Type"), cboNotifyType);
    form->addRow(QStringLiteral("URL"), txtNotifyUrl);
    form->addRow(QStringLiteral("Token"), txtNotifyToken);
    form->addRow(QStringLiteral("Headers"), txtNotifyHeaders);
    form->addRow(QStringLiteral("Secret"), txtNotifySecret);
    form->addRow(QStringLiteral("Events"), txtNotifyEvents);
    form->addRow(QStringLiteral("Devices"), txtNotifyDevices);
    form->addRow(QString(), chkNotifyInsecure);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {btnNotifyNew, btnNotifySave, btnNotifyRemove, btnNotifyTest})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *right = new QVBoxLayout;
    right->addLayout(form);
    right->addLayout(buttons);
    right->addWidget(lblNotifyAnswer);
    right->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(lstNotifyChannels, 1);
    layout->addLayout(right, 3);
}

void NotificationsPage::refreshList(const QString &select)
{
    const QSignalBlocker quiet(lstNotifyChannels);
    lstNotifyChannels->clear();
    for (const NotifyChannelSettings &c : std::as_const(m_state.Ini.channels))
        lstNotifyChannels->addItem(c.name);
    const QList<QListWidgetItem *> found = lstNotifyChannels->findItems(select, Qt::MatchExactly);
    if (!select.isEmpty() && !found.isEmpty())
        lstNotifyChannels->setCurrentItem(found.first());
}

void NotificationsPage::showChannel(const QString &name)
{
    for (const NotifyChannelSettings &c : std::as_const(m_state.Ini.channels)) {
        if (c.name != name)
            continue;
        m_shown = c.name;
        txtNotifyName->setText(c.name);
        cboNotifyType->setCurrentText(c.type);
        txtNotifyUrl->setText(c.url);
        txtNotifyToken->setText(c.token);
        txtNotifyHeaders->setText(c.headers);
        txtNotifySecret->setText(c.secret);
        txtNotifyEvents->setText(c.events);
        txtNotifyDevices->setText(c.devices);
        chkNotifyInsecure->setChecked(c.insecure);
        lblNotifyAnswer->clear();
        return;
    }
}

NotifyChannelSettings NotificationsPage::typed() const
{
    NotifyChannelSettings c;
    // What the boxes do not show keeps its value.
    for (const NotifyChannelSettings &saved : std::as_const(m_state.Ini.channels))
        if (saved.name == m_shown)
            c = saved;
    c.name = txtNotifyName->text().trimmed();
    c.type = cboNotifyType->currentText();
    c.url = txtNotifyUrl->text().trimmed();
    c.token = txtNotifyToken->text().trimmed();
    c.headers = txtNotifyHeaders->text().trimmed();
    c.secret = txtNotifySecret->text();
    c.events = txtNotifyEvents->text().trimmed();
    c.devices = txtNotifyDevices->text().trimmed();
    c.insecure = chkNotifyInsecure->isChecked();
    return c;
}

bool NotificationsPage::hasUnsavedEdits() const
{
    NotifyChannelSettings before;
    before.type = cboNotifyType->itemText(0);
    for (const NotifyChannelSettings &saved : std::as_const(m_state.Ini.channels))
        if (saved.name == m_shown)
            before = saved;
    const NotifyChannelSettings now = typed();
    const auto shown = [](const NotifyChannelSettings &c) {
        return std::tie(c.name, c.type, c.url, c.token, c.headers, c.secret, c.events, c.devices, c.insecure);
    };
    return shown(before) != shown(now);
}

void NotificationsPage::onNew()
{
    m_shown.clear();
    {
        const QSignalBlocker quiet(lstNotifyChannels);
        lstNotifyChannels->setCurrentRow(-1);
    }
    for (QLineEdit *box : findChildren<QLineEdit *>())
        box->clear();
    cboNotifyType->setCurrentIndex(0);
    chkNotifyInsecure->setChecked(false);
    lblNotifyAnswer->clear();
}

void NotificationsPage::onSave()
{
    const NotifyChannelSettings channel = typed();
    const QString problem = ChannelRules::Problem(channel);
    if (!problem.isEmpty()) {
        m_state.prompts().message(QStringLiteral("The channel was not saved.  ") + problem);
        return;
    }
    const bool renamed = !m_shown.isEmpty() && m_shown != channel.name;
    const bool taken = std::any_of(m_state.Ini.channels.cbegin(), m_state.Ini.channels.cend(),
                                   [&](const NotifyChannelSettings &c) { return c.name == channel.name; });
    if (taken && (m_shown.isEmpty() || renamed)) {
        m_state.prompts().message(
            QStringLiteral("The channel was not saved.  A channel named %1 exists already.")
                .arg(channel.name));
        return;
    }
    IniFile ini(m_state);
    QString error;
    if (renamed ? !rename(channel, error) : !ini.SaveChannel(channel)) {
        m_state.prompts().message(QStringLiteral("The channel was not saved.  ") +
                                  (renamed ? error : ini.lastError()));
        return;
    }
    if (!renamed) {
        QList<NotifyChannelSettings> &channels = m_state.Ini.channels;
        channels.removeIf([&channel](const NotifyChannelSettings &c) { return c.name == channel.name; });
        channels.append(channel);
    }
    // The escalation steps that name the channel follow its new name.
    QList<EscalationStepSettings> steps = m_state.Ini.escalation.steps;
    if (renamed && EscalationRules::RenameChannel(steps, m_shown, channel.name)) {
        if (ini.SaveEscalationSteps(steps))
            m_state.Ini.escalation.steps = steps;
        else
            m_state.prompts().message(
                QStringLiteral("The escalation steps naming %1 could not be changed.  ").arg(m_shown) +
                ini.lastError());
    }
    m_shown = channel.name;
    refreshList(channel.name);
}

bool NotificationsPage::rename(const NotifyChannelSettings &channel, QString &error)
{
    if (m_notifier)
        return m_notifier->RenameChannel(m_shown, channel, error);
    Database database(m_state);
    return RenameNotifyChannel(m_state, database, m_shown, channel, error);
}

void NotificationsPage::onRemove()
{
    if (m_shown.isEmpty())
        return;
    if (m_state.prompts().ask(QStringLiteral("Remove the notification channel %1?").arg(m_shown),
                              QStringLiteral("Notifications"), Prompts::Buttons::YesNo,
                              Prompts::Icon::Question) != Prompts::Answer::Yes)
        return;
    IniFile ini(m_state);
    if (!ini.RemoveChannel(m_shown)) {
        m_state.prompts().message(QStringLiteral("The channel was not removed.  ") + ini.lastError());
        return;
    }
    m_state.Ini.channels.removeIf([this](const NotifyChannelSettings &c) { return c.name == m_shown; });
    refreshList(QString());
    onNew();
}

void NotificationsPage::onTest()
{
    QString problem;
    if (!m_test.Start(m_state, typed(), problem)) {
        m_state.prompts().message(QStringLiteral("No test message was sent.  ") + problem);
        return;
    }
    btnNotifyTest->setEnabled(false);
    lblNotifyAnswer->setText(QStringLiteral("Sending a test message..."));
}

#include "moc_NotificationsPage.cpp"
