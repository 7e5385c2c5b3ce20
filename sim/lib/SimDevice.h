#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>

#include <array>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QTimer;
struct SimModel;

// What a device port carries. The kind of each port follows from the device's model.
enum class SimSensorKind { None, Temperature, Humidity, Door, Water, Power, DryContact, Analog };

// A simulated sensor on one port. Values are in the device's units: degrees (in `unit`),
// percent relative humidity, an analog quantity, or a state (0/1) for door, water, power and
// dry-contact inputs. The value swings slowly around `base`:
//   base + drift * sin(2 pi t / period) + random jitter within +/- noise.
// A state input is 1 while that sum is 0.5 or more, else 0.
struct SimSensor {
    double base = 0;
    double drift = 0;
    double periodMinutes = 10;
    double noise = 0;
    char unit = 'F';         // unit of base and drift for temperature inputs, 'F' or 'C'
    bool connected = true;   // false: the port reports "not connected" (1000)
    double phaseMinutes = 0; // shifts the swing, so sensors of one device differ
};

// Network faults a device can show on request.
enum class SimFault {
    None,
    Busy,          // answers B5 5E B5 5E + NULs (on a phone call); the command is not executed
    Silent,        // accepts the connection and the command, never answers; not executed
    Refused,       // not listening: connections are refused (a count does not apply)
    Slow,          // the correct reply after FaultOptions::slowDelayMs
    Dribble,       // the correct reply one byte per FaultOptions::dribbleIntervalMs
    ShortReply,    // the first FaultOptions::shortLength bytes of the correct reply, then nothing
    OverlongReply, // the correct reply padded to FaultOptions::overlongLength bytes (echo kept)
    Garbage,       // 60 random bytes that do not echo the command; not executed
    ErrorText,     // echo of the command code, then "ERROR"; not executed
    WrongEcho,     // the correct reply with its first byte changed
    ResetMidReply, // FaultOptions::resetAfterBytes bytes of the reply, then the connection is reset
};

struct SimFaultOptions {
    int slowDelayMs = 1500;
    int dribbleIntervalMs = 250;
    int shortLength = 30;
    int overlongLength = 80;
    int resetAfterBytes = 20;
    // The log download in two pieces: the first logPieceBytes bytes, the rest logPieceDelayMs
    // later, then the connection closes. 0: the whole log at once.
    int logPieceBytes = 0;
    int logPieceDelayMs = 300;
};

