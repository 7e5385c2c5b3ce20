#include "ReportPeriod.h"

#include <core/DateTimeText.h>

#include <QLocale>

#include <cmath>

namespace {
QDateTime midnight(const QDate &day)
{
    return QDateTime(day, QTime(0, 0));
}
} // namespace

int ReportPeriod::hours() const
{
    if (!isValid())
        return 0;
    return int(std::ceil(double(from.secsTo(to)) / 3600.0));
}

QString ReportPeriod::text() const
{
    if (!isValid())
        return QString();
    const QDate last = to.time() == QTime(0, 0) ? to.date().addDays(-1) : to.date();
    const QString end = to.time() == QTime(0, 0) ? DateText(last) : DateTimeText(to);
    return DateText(from.date()) + QStringLiteral(" to ") + end;
}

ReportPeriod DaysPeriod(const QDate &fromDay, const QDate &toDay)
{
    if (!fromDay.isValid() || !toDay.isValid() || toDay < fromDay)
        return {};
    return {midnight(fromDay), midnight(toDay.addDays(1))};
}

ReportPeriod MonthPeriod(const QDate &day)
{
    const QDate first(day.year(), day.month(), 1);
    return {midnight(first), midnight(first.addMonths(1))};
}

ReportPeriod PeriodFor(PeriodChoice choice, const QDateTime &now, const QDate &fromDay, const QDate &toDay)
{
    const QDate today = now.date();
    switch (choice) {
    case PeriodChoice::Yesterday:
        return DaysPeriod(today.addDays(-1), today.addDays(-1));
    case PeriodChoice::Last7Days:
        return DaysPeriod(today.addDays(-7), today.addDays(-1));
    case PeriodChoice::LastMonth:
        return MonthPeriod(today.addMonths(-1));
    case PeriodChoice::ThisMonth:
        return {midnight(QDate(today.year(), today.month(), 1)), now};
    case PeriodChoice::Range:
        return DaysPeriod(fromDay, toDay);
    }
    return {};
}

QString MonthTitle(const QDate &day)
{
    return QLocale::c().monthName(day.month(), QLocale::LongFormat) + QLatin1Char(' ') +
           QString::number(day.year());
}
