#include "platform/SocketState.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#endif

namespace SocketState {

#ifdef Q_OS_WIN

// Winsock hands out socket handles, not small numbers to scan, and names no
// owner of a socket: the caller falls back on asking the server.
QList<qintptr> connectedTo(int)
{
    return {};
}

bool isOpenAndQuiet(qintptr socket)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(SOCKET(socket), &readable);
    timeval now{0, 0};
    // Readable with nothing asked: the peer's end, or something unasked for.
    return select(0, &readable, nullptr, nullptr, &now) == 0;
}

#else

QList<qintptr> connectedTo(int port)
{
    QList<qintptr> sockets;
    rlimit limit{};
    const rlim_t highest =
        getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
    for (int fd = 0; fd < int(highest); ++fd) {
        struct stat info
        {
        };
        if (fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode))
            continue;
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
            continue;
        int peerPort = -1;
        if (peer.ss_family == AF_INET)
            peerPort = ntohs(reinterpret_cast<const sockaddr_in&>(peer).sin_port);
        else if (peer.ss_family == AF_INET6)
            peerPort = ntohs(reinterpret_cast<const sockaddr_in6&>(peer).sin6_port);
        if (peerPort == port)
            sockets << fd;
    }
    return sockets;
}

bool isOpenAndQuiet(qintptr socket)
{
    pollfd p{int(socket), POLLIN, 0};
    if (poll(&p, 1, 0) < 0)
        return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
        return false;
    // Readable with nothing asked: the peer's end of the stream (0), or
    // something we never asked for; either way not a session to take up.
    return !(p.revents & POLLIN);
}

#endif

} // namespace SocketState
