#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <QString>

// The live status grid: one row per named sensor with device, sensor, reading, units, status and
// sensor id. The alarm evaluation writes it through the current-row cursor during each poll
// cycle; the main window views it (gridServerStatus), and the alarm announcement and the trending
// chart read it. Model rows are the sensor rows; the headings are the horizontal header.
class StatusGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        DeviceColumn,
        SensorColumn,
        ReadingColumn,
        UnitsColumn,
        StatusColumn,
        SensorIdColumn,
        ColumnCount
    };

    // What the status cell shows: nothing yet, "Normal" on green, "NO DATA" on white, "ALARM" on red.
    enum class SensorStatus { Unset, Normal, NoData, Alarm };

    static QString heading(int column);
    // Column widths as laid out, in twips (1/1440 inch) and in pixels for a screen resolution.
    static int columnWidthTwips(int column);
    static int columnWidthPixels(int column, qreal dotsPerInch);
    static QString statusText(SensorStatus status);
    static QColor statusColour(SensorStatus status);

    explicit StatusGridModel(QObject *parent = nullptr);

    // Clears the grid and lays out one empty row per named sensor (none for 0 or less), with the
    // cursor on the first row. Run by every activation sequence.
    void ConfigureServerStatusGrid(int namedSensorCount);

    // The row the next sensor is written to.
    int currentRow() const { return m_currentRow; }
    // Every poll cycle starts writing at the first row.
    void MoveToFirstRow();
    // Moves on after a sensor's row was written, but only onto a row that exists: sensors beyond
    // the laid-out rows (added since the last activation) overwrite the last row. Returns whether
    // the cursor moved.
    bool MoveToNextRow();

    // Writers into the current row. With no rows laid out there is nowhere to show a sensor; the
    // write is dropped and false returned (the sensor's files and alarms are unaffected).
    // Columns 0, 1, 5 and 3: who the sensor is and its unit.
    bool WriteSensorIdentity(const QString &deviceName, const QString &sensorName, int sensorId,
                             const QString &unitText);
    // Column 2: the reading or state text.
    bool WriteReading(const QString &readingText);
    // Column 4: the status text and its colour.
    bool WriteStatus(SensorStatus status);

    // Readers for the alarm announcement and the trending chart.
    QString cellText(int row, int column) const;
    SensorStatus status(int row) const;
    // A row is alarming when its status text is not "Normal" (any case) and it carries a numeric
    // sensor id: rows showing "ALARM" and "NO DATA" both count; rows never written do not.
    bool IsRowAlarming(int row) const;
    bool AnyRowAlarming() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Row {
        QString cells[ColumnCount];
        SensorStatus status = SensorStatus::Unset;
    };

    bool hasCurrentRow() const { return m_currentRow < m_rows.size(); }
    void cellsChanged(int firstColumn, int lastColumn);

    QList<Row> m_rows;
    int m_currentRow = 0;
};
