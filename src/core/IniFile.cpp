#include "IniFile.h"

#include "OwnerOnlyFile.h"
#include "ProgramState.h"

#include <alarms/EscalationRules.h>
#include <notify/ChannelRules.h>

#include "IniFileText.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

const QString IniFile::FileName = QStringLiteral("Tallyport.ini");

namespace {
const QString kIniWhere = QStringLiteral("Tallyport.ini");
const QString kOverflowSection = QStringLiteral("mail");
const QString kOverflowUser = QStringLiteral("smtpUserName");
const QString kOverflowPassword = QStringLiteral("smtpPassword");
const QString kOverflowSystemOk = QStringLiteral("lastSystemOKEmail");

// Walks the keys of every section once, for reading and for saving, so the two never differ.
class KeyVisitor {
public:
    virtual ~KeyVisitor() = default;
    virtual void beginSection(const QString &name) = 0;
    virtual void endSection() = 0;
    virtual void integer(const QString &key, int &value, int minimum, int maximum) = 0;
    virtual void flag(const QString &key, bool &value) = 0;
    virtual void text(const QString &key, QString &value) = 0;
};

void describeMail(MailIniSettings &mail, KeyVisitor &keys)
{
    keys.beginSection(QStringLiteral("mail"));
    keys.integer(QStringLiteral("retryHours"), mail.retryHours, 0, 24 * 365);
    keys.integer(QStringLiteral("retryFirstSeconds"), mail.retryFirstSeconds, 1, 24 * 3600);
    keys.integer(QStringLiteral("retryMaxSeconds"), mail.retryMaxSeconds, 1, 24 * 3600);
    keys.endSection();
}

void describeTrend(TrendIniSettings &trend, KeyVisitor &keys)
{
    keys.beginSection(QStringLiteral("trend"));
    // A month at the most: each reading held costs the chart 12 bytes.
    keys.integer(QStringLiteral("historyHours"), trend.historyHours, 0, 31 * 24);
    // A year at the most; below historyHours it counts as historyHours.
    keys.integer(QStringLiteral("keepHours"), trend.keepHours, 1, 366 * 24);
    keys.endSection();
}

void describePoll(PollIniSettings &poll, KeyVisitor &keys)
{
    keys.beginSection(QStringLiteral("poll"));
    keys.integer(QStringLiteral("parallel"), poll.parallel, 1, PollIniSettings::MaxParallel);
    keys.endSection();
}

void describeWeb(WebIniSettings &web, KeyVisitor &keys)
{
    keys.beginSection(QStringLiteral("web"));
    keys.flag(QStringLiteral("enabled"), web.enabled);
    keys.text(QStringLiteral("address"), web.address);
    keys.integer(QStringLiteral("port"), web.port, 1, 65535);
    keys.text(QStringLiteral("token"), web.token);
    keys.text(QStringLiteral("certificate"), web.certificate);
    keys.text(QStringLiteral("key"), web.key);
    keys.text(QStringLiteral("hosts"), web.hosts);
    keys.text(QStringLiteral("publicUrl"), web.publicUrl);
    keys.endSection();
}

void describeReports(ReportsIniSettings &reports, KeyVisitor &keys)
{
    keys.beginSection(QStringLiteral("reports"));
    keys.text(QStringLiteral("lastMonthlyReport"), reports.lastMonthlyReport);
    keys.endSection();
}

void describeMqtt(MqttIniSettings &mqtt, KeyVisitor &keys)
{
    keys.beginSection(QStringLiteral("mqtt"));
    keys.flag(QStringLiteral("enabled"), mqtt.enabled);
    keys.text(QStringLiteral("host"), mqtt.host);
    keys.integer(QStringLiteral("port"), mqtt.port, 1, 65535);
    keys.flag(QStringLiteral("tls"), mqtt.tls);
    keys.text(QStringLiteral("cafile"), mqtt.cafile);
    keys.text(QStringLiteral("user"), mqtt.user);
    keys.text(QStringLiteral("password"), mqtt.password);
    keys.text(QStringLiteral("client_id"), mqtt.clientId);
    keys.text(QStringLiteral("prefix"), mqtt.prefix);
    keys.text(QStringLiteral("site"), mqtt.site);
    keys.integer(QStringLiteral("qos"), mqtt.qos, 0, 2);
    keys.flag(QStringLiteral("discovery"), mqtt.discovery);
    keys.text(QStringLiteral("discovery_prefix"), mqtt.discoveryPrefix);
    keys.endSection();
}

void describeEscalation(EscalationIniSettings &escalation, KeyVisitor &keys)
{
    keys.beginSection(QStringLiteral("escalation"));
    // A week at the most.
    keys.integer(QStringLiteral("repeatMinutes"), escalation.repeatMinutes, 0, 7 * 24 * 60);
    keys.endSection();
}

void describeAll(IniSettings &ini, KeyVisitor &keys)
{
    describeMail(ini.mail, keys);
    describeTrend(ini.trend, keys);
    describePoll(ini.poll, keys);
    describeWeb(ini.web, keys);
    describeReports(ini.reports, keys);
    describeMqtt(ini.mqtt, keys);
    describeEscalation(ini.escalation, keys);
}

// Text as the operator wrote it: QSettings reads an unquoted "a, b" as a list.
QString rawText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool parseInteger(const QString &raw, int minimum, int maximum, int &value)
{
    bool ok = false;
    const int number = raw.toInt(&ok);
    if (!ok || number < minimum || number > maximum)
        return false;
    value = number;
    return true;
}

bool parseFlag(const QString &raw, bool &value)
{
    const QString word = raw.toLower();
    if (word == QLatin1String("true") || word == QLatin1String("1") || word == QLatin1String("yes") ||
        word == QLatin1String("on"))
        value = true;
    else if (word == QLatin1String("false") || word == QLatin1String("0") || word == QLatin1String("no") ||
             word == QLatin1String("off"))
        value = false;
    else
        return false;
    return true;
}

// The value of a key as the file holds it (trimmed); false when the file does not set it.
bool storedText(const QSettings &settings, const QString &section, const QString &key, QString &raw)
{
    const QString path = section + QLatin1Char('/') + key;
    if (!settings.contains(path))
        return false;
    raw = rawText(settings.value(path)).trimmed();
    return true;
}

// Reads each key; a missing key is added to the text with its default.
class Reader final : public KeyVisitor {
public:
    Reader(const QSettings &settings, IniFileText &text, ProgramState &state)
        : m_settings(settings), m_text(text), m_state(state)
    {
    }

