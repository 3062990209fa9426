// SPDX-License-Identifier: MIT
#include "base/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace tevrin {
namespace {

bool Wait(std::intptr_t socket, short events, int ms) {
    WSAPOLLFD fd{static_cast<SOCKET>(socket), events, 0};
    return WSAPoll(&fd, 1, ms) > 0;
}

} // namespace

bool WaitReadable(std::intptr_t socket, int ms) {
    return Wait(socket, POLLRDNORM, ms);
}

bool WaitWritable(std::intptr_t socket, int ms) {
    return Wait(socket, POLLWRNORM, ms);
}

void ShutdownSocket(std::intptr_t socket) {
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}

std::string PeerAddress(std::intptr_t socket) {
    sockaddr_storage address{};
    int length = sizeof address;
    if (::getpeername(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&address),
                      &length) != 0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    void* where = address.ss_family == AF_INET6
                      ? static_cast<void*>(&reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr)
                      : static_cast<void*>(&reinterpret_cast<sockaddr_in*>(&address)->sin_addr);
    return ::inet_ntop(address.ss_family, where, text, sizeof text) ? text : "";
}

} // namespace tevrin
