#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// The span a report covers: [from, to) in local time. Whole days run from midnight to midnight.
struct ReportPeriod {
    QDateTime from;
    QDateTime to;

    bool isValid() const { return from.isValid() && to.isValid() && from < to; }
    // The clock hours the period touches, counted in real time: a day on which the clocks go
    // forward has 23, one on which they go back 25.
    int hours() const;
    // "3/1/2026 to 3/31/2026": the first and last day (an end at midnight belongs to the day before).
    QString text() const;
};

// The choices of the Reports window.
enum class PeriodChoice { Yesterday, Last7Days, LastMonth, ThisMonth, Range };

// Yesterday; the seven whole days before today; last month; this month up to now; or the days
// fromDay to toDay, both whole (invalid when toDay is before fromDay).
ReportPeriod PeriodFor(PeriodChoice choice, const QDateTime &now, const QDate &fromDay = {},
                       const QDate &toDay = {});
// The whole days fromDay to toDay.
ReportPeriod DaysPeriod(const QDate &fromDay, const QDate &toDay);
// The calendar month that holds day.
ReportPeriod MonthPeriod(const QDate &day);
// "March 2026": the month's name in English, whatever the desktop language, and its year.
QString MonthTitle(const QDate &day);