    void beginSection(const QString &name) override { m_section = name; }
    void endSection() override {}

    void integer(const QString &key, int &value, int minimum, int maximum) override
    {
        QString raw;
        if (present(key, value, raw) && !parseInteger(raw, minimum, maximum, value))
            unusable(key, raw, QStringLiteral("a whole number from %1 to %2").arg(minimum).arg(maximum),
                     QString::number(value));
    }

    void flag(const QString &key, bool &value) override
    {
        QString raw;
        if (present(key, value, raw) && !parseFlag(raw, value))
            unusable(key, raw, QStringLiteral("true or false"),
                     value ? QStringLiteral("true") : QStringLiteral("false"));
    }

    void text(const QString &key, QString &value) override
    {
        QString raw;
        if (present(key, value, raw))
            value = raw;
    }

private:
    template <typename T> bool present(const QString &key, const T &value, QString &raw)
    {
        if (storedText(m_settings, m_section, key, raw))
            return true;
        m_text.setValue(m_section, key, value);
        return false;
    }

    void unusable(const QString &key, const QString &raw, const QString &wanted, const QString &used)
    {
        m_state.AddError(
            kIniWhere,
            QStringLiteral("[%1] %2 = \"%3\" is not %4; %5 is used.").arg(m_section, key, raw, wanted, used));
    }

