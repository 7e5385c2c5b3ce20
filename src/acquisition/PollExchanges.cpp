#include "PollExchanges.h"

#include <core/IniSettings.h>
#include <core/ProgramState.h>
#include <link/DeviceLink.h>

#include <QHostAddress>

#include <algorithm>

namespace {
const QString kMainForm = QStringLiteral("frmMain");
} // namespace

PollExchanges::PollExchanges(ProgramState &state, QObject *parent) : QObject(parent), m_state(state)
{
    connect(&m_state, &ProgramState::monitoringActiveChanged, this, [this](bool active) {
        if (!active)
            stopAll();
    });
}

PollExchanges::~PollExchanges()
{
    // Each exchange drops its connection as it goes; nothing is reported any more.
    m_stopping = true;
    m_exchanges.clear();
}

void PollExchanges::begin(const QStringList &addresses, int attempts, int parallel,
                          const LinkTimings &timings)
{
    clear();
    m_parallel = std::clamp(parallel, 1, PollIniSettings::MaxParallel);
    for (const QString &address : addresses) {
        auto exchange = std::make_unique<DeviceExchange>(m_state, address, attempts, timings);
        DeviceExchange *e = exchange.get();
        connect(e, &DeviceExchange::opened, this, &PollExchanges::onOpened);
        connect(e, &DeviceExchange::transactionEnded, this, &PollExchanges::onTransactionEnded);
        connect(e, &DeviceExchange::finished, this, [this, e] { onExchangeFinished(e); });
        if (m_parallel > 1)
            connect(e, &DeviceExchange::onlyWaiting, this, &PollExchanges::onOnlyWaiting);
        m_exchanges.push_back(std::move(exchange));
    }
    m_shown = true;
    emit busyCursor(kMainForm, true);
    emit progressChanged(kMainForm, 0, int(m_exchanges.size()));
    startWaiting();
}

void PollExchanges::clear()
{
    stopAll();
    m_exchanges.clear();
    m_busyAddresses.clear();
    m_running = 0;
    m_inLanes = 0;
    m_ended = 0;
    m_nextToStart = 0;
    if (m_transactionsOpen > 0)
        emit indicatorColorChanged(DeviceLink::ColorIdle);
    m_transactionsOpen = 0;
    if (m_shown) {
        m_shown = false;
        emit progressChanged(kMainForm, 0, 1);
        emit busyCursor(kMainForm, false);
    }
}

const DeviceExchange::Result *PollExchanges::resultOf(int index) const
{
    if (index < 0 || size_t(index) >= m_exchanges.size())
        return nullptr;
    const DeviceExchange &exchange = *m_exchanges[size_t(index)];
    return exchange.isDone() ? &exchange.result() : nullptr;
}

// Starts waiting exchanges in device order while a lane is free; one whose address is in use
// waits for that exchange to end, and those after it may go first.
void PollExchanges::startWaiting()
{
    if (m_stopping || !m_state.MonitoringActive())
        return;
    for (size_t i = m_nextToStart; i < m_exchanges.size() && m_inLanes < m_parallel && m_running < MaxRunning;
         ++i) {
        DeviceExchange &exchange = *m_exchanges[i];
        if (exchange.result().outcome != DeviceExchange::Outcome::Waiting)
            continue;
        const QString key = addressKey(exchange.address());
        if (m_busyAddresses.value(key) > 0)
            continue;
        ++m_busyAddresses[key];
        ++m_running;
        ++m_inLanes;
        exchange.start();
    }
    while (m_nextToStart < m_exchanges.size() &&
           m_exchanges[m_nextToStart]->result().outcome != DeviceExchange::Outcome::Waiting)
        ++m_nextToStart;
}

void PollExchanges::onOpened(bool open)
{
    ++m_transactionsOpen;
    emit indicatorColorChanged(open ? DeviceLink::ColorConnected : DeviceLink::ColorFailed);
}

void PollExchanges::onTransactionEnded()
{
    m_transactionsOpen = std::max(0, m_transactionsOpen - 1);
    if (m_transactionsOpen == 0)
        emit indicatorColorChanged(DeviceLink::ColorIdle);
}

void PollExchanges::onExchangeFinished(DeviceExchange *exchange)
{
    const QString key = addressKey(exchange->address());
    if (--m_busyAddresses[key] <= 0)
        m_busyAddresses.remove(key);
    --m_running;
    if (holdsLane(*exchange))
        --m_inLanes;
    ++m_ended;
    emit progressChanged(kMainForm, m_ended, int(m_exchanges.size()));
    startWaiting();
    emit exchangeEnded();
}

// The exchange waits beside the lanes from now on; its address stays in use until it ends.
void PollExchanges::onOnlyWaiting()
{
    --m_inLanes;
    startWaiting();
}

// With parallel 1 an exchange keeps its lane to its end.
bool PollExchanges::holdsLane(const DeviceExchange &exchange) const
{
    return m_parallel == 1 || !exchange.isOnlyWaiting();
}

void PollExchanges::stopAll()
{
    // A stopped exchange reports its end; nothing waiting may start in its place.
    m_stopping = true;
    for (const auto &exchange : m_exchanges)
        exchange->stop();
    m_stopping = false;
}

// One device, however its address is written ("127.0.0.1", " 127.000.000.001 ").
QString PollExchanges::addressKey(const QString &address)
{
    const QString trimmed = address.trimmed();
    const QHostAddress host(trimmed);
    return host.isNull() ? trimmed.toLower() : host.toString();
}
