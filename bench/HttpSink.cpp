// Stand-ins for the notification receivers of the poll-cycle benchmark: on HOST:PORT an HTTP/1.1
// server that answers every request with 200 over kept connections, and on PORT + 1 one that
// takes connections and never answers. They stand for services on other machines, so they take as
// little of this machine's processor as they can: one thread, epoll, no more parsing than a reply
// needs, and the lowest priority (nice 19), so they run when the collector leaves a core free.
//
//   http_sink HOST PORT      prints "ready" once both listen

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

namespace {

int listenOn(const char *host, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || inet_pton(AF_INET, host, &address.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, 1024) != 0) {
        std::perror("http_sink: listen");
        std::exit(1);
    }
    return fd;
}

// The length of the body the header block announces (0 when none).
size_t contentLength(const std::string &head)
{
    static const char name[] = "content-length:";
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const size_t at = lower.find(name);
    return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + sizeof name - 1, nullptr, 10);
}

// Answers every whole request in buffer and keeps the rest for the next read.
bool answerRequests(int fd, std::string &buffer)
{
    static const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
    for (;;) {
        const size_t headEnd = buffer.find("\r\n\r\n");
        if (headEnd == std::string::npos)
            return true;
        const size_t whole = headEnd + 4 + contentLength(buffer.substr(0, headEnd));
        if (buffer.size() < whole)
            return true;
        buffer.erase(0, whole);
        if (send(fd, reply, sizeof reply - 1, MSG_NOSIGNAL) != sizeof reply - 1)
            return false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: http_sink HOST PORT\n");
        return 2;
    }
    const int port = std::atoi(argv[2]);
    if (nice(19) == -1)
        std::perror("http_sink: nice");
    listenOn(argv[1], port + 1); // connections wait in its backlog, never answered
    const int server = listenOn(argv[1], port);
    const int poll = epoll_create1(0);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = server;
    epoll_ctl(poll, EPOLL_CTL_ADD, server, &event);
    std::printf("ready\n");
    std::fflush(stdout);

    std::unordered_map<int, std::string> pending;
    epoll_event ready[64];
    char chunk[65536];
    for (;;) {
        const int count = epoll_wait(poll, ready, 64, -1);
        for (int i = 0; i < count; ++i) {
            const int fd = ready[i].data.fd;
            if (fd == server) {
                for (int conn; (conn = accept4(server, nullptr, nullptr, 0)) >= 0;) {
                    epoll_event connEvent{};
                    connEvent.events = EPOLLIN;
                    connEvent.data.fd = conn;
                    epoll_ctl(poll, EPOLL_CTL_ADD, conn, &connEvent);
                }
                continue;
            }
            const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
            std::string &buffer = pending[fd];
            if (got > 0)
                buffer.append(chunk, static_cast<size_t>(got));
            if (got <= 0 || !answerRequests(fd, buffer)) {
                epoll_ctl(poll, EPOLL_CTL_DEL, fd, nullptr);
                close(fd);
                pending.erase(fd);
            }
        }
    }
}
