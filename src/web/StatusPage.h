#pragma once

#include "WebSnapshot.h"

#include <QByteArray>

// The status page: sensors in the grid's colours, devices, open alarms, recent device failures,
// the status messages and the last cycle. Plain HTML with its own style sheet and no script; it
// reloads itself every refreshSeconds. Every text from the program is HTML-escaped.
QByteArray StatusPageHtml(const WebSnapshot &snapshot, int refreshSeconds);

// The pages' common look: the style sheet, and cssClass's names for a sensor's status.
QString PageStyleSheet();
QString StatusCssClass(StatusGridModel::SensorStatus status);
// "<!DOCTYPE html>..." up to and including "<body>", with the style sheet (and extraCss after
// it), reloading itself every refreshSeconds.
QString PageHead(const QString &title, int refreshSeconds, const QString &extraCss = QString());
// How often a page reloads itself: at the update rate, within reason.
int PageRefreshSeconds(int updateRateSeconds);
