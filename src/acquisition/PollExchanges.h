#pragma once

#include "DeviceExchange.h"

#include <link/LinkTimings.h>

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class ProgramState;

// The device exchanges of one poll cycle, each on its own connection and never two to the same
// address at once. Up to `parallel` of them hold a lane; an exchange that only waits on its
// device (one that has not ended laneMs after its start, or pauses between attempts) gives its
// lane to the next device and waits beside the lanes, so silent and refusing devices cost the
// cycle about one time-out, not one each per lane. At most MaxRunning exchanges run at once,
// which bounds the connections a cycle holds. Exchanges start in device order as lanes free up;
// exchangeEnded() tells the cycle, which takes their results in device order with resultOf().
// An exchange object exists only while its exchange runs: its result is kept and the object
// released once it ends, so a cycle of thousands of devices neither builds nor destroys them
// all at once.
// With parallel 1 nothing steps aside: the devices are visited one after another. The end of
// monitoring ends every exchange at once. Nothing here waits: everything moves on from signals
// and timers.
class PollExchanges final : public QObject {
    Q_OBJECT
public:
    // Exchanges running at once, in lanes or beside them.
    static constexpr int MaxRunning = 256;

    explicit PollExchanges(ProgramState &state, QObject *parent = nullptr);
    ~PollExchanges() override;

    // Drops the exchanges of a previous cycle and starts those of these device addresses;
    // parallel is held to 1 to PollIniSettings::MaxParallel.
    void begin(const QStringList &addresses, int attempts, int parallel, const LinkTimings &timings);
    // The result of exchange `index` once it has ended; null while it runs or waits to start.
    const DeviceExchange::Result *resultOf(int index) const;
    // Stops what still runs and forgets the cycle's exchanges.
    void clear();

    // Exchanges running, in lanes or beside them.
    int running() const { return m_running; }
    // Exchanges holding a lane.
    int inLanes() const { return m_inLanes; }

signals:
    // An exchange has its result (or was stopped).
    void exchangeEnded();
    // The connection indicator: green while a connection is open, red when one could not be
    // opened, light grey when no transaction runs (DeviceLink's colour numbers).
    void indicatorColorChanged(int vbColor);
    // The main window's progress bar: exchanges ended of those of the cycle.
    void progressChanged(const QString &formName, int value, int maximum);
    // The main window's mouse pointer: busy while the cycle's exchanges run.
    void busyCursor(const QString &formName, bool busy);

private:
    void startWaiting();
    void onOpened(bool open);
    void onTransactionEnded();
    void startExchange(size_t index);
    void onExchangeFinished(size_t index);
    void onOnlyWaiting();
    bool holdsLane(const DeviceExchange &exchange) const;
    void stopAll();
    static QString addressKey(const QString &address);

    // One device of the cycle: its exchange while it runs, its result once it has ended.
    struct Slot {
        QString address;
        DeviceExchange::Result result;
        // Owned as a child; null before its start and after its end.
        DeviceExchange *exchange = nullptr;
    };

    ProgramState &m_state;
    std::vector<Slot> m_slots;
    int m_attempts = 1;
    LinkTimings m_timings;
    // Addresses with an exchange running.
    QHash<QString, int> m_busyAddresses;
    int m_parallel = 1;
    int m_running = 0;
    int m_inLanes = 0;
    int m_ended = 0;
    int m_transactionsOpen = 0;
    bool m_stopping = false;
    // The window shows a cycle's progress and busy pointer until clear().
    bool m_shown = false;
    // The first exchange not yet started.
    size_t m_nextToStart = 0;
};
