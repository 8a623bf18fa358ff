// The host's IPv4 interfaces, and sockets tied to one of them: what a scan
// of several network segments needs beside the plain sockets of socket.h.
// Addresses are in host byte order, as in socket.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace velkarin::platform {

struct NetInterface {
  std::string name;           // "eth0"; on Windows the adapter's friendly name
  std::uint32_t index = 0;    // the system's interface index, never 0
  std::uint32_t address = 0;  // the first IPv4 address
  std::uint32_t prefixLength = 0;
  bool loopback = false;
  bool broadcast = false;  // the link can carry broadcasts
};

// The interfaces that are up and hold an IPv4 address, one entry per
// interface, in the system's order. Empty when they cannot be listed.
std::vector<NetInterface> ListIpv4Interfaces();

// Makes the socket send, broadcasts included, out of the interface with this
// index. Linux binds the socket to the device (SO_BINDTODEVICE), so it also
// hears only what arrives there; where that is not allowed it falls back to
// IP_UNICAST_IF as Windows does, which picks the outgoing interface only.
bool SocketSetOutgoingInterface(SocketHandle socket, std::uint32_t interfaceIndex);

// Ties the socket to the device of this name alone, with no fallback: it
// hears only what arrives there and sends only out of it. On Linux a socket
// so tied and bound to 0.0.0.0 sends limited broadcasts with the source
// address 0.0.0.0, as a device without an address does. Windows has no such
// option: false there.
bool SocketBindToDevice(SocketHandle socket, const char* name);

// Asks for a receive queue of `bytes`, so that a burst of answers is not
// dropped while the receiver is busy. Best effort: the system may grant less.
void SocketSetReceiveBuffer(SocketHandle socket, int bytes);

// Waits up to `timeoutMs` until at least one of the sockets is readable.
// Returns the number of readable sockets and sets readable[i] for each
// (`readable` holds `count` entries), 0 on time-out, -1 on error.
int SocketsWaitReadable(const SocketHandle* sockets, bool* readable, std::size_t count,
                        std::uint32_t timeoutMs);

}  // namespace velkarin::platform