    const QSettings &m_settings;
    IniFileText &m_text;
    ProgramState &m_state;
    QString m_section;
};

// Writes the keys whose value differs from what the file holds, of every section or of one
// section (or only its one key); the lines of the other keys stay as the operator wrote them.
class Writer final : public KeyVisitor {
public:
    Writer(const QSettings &settings, IniFileText &text, const QString &onlySection, const QString &onlyKey)
        : m_settings(settings), m_text(text), m_only(onlySection), m_onlyKey(onlyKey)
    {
    }
    void beginSection(const QString &name) override
    {
        m_section = name;
        m_skip = !m_only.isEmpty() && name != m_only;
    }
    void endSection() override {}
    void integer(const QString &key, int &value, int minimum, int maximum) override
    {
        int stored = 0;
        QString raw;
        if (!wanted(key, raw) || !parseInteger(raw, minimum, maximum, stored) || stored != value)
            write(key, value);
    }
    void flag(const QString &key, bool &value) override
    {
        bool stored = false;
        QString raw;
        if (!wanted(key, raw) || !parseFlag(raw, stored) || stored != value)
            write(key, value);
    }
    void text(const QString &key, QString &value) override
    {
        QString raw;
        if (!wanted(key, raw) || raw != value)
            write(key, value);
    }

    // The keys visited in the sections written.
    const QStringList &visited() const { return m_visited; }

private:
    // Whether the key is to be written at all, with what the file holds for it (true for
    // a key that is to be written and is in the file).
    bool wanted(const QString &key, QString &raw)
    {
        m_write = !m_skip && (m_onlyKey.isEmpty() || key == m_onlyKey);
        if (!m_write)
            return true;
        m_visited.append(key);
        return storedText(m_settings, m_section, key, raw);
    }
    void write(const QString &key, const QVariant &value)
    {
        if (m_write)
            m_text.setValue(m_section, key, value);
    }

    const QSettings &m_settings;
    IniFileText &m_text;
    QString m_only;
    QString m_onlyKey;
    QString m_section;
    QStringList m_visited;
    bool m_skip = false;
    bool m_write = false;
};

const QString kChannelPrefix = QStringLiteral("notify.");

// The keys of one [notify.NAME] section; the channel's name is the section's.
void describeChannel(NotifyChannelSettings &channel, KeyVisitor &keys)
{
    keys.beginSection(kChannelPrefix + channel.name);
    keys.text(QStringLiteral("type"), channel.type);
    keys.text(QStringLiteral("url"), channel.url);
    keys.text(QStringLiteral("token"), channel.token);
    keys.text(QStringLiteral("headers"), channel.headers);
    keys.text(QStringLiteral("secret"), channel.secret);
    keys.text(QStringLiteral("events"), channel.events);
    keys.text(QStringLiteral("devices"), channel.devices);
    keys.flag(QStringLiteral("insecure"), channel.insecure);
    keys.integer(QStringLiteral("timeoutSeconds"), channel.timeoutSeconds, 1, 300);
    keys.integer(QStringLiteral("repostSeconds"), channel.repostSeconds, 1, 3600);
    keys.endSection();
}

const QString kStepPrefix = QStringLiteral("escalate.");

// The keys of one [escalate.N] section.
void describeStep(EscalationStepSettings &step, KeyVisitor &keys)
{
    keys.beginSection(kStepPrefix + QString::number(step.number));
    keys.integer(QStringLiteral("afterMinutes"), step.afterMinutes, 1, 7 * 24 * 60);
    keys.text(QStringLiteral("email"), step.email);
    keys.text(QStringLiteral("channels"), step.channels);
    keys.text(QStringLiteral("devices"), step.devices);
    keys.endSection();
}

QString statusText(QSettings::Status status, const QString &path)
{
    if (status == QSettings::FormatError)
        return QStringLiteral("%1 is not a readable settings file; the defaults are used.")
            .arg(QDir::toNativeSeparators(path));
    return QStringLiteral("%1 could not be written.").arg(QDir::toNativeSeparators(path));
}
} // namespace

