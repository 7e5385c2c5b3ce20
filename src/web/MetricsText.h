#pragma once

#include "WebSnapshot.h"

#include <QByteArray>

// The snapshot in the Prometheus text exposition format (version 0.0.4), UTF-8.
QByteArray MetricsText(const WebSnapshot &snapshot);

// A label value with backslash, double quote and line feed escaped as the format requires.
QString EscapeLabelValue(const QString &value);
