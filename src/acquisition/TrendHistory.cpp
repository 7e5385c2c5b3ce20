#include "TrendHistory.h"

#include "SensorDataFiles.h"

#include <core/DateTimeText.h>

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
constexpr int kRecordSize = InstantaneousRecord::Size;
constexpr int kChunkRecords = 4096;

struct Reading {
    qint64 time;
    float value;
};

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads record times as the instantaneous writer writes them ("M/d/yyyy h:mm:ss AM"). The local
// hour a text names is looked up once and the minutes and seconds added to it, because the
// full date-time reader costs far more than a whole history's worth of additions.
class RecordTimeReader {
public:
    // Milliseconds since the epoch, or -1 for a text that is not a date and time.
    qint64 read(const char *field)
    {
        int length = InstantaneousRecord::TimeWidth;
        while (length > 0 && (field[length - 1] == ' ' || field[length - 1] == '\0'))
            --length;
        // The last nine characters are ":mm:ss AM" (or PM); what comes before ends with the hour.
        const int prefix = length - 9;
        const char *tail = field + prefix;
        if (prefix < 10 || tail[0] != ':' || !isAsciiDigit(tail[1]) || !isAsciiDigit(tail[2]) ||
            tail[3] != ':' || !isAsciiDigit(tail[4]) || !isAsciiDigit(tail[5]) || tail[6] != ' ' ||
            (tail[7] != 'A' && tail[7] != 'P') || tail[8] != 'M')
            return readSlowly(field, length);
        const int minutes = (tail[1] - '0') * 10 + (tail[2] - '0');
        const int seconds = (tail[4] - '0') * 10 + (tail[5] - '0');
        if (minutes > 59 || seconds > 59)
            return -1;
        if (m_hour.size() != prefix + 1 || m_hour.back() != tail[7] ||
            std::memcmp(m_hour.constData(), field, size_t(prefix)) != 0)
            lookUpHour(field, prefix, tail[7]);
        return m_hourStart < 0 ? -1 : m_hourStart + minutes * 60000LL + seconds * 1000LL;
    }

private:
    void lookUpHour(const char *field, int prefix, char half)
    {
        m_hour = QByteArray(field, prefix) + half;
        const QDateTime start =
            ParseDateTimeText(QString::fromLatin1(field, prefix) + QStringLiteral(":00:00 ") +
                              QLatin1Char(half) + QLatin1Char('M'));
        m_hourStart = start.isValid() ? start.toMSecsSinceEpoch() : -1;
    }
    static qint64 readSlowly(const char *field, int length)
    {
        const QDateTime when = ParseDateTimeText(QString::fromLatin1(field, length));
        return when.isValid() ? when.toMSecsSinceEpoch() : -1;
    }

    QByteArray m_hour; // the date and hour text, then A or P, of the hour looked up last
    qint64 m_hourStart = -1;
};

// Adds the readings of one chunk of records that lie in [from, to), in file order. True when
// the chunk holds a reading before `from`: the chunks before it hold older readings still.
bool readChunk(const QByteArray &bytes, qint64 from, qint64 to, RecordTimeReader &times,
               std::vector<Reading> &out)
{
    bool reachedFrom = false;
    for (qsizetype offset = 0; offset + kRecordSize <= bytes.size(); offset += kRecordSize) {
        const char *record = bytes.constData() + offset;
        const qint64 time = times.read(record);
        const float value =
            std::bit_cast<float>(qFromLittleEndian<quint32>(record + InstantaneousRecord::TimeWidth));
        if (time < 0 || !std::isfinite(value))
            continue;
        if (time < from)
            reachedFrom = true;
        else if (time < to)
            out.push_back({time, value});
    }
    return reachedFrom;
}

// The readings of one month's file in [from, to), read backwards in chunks until a reading
// before `from` turns up. A missing file holds no readings.
bool readMonth(const QString &path, qint64 from, qint64 to, std::vector<Reading> &out, QString &error)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    std::vector<std::vector<Reading>> chunks;
    RecordTimeReader times;
    qint64 end = file.size() / kRecordSize;
    while (end > 0) {
        const qint64 begin = std::max<qint64>(0, end - kChunkRecords);
        const qint64 length = (end - begin) * kRecordSize;
        QByteArray bytes;
        if (file.seek(begin * kRecordSize))
            bytes = file.read(length);
        if (bytes.size() != length) {
            error = file.error() != QFileDevice::NoError ? file.errorString()
                                                         : QStringLiteral("The file could not be read");
            return false;
        }
        chunks.emplace_back();
        const bool reachedFrom = readChunk(bytes, from, to, times, chunks.back());
        if (reachedFrom)
            break;
        end = begin;
    }
    for (auto chunk = chunks.rbegin(); chunk != chunks.rend(); ++chunk)
        out.insert(out.end(), chunk->begin(), chunk->end());
    return true;
}
// Twice the median spacing of the readings: the rate the files were written at, which need not
// be today's update rate. The given break stands in while there are too few readings to tell.
qint64 BreakForSpacing(const std::vector<Reading> &readings, qint64 fallbackMs)
{
    if (readings.size() < 3)
        return fallbackMs;
    std::vector<qint64> spacings;
    spacings.reserve(readings.size() - 1);
    for (size_t i = 1; i < readings.size(); ++i)
        spacings.push_back(readings[i].time - readings[i - 1].time);
    const auto middle = spacings.begin() + std::ptrdiff_t(spacings.size() / 2);
    std::nth_element(spacings.begin(), middle, spacings.end());
    return *middle > 0 ? 2 * *middle : fallbackMs;
}
} // namespace

TrendHistory ReadTrendHistory(const QString &directory, int sensorId, const QDateTime &from,
                              const QDateTime &to, qint64 breakMs)
{
    TrendHistory history;
    const qint64 fromMs = from.toMSecsSinceEpoch();
    const qint64 toMs = to.toMSecsSinceEpoch();
    if (toMs <= fromMs)
        return history;
    std::vector<Reading> readings;
    const QDate lastDay = QDateTime::fromMSecsSinceEpoch(toMs - 1).date();
    const QDate lastMonth(lastDay.year(), lastDay.month(), 1);
    for (QDate month(from.date().year(), from.date().month(), 1); month <= lastMonth;
         month = month.addMonths(1)) {
        const QString path = SensorInstantaneousPath(directory, sensorId, month);
        QString error;
        if (!readMonth(path, fromMs, toMs, readings, error))
            history.errors << QDir::toNativeSeparators(path) + QStringLiteral(": ") + error;
    }
    // A clock set back writes older times after newer ones; the chart needs them in order.
    const auto byTime = [](const Reading &a, const Reading &b) { return a.time < b.time; };
    if (!std::is_sorted(readings.begin(), readings.end(), byTime))
        std::stable_sort(readings.begin(), readings.end(), byTime);

    history.times.reserve(readings.size());
    history.values.reserve(readings.size());
    const qint64 gapMs = BreakForSpacing(readings, breakMs);
    history.breakMs = gapMs;
    for (size_t i = 0; i < readings.size(); ++i) {
        if (i > 0 && gapMs > 0 && readings[i].time - readings[i - 1].time > gapMs) {
            history.times.push_back(readings[i - 1].time + 1);
            history.values.push_back(std::numeric_limits<float>::quiet_NaN());
        }
        history.times.push_back(readings[i].time);
        history.values.push_back(readings[i].value);
    }
    return history;
}
