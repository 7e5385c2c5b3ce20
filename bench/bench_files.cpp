// Time to write one reading of one sensor into one directory: header check, hourly statistics
// and the instantaneous reading. Usage: bench_files [sensors] [cycles]
#include "BenchPrompts.h"

#include <acquisition/SensorDataFiles.h>
#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int sensors = args.size() > 1 ? args[1].toInt() : 200;
    const int cycles = args.size() > 2 ? args[2].toInt() : 120;

    QTemporaryDir dir;
    ManualClock clock(QDateTime(QDate(2026, 3, 31), QTime(23, 0)));
    SilentPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(dir.path(), clock, prompts, errors, status);

    QElapsedTimer timer;
    timer.start();
    int failures = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        for (int id = 1; id <= sensors; ++id) {
            const float reading = 60.0f + float((id * 7 + cycle) % 30);
            if (!SaveSensorReadingFiles(state, dir.path(), id, QStringLiteral("Sensor %1").arg(id),
                                        QStringLiteral("Device %1").arg(id / 10), QStringLiteral("%RH"),
                                        reading))
                ++failures;
        }
        clock.advanceSeconds(60); // one cycle a minute: crosses hours and the month
    }
    const qint64 ns = timer.nsecsElapsed();
    const double perWrite = double(ns) / 1000.0 / (double(sensors) * cycles);

    QTextStream out(stdout);
    out << "sensors " << sensors << ", cycles " << cycles << ", failures " << failures << "\n";
    out << "per sensor reading (header check + statistics + instantaneous): "
        << QString::number(perWrite, 'f', 1) << " us\n";
    out << "per cycle of " << sensors
        << " sensors, one directory: " << QString::number(perWrite * sensors / 1000.0, 'f', 2) << " ms\n";
    return failures == 0 ? 0 : 1;
}
