#include "DeviceClock.h"

#include <core/DateTimeText.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>
#include <link/PageValues.h>

namespace {

const QString ResetTime = QStringLiteral("Reset Time");
constexpr int PmBit = 32;
constexpr int TwelveHourBit = 64;

// The two hexadecimal digits of a byte read as a decimal number; -1 when a digit is above 9.
int fromBCD(int byte)
{
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    return (high > 9 || low > 9) ? -1 : high * 10 + low;
}

int bcdAt(const QByteArray &message, int index)
{
    const auto byte = PageByte(message, index);
    return byte ? fromBCD(*byte) : -1;
}

// The hour of the day from a 12-hour-mode hour byte; -1 when it is not one.
int hourOfDay(const QByteArray &message, int index)
{
    const auto byte = PageByte(message, index);
    if (!byte || *byte < TwelveHourBit)
        return -1;
    int rest = *byte - TwelveHourBit;
    const bool pm = rest >= PmBit;
    if (pm)
        rest -= PmBit;
    const int hour = fromBCD(rest);
    if (hour < 0 || hour > 12)
        return -1;
    return hour % 12 + (pm ? 12 : 0);
}

} // namespace

unsigned char ToBCD(int value)
{
    return static_cast<unsigned char>((value % 10) + 16 * (value / 10));
}

ClockReading DecodeClock(const QByteArray &message, int start)
{
    ClockReading reading;
    reading.text = ResetTime;
    const int minutesIndex = start - 1;
    const int seconds = start > 1 ? bcdAt(message, minutesIndex - 1) : 0;
    const int minutes = bcdAt(message, minutesIndex);
    const int hour = hourOfDay(message, minutesIndex + 1);
    const int day = bcdAt(message, minutesIndex + 3);
    const int month = bcdAt(message, minutesIndex + 4);
    const int year = bcdAt(message, minutesIndex + 5);
    if (seconds < 0 || minutes < 0 || hour < 0 || day < 0 || month < 0 || year < 0)
        return reading;
    const QDate date(2000 + year, month, day);
    const QTime time(hour, minutes, seconds);
    if (!date.isValid() || !time.isValid())
        return reading;
    reading.valid = true;
    reading.date = date;
    reading.time = time;
    reading.text = DateTimeText(date, time);
    return reading;
}

bool EncodeClock(QByteArray &request, const QDateTime &now)
{
    if (request.size() < 11)
        return false;
    const QDate date = now.date();
    const int hour24 = now.time().hour();
    // 13-23 become 1-11 and the hour after midnight 12: the 12-hour clock has no hour 0.
    const int hour12 = hour24 % 12 == 0 ? 12 : hour24 % 12;
    request[4] = 0;
    request[5] = char(ToBCD(now.time().minute()));
    request[6] = char(ToBCD(hour12) + TwelveHourBit + (hour24 >= 12 ? PmBit : 0));
    request[7] = char(date.dayOfWeek() % 7 + 1); // Monday 1 .. Sunday 7 becomes Sunday 1 .. Saturday 7
    request[8] = char(ToBCD(date.day()));
    request[9] = char(ToBCD(date.month()));
    request[10] = char(ToBCD(date.year() - 2000));
    return true;
}

bool ReadClock(DeviceLink &link, const QString &address, QString &text, int &updateRate, int &logCount)
{
    const QByteArray request = BuildCommand(DeviceCommands().ReadClockCommand);
    QByteArray reply;
    const bool ok = link.ReadFromQM(address, DeviceLink::DevicePort, request, reply, DeviceLink::FrameLength,
                                    QString()) &&
                    SameCode(reply, request);
    if (!ok) {
        text = QStringLiteral("Failed to read date and time from ") + address;
        return true;
    }
    text = DecodeClock(reply, 6).text;
    updateRate = PageByte(reply, 11).value_or(0);
    logCount = PageUInt16(reply, 12).value_or(0);
    return true;
}

bool StoreClock(DeviceLink &link, const QString &address, int updateRate, const QDateTime &now,
                QString &replyText)
{
    QByteArray request = BuildCommand(DeviceCommands().StoreClockCommand);
    EncodeClock(request, now);
    request[11] = char(LowByte(updateRate));
    QByteArray reply;
    if (!link.ReadFromQM(address, DeviceLink::DevicePort, request, reply, DeviceLink::FrameLength,
                         QString())) {
        replyText = QStringLiteral("Upload failed");
        return false;
    }
    replyText = DecodeClock(reply, 6).text;
    return true;
}
