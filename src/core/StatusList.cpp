#include "StatusList.h"

void StatusList::UpdateStatus(const QString &key, const QString &value)
{
    const bool remove = value.toLower() == QLatin1String("delete");
    for (int row = 0; row < m_lines.size(); ++row) {
        if (!m_lines[row].contains(key))
            continue;
        if (remove) {
            beginRemoveRows(QModelIndex(), row, row);
            m_lines.removeAt(row);
            m_keys.removeAt(row);
            endRemoveRows();
        } else {
            m_lines[row] = key + value;
            m_keys[row] = key;
            emit dataChanged(index(row), index(row));
        }
        return;
    }
    if (remove)
        return;
    beginInsertRows(QModelIndex(), int(m_lines.size()), int(m_lines.size()));
    m_lines.append(key + value);
    m_keys.append(key);
    endInsertRows();
}

void StatusList::clear()
{
    beginResetModel();
    m_lines.clear();
    m_keys.clear();
    endResetModel();
}

bool StatusList::contains(const QString &text) const
{
    for (const QString &line : m_lines)
        if (line.contains(text))
            return true;
    return false;
}

int StatusList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant StatusList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size() || role != Qt::DisplayRole)
        return {};
    return m_lines[index.row()];
}
