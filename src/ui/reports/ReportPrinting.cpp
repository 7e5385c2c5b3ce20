#include "ReportPrinting.h"

#include <reports/ReportPdf.h>

#include <QPrinter>
#include <QPrinterInfo>

bool PrintReportOn(const Report &report, const QString &printerName, QString &error)
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(printerName);
    if (info.isNull()) {
        error = QStringLiteral("The printer \"%1\" is not installed on this computer.").arg(printerName);
        return false;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Tallyport report"));
    return PaintReport(report, printer, error);
}
