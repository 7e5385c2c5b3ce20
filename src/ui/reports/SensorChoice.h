#pragma once

#include <QList>
#include <QTreeWidget>

class Database;

// tvwSensors: every device with its named sensors, each with a check box; a device's box
// checks or clears all its sensors. Everything is checked at first.
class SensorChoice final : public QTreeWidget {
    Q_OBJECT
public:
    explicit SensorChoice(QWidget *parent = nullptr);

    // Lists the devices and sensors of the database; false with the cause when it cannot be read.
    bool load(Database &db, QString &error);
    void checkAll(bool checked);

    // The checked sensors; empty when every sensor is checked (the report then also covers
    // sensors no longer in the list).
    QList<qint64> chosenSensors() const;
    bool anyChosen() const;
    int sensorCount() const { return m_sensors; }

private:
    int m_sensors = 0;
};
