// Datagram sockets over Winsock 1.1 or BSD sockets. Addresses and ports are
// passed in host byte order; the platform converts them.
#pragma once
#include <cstddef>
#include <cstdint>

namespace velkarin::platform {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Winsock start-up (version 1.1) and release; counted by the system, so every
// successful start-up is paired with one release. On POSIX there is nothing to
// start: start-up succeeds unless a fault is set, and release does nothing.
bool SocketsStartup();
void SocketsCleanup();

SocketHandle UdpSocketOpen();  // IPv4, datagram, default protocol
void SocketClose(SocketHandle socket);
bool SocketSetBroadcast(SocketHandle socket);
bool SocketSetReuseAddress(SocketHandle socket);
bool SocketSetNonBlocking(SocketHandle socket);
bool SocketBindAny(SocketHandle socket, std::uint16_t port);
// As SocketBindAny, but to one local address (127.0.0.1, say) rather than all.
bool SocketBindAddress(SocketHandle socket, std::uint32_t address, std::uint16_t port);
// The local port the socket is bound to, 0 when unknown.
std::uint16_t SocketLocalPort(SocketHandle socket);

// Returns the bytes sent, or -1.
int SocketSendTo(SocketHandle socket, const void* data, std::size_t size, std::uint32_t address,
                 std::uint16_t port);

// One receive. Returns the byte count of one datagram, or 0 or less when none
// was taken. A datagram longer than `size` is dropped and reported as -1 on
// every platform (Winsock's WSAEMSGSIZE). `sender` and `senderPort` may be null.
int SocketReceiveFrom(SocketHandle socket, void* buffer, std::size_t size, std::uint32_t* sender,
                      std::uint16_t* senderPort);

// Waits up to `timeoutMs` for the socket to become readable: 1 readable,
// 0 time-out, -1 error.
int SocketWaitReadable(SocketHandle socket, std::uint32_t timeoutMs);

}  // namespace velkarin::platform
