#pragma once

// Notification receivers for the poll-cycle benchmark, in a process of their own as real ones
// would be: HTTP servers that take every request (200), and one that takes connections and never
// answers. Stopped with the object.

#include <QProcess>
#include <QString>
#include <QTest>

namespace bench {

class Receivers {
public:
    // Listens on host: the answering server on port, the silent one on port + 1.
    bool start(const QString &host, int port, QString &error)
    {
        static const char script[] = R"(
import http.server, socket, sys, threading
host, port = sys.argv[1], int(sys.argv[2])
class Take(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()
    def log_message(self, *args):
        pass
silent = socket.socket()
silent.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
silent.bind((host, port + 1))
silent.listen(1024)
server = http.server.ThreadingHTTPServer((host, port), Take)
print("ready", flush=True)
server.serve_forever()
)";
        m_process.setProgram(QStringLiteral("python3"));
        m_process.setArguments({QStringLiteral("-c"), QString::fromLatin1(script), host, QString::number(port)});
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
