// SPDX-License-Identifier: MIT
#include "base/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace tevrin {
namespace {

bool Wait(std::intptr_t socket, short events, int ms) {
    pollfd fd{static_cast<int>(socket), events, 0};
    for (;;) {
        const int n = ::poll(&fd, 1, ms);
        if (n < 0 && errno == EINTR) continue;
        return n > 0;
    }
}

} // namespace

bool WaitReadable(std::intptr_t socket, int ms) {
    return Wait(socket, POLLIN, ms);
}

bool WaitWritable(std::intptr_t socket, int ms) {
    return Wait(socket, POLLOUT, ms);
}

void ShutdownSocket(std::intptr_t socket) {
    ::shutdown(static_cast<int>(socket), SHUT_RDWR);
}

std::string PeerAddress(std::intptr_t socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &length) !=
        0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    const void* where =
        address.ss_family == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr)
            : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(&address)->sin_addr);
    return ::inet_ntop(address.ss_family, where, text, sizeof text) ? text : "";
}

} // namespace tevrin