namespace {
// Replaces the file with the text in one step, private from its first byte. QSettings keeps
// what it read of a file until the file's size or time changes, so the time is moved on when
// the clock's step would leave it as it was.
bool writeText(const QString &path, const QByteArray &text)
{
    const QDateTime before = QFileInfo(path).lastModified();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(text) != text.size() || !file.commit())
        return false;
    QFile written(path);
    if (before.isValid() && QFileInfo(path).lastModified() <= before && written.open(QIODevice::ReadWrite))
        written.setFileTime(before.addMSecs(1), QFileDevice::FileModificationTime);
    return true;
}

QList<NotifyChannelSettings> readChannels(const QSettings &settings, KeyVisitor &keys, ProgramState &state)
{
    QList<NotifyChannelSettings> channels;
    for (const QString &group : settings.childGroups()) {
        if (!group.startsWith(kChannelPrefix))
            continue;
        NotifyChannelSettings channel;
        channel.name = group.mid(kChannelPrefix.size());
        describeChannel(channel, keys);
        // A channel that cannot work is left out whole, so that nothing is sent to half of it.
        const QString problem = ChannelRules::Problem(channel);
        if (problem.isEmpty())
            channels.append(channel);
        else
            state.AddError(kIniWhere, QStringLiteral("[%1] is not used: %2").arg(group, problem));
    }
    return channels;
}

// The steps in the order they are taken (by their minutes, then their numbers). A step that
// cannot work (no recipient, a channel that is not set up, an address that is not one) is left
// out with a message.
QList<EscalationStepSettings> readSteps(const QSettings &settings, KeyVisitor &keys,
                                        const QList<NotifyChannelSettings> &channels, ProgramState &state)
{
    QList<EscalationStepSettings> steps;
    for (const QString &group : settings.childGroups()) {
        if (!group.startsWith(kStepPrefix))
            continue;
        EscalationStepSettings step;
        bool numeric = false;
        step.number = group.mid(kStepPrefix.size()).toInt(&numeric);
        if (!numeric || step.number < 1 || step.number > 99) {
            state.AddError(
                kIniWhere,
                QStringLiteral("[%1] is not used: N of [escalate.N] is a number from 1 to 99.").arg(group));
            continue;
        }
        describeStep(step, keys);
        const QString problem = EscalationRules::Problem(step, channels);
        if (problem.isEmpty())
            steps.append(step);
        else
            state.AddError(kIniWhere, QStringLiteral("[%1] is not used: %2").arg(group, problem));
    }
    std::sort(steps.begin(), steps.end(),
              [](const EscalationStepSettings &a, const EscalationStepSettings &b) {
                  return std::pair(a.afterMinutes, a.number) < std::pair(b.afterMinutes, b.number);
              });
    return steps;
}
} // namespace

QString IniFile::path() const
{
    return m_state.programFile(FileName);
}

bool IniFile::Read()
{
    IniSettings values;
    // A damaged file is left as it is for the operator to mend; nothing is read from it.
    const bool written = write([this, &values](const QSettings &settings, IniFileText &text) {
        Reader reader(settings, text, m_state);
        describeAll(values, reader);
        values.channels = readChannels(settings, reader, m_state);
        values.escalation.steps = readSteps(settings, reader, values.channels, m_state);
    });
    m_state.Ini = values;
    return written;
}

namespace {
// Writes the channel's section whole: keys it does not have go.
void writeChannel(const QSettings &settings, IniFileText &text, const NotifyChannelSettings &channel)
{
    NotifyChannelSettings values = channel;
    Writer writer(settings, text, QString(), QString());
    describeChannel(values, writer);
    const QString section = kChannelPrefix + channel.name;
    for (const QString &key : text.keys(section)) {
        if (!writer.visited().contains(key))
            text.remove(section, key);
    }
}
} // namespace

bool IniFile::SaveChannel(const NotifyChannelSettings &channel)
{
    if (const QString problem = ChannelRules::Problem(channel); !problem.isEmpty()) {
        m_lastError = problem;
        return false;
    }
    return write(
        [&channel](const QSettings &settings, IniFileText &text) { writeChannel(settings, text, channel); });
}

