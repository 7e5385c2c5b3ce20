#pragma once

#include <db/Records.h>

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QStringList>

class Database;
class ProgramState;

// A read-only grid over one event table, newest first. refresh() reads how many rows the list
// holds; the rows themselves are read a page at a time as the view asks for them, and only a
// few pages are kept. Rows added after a refresh stay out of the grid until the next one.
class EventTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int PageSize = 200;
    static constexpr int KeptPages = 16;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Reads the size of the list again and forgets the pages read. When the list is the same
    // the view keeps its rows (and the selection); otherwise it is reset. False (and the
    // database's lastError) when the size could not be read; the grid then stays as it was.
    bool refresh();
    const EventExtent &extent() const { return m_extent; }
    // The number of page reads so far (for tests and benchmarks).
    int pageReads() const { return m_pageReads; }

protected:
    EventTableModel(ProgramState &state, Database &db, QStringList captions, QObject *parent);

    Database &database() const { return m_db; }
    virtual bool readExtent(EventExtent &extent) = 0;
    virtual bool pageRead(int page) const = 0;
    // Reads and keeps one page of the list (rows PageSize * page onwards, keys up to
    // extent().maxId); the page is kept empty when it could not be read.
    virtual bool readPage(int page) const = 0;
    virtual void forgetPages() = 0;
    // The text shown in a cell of a row whose page is read.
    virtual QString cellText(int row, int column) const = 0;
    // What the notification channels did with a row's record, one line each, shown with the
    // e-mail's outcome (column emailColumn) when the pointer rests on it; none by default.
    virtual QStringList notificationOutcomes(int) const { return {}; }
    int emailColumn = -1;
    // The channels' outcomes for a record (a database that cannot give them leaves them out).
    QStringList outcomesOf(const QString &table, qint64 recordId) const;

    // Reads the page holding row unless it was read (or failed) since the last refresh. The
    // first failure after a refresh is logged.
    void ensurePage(int row) const;

private:
    ProgramState &m_state;
    Database &m_db;
    QStringList m_captions;
    EventExtent m_extent;
    bool m_bound = false;
    mutable bool m_failureLogged = false;
    mutable int m_pageReads = 0;
};

// Pages of records kept by a model: at most KeptPages, the oldest read dropped first.
template <typename Record> class EventPages {
public:
    bool contains(int page) const { return m_pages.contains(page); }
    // Stores a page; its rows are empty when it could not be read.
    void store(int page, QList<Record> rows)
    {
        if (m_pages.size() >= EventTableModel::KeptPages && !m_order.isEmpty())
            m_pages.remove(m_order.takeFirst());
        m_pages.insert(page, std::move(rows));
        m_order.append(page);
    }
    // The record, or nullptr when its page holds no such row. Valid until the next store().
    const Record *at(int row) const
    {
        const auto it = m_pages.constFind(row / EventTableModel::PageSize);
        const int inPage = row % EventTableModel::PageSize;
        return it != m_pages.cend() && inPage < it->size() ? &it->at(inPage) : nullptr;
    }
    void clear()
    {
        m_pages.clear();
        m_order.clear();
    }

private:
    QHash<int, QList<Record>> m_pages;
    QList<int> m_order;
};

// dbgridAlarms: every sensor alarm, newest AlarmStart first, with who acknowledged it and when.
class AlarmTableModel final : public EventTableModel {
    Q_OBJECT
public:
    AlarmTableModel(ProgramState &state, Database &db, QObject *parent = nullptr);
    // The alarm in a row (0 = newest), read when needed; nullptr when it cannot be read.
    // Valid until the next read of the model.
    const AlarmRecord *alarmAt(int row) const;
    // Who acknowledged the alarm; "Never acknowledged" for one that ended unacknowledged.
    static QString AckByText(const AlarmRecord &alarm);

protected:
    bool readExtent(EventExtent &extent) override;
    bool pageRead(int page) const override { return m_pages.contains(page); }
    bool readPage(int page) const override;
    void forgetPages() override { m_pages.clear(); }
    QString cellText(int row, int column) const override;
    QStringList notificationOutcomes(int row) const override;

private:
    mutable EventPages<AlarmRecord> m_pages;
};

// dbgridDeviceAlarms: device failure episodes, newest OffLine first; either all of them or
// only those whose notice e-mail was attempted.
class ServerFailureTableModel final : public EventTableModel {
    Q_OBJECT
public:
    ServerFailureTableModel(ProgramState &state, Database &db, QObject *parent = nullptr);
    // Which episodes the next refresh lists.
    void setNotifiedOnly(bool notifiedOnly) { m_notifiedOnly = notifiedOnly; }
    bool notifiedOnly() const { return m_notifiedOnly; }

protected:
    bool readExtent(EventExtent &extent) override;
    bool pageRead(int page) const override { return m_pages.contains(page); }
    bool readPage(int page) const override;
    void forgetPages() override { m_pages.clear(); }
    QString cellText(int row, int column) const override;
    QStringList notificationOutcomes(int row) const override;

private:
    mutable EventPages<ServerFailureRecord> m_pages;
    bool m_notifiedOnly = true;
    bool m_extentNotifiedOnly = true; // the choice the current extent was read with
};

// dbgridSystemErrors: the program's error log, newest first.
class ErrorTableModel final : public EventTableModel {
    Q_OBJECT
public:
    ErrorTableModel(ProgramState &state, Database &db, QObject *parent = nullptr);

protected:
    bool readExtent(EventExtent &extent) override;
    bool pageRead(int page) const override { return m_pages.contains(page); }
    bool readPage(int page) const override;
    void forgetPages() override { m_pages.clear(); }
    QString cellText(int row, int column) const override;

private:
    mutable EventPages<ErrorRecord> m_pages;
};
