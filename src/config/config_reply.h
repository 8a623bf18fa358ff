// Replies to configuration commands.
#pragma once
#include <cstdint>

#include "protocol/udp_channel.h"

namespace velkarin {

constexpr std::uint32_t kReplySliceMs = 20;
constexpr std::uint32_t kReplyMinimumMs = 3000;
constexpr std::uint32_t kReplyMaximumMs = 7500;
constexpr std::size_t kReplyBufferSize = 128;

void ParseConfigReply(const char* text, std::int32_t& code, std::int32_t& status,
                      ConfigChallenge& challenge);

}  // namespace velkarin
