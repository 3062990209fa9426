// SPDX-License-Identifier: MIT
// The few things a server of ours does with a connected socket beyond what
// its HTTP library does: waiting for it with a time limit, ending it from
// another thread, and asking whom it is connected to. Declared here,
// implemented once per operating system under platform/.
#pragma once

#include <cstdint>
#include <string>

namespace tevrin {

// Waits at most `ms` milliseconds until the socket has something to read
// (data, or the peer's end) or room to write; false when the time ran out
// or the socket failed.
bool WaitReadable(std::intptr_t socket, int ms);
bool WaitWritable(std::intptr_t socket, int ms);
// Ends both directions, so a thread reading or writing it returns at once.
void ShutdownSocket(std::intptr_t socket);
// The peer's numeric address ("127.0.0.1", "::1"); empty when unknown.
std::string PeerAddress(std::intptr_t socket);

} // namespace tevrin
