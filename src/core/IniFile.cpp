#include "IniFile.h"

#include "OwnerOnlyFile.h"
#include "ProgramState.h"

#include <notify/ChannelRules.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>

const QString IniFile::FileName = QStringLiteral("Tallyport.ini");

namespace {
const QString kIniWhere = QStringLiteral("Tallyport.ini");
const QString kOverflowUser = QStringLiteral("mail/smtpUserName");
const QString kOverflowPassword = QStringLiteral("mail/smtpPassword");
const QString kOverflowSystemOk = QStringLiteral("mail/lastSystemOKEmail");

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

void describeAll(IniSettings &ini, KeyVisitor &keys)
{
    describeMail(ini.mail, keys);
    describeTrend(ini.trend, keys);
    describePoll(ini.poll, keys);
    describeWeb(ini.web, keys);
    describeReports(ini.reports, keys);
    describeMqtt(ini.mqtt, keys);
}

// Text as the operator wrote it: QSettings reads an unquoted "a, b" as a list.
QString rawText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// Reads each key; a missing key is written with its default.
class Reader final : public KeyVisitor {
public:
    Reader(QSettings &settings, ProgramState &state) : m_settings(settings), m_state(state) {}

    void beginSection(const QString &name) override
    {
        m_section = name;
        m_settings.beginGroup(name);
    }
    void endSection() override { m_settings.endGroup(); }

    void integer(const QString &key, int &value, int minimum, int maximum) override
    {
        QString raw;
        if (!present(key, value, raw))
            return;
        bool ok = false;
        const int number = raw.toInt(&ok);
        if (ok && number >= minimum && number <= maximum)
            value = number;
        else
            unusable(key, raw, QStringLiteral("a whole number from %1 to %2").arg(minimum).arg(maximum),
                     QString::number(value));
    }

    void flag(const QString &key, bool &value) override
    {
        QString raw;
        if (!present(key, value, raw))
            return;
        const QString word = raw.toLower();
        if (word == QLatin1String("true") || word == QLatin1String("1") || word == QLatin1String("yes") ||
            word == QLatin1String("on"))
            value = true;
        else if (word == QLatin1String("false") || word == QLatin1String("0") ||
                 word == QLatin1String("no") || word == QLatin1String("off"))
            value = false;
        else
            unusable(key, raw, QStringLiteral("true or false"),
                     value ? QStringLiteral("true") : QStringLiteral("false"));
    }

    void text(const QString &key, QString &value) override
    {
        QString raw;
        if (present(key, value, raw))
            value = raw;
    }

    bool addedKeys() const { return m_added; }

private:
    template <typename T> bool present(const QString &key, const T &value, QString &raw)
    {
        if (!m_settings.contains(key)) {
            m_settings.setValue(key, value);
            m_added = true;
            return false;
        }
        raw = rawText(m_settings.value(key)).trimmed();
        return true;
    }

    void unusable(const QString &key, const QString &raw, const QString &wanted, const QString &used)
    {
        m_state.AddError(
            kIniWhere,
            QStringLiteral("[%1] %2 = \"%3\" is not %4; %5 is used.").arg(m_section, key, raw, wanted, used));
    }

    QSettings &m_settings;
    ProgramState &m_state;
    QString m_section;
    bool m_added = false;
};

// Writes every key, or only those of one section (the others keep what the operator wrote).
class Writer final : public KeyVisitor {
public:
    Writer(QSettings &settings, const QString &onlySection, const QString &onlyKey)
        : m_settings(settings), m_only(onlySection), m_onlyKey(onlyKey)
    {
    }
    void beginSection(const QString &name) override
    {
        m_skip = !m_only.isEmpty() && name != m_only;
        m_settings.beginGroup(name);
    }
    void endSection() override { m_settings.endGroup(); }
    void integer(const QString &key, int &value, int, int) override { write(key, value); }
    void flag(const QString &key, bool &value) override { write(key, value); }
    void text(const QString &key, QString &value) override { write(key, value); }

private:
    void write(const QString &key, const QVariant &value)
    {
        if (!m_skip && (m_onlyKey.isEmpty() || key == m_onlyKey))
            m_settings.setValue(key, value);
    }

