#include "config/config_reply.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/pump.h"
#include "platform/socket.h"
#include "protocol/token_readers.h"

namespace velkarin {
namespace {

bool IsConfigurationCode(std::int32_t code) {
  return code == 3 || code == 4 || code == 5 || code == 8;
}

}  // namespace

void ParseConfigReply(const char* text, std::uint32_t& serial, std::int32_t& code,
                      std::int32_t& status, ConfigChallenge& challenge) {
  serial = 0;
  code = 0;
  status = 0;
  const char* cursor = ReadHex(text, serial);
  cursor = ReadDecimal(cursor, code);
  cursor = ReadDecimal(cursor, status);
  ReadKey16(cursor, challenge);
}

int UdpChannel::AwaitConfigReply(std::uint32_t serial, ConfigChallenge& challenge) {
  return AwaitConfigReplyOn(*this, serial, challenge, false);
}

namespace {

// The reply wait: it ends at `maximumMs`, or once `minimumMs` have passed
// and a datagram came.
int AwaitReply(const UdpChannel& channel, std::uint32_t serial, ConfigChallenge& challenge,
               bool endOnAcceptance, std::uint32_t minimumMs, std::uint32_t maximumMs) {
  const platform::SocketHandle socket = channel.socket();
  int result = kNoReply;
  int lastLength = 0;
  const std::uint32_t start = platform::TickCountMs();
  for (;;) {
    // No slice beyond the wait: a wait of 0 only reads what has come.
    const std::uint32_t waited = platform::TickElapsed(start, platform::TickCountMs());
    const int readable = platform::SocketWaitReadable(
        socket, std::min(kReplySliceMs, maximumMs > waited ? maximumMs - waited : 0));
    if (readable > 0) {
      char buffer[kReplyBufferSize];
      // One byte stays for the terminator; a longer datagram is lost whole.
      lastLength =
          platform::SocketReceiveFrom(socket, buffer, kReplyBufferSize - 1, nullptr, nullptr);
      if (lastLength > 0) {
        buffer[lastLength] = '\0';
        std::uint32_t replySerial = 0;
        std::int32_t code = 0;
        std::int32_t status = 0;
        ConfigChallenge offered = challenge;
        ParseConfigReply(buffer, replySerial, code, status, offered);
        // Only the device being configured decides, and only its reply may
        // renew the challenge; another device's answer on a shared network
        // would otherwise report its outcome as this one's. Every datagram
        // still counts for the end of the wait.
        if (replySerial == serial && IsConfigurationCode(code)) {
          challenge = offered;
          if (result == kNoReply) {
            result = status;
          } else if (status > 0) {
            result = kReplyAccepted;
          }
        }
      }
    } else if (readable < 0) {
      // A socket that cannot be waited on must not turn the wait into a spin.
      platform::SleepMs(kReplySliceMs);
    }
    platform::PumpOneMessage();
    // The host is quitting: nobody waits for the outcome any more.
    if (platform::QuitRequested()) break;
    // Nothing the device says later can undo an acceptance.
    if (endOnAcceptance && result == kReplyAccepted) break;
    const std::uint32_t elapsed = platform::TickElapsed(start, platform::TickCountMs());
    if (elapsed >= maximumMs || (elapsed >= minimumMs && lastLength > 0)) break;
  }
  return result;
}

}  // namespace

int AwaitConfigReplyOn(const UdpChannel& channel, std::uint32_t serial, ConfigChallenge& challenge,
                       bool endOnAcceptance) {
  return AwaitReply(channel, serial, challenge, endOnAcceptance, kReplyMinimumMs, kReplyMaximumMs);
}

int AwaitConfigReplySettled(const UdpChannel& channel, std::uint32_t serial,
                            ConfigChallenge& challenge, std::uint32_t minimumMs,
                            std::uint32_t maximumMs) {
  return AwaitReply(channel, serial, challenge, false, minimumMs, maximumMs);
}

int AwaitConfigReplyWithin(const UdpChannel& channel, std::uint32_t serial,
                           ConfigChallenge& challenge, std::uint32_t waitMs) {
  return AwaitReply(channel, serial, challenge, true, waitMs, waitMs);
}

int AwaitNextConfigReply(const UdpChannel& channel, std::uint32_t serial,
                         ConfigChallenge& challenge, std::uint32_t waitMs) {
  return AwaitReply(channel, serial, challenge, true, 0, waitMs);
}

}  // namespace velkarin
