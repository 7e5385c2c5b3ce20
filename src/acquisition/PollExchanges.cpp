#include "PollExchanges.h"

#include <core/IniSettings.h>
#include <core/ProgramState.h>
#include <link/DeviceLink.h>

#include <QHostAddress>

#include <algorithm>
#include <utility>

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
    // Each running exchange drops its connection as it goes; nothing is reported any more.
    m_stopping = true;
    for (Slot &slot : m_slots)
        delete std::exchange(slot.exchange, nullptr);
}

void PollExchanges::begin(const QStringList &addresses, int attempts, int parallel,
                          const LinkTimings &timings)
{
    clear();
    m_parallel = std::clamp(parallel, 1, PollIniSettings::MaxParallel);
    m_attempts = attempts;
    m_timings = timings;
    m_slots.reserve(size_t(addresses.size()));
    for (const QString &address : addresses)
        m_slots.push_back(Slot{address, {}, nullptr});
    m_shown = true;
    emit busyCursor(kMainForm, true);
    emit progressChanged(kMainForm, 0, int(m_slots.size()));
    startWaiting();
}

void PollExchanges::clear()
{
    stopAll();
    m_slots.clear();
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
    if (index < 0 || size_t(index) >= m_slots.size())
        return nullptr;
    const DeviceExchange::Result &result = m_slots[size_t(index)].result;
    return result.isDone() ? &result : nullptr;
}

// Starts waiting exchanges in device order while a lane is free; one whose address is in use
// waits for that exchange to end, and those after it may go first.
void PollExchanges::startWaiting()
{
    if (m_stopping || !m_state.MonitoringActive())
        return;
    for (size_t i = m_nextToStart; i < m_slots.size() && m_inLanes < m_parallel && m_running < MaxRunning;
         ++i) {
        const Slot &slot = m_slots[i];
        if (slot.result.outcome != DeviceExchange::Outcome::Waiting)
            continue;
        const QString key = addressKey(slot.address);
        if (m_busyAddresses.value(key) > 0)
            continue;
        ++m_busyAddresses[key];
        ++m_running;
        ++m_inLanes;
        startExchange(i);
    }
    while (m_nextToStart < m_slots.size() &&
           m_slots[m_nextToStart].result.outcome != DeviceExchange::Outcome::Waiting)
        ++m_nextToStart;
}

void PollExchanges::startExchange(size_t index)
{
    Slot &slot = m_slots[index];
    auto *exchange = new DeviceExchange(m_state, slot.address, m_attempts, m_timings, this);
    connect(exchange, &DeviceExchange::opened, this, &PollExchanges::onOpened);
    connect(exchange, &DeviceExchange::transactionEnded, this, &PollExchanges::onTransactionEnded);
    connect(exchange, &DeviceExchange::finished, this, [this, index] { onExchangeFinished(index); });
    if (m_parallel > 1)
        connect(exchange, &DeviceExchange::onlyWaiting, this, &PollExchanges::onOnlyWaiting);
    slot.exchange = exchange;
    slot.result.outcome = DeviceExchange::Outcome::Running;
    exchange->start();
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

void PollExchanges::onExchangeFinished(size_t index)
{
    Slot &slot = m_slots[index];
    DeviceExchange *exchange = std::exchange(slot.exchange, nullptr);
    const QString key = addressKey(slot.address);
    if (--m_busyAddresses[key] <= 0)
        m_busyAddresses.remove(key);
    --m_running;
    if (holdsLane(*exchange))
        --m_inLanes;
    // The result stays; the exchange goes once its signal has returned.
    slot.result = exchange->result();
    exchange->disconnect(this);
    exchange->deleteLater();
    ++m_ended;
    emit progressChanged(kMainForm, m_ended, int(m_slots.size()));
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
    for (Slot &slot : m_slots) {
        if (slot.exchange)
            slot.exchange->stop();
        if (!slot.result.isDone())
            slot.result.outcome = DeviceExchange::Outcome::Stopped;
    }
    m_stopping = false;
}

// One device, however its address is written ("127.0.0.1", " 127.000.000.001 ").
QString PollExchanges::addressKey(const QString &address)
{
    const QString trimmed = address.trimmed();
    const QHostAddress host(trimmed);
    return host.isNull() ? trimmed.toLower() : host.toString();
}

#include "moc_PollExchanges.cpp"
