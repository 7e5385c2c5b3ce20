#pragma once

#include "Report.h"

#include <QByteArray>
#include <QString>

#include <atomic>

class QPagedPaintDevice;

// Paints the report on a paged device (a PDF writer or a printer), in the device's page size:
// the organisation, the period and when the report was made; the per-sensor table; a chart of
// every sensor's hourly minimum, maximum and mean; the alarm list; the device failure list;
// anything that could not be read; "Page n of N" at the foot of every page. Safe on a worker
// thread. False with the cause when painting could not start or *cancel became true.
bool PaintReport(const Report &report, QPagedPaintDevice &device, QString &error,
                 const std::atomic_bool *cancel = nullptr);

// The report as a PDF document (A4, or Letter where the desktop measures in inches). Empty with
// the cause on failure.
QByteArray ReportPdf(const Report &report, QString &error, const std::atomic_bool *cancel = nullptr);
