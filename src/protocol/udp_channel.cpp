#include "protocol/udp_channel.h"

#include "platform/interfaces.h"
#include "platform/socket.h"

namespace velkarin {
namespace {

constexpr char kDiscoveryDatagram[5] = {'0', ' ', '1', ' ', 'A'};

}  // namespace

UdpChannel::UdpChannel(Destination destination) : destination_(destination) {
  started_ = platform::SocketsStartup();
  if (!started_) return;
  socket_ = platform::UdpSocketOpen();
  if (socket_ == platform::kInvalidSocket) return;
  platform::SocketSetBroadcast(socket_);
  const bool nonBlocking = platform::SocketSetNonBlocking(socket_);
  platform::SocketSetReuseAddress(socket_);
  const bool bound = platform::SocketBindAny(socket_, 0);
  // A channel that cannot leave by the interface asked for would reach
  // another segment's devices: given up as well.
  const bool aimed = destination_.interfaceIndex == 0 ||
                     platform::SocketSetOutgoingInterface(socket_, destination_.interfaceIndex);
  // A socket left blocking would hang its receiver, and an unbound one would
  // be bound implicitly by its first send and then hear answers after all.
  // Either way the channel is given up, and behaves as one that hears nothing.
  if (!nonBlocking || !bound || !aimed) {
    platform::SocketClose(socket_);
    socket_ = platform::kInvalidSocket;
  }
}

void UdpChannel::LeaveBy(std::uint32_t interfaceIndex) {
  if (interfaceIndex == 0 || interfaceIndex == destination_.interfaceIndex) return;
  destination_.interfaceIndex = interfaceIndex;
  if (socket_ == platform::kInvalidSocket) return;
  // Sent elsewhere, a command would reach another segment's device.
  if (!platform::SocketSetOutgoingInterface(socket_, interfaceIndex)) {
    platform::SocketClose(socket_);
    socket_ = platform::kInvalidSocket;
  }
}

UdpChannel::~UdpChannel() {
  platform::SocketClose(socket_);
  if (started_) platform::SocketsCleanup();
}

void UdpChannel::SendDiscovery() { SendRaw(kDiscoveryDatagram, sizeof kDiscoveryDatagram); }

int UdpChannel::Receive(char* buffer, std::size_t size, bool& senderUnconfigured) {
  senderUnconfigured = false;
  if (socket_ == platform::kInvalidSocket) return -1;
  std::uint32_t sender = 0xFFFFFFFFu;
  const int count = platform::SocketReceiveFrom(socket_, buffer, size, &sender, nullptr);
  if (count >= 0) senderUnconfigured = sender == 0;
  return count;
}

int UdpChannel::SendRaw(const void* data, std::size_t size) {
  if (socket_ == platform::kInvalidSocket) return -1;
  return platform::SocketSendTo(socket_, data, size, destination_.address, destination_.port);
}

std::uint16_t UdpChannel::localPort() const {
  if (socket_ == platform::kInvalidSocket) return 0;
  return platform::SocketLocalPort(socket_);
}

}  // namespace velkarin
