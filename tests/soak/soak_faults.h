#pragma once

#include "soak_plant.h"

#include <support/SmtpTestServer.h>

#include <QList>
#include <QMap>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>

class FaultRig;

// Where the run's mail servers listen: 127.0.<octet>.250, the run's own, and a port per kind of
// server, below 32768 so that the settings record holds it (a port it cannot hold would be put
// back to 25 by the next activation).
SmtpTestServer::Options SoakMailServer(int octet, SmtpTestServer::Mode mode);

// Injects faults at random before each cycle of the soak run and takes each away again after a
// few cycles: device network faults, a device that dies during a cycle, a mail server that is
// down, silent, refusing or breaking off, the database locked by another connection, the backup
// directory gone, a full disk (for one cycle, applied by the caller around it), a damaged
// settings file, a program directory that turns read-only (the settings cannot be saved, no new
// data file can be made), an administrator logging in or out while a cycle runs, and the program
// closed or crashing and started again, closed also while the mail server holds back its answer
// to a message. Mail outages last from one minute to half an hour. Counts what it injected, by
// kind.
class FaultInjector {
public:
    FaultInjector(FaultRig &rig, SoakPlant &plant, QRandomGenerator &random);
    ~FaultInjector();

    // Starts the mail servers that misbehave. False with the reason when one did not start.
    bool start(QString &error);
    // Closes (clean) or crashes the program and starts it again; set by the run, which knows
    // what else must follow a new engine.
    std::function<void(bool clean)> restartProgram;
    // Whether another program may hold the database locked (its chance is drawn all the same,
    // so a seed gives the same other faults either way).
    bool databaseLocks = true;
    void beforeCycle(int cycle);
    // After the cycle: the program closed while the server holds back its answer to a message,
    // when that was asked for and a message is on its way.
    void afterCycle();
    // Ends every fault now (for the closing checks).
    void endAll();

    bool fullDiskThisCycle() const { return m_fullDisk; }
    // Whether the program directory could be made read-only at all (root ignores file modes
    // unless the run gave up that right).
    bool readOnlyPossible() const { return m_readOnlyPossible; }
    bool databaseWritable() const { return !m_locked && !m_fullDisk; }
    // What the program directory takes this cycle.
    SoakPlant::Filing filing() const;
    const QMap<QString, int> &injected() const { return m_injected; }

private:
    struct Undo {
        int atCycle;
        QString kind;
        std::function<void()> action;
    };

    void injectDeviceFault(const QString &device, int cycle);
    void killDeviceDuringCycle(int cycle);
    void breakMail(int cycle);
    void lockDatabase(int cycle);
    void removeBackupDirectory(int cycle);
    void damageSettings(int cycle);
    void makeProgramDirectoryReadOnly(int cycle);
    void logInOrOutDuringCycle();
    void restart();
    void stopWhileTheServerAnswers();
    bool active(const QString &kind) const;
    void later(int cycle, const QString &kind, std::function<void()> action);
    void count(const QString &kind) { ++m_injected[kind]; }
    int cyclesFromNow(int cycle, int most) { return cycle + 1 + int(m_random.bounded(most)); }

    FaultRig &m_rig;
    SoakPlant &m_plant;
    QRandomGenerator &m_random;
    std::unique_ptr<SmtpTestServer> m_silentMail;
    std::unique_ptr<SmtpTestServer> m_refusingMail;
    std::unique_ptr<SmtpTestServer> m_droppingMail;
    quint16 m_closedPort = 0;
    QList<Undo> m_undo;
    QMap<QString, int> m_injected;
    bool m_locked = false;
    bool m_fullDisk = false;
    bool m_readOnlyPossible = false;
    bool m_stopWhileAnswering = false;
    QString m_lockName;
};
