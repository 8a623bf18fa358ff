#include "config/config_delivery.h"

#include <algorithm>
#include <atomic>

#include "config/config_reply.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace velkarin {

namespace {

// The first wait for the first three commands, then half as long again for
// each command after one more that went without a reply. The last command
// waits the longest: the sooner ones may have reached a slow device, whose
// reply is still on its way.
std::uint32_t ReplyWait(const DeliveryLimits& limits, int unanswered, bool last) {
  if (last) return limits.longestReplyWaitMs;
  std::uint32_t wait = limits.replyWaitMs;
  for (int i = 2; i < unanswered && wait < limits.longestReplyWaitMs; ++i) wait += wait / 2;
  return std::min(wait, limits.longestReplyWaitMs);
}

// Sockets that exchanges keep between calls.
constexpr int kMostKeptChannels = 256;
std::atomic<int> keptChannels{0};

}  // namespace

void ExchangeChannelClose::operator()(UdpChannel* channel) const {
  if (kept) --keptChannels;
  delete channel;
}

DeviceExchange::Heard DeviceExchange::Listen(std::uint32_t serial, const char* password,
                                             std::uint32_t waitMs, const DeliveryLimits& limits) {
  const std::uint32_t start = platform::TickCountMs();
  std::uint32_t limit = waitMs;
  for (;;) {
    const std::uint32_t elapsed = platform::TickElapsed(start, platform::TickCountMs());
    const ConfigChallenge before = challenge_;
    const int status =
        AwaitNextConfigReply(*channel_, serial, challenge_, limit > elapsed ? limit - elapsed : 0);
    challengeHeard_ = challengeHeard_ || challenge_ != before;
    if (platform::QuitRequested()) return Heard::kNothing;
    if (status == kNoReply) {
      if (platform::TickElapsed(start, platform::TickCountMs()) < limit) continue;
      return verdict_ ? Heard::kRefused : Heard::kNothing;
    }
    ++heard_;
    // Judged only while a command's reply is awaited: a reply read after a
    // pause tells nothing of the device's pace, and one soon after the
    // latest command may still be a slow device's answer to an earlier one
    // while any is outstanding.
    if (pace_ == Pace::kUnknown && waitMs > 0) {
      const bool soon =
          platform::TickElapsed(sentAt_, platform::TickCountMs()) <= limits.promptReplyMs;
      if (!soon) {
        pace_ = Pace::kSlow;
      } else if (heard_ >= sent_) {
        pace_ = Pace::kPrompt;
      }
    }
    // Every command carries the same configuration: taking any is taking it.
    if (status == kReplyAccepted) return Heard::kAccepted;
    if (status != kReplyRefused) return Heard::kOther;
    refused_ = true;
    // Without a password, or without a new challenge, a refusal is the
    // device's answer to every command of the exchange.
    if (password == nullptr || challenge_ == before) return Heard::kRefused;
    // A prompt device's refusal answers the latest command: before the
    // first signed one, the replies missing were lost, not late.
    const bool prompt = pace_ == Pace::kPrompt;
    if (heard_ >= sent_ || (prompt && sent_ == unsigned_)) {
      return signedWithChallenge_ ? Heard::kRefused : Heard::kChallenge;
    }
    // Replies are missing. Past the commands sent before the first signed
    // one (the n-th reply heard answers the n-th command or a later one),
    // or from a prompt device, a refusal is the verdict on the password:
    // nothing more is sent. Either way the later replies are waited for: a
    // device that answers is worth the longer wait, an acceptance of an
    // earlier command still outruns the verdict (a device may write its
    // flash before it accepts, and refuse at once), and an earlier
    // command's refusal only renewed the challenge.
    verdict_ = verdict_ || heard_ > unsigned_ || prompt;
    limit = std::max(limit, limits.longestReplyWaitMs);
  }
}

DeliveryLimits PageDelivery() {
  DeliveryLimits limits;
  limits.maxCommands = 2;
  limits.replyWaitMs = kReplyMaximumMs;
  limits.longestReplyWaitMs = kReplyMaximumMs;
  limits.settleMs = kReplyMinimumMs;
  return limits;
}

void DeviceExchange::Open() {
  if (channel_ == nullptr) channel_.reset(new UdpChannel(destination_));
}

void DeviceExchange::LeaveBy(std::uint32_t interfaceIndex) {
  if (interfaceIndex == 0) return;
  destination_.interfaceIndex = interfaceIndex;
  if (channel_ != nullptr) channel_->LeaveBy(interfaceIndex);
}

