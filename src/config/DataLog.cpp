#include "DataLog.h"

#include "DeviceClock.h"
#include "DeviceModels.h"

#include <editors/FieldText.h>
#include <link/PageValues.h>

#include <algorithm>

#include <core/DateTimeText.h>

namespace {
constexpr int ClockBytes = 6;

// The device's clock keeps wall time: counted without time zone, so no daylight-saving change
// moves a record.
const QDateTime Epoch(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);

qint64 sortKeyOf(const QDate &date, const QTime &time)
{
    return Epoch.secsTo(QDateTime(date, time, Qt::UTC));
}

QString timeTextOf(qint64 sortKey)
{
    const QDateTime wall = Epoch.addSecs(sortKey);
    return DateTimeText(wall.date(), wall.time());
}
} // namespace

DataLog DataLog::forDevice(int modelFamily, int modelNumber, int firmwareRevision)
{
    DataLog log;
    log.m_recordSize = LogRecordSize(modelFamily, modelNumber, firmwareRevision);
    log.m_valueCount = log.m_recordSize > 0 ? (log.m_recordSize - ClockBytes - 1) / 2 : 0;
    log.m_tenths = modelFamily == 5 || (modelFamily == 3 && firmwareRevision > 4);
    log.m_internalSensors = log.m_valueCount == 4;
    return log;
}

void DataLog::decode(const QByteArray &download)
{
    m_records.clear();
    m_leftover = 0;
    if (m_recordSize <= 0)
        return;
    const qsizetype count = download.size() / m_recordSize;
    m_leftover = int(download.size() % m_recordSize);
    m_records.reserve(count);
    for (qsizetype k = 0; k < count; ++k) {
        const QByteArray bytes = download.mid(k * m_recordSize, m_recordSize);
        Record record;
        record.position = int(k + 1);
        const ClockReading time = DecodeClock(bytes, 1);
        record.valid = time.valid;
        record.sortKey = time.valid ? sortKeyOf(time.date, time.time) : InvalidSortKey;
        for (int v = 0; v < m_valueCount; ++v)
            record.values[v] = qint16(PageInt16(bytes, ClockBytes + 2 * v).value_or(0));
        record.flags = quint8(PageByte(bytes, m_recordSize - 1).value_or(0));
        m_records.append(record);
    }
    std::stable_sort(m_records.begin(), m_records.end(),
                     [](const Record &a, const Record &b) { return a.sortKey < b.sortKey; });
}

QStringList DataLog::gridHeadings() const
{
    if (m_recordSize <= 0)
        return {};
    QStringList headings{QStringLiteral("Record #"), QStringLiteral("Date/Time")};
    for (int v = 0; v < m_valueCount; ++v)
        headings.append(QStringLiteral("Sensor %1").arg(v + 1));
    if (m_internalSensors) {
        headings[4] = QStringLiteral("Internal Temp");
        headings[5] = QStringLiteral("Humidity %RH");
    }
    headings << QStringLiteral("Door 1") << QStringLiteral("Door 2") << QStringLiteral("Power") << QString();
    return headings;
}

QStringList DataLog::exportHeadings() const
{
    QStringList headings = gridHeadings();
    if (headings.isEmpty())
        return headings;
    headings.removeLast();
    headings[0] = QStringLiteral("Record Number");
    if (m_internalSensors) {
        headings[4] = QStringLiteral("Internal Temperature");
        headings[5] = QStringLiteral("Internal Humidity %RH");
    }
    return headings;
}

int DataLog::columnCount() const
{
    return m_recordSize > 0 ? 2 + m_valueCount + 3 + 1 : 0;
}

QString DataLog::valueText(qint16 raw) const
{
    const double value = m_tenths ? raw / 10.0 : double(raw);
    if (value == 1000)
        return QStringLiteral(" N\\C");
    if (value == 999)
        return QStringLiteral("Open");
    if (value == -999)
        return QStringLiteral("Short");
    return OneDecimalText(value);
}

QString DataLog::cellText(const Record &record, int column) const
{
    if (column == 0)
        return QString::number(record.position);
    if (column == sortKeyColumn())
        return QString::number(record.sortKey);
    if (!record.valid)
        return column == 1 ? QStringLiteral("Invalid Date/Time format") : QString();
    if (column == 1)
        return timeTextOf(record.sortKey);
    const int value = column - 2;
    if (value < m_valueCount)
        return valueText(record.values[value]);
    switch (value - m_valueCount) {
    case 0:
        return (record.flags & 1) ? QStringLiteral("Closed") : QStringLiteral("Open");
    case 1:
        return (record.flags & 2) ? QStringLiteral("Closed") : QStringLiteral("Open");
    default:
        return (record.flags & 4) ? QStringLiteral("On") : QStringLiteral("Off");
    }
}

void DataLogModel::setLog(DataLog log)
{
    beginResetModel();
    m_log = std::move(log);
    endResetModel();
}

void DataLogModel::clear()
{
    setLog(DataLog());
}

int DataLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_log.records().size());
}

int DataLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_log.columnCount();
}

QVariant DataLogModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return QVariant();
    return m_log.cellText(m_log.records().at(index.row()), index.column());
}

QVariant DataLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    const QStringList headings = m_log.gridHeadings();
    return section >= 0 && section < headings.size() ? QVariant(headings.at(section)) : QVariant();
}

#include "moc_DataLog.cpp"
