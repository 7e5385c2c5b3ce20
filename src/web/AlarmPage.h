#pragma once

#include <db/Records.h>

#include <QByteArray>
#include <QString>

// What the page of one alarm shows. It does not reload itself: the form on it must not lose
// what is being typed.
struct AlarmPageView {
    AlarmRecord alarm;
    QString escalation; // what reminders and steps have been sent, one line; empty for none
    // The form, while the alarm is open and nobody has acknowledged it: where it posts (relative,
    // with the ?token= or ?key= the page was opened with) and the page's nonce.
    bool form = false;
    QString action;
    QString nonce;
    QString statusLink; // the status page (relative), empty when the viewer may not see it
};

QByteArray AlarmPageHtml(const AlarmPageView &view);
// A short page for a request that was refused or found nothing: a heading and a line, and a
// link back to the alarm's page when given.
QByteArray MessagePageHtml(const QString &title, const QString &text, const QString &backLink = QString());
