#pragma once

#include <QString>

// Root ignores file modes, so a test of unwritable files run as root runs again in a child
// process of this test program under an unprivileged user; the child runs the same test
// function (and data row) and its verdict is the test's.
bool RunningAsRoot();
// Runs "testFunction[:row]" of this program as nobody. False with the child's output when the
// child failed or could not run.
bool RunTestAsNobody(const QString &testFunctionAndRow, QString &output);

// Sets a file size limit for the process while it lives (a full disk for every file written
// from now on), ignoring the signal that would otherwise end the program; restores both after.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool isSet() const { return m_set; }

private:
    bool m_set = false;
    unsigned long long m_previous = 0;
    void (*m_previousHandler)(int) = nullptr;
};