// One simulated monitoring device listening on TCP. It answers each 60-byte command on a
// connection (normally one per connection) like a device of the chosen family, model number and
// firmware revision: identify, readings, read and store of 16 user pages of 60 bytes, factory
// defaults, clock read and store, log download, and the busy reply.
//
// Simulated time drives the sensors: drift, minutes out of limits and the alarm byte (judged
// against the limits, time-out-of-limits and sensor names kept in the device's own pages: a port
// whose name is blank is disabled and never alarms), and log records at the stored update rate.
// By default time stands still and moves only through advance(); setTimeScale() makes it run.
//
// Everything runs on the thread that owns the object, through its event loop.
class SimDevice : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 10001;
    static constexpr int PageCount = 16;
    static constexpr int PageSize = 60;
    static constexpr int CommandSize = 60;
    static constexpr int PortCount = 10;
    // The clock reply counts log records in 16 bits: the log keeps at most this many.
    static constexpr int MaxLogRecords = 65535;

    SimDevice(int family, int model, int firmware, QObject *parent = nullptr);
    ~SimDevice() override;

    // ---- Network ----
    // Listens on address:port. False, with errorString(), when that is impossible. While the
    // Refused fault is set the device does not listen, and start() still returns true.
    bool start(const QHostAddress &address, quint16 port = DefaultPort);
    bool start(const QString &address, quint16 port = DefaultPort);
    // Listens on the address and port given last (to setAddress() or start()).
    bool start();
    // Where start() listens; the configuration page's address text takes it when blank.
    void setAddress(const QHostAddress &address, quint16 port = DefaultPort);
    // Stops listening and drops every open connection. start() may be called again.
    void stop();
    bool isListening() const;
    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

    // ---- Identity (the identify reply carries these 16-bit values exactly) ----
    int family() const { return m_family; }
    int model() const { return m_model; }
    int firmware() const { return m_firmware; }
    // Changes the identity; the port layout follows the new model, the pages are kept and the
    // resolution byte goes back to the new model's default (set it afterwards to override).
    // Values from 0x8000 on travel as they are (an overflowing identification).
    void setIdentity(quint16 family, quint16 model, quint16 firmware);
    // The model's text as the program shows it, e.g. "Model RX740: Temperature and Power Keeper".
    QString modelText() const;

    // ---- Ports and readings ----
    SimSensorKind portKind(int port) const;
    // The sensor kind caption of the model's editor, e.g. "Zone 1 Humidity Sensor"; empty when
    // the model has no such port.
    QString portCaption(int port) const;
    // True when the port's reading travels in tenths (the reply's byte 59 is 10 and the model
    // scales that port).
    bool portInTenths(int port) const;

    // Sets the simulated sensor of a port and lets it run (unfreezes the port).
    void setSensor(int port, const SimSensor &sensor);
    SimSensor sensor(int port) const;

    // Direct control for tests. Each of these freezes the port: its reading, minutes and alarm
    // byte stay exactly as set until setPortFrozen(port, false) or setSensor().
    void setRawReading(int port, qint16 raw);   // the two reading bytes, e.g. -200 = FF 38
    void setReading(int port, double value);    // encoded as the port's scaling requires
    void setMinutes(int port, quint16 minutes); // minutes out of limits, 0 to 65535
    void setAlarmByte(int port, quint8 alarm);  // alarm byte, above 0 = in alarm
    void setPortFrozen(int port, bool frozen);
    void setFrozen(bool frozen); // every port
    bool isPortFrozen(int port) const;

    qint16 rawReading(int port) const;
    double reading(int port) const; // raw reading, divided by 10 on tenths ports
    quint16 minutes(int port) const;
    quint8 alarmByte(int port) const;

    // Byte 59 of the readings reply (10 = some ports in tenths). Defaults to 10 for RX705-style
    // devices (model 5, 10, 50) of family 5 from firmware 23, for Wexa from firmware 5 and for the
    // Wexa 16; else 0.
    void setResolutionByte(quint8 value);
    quint8 resolutionByte() const { return m_resolutionByte; }
    // Byte 58 of the readings reply: backup battery voltage in tenths of a volt.
    void setBatteryByte(quint8 value) { m_batteryByte = value; }
    quint8 batteryByte() const { return m_batteryByte; }
    // The readings reply the device would send now.
    QByteArray readingsReply() const;

    // ---- Settings kept in the pages (helpers over page()/setPage()) ----
    QByteArray deviceName() const; // configuration page, blanks trimmed
    void setDeviceName(const QByteArray &name);
    char temperatureUnit() const; // 'F' or 'C', byte 60 of the readings reply
    void setTemperatureUnit(char unit);
    QByteArray sensorName(int port) const; // blanks trimmed; empty when disabled
    void setSensorName(int port, const QByteArray &name);
    // Limits in the port's own units (degrees, %RH; the page may hold tenths). Ports with
    // state inputs keep only the time. False when the model keeps no limits for the port.
    bool setLimits(int port, double lower, double upper);
    bool limits(int port, double *lower, double *upper) const;
    bool setTimeOutOfLimits(int port, int minutes);
    int timeOutOfLimits(int port) const;
    // Power inputs: the normal state (0 = "On", 1 = "Off") kept in the device's page.
    bool setPowerNormalState(int port, int state);
    // Correction factor of a temperature port in degrees, where the model keeps one.
    bool setCorrection(int port, double degrees);
    // The configuration page: 1 for family 3, 2 for the others.
    int configPage() const;

    // ---- User pages ----
    // Page n as a read reply carries it: AA BB CC n followed by the 56 bytes kept.
    QByteArray page(int n) const;
    // Keeps bytes 5 to 60 of a 60-byte image (the first four are ignored).
    void setPage(int n, const QByteArray &image);
    // Every page back to the model's defaults (blank sensor names, wide limits, 5 minutes for
    // analog inputs and doors); the address text of the configuration page stays.
    void restoreFactoryDefaults();

    // ---- Clock and log ----
    QDateTime clock() const { return m_now; }
    void setClock(const QDateTime &time);
    int updateRateMinutes() const { return m_updateRate; }
    void setUpdateRateMinutes(int minutes);
    bool hasLog() const;
    int logRecordSize() const; // 11, 15 or 23 bytes; 0 without a log
    QByteArray log() const { return m_log; }
    int logRecordCount() const;
    void clearLog() { m_log.clear(); }
    // Replaces the stored records with these bytes (a device without a log keeps none; the
    // oldest give way beyond MaxLogRecords). Bytes need not make whole records.
    void setLog(const QByteArray &records);
    // Writes one record of the present readings at the present clock.
    void appendLogRecord();

    // ---- Simulated time ----
    // Simulated seconds per real second; 0 (the default) stops the clock.
    void setTimeScale(double simSecondsPerSecond);
    double timeScale() const { return m_timeScale; }
    // Moves the simulated time on: sensor values, minutes out of limits, alarms, log records.
    void advance(int seconds);

    // ---- Faults ----
    // count < 0: every following transaction; count n > 0: the next n transactions, then none.
    void setFault(SimFault fault, int count = -1);
    void clearFault() { setFault(SimFault::None); }
    SimFault fault() const { return m_fault; }
    int faultRemaining() const { return m_faultRemaining; }
    SimFaultOptions &faultOptions() { return m_faultOptions; }
    void setFaultOptions(const SimFaultOptions &options) { m_faultOptions = options; }
    static QString faultName(SimFault fault);
    // Accepts the names of faultName() ("busy", "silent", "refused", "slow", "dribble",
    // "short", "overlong", "garbage", "error", "wrong-echo", "reset"); false for others.
    static bool faultFromName(const QString &name, SimFault *fault);

    // Answers commands starting with `code` (1 to 4 bytes) with exactly `reply`, without
    // executing them: for every following one (count < 0) or the next count ones.
    void setReplyOverride(const QByteArray &code, const QByteArray &reply, int count = -1);
    void clearReplyOverrides() { m_overrides.clear(); }

    // ---- Traffic ----
    int transactionCount() const { return m_commands.size(); } // complete commands received
    int connectionCount() const { return m_connectionCount; }  // connections accepted
    QList<QByteArray> commands() const { return m_commands; }
    QByteArray lastCommand() const { return m_commands.isEmpty() ? QByteArray() : m_commands.last(); }
    void clearTraffic();

    // The reply to a command without any fault, applying its effects (used by the network side;
    // also handy for tests of the device itself). Empty for a command that gets no reply.
    QByteArray execute(const QByteArray &command);

