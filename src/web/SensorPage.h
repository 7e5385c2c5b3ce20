#pragma once

#include "WebSnapshot.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The spans a sensor's page shows, as its links name them ("?span=7d").
struct SensorSpan {
    QString name;  // "24h", "7d", "30d", "1y"
    QString label; // "24 hours", ...
    qint64 ms = 0;

    static const QList<SensorSpan> &All();
    // The span of that name; empty for another name.
    static std::optional<SensorSpan> Named(const QString &name);
    static const SensorSpan &Default();
};

// What the page of one sensor shows: its reading and status as the status page's row has them,
// its limits, the chart of the span and the sensor's open alarms with their acknowledgement.
struct SensorPageView {
    SensorView sensor;
    bool inGrid = true; // false: no cycle has shown the sensor yet
    std::optional<double> lowerLimit;
    std::optional<double> upperLimit;
    QList<AlarmRecord> openAlarms;
    SensorSpan span;
    QString chartSvg;
    QStringList readErrors; // data files that could not be read
    QDateTime now;
    int refreshSeconds = 60;
    // Added to every link ("?token=..." percent-encoded), so a page opened with the token keeps it.
    QString tokenQuery;
};

// The page; every text from the program is HTML-escaped, links are relative to /sensor/{id}.
QByteArray SensorPageHtml(const SensorPageView &view);
// A short page for a sensor that does not exist or a request that cannot be answered, in the
// status page's look, with a link back to it.
QByteArray SensorMessageHtml(const QString &title, const QString &text, const QString &tokenQuery);
