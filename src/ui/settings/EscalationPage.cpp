#include "EscalationPage.h"

#include "SettingsWidgets.h"

#include <alarms/EscalationRules.h>
#include <core/IniFile.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kMostMinutes = 7 * 24 * 60; // a week
constexpr int kMostSteps = 99;

QTableWidgetItem *cell(const QString &text, bool editable = true)
{
    auto *item = new QTableWidgetItem(text);
    if (!editable)
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

void sortSteps(QList<EscalationStepSettings> &steps)
{
    std::sort(steps.begin(), steps.end(),
              [](const EscalationStepSettings &a, const EscalationStepSettings &b) {
                  return std::pair(a.afterMinutes, a.number) < std::pair(b.afterMinutes, b.number);
              });
}
} // namespace

EscalationPage::EscalationPage(ProgramState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("pageEscalation"));
    build();
    connect(btnStepAdd, &QPushButton::clicked, this, &EscalationPage::onAdd);
    connect(btnStepRemove, &QPushButton::clicked, this, &EscalationPage::onRemove);
    connect(btnEscalationSave, &QPushButton::clicked, this, &EscalationPage::onSave);
    fill(m_state.Ini.escalation);
}

void EscalationPage::build()
{
    spnRepeatMinutes = Named(new QSpinBox, "spnRepeatMinutes");
    spnRepeatMinutes->setRange(0, kMostMinutes);
    spnRepeatMinutes->setSpecialValueText(QStringLiteral("never"));
    spnRepeatMinutes->setSuffix(QStringLiteral(" minutes"));
    tblSteps = Named(new QTableWidget(0, ColumnCount), "tblSteps");
    tblSteps->setHorizontalHeaderLabels({QStringLiteral("Step"), QStringLiteral("After (minutes)"),
                                         QStringLiteral("E-mail addresses"), QStringLiteral("Channels"),
                                         QStringLiteral("Devices")});
    tblSteps->verticalHeader()->hide();
    tblSteps->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblSteps->setSelectionMode(QAbstractItemView::SingleSelection);
    QHeaderView *header = tblSteps->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (const int column : {EmailColumn, ChannelsColumn, DevicesColumn})
        header->setSectionResizeMode(column, QHeaderView::Stretch);
    btnStepAdd = Named(new QPushButton(QStringLiteral("Add Step")), "btnStepAdd");
    btnStepRemove = Named(new QPushButton(QStringLiteral("Remove Step")), "btnStepRemove");
    btnEscalationSave = Named(new QPushButton(QStringLiteral("Save Escalation")), "btnEscalationSave");
    for (QPushButton *b : {btnStepAdd, btnStepRemove, btnEscalationSave})
        b->setAutoDefault(false);
    lblEscalationHelp =
        Named(new QLabel(QStringLiteral(
                  "While an alarm is open and nobody has acknowledged it, its own e-mail list "
                  "and channels are reminded at this interval, and each step tells its "
                  "recipients once, that many minutes after the alarm started.  E-mail: "
                  "addresses, comma-separated.  Channels: names from the Notifications tab.  "
                  "Devices: empty for every device, or names and addresses, comma-separated.")),
              "lblEscalationHelp");
    lblEscalationHelp->setWordWrap(true);

    auto *repeat = new QHBoxLayout;
    repeat->addWidget(new QLabel(QStringLiteral("Remind every")));
    repeat->addWidget(spnRepeatMinutes);
    repeat->addWidget(new QLabel(QStringLiteral("while nobody acknowledges the alarm")));
    repeat->addStretch();
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {btnStepAdd, btnStepRemove, btnEscalationSave})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(repeat);
    layout->addWidget(tblSteps, 1);
    layout->addLayout(buttons);
    layout->addWidget(lblEscalationHelp);
}

void EscalationPage::fill(const EscalationIniSettings &escalation)
{
    m_shown = escalation;
    spnRepeatMinutes->setValue(escalation.repeatMinutes);
    tblSteps->setRowCount(0);
    for (const EscalationStepSettings &step : escalation.steps)
        addRow(step);
}

