#pragma once

#include "WebSnapshot.h"

#include <QByteArray>

// The status page: sensors in the grid's colours, devices, open alarms, recent device failures,
// the status messages and the last cycle. Plain HTML with its own style sheet and no script; it
// reloads itself every refreshSeconds. Every text from the program is HTML-escaped.
QByteArray StatusPageHtml(const WebSnapshot &snapshot, int refreshSeconds);