signals:
    void commandReceived(const QByteArray &command);
    void replySent(const QByteArray &reply);
    void alarmChanged(int port, bool inAlarm);

private:
    struct PortState {
        SimSensor sensor;
        bool hasSensor = false;
        double value = 0;
        qint16 raw = 0;
        quint16 minutes = 0;
        quint8 alarm = 0;
        bool frozen = false;
        qint64 outSince = -1; // simulated seconds when the port left its limits
    };
    struct Override {
        QByteArray reply;
        int remaining;
    };

    // Commands
    QByteArray identifyReply(const QByteArray &command) const;
    QByteArray readPageReply(const QByteArray &command) const;
    QByteArray storePageReply(const QByteArray &command);
    QByteArray factoryDefaultsReply(const QByteArray &command);
    QByteArray readClockReply(const QByteArray &command) const;
    QByteArray storeClockReply(const QByteArray &command);
    QByteArray logReply(const QByteArray &command);
    QByteArray clockImageReply(const QByteArray &command) const;
    static QByteArray errorReply(const QByteArray &command);

    // Network
    void acceptConnections();
    void readCommands(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &command);
    void deliver(QTcpSocket *socket, const QByteArray &reply, SimFault fault);
    void dribble(QTcpSocket *socket, const QByteArray &reply, int position);
    SimFault takeFault();
    bool takeOverride(const QByteArray &command, QByteArray *reply);

    // Time and sensors
    void step(int seconds);
    void updatePort(int port);
    void judgePort(int port);
    double sensorValue(int port);
    qint16 encodeReading(int port, double value) const;
    qint16 logValue(int port) const;
    bool outOfLimits(int port) const;
    bool portEnabled(int port) const;
    void onTimer();
    bool validPort(int port) const { return port >= 0 && port < PortCount; }
    bool limitsInTenths(int port) const;
    double defaultValue(int port) const;
    void judgeAll();
    void applyListening();

    // Pages
    quint8 pageByte(int page, int position) const;
    void setPageByte(int page, int position, quint8 value);
    qint16 pageWord(int page, int position) const;
    void setPageWord(int page, int position, qint16 value);
    QByteArray pageText(int page, int position, int width) const;
    void setPageText(int page, int position, int width, const QByteArray &text);
    void applyModel();

    int m_family;
    int m_model;
    int m_firmware;
    const SimModel *m_profile = nullptr;
    std::array<QByteArray, PageCount> m_pages;
    std::array<PortState, PortCount> m_ports;
    quint8 m_resolutionByte = 0;
    quint8 m_batteryByte = 92;

    QDateTime m_now;
    qint64 m_elapsed = 0; // simulated seconds since construction
    double m_timeScale = 0;
    double m_carry = 0;
    QTimer *m_timer = nullptr;
    int m_updateRate = 5;
    qint64 m_nextLog = 0;
    QByteArray m_log;

    QTcpServer *m_server = nullptr;
    QList<QTcpSocket *> m_sockets;
    QHostAddress m_address;
    quint16 m_port = DefaultPort;
    QString m_error;

    SimFault m_fault = SimFault::None;
    int m_faultRemaining = -1;
    SimFaultOptions m_faultOptions;
    QHash<QByteArray, Override> m_overrides;

    QList<QByteArray> m_commands;
    int m_connectionCount = 0;
    QRandomGenerator m_random{1};
    bool m_started = false; // start() was called and stop() was not
};