ConfigResult DeviceExchange::SendSettled(const DeviceRecord& record, const char* password,
                                         std::uint32_t serial, const DeliveryLimits& limits,
                                         Delivery& delivery) {
  Open();
  int reply = kNoReply;
  for (int command = 0; command < limits.maxCommands; ++command) {
    if (!channel_->SendConfigCommand(record, password, challenge_)) return CONFIG_BAD_ARGUMENT;
    ++delivery.commands;
    reply =
        AwaitConfigReplySettled(*channel_, serial, challenge_, limits.settleMs, limits.replyWaitMs);
    // The host is quitting: nobody waits for the outcome any more.
    if (platform::QuitRequested()) return CONFIG_NO_REPLY;
    if (reply == kReplyAccepted) return CONFIG_OK;
    if (reply == kNoReply && command == 0) return CONFIG_NO_REPLY;
    // Refused with a password: once more, signed as the refusal left it.
    if (reply != kReplyRefused || password == nullptr) break;
  }
  return reply == kReplyRefused ? CONFIG_REFUSED : CONFIG_FAILED;
}

ConfigResult DeviceExchange::Send(const DeviceRecord& record, const char* password,
                                  const DeviceRecord& found, const DeliveryLimits& limits,
                                  Delivery& delivery) {
  platform::ClearQuitRequested();
  // The page's search has judged the device it found.
  if (limits.settleMs > 0) return SendSettled(record, password, found.serial, limits, delivery);
  const ConfigResult problem = FoundDeviceProblem(record, password, found);
  if (problem != CONFIG_OK) return problem;
  Heard heard = Heard::kNothing;
  // A socket opened ahead (Open) carries no command yet.
  if (channel_ == nullptr || sent_ == 0) {
    Open();
    sent_ = heard_ = unanswered_ = unsigned_ = 0;
    refused_ = verdict_ = false;
    pace_ = Pace::kUnknown;
  } else {
    // What came since the last wait decides before anything goes out again.
    heard = Listen(found.serial, password, 0, limits);
    if (platform::QuitRequested()) return CONFIG_NO_REPLY;
    delivery.resent = delivery.resent || heard == Heard::kNothing;
  }
  while (heard == Heard::kNothing || heard == Heard::kChallenge) {
    signedWithChallenge_ = challengeHeard_;
    if (refused_ && pace_ != Pace::kSlow && sent_ > unsigned_ &&
        sent_ >= limits.maxCommandsOnceRefused) {
      // Enough signed commands to a device that refuses, unless it has shown
      // itself slow: only what is on its way may still accept.
      verdict_ = true;
      heard = Listen(found.serial, password, limits.longestReplyWaitMs, limits);
      break;
    }
    if (!signedWithChallenge_) unsigned_ = sent_ + 1;
    if (!channel_->SendConfigCommand(record, password, challenge_)) {
      channel_.reset();
      return CONFIG_BAD_ARGUMENT;
    }
    ++sent_;
    sentAt_ = platform::TickCountMs();
    ++delivery.commands;
    delivery.answeredChallenge = delivery.answeredChallenge || signedWithChallenge_;
    const bool last = delivery.commands >= limits.maxCommands;
    heard = Listen(found.serial, password, ReplyWait(limits, unanswered_, last), limits);
    if (platform::QuitRequested()) return CONFIG_NO_REPLY;
    if (heard == Heard::kNothing) {
      ++unanswered_;
      if (!channel_.get_deleter().kept) {
        if (keptChannels.fetch_add(1) < kMostKeptChannels) {
          channel_.get_deleter().kept = true;
        } else {
          --keptChannels;
          channel_.reset();
        }
      }
      return CONFIG_NO_REPLY;
    }
  }
  channel_.reset();
  if (heard == Heard::kAccepted) return CONFIG_OK;
  return heard == Heard::kRefused ? CONFIG_REFUSED : CONFIG_FAILED;
}

ConfigResult DeviceExchange::HearOutstanding(std::uint32_t serial, const char* password,
                                             const DeliveryLimits& limits) {
  if (channel_ == nullptr) return CONFIG_NO_REPLY;
  const Heard heard = Listen(serial, password, limits.longestReplyWaitMs, limits);
  if (heard == Heard::kNothing) return CONFIG_NO_REPLY;
  channel_.reset();
  if (heard == Heard::kAccepted) return CONFIG_OK;
  // A challenge handed out now is not answered: nothing more is sent.
  return heard == Heard::kOther ? CONFIG_FAILED : CONFIG_REFUSED;
}

bool DeviceExchange::AcceptanceArrived(std::uint32_t serial, const char* password,
                                       const DeliveryLimits& limits) {
  if (channel_ == nullptr) return false;
  const bool accepted = Listen(serial, password, 0, limits) == Heard::kAccepted;
  if (accepted) channel_.reset();
  return accepted;
}

ScanTiming LookTiming() {
  ScanTiming timing;
  // Three datagrams 50 ms apart, and the answers to the last: on a network
  // that loses many, a look that hears its device spares a round.
  timing.sends = 3;
  timing.repeatMs = 50;
  timing.maxScanMs = 150;
  timing.listenMs = 0;
  return timing;
}

bool WorthALook(ConfigResult result, const Delivery& delivery) {
  return result == CONFIG_NO_REPLY ||
         (delivery.resent && (result == CONFIG_REFUSED || result == CONFIG_FAILED));
}

}  // namespace velkarin
