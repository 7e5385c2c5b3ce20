#include "PrinterList.h"

#include <QPrinterInfo>
#include <QSignalBlocker>

const QString PrinterList::NoPrintersText = QStringLiteral("No printers are installed on this computer");

PrinterList::PrinterList(QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("lstPrinters"));
    connect(this, &QListWidget::itemChanged, this, &PrinterList::onItemChanged);
    // A click on the name checks the entry as well as a click on its box.
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (item->flags() & Qt::ItemIsUserCheckable)
            item->setCheckState(Qt::Checked);
    });
}

QStringList PrinterList::SystemPrinterNames()
{
    return QPrinterInfo::availablePrinterNames();
}

void PrinterList::setPrinters(const QStringList &names)
{
    const QSignalBlocker blocker(this);
    clear();
    m_names = names;
    if (names.isEmpty()) {
        auto *none = new QListWidgetItem(NoPrintersText, this);
        none->setFlags(Qt::ItemIsEnabled);
        return;
    }
    for (const QString &name : names) {
        auto *entry = new QListWidgetItem(name, this);
        entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        entry->setCheckState(Qt::Unchecked);
    }
}

bool PrinterList::checkPrinter(const QString &name)
{
    const int index = int(m_names.indexOf(name));
    if (index < 0)
        return false;
    const QSignalBlocker blocker(this);
    checkOnly(index);
    return true;
}

void PrinterList::onItemChanged(QListWidgetItem *item)
{
    if (m_updating || item->checkState() != Qt::Checked || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    const int index = row(item);
    checkOnly(index);
    emit printerChosen(index, m_names.value(index));
}

void PrinterList::checkOnly(int index)
{
    m_updating = true;
    for (int i = 0; i < count(); ++i)
        item(i)->setCheckState(i == index ? Qt::Checked : Qt::Unchecked);
    setCurrentRow(index);
    m_updating = false;
}

#include "moc_PrinterList.cpp"
