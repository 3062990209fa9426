// SPDX-License-Identifier: MIT
// The Studio's HTTP server with its connections kept in bounds. The HTTP
// library parses requests and routes them; before it sees a request, its
// head (request line and headers) is read here within fixed limits and a
// deadline, a request line without the session's token is refused before
// any header is read, and a request's body is counted as it is read,
// chunked or not. Every connection has a thread of its own, so slow or idle
// connections cannot hold back a request with the token: past a number of
// connections from one address, the oldest that is idle or still sending
// its head is dropped for a new one. Included by Server.cpp only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <httplib.h>
#include <list>
#include <mutex>
#include <string>
#include <string_view>

namespace tevrin::studio {

struct TConnectionLimits {
    std::size_t MaxRequestLine = 8 << 10; // bytes, else 414
    std::size_t MaxHead = 32 << 10;       // request line and headers in bytes, else 431
    int MaxHeaders = 100;                 // header lines, else 431
    int HeadMs = 10'000;                  // for a whole head, from its first byte, else 408
    int IdleMs = 5'000;                   // a connection may wait between requests
    int IoMs = 5'000;                     // for any one read of a body or write of an answer
    std::size_t MaxBody = std::size_t{100} << 20; // a body's bytes, else 413 with:
    std::string BodyTooLarge = "The request's body is too large";
    int PerAddress = 32; // open connections from one address
    int Total = 96;      // open connections in all
    int RequestsPerConnection = 100;
};

class TGuardedServer : public httplib::Server {
public:
    TGuardedServer();
    ~TGuardedServer() override;

    void SetLimits(const TConnectionLimits& limits) { limits_ = limits; }
    const TConnectionLimits& Limits() const { return limits_; }
    // Called with a request's target (path and query, as sent) once its
    // request line is in: the reason to refuse it (403), or empty to read on.
    std::function<std::string(std::string_view target)> CheckTarget;
    // Whether the request being answered on this thread had its body cut off
    // at MaxBody (the library then answers 400; the error handler makes it a
    // 413).
    static bool BodyWasTooLarge();
    // How many connections are open now.
    int OpenConnections();

private:
    // Idle between requests, sending a head, or answering a request whose
    // head is in.
    enum class TState { Idle, Sending, Busy };
    struct TConnection {
        std::intptr_t Socket;
        std::string Address;
        TState State;
        bool Dropped; // ended for a newer one; it closes on its own thread
    };
    class TStream;
    class TQueue;

    bool process_and_close_socket(socket_t sock) override;
    // Takes a new connection into the list, dropping the oldest idle or
    // still-sending connection of its address (or of all) past the limits.
    // False when every other one is busy: the new one is refused.
    bool Open(std::list<TConnection>::iterator& entry, std::intptr_t socket,
              const std::string& address);
    void SetState(std::list<TConnection>::iterator entry, TState state);
    void Close(std::list<TConnection>::iterator entry);
    void ShutdownAll();

    TConnectionLimits limits_;
    std::mutex lock_;
    std::list<TConnection> open_; // oldest first
    bool stopping_ = false;
};

} // namespace tevrin::studio
