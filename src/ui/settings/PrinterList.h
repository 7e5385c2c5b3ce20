#pragma once

#include <QListWidget>
#include <QStringList>

// lstPrinters: the printers the system has, one check box each; checking one unchecks the
// others. With no printers the list says so and offers nothing to check.
class PrinterList final : public QListWidget {
    Q_OBJECT
public:
    static const QString NoPrintersText;

    explicit PrinterList(QWidget *parent = nullptr);

    // The printer names the system reports.
    static QStringList SystemPrinterNames();

    void setPrinters(const QStringList &names);
    int printerCount() const { return m_names.size(); }
    // Checks the printer of that name without announcing it; false when it is not listed.
    bool checkPrinter(const QString &name);

signals:
    // The user checked a printer.
    void printerChosen(int index, const QString &name);

private:
    void onItemChanged(QListWidgetItem *item);
    void checkOnly(int index);

    QStringList m_names;
    bool m_updating = false;
};
