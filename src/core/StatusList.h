#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>

// The main window's status list: keyed lines of text. UpdateStatus is its only writer.
class StatusList final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // The first line that contains key (exact substring) is replaced by key + value, or removed
    // when value is "delete" (any case); with no such line, key + value is appended.
    void UpdateStatus(const QString &key, const QString &value);
    void clear();

    const QStringList &lines() const { return m_lines; }
    // The key the row was last written under.
    QString keyAt(int row) const { return m_keys.value(row); }
    bool contains(const QString &text) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    // The first row whose line contains key, -1 when none.
    int firstRowWith(const QString &key);
    // Keep the remembered first rows true as lines change.
    void lineWritten(int row, const QString &before, const QString &text);
    void lineRemoved(int row);
    void remember(const QString &key, int row);
    void forget(const QString &key);

    QStringList m_lines;
    QStringList m_keys;
    // Keys looked for before and the first row containing each (-1: none), kept exact as lines
    // change, so a cycle's thousands of device lines are found without reading every line each
    // time. A line that changes is compared once with the remembered keys no longer than it (a
    // connection line with the few short keys, not every device's).
    QHash<QString, int> m_firstRow;
    QMap<qsizetype, QSet<QString>> m_keysByLength;
};
