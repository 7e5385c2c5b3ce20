#include "StatusGridModel.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr const char *kHeadings[StatusGridModel::ColumnCount] = {"Device", "Sensor", "Reading",
                                                                 "Units",  "Status", "Sensor ID"};

bool validColumn(int column)
{
    return column >= 0 && column < StatusGridModel::ColumnCount;
}

} // namespace

QString StatusGridModel::heading(int column)
{
    return validColumn(column) ? QString::fromLatin1(kHeadings[column]) : QString();
}

QString StatusGridModel::statusText(SensorStatus status)
{
    switch (status) {
    case SensorStatus::Normal:
        return QStringLiteral("Normal");
    case SensorStatus::NoData:
        return QStringLiteral("NO DATA");
    case SensorStatus::Alarm:
        return QStringLiteral("ALARM");
    case SensorStatus::Unset:
        break;
    }
    return QString();
}

QColor StatusGridModel::statusColour(SensorStatus status)
{
    switch (status) {
    case SensorStatus::Normal:
        return QColor(0, 255, 0);
    case SensorStatus::NoData:
        return QColor(255, 255, 255);
    case SensorStatus::Alarm:
        return QColor(255, 0, 0);
    case SensorStatus::Unset:
        break;
    }
    return QColor();
}

StatusGridModel::StatusGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void StatusGridModel::ConfigureServerStatusGrid(int namedSensorCount)
{
    beginResetModel();
    m_rows = QList<Row>(qMax(0, namedSensorCount));
    m_currentRow = 0;
    m_rowOfSensor.clear();
    m_firstUnused = 0;
    endResetModel();
}

void StatusGridModel::MoveToFirstRow()
{
    m_currentRow = 0;
    ++m_cycle;
}

bool StatusGridModel::MoveToNextRow()
{
    if (m_currentRow + 1 >= m_rows.size())
        return false;
    ++m_currentRow;
    return true;
}

bool StatusGridModel::WriteSensorIdentity(const QString &deviceName, const QString &sensorName, int sensorId,
                                          const QString &unitText)
{
    if (m_rows.isEmpty())
        return false;
    m_currentRow = rowForSensor(sensorId);
    Row &row = m_rows[m_currentRow];
    row.cycle = m_cycle;
    QString *cells = row.cells;
    bool changed = writeCell(cells[DeviceColumn], deviceName);
    changed |= writeCell(cells[SensorColumn], sensorName);
    if (row.sensorId != sensorId) // the id cell holds the number the row keeps
        changed |= writeCell(cells[SensorIdColumn], QString::number(sensorId));
    row.sensorId = sensorId;
    changed |= writeCell(cells[UnitsColumn], unitText);
    if (changed)
        cellsChanged(DeviceColumn, SensorIdColumn);
    return true;
}

bool StatusGridModel::WriteReading(const QString &readingText)
{
    if (!hasCurrentRow())
        return false;
    if (writeCell(m_rows[m_currentRow].cells[ReadingColumn], readingText))
        cellsChanged(ReadingColumn, ReadingColumn);
    return true;
}

bool StatusGridModel::WriteStatus(SensorStatus status)
{
    if (!hasCurrentRow())
        return false;
    Row &row = m_rows[m_currentRow];
    const bool changed = row.status != status;
    row.status = status;
    row.cells[StatusColumn] = statusText(status);
    if (changed)
        cellsChanged(StatusColumn, StatusColumn);
    return true;
}

int StatusGridModel::rowForSensor(int sensorId)
{
    // A device's sensors hold rows one after another: the row the grid moved on to after the one
    // written last (or, where it did not move on, the row after it) is looked at before the
    // table of rows.
    for (const int row : {m_currentRow, m_currentRow + 1})
        if (row < m_rows.size() && m_rows.at(row).sensorId == sensorId)
            return row;
    const auto known = m_rowOfSensor.constFind(sensorId);
    if (known != m_rowOfSensor.constEnd())
        return *known;
    const int row = m_firstUnused < m_rows.size() ? m_firstUnused++ : int(m_rows.size()) - 1;
    // The last row changes hands when sensors outnumber the rows.
    if (const std::optional<int> holder = m_rows[row].sensorId)
        m_rowOfSensor.remove(*holder);
    m_rowOfSensor.insert(sensorId, row);
    return row;
}

QString StatusGridModel::cellText(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || !validColumn(column))
        return QString();
    return m_rows[row].cells[column];
}

StatusGridModel::SensorStatus StatusGridModel::status(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].status : SensorStatus::Unset;
}

bool StatusGridModel::evaluatedThisCycle(int row) const
{
    return row >= 0 && row < m_rows.size() && m_rows[row].cycle == m_cycle;
}

std::optional<int> StatusGridModel::sensorIdAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].sensorId : std::nullopt;
}

bool StatusGridModel::IsRowAlarming(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return false;
    return m_rows[row].sensorId.has_value() &&
           !cellText(row, StatusColumn).contains(QLatin1String("NORMAL"), Qt::CaseInsensitive);
}

bool StatusGridModel::AnyRowAlarming() const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (IsRowAlarming(row))
            return true;
    }
    return false;
}

int StatusGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int StatusGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant StatusGridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Row &row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return row.cells[index.column()];
    case Qt::BackgroundRole:
        if (index.column() == StatusColumn && row.status != SensorStatus::Unset)
            return statusColour(row.status);
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == ReadingColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        break;
    case Qt::ToolTipRole:
    case Qt::DecorationRole:
        if (index.column() == StatusColumn)
            return acknowledgementData(row, role);
        break;
    case EvaluatedThisCycleRole:
        return row.cycle == m_cycle;
    default:
        break;
    }
    return QVariant();
}

QVariant StatusGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && validColumn(section))
        return heading(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags StatusGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void StatusGridModel::SetAcknowledgement(int sensorId, const QString &note)
{
    if (m_acknowledged.value(sensorId) == note)
        return;
    if (note.isEmpty())
        m_acknowledged.remove(sensorId);
    else
        m_acknowledged.insert(sensorId, note);
    const int row = rowOfSensor(sensorId);
    if (row >= 0)
        emit dataChanged(index(row, StatusColumn), index(row, StatusColumn),
                         {Qt::ToolTipRole, Qt::DecorationRole});
}

QVariant StatusGridModel::acknowledgementData(const Row &row, int role) const
{
    const QString note = row.sensorId ? m_acknowledged.value(*row.sensorId) : QString();
    if (note.isEmpty())
        return QVariant();
    if (role == Qt::ToolTipRole)
        return note;
    // Only a window draws the mark; a program without one never asks for it.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QVariant();
    static const QPixmap mark = [] {
        QPixmap pixmap(14, 14);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(0.5, 0.5, 13, 13));
        painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF({QPointF(3.5, 7.5), QPointF(6, 10), QPointF(10.5, 4)}));
        return pixmap;
    }();
    return mark;
}

bool StatusGridModel::writeCell(QString &cell, const QString &text)
{
    if (cell == text)
        return false;
    cell = text;
    return true;
}

void StatusGridModel::cellsChanged(int firstColumn, int lastColumn)
{
    emit dataChanged(index(m_currentRow, firstColumn), index(m_currentRow, lastColumn));
}

#include "moc_StatusGridModel.cpp"
