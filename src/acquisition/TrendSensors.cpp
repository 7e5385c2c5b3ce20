#include "TrendSensors.h"

#include "SensorDataFiles.h"

#include <db/Database.h>
#include <db/Records.h>

QList<TrendSensor> ChartedSensors(Database &database, const QString &directory)
{
    QList<TrendSensor> charted;
    QList<ServerRecord> devices;
    int deviceCount = 0;
    if (!database.RecordServers(devices, deviceCount))
        return charted;
    for (const ServerRecord &device : devices) {
        if (!device.isEnabled())
            continue;
        QList<SensorRecord> sensors;
        int sensorCount = 0;
        database.RecordSensors(device.IDNum, sensors, sensorCount);
        for (const SensorRecord &sensor : sensors) {
            SensorHeaderRecord header;
            if (!ReadSensorHeader(SensorHeaderPath(directory, int(sensor.IDNum)), header) ||
                !TrendData::IsChartedUnit(header.unitText))
                continue;
            charted.append(
                {QString::number(sensor.IDNum), sensor.SensorName, device.ServerName, header.unitText});
        }
    }
    return charted;
}
