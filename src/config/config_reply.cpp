#include "config/config_reply.h"

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

void ParseConfigReply(const char* text, std::int32_t& code, std::int32_t& status,
                      ConfigChallenge& challenge) {
  code = 0;
  status = 0;
  std::uint32_t serial = 0;  // read past; nothing compares it
  const char* cursor = ReadHex(text, serial);
  cursor = ReadDecimal(cursor, code);
  cursor = ReadDecimal(cursor, status);
  ReadKey16(cursor, challenge);
}

int UdpChannel::AwaitConfigReply(ConfigChallenge& challenge) {
  int result = -2;
  int lastLength = 0;
  const std::uint32_t start = platform::TickCountMs();
  for (;;) {
    const int readable = platform::SocketWaitReadable(socket_, kReplySliceMs);
    if (readable > 0) {
      char buffer[kReplyBufferSize];
      // One byte stays for the terminator; a longer datagram is lost whole.
      lastLength =
          platform::SocketReceiveFrom(socket_, buffer, kReplyBufferSize - 1, nullptr, nullptr);
      if (lastLength > 0) {
        buffer[lastLength] = '\0';
        std::int32_t code = 0;
        std::int32_t status = 0;
        ParseConfigReply(buffer, code, status, challenge);
        if (IsConfigurationCode(code)) {
          if (result == -2) {
            result = status;
          } else if (status > 0) {
            result = 1;
          }
        }
      }
    } else if (readable < 0) {
      // A socket that cannot be waited on must not turn the wait into a spin.
      platform::SleepMs(kReplySliceMs);
    }
    platform::PumpOneMessage();
    const std::uint32_t elapsed = platform::TickElapsed(start, platform::TickCountMs());
    if (elapsed >= kReplyMaximumMs || (elapsed >= kReplyMinimumMs && lastLength > 0)) break;
  }
  return result;
}

}  // namespace velkarin
