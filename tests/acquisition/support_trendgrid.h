#pragma once

#include <QAbstractTableModel>
#include <QStringList>

// A status grid stand-in for the trend tests: six text columns (Device, Sensor, Reading, Units,
// Status, Sensor ID), one row per sensor.
class TrendGrid final : public QAbstractTableModel {
public:
    // One row per unit text, every reading `reading`.
    void setUnits(const QStringList &units, const QString &reading = QStringLiteral("70.0"))
    {
        beginResetModel();
        m_rows.clear();
        for (int r = 0; r < units.size(); ++r)
            m_rows.append({QStringLiteral("Server"), QStringLiteral("Sensor %1").arg(r + 1), reading,
                           units[r], QStringLiteral("Normal"), QString::number(r + 1)});
        endResetModel();
    }
    void setCell(int row, int column, const QString &text)
    {
        m_rows[row][column] = text;
        emit dataChanged(index(row, column), index(row, column));
    }
    void removeLastRow()
    {
        beginRemoveRows({}, int(m_rows.size()) - 1, int(m_rows.size()) - 1);
        m_rows.removeLast();
        endRemoveRows();
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 6; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return m_rows[index.row()][index.column()];
    }

private:
    QList<QStringList> m_rows;
};
