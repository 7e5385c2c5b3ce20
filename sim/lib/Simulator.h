#pragma once

#include "SimDevice.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QTimer;

// A set of simulated devices described by a JSON scenario, sharing one simulated clock, with
// scheduled events (faults, held inputs) over that clock. The format is described by
// Simulator::scenarioHelp().
class Simulator : public QObject {
    Q_OBJECT
public:
    explicit Simulator(QObject *parent = nullptr);
    ~Simulator() override;

    // Replaces any loaded scenario. False, with errorString(), when the file or its contents are
    // not a valid scenario; nothing is kept then.
    bool loadFile(const QString &path);
    bool loadJson(const QByteArray &json);
    QString errorString() const { return m_error; }

    // Starts every device listening. False, with errorString() naming the devices, when one
    // could not listen; the others keep listening.
    bool start();
    void stop();

    QList<SimDevice *> devices() const;
    SimDevice *device(const QString &name) const;
    QString deviceName(const SimDevice *device) const;

    // Simulated seconds per real second; 0 stops the clock. The scenario sets it ("timeScale").
    void setTimeScale(double simSecondsPerSecond);
    double timeScale() const { return m_timeScale; }
    // Moves every device and the event schedule on by this many simulated seconds.
    void advance(int seconds);
    qint64 elapsedSeconds() const { return m_elapsed; }

    // One line per named port: device, address, family, model, firmware, model text, port,
    // sensor type caption, sensor name, lower limit, upper limit, time out of limits, separated
    // by tabs, after a header line.
    QString sensorTable() const;

    static QString scenarioHelp();

signals:
    // A line for the operator: an event began or ended.
    void message(const QString &text);

private:
    struct Entry {
        QString name;
        std::unique_ptr<SimDevice> device;
    };
    struct Action {
        qint64 at;
        std::function<void()> run;
    };
    friend class ScenarioReader;

    void schedule(qint64 at, std::function<void()> run);
    void runDueActions();
    void onTimer();

    std::vector<Entry> m_entries;
    std::vector<Action> m_actions;
    QString m_error;
    double m_timeScale = 1;
    double m_carry = 0;
    qint64 m_elapsed = 0;
    QTimer *m_timer = nullptr;
    bool m_running = false;
};
