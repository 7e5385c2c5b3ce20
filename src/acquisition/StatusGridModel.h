#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

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

    // data() of this role is true for a row written since the current cycle began (its sensor
    // was evaluated in this cycle), false for a row that shows an earlier cycle.
    static constexpr int EvaluatedThisCycleRole = Qt::UserRole + 1;

    static QString heading(int column);
    static QString statusText(SensorStatus status);
    static QColor statusColour(SensorStatus status);

    explicit StatusGridModel(QObject *parent = nullptr);

    // Clears the grid and lays out one empty row per named sensor (none for 0 or less), with the
    // cursor on the first row. Run by every activation sequence.
    void ConfigureServerStatusGrid(int namedSensorCount);

    // The row the next sensor is written to.
    int currentRow() const { return m_currentRow; }
    // Every poll cycle starts writing at the first row; a new cycle begins.
    void MoveToFirstRow();
    // Moves on after a sensor's row was written, but only onto a row that exists. Returns whether
    // the cursor moved.
    bool MoveToNextRow();

    // Writers into the current row. With no rows laid out there is nowhere to show a sensor; the
    // write is dropped and false returned (the sensor's files and alarms are unaffected).
    // Columns 0, 1, 5 and 3: who the sensor is and its unit. It first makes the sensor's own row
    // current: the row that showed the sensor before, else the first row no sensor has used,
    // else the last row (sensors added since the grid was laid out overwrite it). So a sensor
    // keeps its row when sensors before it are not evaluated in a cycle (a busy device).
    bool WriteSensorIdentity(const QString &deviceName, const QString &sensorName, int sensorId,
                             const QString &unitText);
    // Column 2: the reading or state text.
    bool WriteReading(const QString &readingText);
    // Column 4: the status text and its colour.
    bool WriteStatus(SensorStatus status);

    // A sensor's open alarm has been taken by someone: the note (who and when) is the status cell's
    // tool tip, and the cell shows a small mark beside its text; texts and colours stay. An empty
    // note clears it (the alarm ended). Kept by sensor, across layouts of the grid.
    void SetAcknowledgement(int sensorId, const QString &note);
    // The note of the sensor's acknowledged alarm; empty while it has none.
    QString acknowledgement(int sensorId) const { return m_acknowledged.value(sensorId); }

    // Readers for the alarm announcement and the trending chart.
    QString cellText(int row, int column) const;
    SensorStatus status(int row) const;
    // Whether the row was written since the current cycle began.
    bool evaluatedThisCycle(int row) const;
    // The sensor the row shows (the number of its id cell); empty for a row no sensor has been
    // written to yet.
    std::optional<int> sensorIdAt(int row) const;
    // The row that shows a sensor; -1 when no row does.
    int rowOfSensor(int sensorId) const { return m_rowOfSensor.value(sensorId, -1); }
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
        std::optional<int> sensorId; // the number in the id cell, read without parsing it
        SensorStatus status = SensorStatus::Unset;
        quint64 cycle = 0; // the cycle that last wrote the row; 0: never written
    };

    bool hasCurrentRow() const { return m_currentRow < m_rows.size(); }
    QVariant acknowledgementData(const Row &row, int role) const;
    int rowForSensor(int sensorId);
    // Sets a cell; true when its text changed. Views hear only of cells that changed: most
    // readings of a cycle repeat the last one, and thousands of rows are written every cycle.
    static bool writeCell(QString &cell, const QString &text);
    void cellsChanged(int firstColumn, int lastColumn);

    QList<Row> m_rows;
    int m_currentRow = 0;
    quint64 m_cycle = 1;
    // Which row shows which sensor, and the first row no sensor has used yet.
    QHash<int, int> m_rowOfSensor;
    int m_firstUnused = 0;
    QHash<int, QString> m_acknowledged; // by sensor id
};
