#pragma once

#include <QList>
#include <QString>

// The labels of the trending chart's time axis: at round local times (whole minutes, quarter
// hours, hours, midnights, ...), spaced so that at most maxLabels fit the span and no two labels
// read the same. Times read "h:mm AM"; where the span crosses midnight the first label and the
// first label of every later day carry the date ("5/2 12:00 AM"), over a day or more every label
// does, and a span of days labelled at midnights shows dates alone ("5/2").
struct TrendTimeTick {
    qint64 time; // milliseconds since the epoch
    QString label;
    bool operator==(const TrendTimeTick &) const = default;
};

QList<TrendTimeTick> TrendTimeTicks(qint64 from, qint64 to, int maxLabels);
