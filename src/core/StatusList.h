#pragma once

#include <QAbstractListModel>
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
    QStringList m_lines;
    QStringList m_keys;
};
