// tallyport-sim: runs the simulated devices of a scenario file until stopped.
#include "Simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <csignal>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

void showTraffic(Simulator &simulator)
{
    for (SimDevice *device : simulator.devices()) {
        const QString name = simulator.deviceName(device);
        QObject::connect(device, &SimDevice::commandReceived, device, [name](const QByteArray &command) {
            out() << name << " <- " << hex(command.left(12)) << (command.size() > 12 ? " ..." : "")
                  << Qt::endl;
        });
        QObject::connect(device, &SimDevice::replySent, device, [name](const QByteArray &reply) {
            out() << name << " -> " << reply.size() << " bytes " << hex(reply.left(12)) << Qt::endl;
        });
        QObject::connect(device, &SimDevice::alarmChanged, device, [name, device](int port, bool inAlarm) {
            out() << name << " port " << port << " (" << device->sensorName(port) << ") "
                  << (inAlarm ? "in alarm" : "back to normal") << Qt::endl;
        });
    }
}

void listDevices(const Simulator &simulator)
{
    for (SimDevice *device : simulator.devices()) {
        out() << simulator.deviceName(device) << " at " << device->address().toString() << ": "
              << device->modelText() << " (" << device->family() << "." << device->model() << "."
              << device->firmware() << ")" << Qt::endl;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallyport-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYPORT_SIM_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated monitoring devices for Tallyport. Each device of the scenario listens on "
                       "its address (loopback addresses 127.0.0.x need no set-up on Linux) and answers "
                       "like the chosen model, until the program is stopped (Ctrl+C or SIGTERM) or "
                       "--duration has passed.\n\n") +
        Simulator::scenarioHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("scenario"), QStringLiteral("The scenario file (JSON)."));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Simulated seconds per real second (overrides timeScale)."),
                                   QStringLiteral("factor"));
    const QCommandLineOption duration(QStringLiteral("duration"),
                                      QStringLiteral("Stop after this many real seconds."),
                                      QStringLiteral("seconds"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Print every command, reply and alarm change."));
    const QCommandLineOption check(QStringLiteral("check"),
                                   QStringLiteral("Check the scenario, list its devices and exit."));
    const QCommandLineOption table(
        QStringLiteral("sensor-table"),
        QStringLiteral("Print the named sensors as tab-separated lines and exit."));
    parser.addOptions({speed, duration, verbose, check, table});
    parser.process(app);

    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 1) {
        err() << "tallyport-sim: give one scenario file (see --help)" << Qt::endl;
        return 2;
    }
    Simulator simulator;
    if (!simulator.loadFile(arguments.first())) {
        err() << "tallyport-sim: " << simulator.errorString() << Qt::endl;
        return 1;
    }
    if (parser.isSet(table)) {
        out() << simulator.sensorTable();
        return 0;
    }
    if (parser.isSet(check)) {
        listDevices(simulator);
        return 0;
    }
    if (parser.isSet(speed)) {
        bool ok = false;
        const double factor = parser.value(speed).toDouble(&ok);
        if (!ok || factor < 0) {
            err() << "tallyport-sim: --speed needs a number of 0 or more" << Qt::endl;
            return 2;
        }
        simulator.setTimeScale(factor);
    }
    int stopAfterMs = -1;
    if (parser.isSet(duration)) {
        bool ok = false;
        const double seconds = parser.value(duration).toDouble(&ok);
        if (!ok || seconds <= 0 || seconds > 2e6) {
            err() << "tallyport-sim: --duration needs a number of seconds above 0" << Qt::endl;
            return 2;
        }
        stopAfterMs = int(seconds * 1000);
    }

    QObject::connect(&simulator, &Simulator::message, &simulator,
                     [](const QString &text) { out() << text << Qt::endl; });
    if (parser.isSet(verbose))
        showTraffic(simulator);
    if (!simulator.start()) {
        err() << "tallyport-sim: " << simulator.errorString() << Qt::endl;
        return 1;
    }
    listDevices(simulator);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    QTimer signalWatch;
    QObject::connect(&signalWatch, &QTimer::timeout, &app, [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    signalWatch.start(200);
    if (stopAfterMs > 0)
        QTimer::singleShot(stopAfterMs, &app, &QCoreApplication::quit);

    const int result = app.exec();
    simulator.stop();
    out() << "tallyport-sim: stopped" << Qt::endl;
    return result;
}
