#include "StalledListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

StalledListener::StalledListener(const QString &address, int port)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(quint16(port));
    if (inet_pton(AF_INET, address.toLatin1().constData(), &where.sin_addr) != 1)
        return;
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&where), sizeof where) != 0 ||
        ::listen(m_listener, 0) != 0)
        return;
    // A backlog of 0 holds one finished handshake; this connection takes it.
    m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
    m_ready = ::connect(m_filler, reinterpret_cast<sockaddr *>(&where), sizeof where) == 0;
}

StalledListener::~StalledListener()
{
    if (m_filler >= 0)
        ::close(m_filler);
    if (m_listener >= 0)
        ::close(m_listener);
}
