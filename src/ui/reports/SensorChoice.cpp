#include "SensorChoice.h"

#include <db/Database.h>

#include <QHeaderView>

namespace {
constexpr int kIdRole = Qt::UserRole;

QList<QTreeWidgetItem *> sensorItems(const QTreeWidget &tree)
{
    QList<QTreeWidgetItem *> items;
    for (int d = 0; d < tree.topLevelItemCount(); ++d)
        for (int s = 0; s < tree.topLevelItem(d)->childCount(); ++s)
            items.append(tree.topLevelItem(d)->child(s));
    return items;
}
} // namespace

SensorChoice::SensorChoice(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("tvwSensors"));
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
}

bool SensorChoice::load(Database &db, QString &error)
{
    clear();
    m_sensors = 0;
    QList<ServerRecord> devices;
    int count = 0;
    if (!db.RecordServers(devices, count)) {
        error = db.lastError();
        return false;
    }
    for (const ServerRecord &device : devices) {
        QList<SensorRecord> sensors;
        int sensorCount = 0;
        // A device without named sensors has nothing to report.
        if (!db.RecordSensors(device.IDNum, sensors, sensorCount) || sensors.isEmpty())
            continue;
        auto *deviceItem = new QTreeWidgetItem(this, {device.ServerName});
        deviceItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
        for (const SensorRecord &sensor : sensors) {
            auto *item = new QTreeWidgetItem(deviceItem, {sensor.SensorName});
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setData(0, kIdRole, sensor.IDNum);
            item->setCheckState(0, Qt::Checked);
            ++m_sensors;
        }
    }
    expandAll();
    return true;
}

void SensorChoice::checkAll(bool checked)
{
    for (QTreeWidgetItem *item : sensorItems(*this))
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

QList<qint64> SensorChoice::chosenSensors() const
{
    QList<qint64> ids;
    const QList<QTreeWidgetItem *> items = sensorItems(*this);
    for (const QTreeWidgetItem *item : items)
        if (item->checkState(0) == Qt::Checked)
            ids.append(item->data(0, kIdRole).toLongLong());
    if (ids.size() == items.size())
        return {};
    return ids;
}

bool SensorChoice::anyChosen() const
{
    const QList<QTreeWidgetItem *> items = sensorItems(*this);
    for (const QTreeWidgetItem *item : items)
        if (item->checkState(0) == Qt::Checked)
            return true;
    // With no sensors in the list at all the report still covers what the files hold.
    return items.isEmpty();
}

#include "moc_SensorChoice.cpp"