bool IniFile::RenameChannel(const QString &from, const NotifyChannelSettings &to)
{
    if (const QString problem = ChannelRules::Problem(to); !problem.isEmpty()) {
        m_lastError = problem;
        return false;
    }
    // One write: the file never holds both names or neither.
    return write([&](const QSettings &settings, IniFileText &text) {
        text.removeSection(kChannelPrefix + from);
        writeChannel(settings, text, to);
    });
}

bool IniFile::RemoveChannel(const QString &name)
{
    return write(
        [&name](const QSettings &, IniFileText &text) { text.removeSection(kChannelPrefix + name); });
}

bool IniFile::SaveEscalationSteps(const QList<EscalationStepSettings> &steps)
{
    return write([&steps](const QSettings &settings, IniFileText &text) {
        for (EscalationStepSettings step : steps) {
            Writer writer(settings, text, QString(), QString());
            describeStep(step, writer);
        }
    });
}

bool IniFile::SaveEscalation(const EscalationIniSettings &escalation, const QList<int> &dropped)
{
    return write([&escalation, &dropped](const QSettings &settings, IniFileText &text) {
        for (const int number : dropped)
            text.removeSection(kStepPrefix + QString::number(number));
        EscalationIniSettings values = escalation;
        Writer writer(settings, text, QString(), QString());
        describeEscalation(values, writer);
        for (EscalationStepSettings &step : values.steps)
            describeStep(step, writer);
    });
}

bool IniFile::Save(const QString &onlySection, const QString &onlyKey)
{
    return write([this, &onlySection, &onlyKey](const QSettings &settings, IniFileText &text) {
        Writer writer(settings, text, onlySection, onlyKey);
        describeAll(m_state.Ini, writer);
    });
}

// Reads the file's values (through QSettings) and its text, makes the change on the text and
// writes it back when a line changed. The file stays its owner's only: it holds the web token
// and may hold the mail server's key.
bool IniFile::write(const std::function<void(const QSettings &, IniFileText &)> &change)
{
    m_lastError.clear();
    const QString file = path();
    QSettings settings(file, QSettings::IniFormat);
    bool ok = settings.status() == QSettings::NoError;
    QByteArray bytes;
    if (ok && QFileInfo::exists(file)) {
        QFile in(file);
        ok = in.open(QIODevice::ReadOnly);
        bytes = in.readAll();
    }
    if (ok) {
        IniFileText text(bytes);
        change(settings, text);
        if (text.changed() || !QFileInfo::exists(file))
            ok = writeText(file, text.text());
    }
    KeepOwnerOnly(file);
    if (ok && QFileInfo(file).isFile())
        return true;
    m_lastError = statusText(settings.status(), file);
    m_state.AddError(kIniWhere, m_lastError);
    return false;
}

bool IniFile::ReadRecordOverflow(RecordOverflow &values)
{
    values = {};
    if (!QFileInfo(path()).isFile())
        return true;
    QSettings settings(path(), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return false;
    storedText(settings, kOverflowSection, kOverflowUser, values.smtpUserName);
    storedText(settings, kOverflowSection, kOverflowPassword, values.smtpPassword);
    storedText(settings, kOverflowSection, kOverflowSystemOk, values.lastSystemOKEmail);
    return true;
}

bool IniFile::SaveRecordOverflow(const RecordOverflow &values)
{
    return write([&values](const QSettings &settings, IniFileText &text) {
        const QString &section = kOverflowSection;
        const auto put = [&](const QString &key, const QString &value) {
            QString stored;
            const bool present = storedText(settings, section, key, stored);
            if (value.isEmpty())
                text.remove(section, key);
            else if (!present || stored != value)
                text.setValue(section, key, value);
        };
        put(kOverflowUser, values.smtpUserName);
        put(kOverflowPassword, values.smtpPassword);
        put(kOverflowSystemOk, values.lastSystemOKEmail);
    });
}
