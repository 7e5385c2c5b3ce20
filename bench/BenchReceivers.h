#pragma once

// Notification receivers for the poll-cycle benchmark, in a process of their own as real ones
// would be (http_sink, built beside the benchmark): HTTP servers that take every request (200),
// and one that takes connections and never answers. Stopped with the object.

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QTest>

namespace bench {

class Receivers {
public:
    // Listens on host: the answering server on port, the silent one on port + 1.
    bool start(const QString &host, int port, QString &error)
    {
        m_process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/http_sink"));
        m_process.setArguments({host, QString::number(port)});
        m_process.start();
        if (!QTest::qWaitFor([&] { return m_process.canReadLine() ||
                                          m_process.state() == QProcess::NotRunning; }, 5000) ||
            !m_process.readLine().startsWith("ready")) {
            error = QStringLiteral("the notification receivers did not start: ") +
                    QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        return true;
    }
    ~Receivers()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }

private:
    QProcess m_process;
};

} // namespace bench
