#pragma once

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

// While one lives, the nested-wait guard reports what it catches instead of stopping the test
// program (TALLYPORT_FORBID_NESTED_WAITS is unset), and the reports are collected here. For the
// tests of the guard itself; one at a time.
class GuardReports {
public:
    GuardReports();
    ~GuardReports();
    GuardReports(const GuardReports &) = delete;
    GuardReports &operator=(const GuardReports &) = delete;

    QStringList messages;

private:
    QByteArray m_switch;
};