void EscalationPage::addRow(const EscalationStepSettings &step)
{
    const int row = tblSteps->rowCount();
    tblSteps->insertRow(row);
    tblSteps->setItem(row, NumberColumn, cell(QString::number(step.number), false));
    tblSteps->setItem(row, AfterColumn, cell(QString::number(step.afterMinutes)));
    tblSteps->setItem(row, EmailColumn, cell(step.email));
    tblSteps->setItem(row, ChannelsColumn, cell(step.channels));
    tblSteps->setItem(row, DevicesColumn, cell(step.devices));
}

EscalationIniSettings EscalationPage::typed() const
{
    EscalationIniSettings escalation;
    escalation.repeatMinutes = spnRepeatMinutes->value();
    for (int row = 0; row < tblSteps->rowCount(); ++row) {
        EscalationStepSettings step;
        step.number = cellText(tblSteps, row, NumberColumn).toInt();
        bool number = false;
        step.afterMinutes = cellText(tblSteps, row, AfterColumn).toInt(&number);
        if (!number)
            step.afterMinutes = -1;
        step.email = cellText(tblSteps, row, EmailColumn);
        step.channels = cellText(tblSteps, row, ChannelsColumn);
        step.devices = cellText(tblSteps, row, DevicesColumn);
        escalation.steps.append(step);
    }
    return escalation;
}

QString EscalationPage::problemOf(const EscalationIniSettings &escalation) const
{
    for (int row = 0; row < escalation.steps.size(); ++row) {
        const EscalationStepSettings &step = escalation.steps[row];
        const QString name = QStringLiteral("Step %1: ").arg(step.number);
        if (step.afterMinutes < 1 || step.afterMinutes > kMostMinutes)
            return name + QStringLiteral("after how many minutes is a whole number from 1 to %1, not \"%2\".")
                              .arg(kMostMinutes)
                              .arg(cellText(tblSteps, row, AfterColumn));
        if (const QString why = EscalationRules::Problem(step, m_state.Ini.channels); !why.isEmpty())
            return name + why;
    }
    return QString();
}

bool EscalationPage::hasUnsavedEdits() const
{
    return typed() != m_shown;
}

void EscalationPage::showEvent(QShowEvent *event)
{
    if (!hasUnsavedEdits())
        fill(m_state.Ini.escalation);
    QWidget::showEvent(event);
}

void EscalationPage::onAdd()
{
    int highest = 0;
    for (int row = 0; row < tblSteps->rowCount(); ++row)
        highest = qMax(highest, cellText(tblSteps, row, NumberColumn).toInt());
    for (const EscalationStepSettings &step : std::as_const(m_state.Ini.escalation.steps))
        highest = qMax(highest, step.number);
    if (highest >= kMostSteps) {
        m_state.prompts().message(
            QStringLiteral("No step was added.  Steps are numbered up to %1.").arg(kMostSteps));
        return;
    }
    EscalationStepSettings step;
    step.number = highest + 1;
    addRow(step);
    tblSteps->setCurrentCell(tblSteps->rowCount() - 1, EmailColumn);
}

void EscalationPage::onRemove()
{
    const int row = tblSteps->currentRow();
    if (row >= 0)
        tblSteps->removeRow(row);
}

void EscalationPage::onSave()
{
    EscalationIniSettings escalation = typed();
    if (const QString problem = problemOf(escalation); !problem.isEmpty()) {
        m_state.prompts().message(QStringLiteral("The escalation was not saved.  ") + problem);
        return;
    }
    sortSteps(escalation.steps);
    // The steps the file held that are gone now.
    QList<int> dropped;
    for (const EscalationStepSettings &before : std::as_const(m_state.Ini.escalation.steps))
        if (std::none_of(escalation.steps.cbegin(), escalation.steps.cend(),
                         [&before](const EscalationStepSettings &s) { return s.number == before.number; }))
            dropped.append(before.number);
    IniFile ini(m_state);
    if (!ini.SaveEscalation(escalation, dropped)) {
        m_state.prompts().message(QStringLiteral("The escalation was not saved.  ") + ini.lastError());
        return;
    }
    m_state.Ini.escalation = escalation;
    fill(escalation);
}

#include "moc_EscalationPage.cpp"
