#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QStringList>

#include <array>

// The on-board log of a device, decoded. A download is a plain sequence of records: the clock
// (minutes to year, no seconds), 16-bit values high byte first, and a flags byte (bit 0 door 1
// closed, bit 1 door 2 closed, bit 2 power on). Family 3 below model 6 keeps 2 values in 11
// bytes, the family-3 model 6 keeps 4 in 15, family 5 keeps 8 in 23.
class DataLog {
public:
    // One record, compact: texts are made when shown.
    struct Record {
        int position = 0;   // 1-based place in the download
        qint64 sortKey = 0; // seconds from 1/1/2000 00:00:00; InvalidSortKey when the time is not valid
        std::array<qint16, 8> values{};
        quint8 flags = 0;
        bool valid = false;
    };
    static constexpr qint64 InvalidSortKey = 9999999999999;

    // The layout of the device's records; an identification without a decodable log gives an
    // empty log (recordSize 0).
    static DataLog forDevice(int modelFamily, int modelNumber, int firmwareRevision);

    // Decodes the whole records of a download and sorts them by time (invalid times last, then by
    // download position). Bytes after the last whole record are counted in leftoverBytes.
    void decode(const QByteArray &download);

    int recordSize() const { return m_recordSize; }
    int valueCount() const { return m_valueCount; }
    int leftoverBytes() const { return m_leftover; }
    const QList<Record> &records() const { return m_records; }

    // Column headings of the grid, the sort key last (unnamed).
    QStringList gridHeadings() const;
    // Headings of the exported file, without the sort key.
    QStringList exportHeadings() const;
    // The text of a record in a grid column (0 to the sort key's column).
    QString cellText(const Record &record, int column) const;
    int columnCount() const;
    int sortKeyColumn() const { return columnCount() - 1; }

    // A value as shown: " N\C" for 1000, "Open" for 999, "Short" for -999, else one decimal.
    QString valueText(qint16 raw) const;

private:
    int m_recordSize = 0;
    int m_valueCount = 0;
    bool m_tenths = false;          // values are in tenths
    bool m_internalSensors = false; // the Wexa 16 names its third and fourth values
    int m_leftover = 0;
    QList<Record> m_records;
};

// The grid of a decoded log: one row per record in time order, the sort key in the last column.
class DataLogModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setLog(DataLog log);
    void clear();
    const DataLog &log() const { return m_log; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    DataLog m_log;
};
