#include "StatusList.h"

#include <algorithm>

namespace {
// Remembered keys at most; past it they are looked for afresh.
constexpr int kMaxRememberedKeys = 20000;
} // namespace

void StatusList::UpdateStatus(const QString &key, const QString &value)
{
    // Compared without making a lowered copy: this runs several times for every device.
    const bool remove = value.compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0;
    const int row = firstRowWith(key);
    if (row >= 0 && remove) {
        beginRemoveRows(QModelIndex(), row, row);
        m_lines.removeAt(row);
        m_keys.removeAt(row);
        lineRemoved(row);
        endRemoveRows();
    } else if (row >= 0) {
        const QString text = key + value;
        if (m_lines[row] != text)
            lineWritten(row, m_lines[row], text);
        m_lines[row] = text;
        m_keys[row] = key;
        // Told even when unchanged: the headless program's printer repeats a quiet line.
        emit dataChanged(index(row), index(row));
    } else if (!remove) {
        const int end = int(m_lines.size());
        beginInsertRows(QModelIndex(), end, end);
        m_lines.append(key + value);
        m_keys.append(key);
        lineWritten(end, QString(), m_lines.last());
        endInsertRows();
    }
}

int StatusList::firstRowWith(const QString &key)
{
    const auto known = m_firstRow.constFind(key);
    if (known != m_firstRow.constEnd())
        return *known;
    int first = -1;
    for (int row = 0; row < m_lines.size() && first < 0; ++row)
        if (m_lines[row].contains(key))
            first = row;
    if (m_firstRow.size() >= kMaxRememberedKeys) {
        m_firstRow.clear();
        m_keysByLength.clear();
    }
    remember(key, first);
    return first;
}

void StatusList::remember(const QString &key, int row)
{
    m_firstRow.insert(key, row);
    m_keysByLength[key.size()].insert(key);
}

void StatusList::forget(const QString &key)
{
    m_firstRow.remove(key);
    const auto bucket = m_keysByLength.find(key.size());
    bucket->remove(key);
    if (bucket->isEmpty())
        m_keysByLength.erase(bucket);
}

void StatusList::lineWritten(int row, const QString &before, const QString &text)
{
    // Only keys no longer than the line was or is can have been or be in it. A key found earlier
    // keeps its row; one found later or nowhere may now be here; one that was found here and is
    // no longer in it is looked for again when next asked.
    const qsizetype longest = std::max(before.size(), text.size());
    QStringList gone;
    for (auto bucket = m_keysByLength.cbegin(); bucket != m_keysByLength.cend() && bucket.key() <= longest;
         ++bucket) {
        for (const QString &key : *bucket) {
            int &first = m_firstRow[key];
            if (first >= 0 && first < row)
                continue;
            if (text.contains(key))
                first = row;
            else if (first == row)
                gone.append(key);
        }
    }
    for (const QString &key : std::as_const(gone))
        forget(key);
}

void StatusList::lineRemoved(int row)
{
    QStringList gone;
    for (auto it = m_firstRow.begin(); it != m_firstRow.end(); ++it) {
        if (*it == row)
            gone.append(it.key());
        else if (*it > row)
            --*it;
    }
    for (const QString &key : std::as_const(gone))
        forget(key);
}

void StatusList::clear()
{
    beginResetModel();
    m_lines.clear();
    m_keys.clear();
    m_firstRow.clear();
    m_keysByLength.clear();
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

#include "moc_StatusList.cpp"
