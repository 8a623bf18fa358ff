// A configuration delivered to one device: the one sender of the page and
// the command-line tool, each with its limits. The tool's: over a network
// that loses datagrams, a command without a reply is not taken as lost
// until the device has been looked at, and is sent again a few times
// before the device is given up (the tool's jobs run the looks and the
// resends, for set and apply alike). The page's (PageDelivery): one
// command and its settled reply wait, within the page's transaction.
#pragma once
#include <cstdint>
#include <memory>

#include "config/config_transaction.h"
#include "engine/device_scan.h"

namespace velkarin {

struct DeliveryLimits {
  int maxCommands = 8;  // counting an answer to a challenge
  // A refusal, from a device not shown slow, ends the sending by this many
  // commands, once one signed with its challenge went out, though replies were
  // lost: a wrong password is not sent again and again to a device that may
  // lock out after failed attempts.
  int maxCommandsOnceRefused = 3;
  std::uint32_t promptReplyMs = 150;  // a reply this soon after a command answers it
  // The first three commands'; each later one waits half as long again, up to
  // the longest, and the last the longest. Short: a look at the device
  // follows, and a reply that comes later still counts while the exchange
  // lasts, so a slow device costs a look or a command more, and a lost
  // datagram far less time.
  std::uint32_t replyWaitMs = 50;
  std::uint32_t longestReplyWaitMs = 3000;
  // A device that a look after a command without a reply does not hear at
  // all may be busy writing its flash before it replies: it is looked at
  // again, not sent the command again, until this long after its last
  // command. On a lossy network a silent look costs one look more.
  std::uint32_t busyMs = 1500;
  // On a network that loses nothing, a device a look sees unchanged after
  // one of its first this many commands is given the same time: the command
  // most likely reached it. So a device that replies within busyMs gets two
  // commands at most there.
  int patientCommands = 2;
  std::uint32_t deliveryMs = 20000;  // no command goes out after this
  // The page's wait: every reply wait lasts at least this long after its
  // command, every reply of the device counting (a later acceptance
  // outruns an earlier answer), and ends with the first datagram after it
  // or after replyWaitMs; refused, with a password, the command goes out
  // once more. 0: the device's first reply settles it, as above.
  std::uint32_t settleMs = 0;
};

// The page's limits: one command (two with a password, after a refusal),
// each waited for 3 s to 7.5 s.
DeliveryLimits PageDelivery();

struct Delivery {
  // CONFIG_OK: accepted, or announced as sent after a command whose reply
  // was lost (`replyLost`); otherwise as ConfigureNamedDevice says it.
  ConfigResult result = CONFIG_NO_REPLY;
  int commands = 0;                // configuration commands sent
  bool replyLost = false;          // configured, as a look showed, without a reply heard
  bool answeredChallenge = false;  // a command went out signed with a challenge handed out
  // The last look after a command without a reply did not hear the device.
  bool silentInLook = false;
  // A command went out again after one without a reply: a refusal or another
  // answer may be to a later command than the one the device took, so it is
  // final only once the device has been seen not to announce the configuration.
  bool resent = false;
};

// Closes an exchange's socket. One kept between calls is counted, so that a
// plan of many unanswered devices does not run out of descriptors: beyond a
// bound, an exchange closes its socket after each call, and a late reply is
// lost.
struct ExchangeChannelClose {
  bool kept = false;
  void operator()(UdpChannel* channel) const;
};

// One device's configuration exchange: where its commands go, the challenge
// it handed out last, and the socket its replies come to, kept from one
// command to the next while a command's reply is outstanding. What a
// configuration job needs, without a discovery engine; the page's
// transaction runs one beside its engine, whose challenge it is handed.
class DeviceExchange {
 public:
  explicit DeviceExchange(Destination destination = Destination(),
                          const ConfigChallenge& challenge = ConfigChallenge{})
      : destination_(destination), challenge_(challenge) {}

  // Opens the exchange's socket now rather than with the first command, so
  // that a socket which cannot be opened shows before a search is spent.
  void Open();
  // The commands leave by this interface (0: as the destination says).
  void LeaveBy(std::uint32_t interfaceIndex);

  // One command to `found`, and a second that answers the challenge of a
  // refusal, with a password; counted in `delivery`. Replies that came late,
  // to an earlier command of the exchange, count before anything is sent
  // again: an acceptance ends it; a refusal is an answer, and the command
  // goes out again only to answer a challenge the device has handed out,
  // once. A refusal that may be to an earlier command than the last renews
  // the challenge only, and the rest of the replies are waited for.
  // CONFIG_NO_REPLY when the last command's reply did not come within the
  // limits' wait; the socket stays open for the next call then.
  ConfigResult Send(const DeviceRecord& record, const char* password, const DeviceRecord& found,
                    const DeliveryLimits& limits, Delivery& delivery);

  // No more commands (the run was interrupted): only the replies still on
  // their way, for up to the longest reply wait. CONFIG_NO_REPLY when none
  // settles it, or when no command is outstanding.
  ConfigResult HearOutstanding(std::uint32_t serial, const char* password,
                               const DeliveryLimits& limits);
  // An acceptance already on the exchange's socket, read without a wait:
  // true when the device's reply came after all.
  bool AcceptanceArrived(std::uint32_t serial, const char* password, const DeliveryLimits& limits);

  const Destination& destination() const { return destination_; }
  const ConfigChallenge& challenge() const { return challenge_; }

 private:
  enum class Heard { kNothing, kAccepted, kRefused, kChallenge, kOther };
  ConfigResult SendSettled(const DeviceRecord& record, const char* password, std::uint32_t serial,
                           const DeliveryLimits& limits, Delivery& delivery);
  Heard Listen(std::uint32_t serial, const char* password, std::uint32_t waitMs,
               const DeliveryLimits& limits);

  Destination destination_;
  ConfigChallenge challenge_{};  // all zeros until a reply brings one
  std::unique_ptr<UdpChannel, ExchangeChannelClose> channel_;
  int sent_ = 0;        // commands on channel_
  int heard_ = 0;       // replies to them
  int unanswered_ = 0;  // commands whose wait ended without their reply
  // Commands sent before the first signed with a challenge the device
  // handed out: their refusals only hand out challenges.
  int unsigned_ = 0;
  bool refused_ = false;      // a refusal was heard
  bool verdict_ = false;      // refused for good, unless a late acceptance comes
  std::uint32_t sentAt_ = 0;  // the last command's tick
  // Judged by the first reply that tells: a device that answers within
  // moments of a command answers the latest one, and a reply missing before
  // it was lost. A slow device's replies may answer any command still
  // outstanding, so a quick reply while an earlier command is unanswered
  // tells nothing yet.
  enum class Pace { kUnknown, kPrompt, kSlow } pace_ = Pace::kUnknown;
  bool challengeHeard_ = false;       // challenge_ is one the device handed out
  bool signedWithChallenge_ = false;  // the last command answered a challenge
};

// The look at devices whose reply was lost: short, since a device it does
// not hear is only sent the same configuration again, which costs less on a
// lossy network than rounds that wait for every announcement.
ScanTiming LookTiming();

// True when `result` may hide a configuration the device took, so that the
// device is looked at before the result stands: no reply, or a refusal or
// failure after a command went out again.
bool WorthALook(ConfigResult result, const Delivery& delivery);

}  // namespace velkarin
