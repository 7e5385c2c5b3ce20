#pragma once

#include <QString>

// A listening TCP socket that never accepts and whose backlog is already full, so a new
// connection to it stays pending: the kernel drops its handshake and it never opens.
class StalledListener {
public:
    StalledListener(const QString &address, int port);
    ~StalledListener();
    StalledListener(const StalledListener &) = delete;
    StalledListener &operator=(const StalledListener &) = delete;

    bool ready() const { return m_ready; }

private:
    int m_listener = -1;
    int m_filler = -1;
    bool m_ready = false;
};
