// Replies to configuration commands.
#pragma once
#include <cstdint>

#include "protocol/udp_channel.h"

namespace velkarin {

constexpr std::uint32_t kReplySliceMs = 20;
constexpr std::uint32_t kReplyMinimumMs = 3000;
constexpr std::uint32_t kReplyMaximumMs = 7500;
constexpr std::size_t kReplyBufferSize = 128;

// Reads a reply's serial number, code and status (each 0 when missing), and
// its challenge: a fourth word of exactly 32 characters replaces `challenge`,
// any other leaves it as it was.
void ParseConfigReply(const char* text, std::uint32_t& serial, std::int32_t& code,
                      std::int32_t& status, ConfigChallenge& challenge);

// What AwaitConfigReply gives: one of these, or the status of the first reply
// that counted when it was another.
constexpr int kReplyAccepted = 1;
constexpr int kReplyRefused = -1;
constexpr int kNoReply = -2;  // no reply of the device counted

// UdpChannel::AwaitConfigReply on `channel`; with `endOnAcceptance`, the wait
// ends as soon as the device's acceptance has counted, since no later reply
// changes that outcome. A batch of transactions would otherwise wait out the
// minimum for every device.
int AwaitConfigReplyOn(const UdpChannel& channel, std::uint32_t serial, ConfigChallenge& challenge,
                       bool endOnAcceptance);
// The same wait with its own bounds: at least `minimumMs`, ending with the
// first datagram after them or after `maximumMs`.
int AwaitConfigReplySettled(const UdpChannel& channel, std::uint32_t serial,
                            ConfigChallenge& challenge, std::uint32_t minimumMs,
                            std::uint32_t maximumMs);
// The same wait, ending at the acceptance or after `waitMs`: for a caller
// that sends the command again when no reply came.
int AwaitConfigReplyWithin(const UdpChannel& channel, std::uint32_t serial,
                           ConfigChallenge& challenge, std::uint32_t waitMs);
// The first datagram within `waitMs` (0: one slice): the status of a reply of
// `serial`, with `challenge` renewed when it carries one, or kNoReply for any
// other datagram and for none. For a caller that counts the replies of
// several commands one by one.
int AwaitNextConfigReply(const UdpChannel& channel, std::uint32_t serial,
                         ConfigChallenge& challenge, std::uint32_t waitMs);

}  // namespace velkarin
