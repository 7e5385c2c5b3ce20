#include "SimClockImage.h"

quint8 simToBcd(int value)
{
    return quint8((value % 10) + 16 * ((value / 10) % 10));
}

namespace {

// -1 when a digit is above 9.
int fromBcd(quint8 byte)
{
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    if (high > 9 || low > 9)
        return -1;
    return high * 10 + low;
}

} // namespace

QByteArray simEncodeClockImage(const QDateTime &time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    const int hour24 = clock.hour();
    int hour12 = hour24 % 12;
    if (hour12 == 0)
        hour12 = 12;
    QByteArray image(7, '\0');
    image[0] = char(simToBcd(clock.second()));
    image[1] = char(simToBcd(clock.minute()));
    image[2] = char(64 + (hour24 >= 12 ? 32 : 0) + simToBcd(hour12));
    image[3] = char(date.dayOfWeek() % 7 + 1); // Qt: Monday 1 .. Sunday 7; device: Sunday 1
    image[4] = char(simToBcd(date.day()));
    image[5] = char(simToBcd(date.month()));
    image[6] = char(simToBcd(date.year() - 2000));
    return image;
}

bool simDecodeClockImage(const QByteArray &bytes, int offset, QDateTime *time)
{
    if (offset < 0 || bytes.size() < offset + 7)
        return false;
    auto at = [&](int i) { return quint8(bytes[offset + i]); };
    const int second = fromBcd(at(0));
    const int minute = fromBcd(at(1));
    const quint8 hourByte = at(2);
    if (hourByte < 64)
        return false;
    const bool pm = (hourByte - 64) >= 32;
    int hour = fromBcd(quint8((hourByte - 64) & 0x1F));
    const int day = fromBcd(at(4));
    const int month = fromBcd(at(5));
    const int year = fromBcd(at(6));
    if (second < 0 || minute < 0 || hour < 0 || hour > 12 || day < 0 || month < 0 || year < 0)
        return false;
    hour %= 12; // 12 AM is midnight, 12 PM noon
    if (pm)
        hour += 12;
    const QDate date(2000 + year, month, day);
    const QTime clock(hour, minute, second);
    if (!date.isValid() || !clock.isValid())
        return false;
    *time = QDateTime(date, clock);
    return true;
}