    QSettings &m_settings;
    QString m_only;
    QString m_onlyKey;
    bool m_skip = false;
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

QString statusText(QSettings::Status status, const QString &path)
{
    if (status == QSettings::FormatError)
        return QStringLiteral("%1 is not a readable settings file; the defaults are used.")
            .arg(QDir::toNativeSeparators(path));
    return QStringLiteral("%1 could not be written.").arg(QDir::toNativeSeparators(path));
}
} // namespace

namespace {
QList<NotifyChannelSettings> readChannels(QSettings &settings, KeyVisitor &keys, ProgramState &state)
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
} // namespace

QString IniFile::path() const
{
    return m_state.programFile(FileName);
}

bool IniFile::Read()
{
    m_lastError.clear();
    IniSettings values;
    QSettings settings(path(), QSettings::IniFormat);
    // A damaged file is left as it is for the operator to mend; nothing is read from it.
    if (settings.status() == QSettings::NoError) {
        Reader reader(settings, m_state);
        describeAll(values, reader);
        values.channels = readChannels(settings, reader, m_state);
        if (reader.addedKeys())
            settings.sync();
    }
    KeepOwnerOnly(path());
    m_state.Ini = values;
    if (settings.status() == QSettings::NoError && QFileInfo(path()).isFile())
        return true;
    m_lastError = statusText(settings.status(), path());
    m_state.AddError(kIniWhere, m_lastError);
    return false;
}

bool IniFile::SaveChannel(const NotifyChannelSettings &channel)
{
    if (const QString problem = ChannelRules::Problem(channel); !problem.isEmpty()) {
        m_lastError = problem;
        return false;
    }
    return write([&channel](QSettings &settings) {
        settings.remove(kChannelPrefix + channel.name);
        NotifyChannelSettings values = channel;
        Writer writer(settings, QString(), QString());
        describeChannel(values, writer);
    });
}

bool IniFile::RemoveChannel(const QString &name)
{
    return write([&name](QSettings &settings) { settings.remove(kChannelPrefix + name); });
}

bool IniFile::Save(const QString &onlySection, const QString &onlyKey)
{
    return write([this, &onlySection, &onlyKey](QSettings &settings) {
        Writer writer(settings, onlySection, onlyKey);
        describeAll(m_state.Ini, writer);
    });
}

// Makes the change and writes the file, which stays its owner's only (it holds the web token
// and may hold the mail server's key).
bool IniFile::write(const std::function<void(QSettings &)> &change)
{
    m_lastError.clear();
    QSettings settings(path(), QSettings::IniFormat);
    if (settings.status() == QSettings::NoError) {
        change(settings);
        settings.sync();
    }
    KeepOwnerOnly(path());
    if (settings.status() == QSettings::NoError && QFileInfo(path()).isFile())
        return true;
    m_lastError = statusText(settings.status(), path());
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
    values.smtpUserName = settings.value(kOverflowUser).toString().trimmed();
    values.smtpPassword = settings.value(kOverflowPassword).toString().trimmed();
    values.lastSystemOKEmail = rawText(settings.value(kOverflowSystemOk)).trimmed();
    return true;
}

bool IniFile::SaveRecordOverflow(const RecordOverflow &values)
{
    return write([&values](QSettings &settings) {
        const auto put = [&settings](const QString &key, const QString &value) {
            if (value.isEmpty())
                settings.remove(key);
            else
                settings.setValue(key, value);
        };
        put(kOverflowUser, values.smtpUserName);
        put(kOverflowPassword, values.smtpPassword);
        put(kOverflowSystemOk, values.lastSystemOKEmail);
    });
}
