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
        // One thread and no more parsing than a reply needs, so the stand-ins for receivers on
        // other machines take as little of this machine's processor as they can.
        static const char script[] = R"(
import selectors, socket, sys
host, port = sys.argv[1], int(sys.argv[2])
REPLY = b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"
sel = selectors.DefaultSelector()
def listener(p):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((host, p))
    s.listen(1024)
    return s
silent = listener(port + 1)  # takes connections and never answers
server = listener(port)
server.setblocking(False)
sel.register(server, selectors.EVENT_READ, None)
pending = {}
def serve(conn):
    data = conn.recv(65536)
    if not data:
        sel.unregister(conn)
        conn.close()
        pending.pop(conn, None)
        return
    buf = pending.get(conn, b"") + data
    while True:
        head_end = buf.find(b"\r\n\r\n")
        if head_end < 0:
            break
        length = 0
        for line in buf[:head_end].split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value)
        if len(buf) < head_end + 4 + length:
            break
        buf = buf[head_end + 4 + length:]
        conn.sendall(REPLY)
    pending[conn] = buf
print("ready", flush=True)
while True:
    for key, _ in sel.select():
        if key.data is None:
            conn, _ = server.accept()
            conn.setblocking(True)
            sel.register(conn, selectors.EVENT_READ, "conn")
        else:
            serve(key.fileobj)
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
