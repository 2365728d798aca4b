#pragma once

// The few socket calls the loopback server needs; one file per platform.

#include <cstddef>
#include <cstdint>

namespace tavrel::testing::net {

using Socket = std::uintptr_t;
inline constexpr Socket kInvalidSocket = ~Socket{0};

// Socket library start and end (Windows); balanced calls.
bool Startup();
void Cleanup();

// A listening socket on 127.0.0.1; port 0 asks for an ephemeral one and
// port receives the one bound.
Socket ListenLoopback(std::uint16_t& port);
// True when s becomes readable (or a connection waits) within timeoutMs.
bool WaitReadable(Socket s, int timeoutMs);
Socket Accept(Socket listener);
// A client connection to 127.0.0.1:port (for tests of the server itself).
Socket ConnectLoopback(std::uint16_t port);
// Bytes read, 0 at the peer's end, negative on error.
long Receive(Socket s, char* buffer, std::size_t size);
bool SendAll(Socket s, const char* data, std::size_t size);
void Close(Socket s);

}  // namespace tavrel::testing::net
