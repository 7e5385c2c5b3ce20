#include "Simulator.h"

#include "ScenarioReader.h"

#include <QFile>
#include <QJsonDocument>
#include <QTimer>

#include <algorithm>
#include <cmath>

Simulator::Simulator(QObject *parent) : QObject(parent)
{
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &Simulator::onTimer);
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::loadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!loadJson(file.readAll())) {
        m_error = QStringLiteral("%1: %2").arg(path, m_error);
        return false;
    }
    return true;
}

bool Simulator::loadJson(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        m_error = QStringLiteral("not valid JSON at character %1: %2")
                      .arg(parseError.offset)
                      .arg(parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        m_error = QStringLiteral("the scenario must be a JSON object");
        return false;
    }

    // Read into fresh lists; the loaded scenario stays as it was when this one is refused.
    std::vector<Entry> oldEntries = std::move(m_entries);
    std::vector<Action> oldActions = std::move(m_actions);
    const double oldScale = m_timeScale;
    m_entries.clear();
    m_actions.clear();
    m_timeScale = 1;
    ScenarioReader reader(*this);
    QString error;
    if (!reader.read(document.object(), &error)) {
        m_actions.clear();
        m_entries = std::move(oldEntries);
        m_actions = std::move(oldActions);
        m_timeScale = oldScale;
        m_error = error;
        return false;
    }
    for (Entry &entry : oldEntries)
        entry.device->stop();
    oldActions.clear();
    oldEntries.clear();
    m_timer->stop();
    m_running = false;
    m_elapsed = 0;
    m_carry = 0;
    m_error.clear();
    return true;
}

bool Simulator::start()
{
    QStringList failures;
    for (Entry &entry : m_entries) {
        if (!entry.device->start()) {
            failures << QStringLiteral("%1 (%2:%3): %4")
                            .arg(entry.name, entry.device->address().toString())
                            .arg(entry.device->port())
                            .arg(entry.device->errorString());
        }
    }
    m_running = true;
    if (m_timeScale > 0)
        m_timer->start();
    runDueActions();
    if (!failures.isEmpty()) {
        m_error = QStringLiteral("Could not listen: ") + failures.join(QStringLiteral("; "));
        return false;
    }
    return true;
}

void Simulator::stop()
{
    m_timer->stop();
    m_running = false;
    for (Entry &entry : m_entries)
        entry.device->stop();
}

QList<SimDevice *> Simulator::devices() const
{
    QList<SimDevice *> list;
    for (const Entry &entry : m_entries)
        list.append(entry.device.get());
    return list;
}

SimDevice *Simulator::device(const QString &name) const
{
    for (const Entry &entry : m_entries) {
        if (entry.name == name)
            return entry.device.get();
    }
    return nullptr;
}

QString Simulator::deviceName(const SimDevice *device) const
{
    for (const Entry &entry : m_entries) {
        if (entry.device.get() == device)
            return entry.name;
    }
    return QString();
}

void Simulator::setTimeScale(double simSecondsPerSecond)
{
    m_timeScale = simSecondsPerSecond > 0 ? simSecondsPerSecond : 0;
    m_carry = 0;
    if (m_running && m_timeScale > 0)
        m_timer->start();
    else
        m_timer->stop();
}

void Simulator::onTimer()
{
    m_carry += m_timeScale;
    const double whole = std::floor(m_carry);
    m_carry -= whole;
    advance(int(whole));
}

// Moves on in steps that end at every scheduled action, so an event applies at its own second.
void Simulator::advance(int seconds)
{
    while (seconds > 0) {
        qint64 chunk = qMin(seconds, 10);
        for (const Action &action : m_actions) {
            if (action.at > m_elapsed)
                chunk = qMin(chunk, action.at - m_elapsed);
        }
        for (Entry &entry : m_entries)
            entry.device->advance(int(chunk));
        m_elapsed += chunk;
        seconds -= int(chunk);
        runDueActions();
    }
}

void Simulator::schedule(qint64 at, std::function<void()> run)
{
    m_actions.push_back({at, std::move(run)});
}

void Simulator::runDueActions()
{
    for (;;) {
        auto due = std::min_element(m_actions.begin(), m_actions.end(),
                                    [](const Action &a, const Action &b) { return a.at < b.at; });
        if (due == m_actions.end() || due->at > m_elapsed)
            return;
        std::function<void()> run = std::move(due->run);
        m_actions.erase(due);
        run();
    }
}

QString Simulator::sensorTable() const
{
    QStringList lines;
    lines << QStringLiteral("device\taddress\tfamily\tmodel\tfirmware\tmodel text\tport\tsensor type\tsensor "
                            "name\tlower\tupper\ttime");
    for (const Entry &entry : m_entries) {
        const SimDevice &device = *entry.device;
        for (int port = 0; port < SimDevice::PortCount; ++port) {
            const QByteArray name = device.sensorName(port);
            if (name.isEmpty())
                continue;
            double lower = 0;
            double upper = 0;
            const bool hasLimits = device.limits(port, &lower, &upper);
            QStringList fields{entry.name,
                               device.address().toString(),
                               QString::number(device.family()),
                               QString::number(device.model()),
                               QString::number(device.firmware()),
                               device.modelText(),
                               QString::number(port),
                               device.portCaption(port),
                               QString::fromLatin1(name),
                               hasLimits ? QString::number(lower) : QString(),
                               hasLimits ? QString::number(upper) : QString(),
                               QString::number(device.timeOutOfLimits(port))};
            lines << fields.join(QLatin1Char('\t'));
        }
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

#include "moc_Simulator.cpp"
