// A configuration delivered over a network that loses datagrams, for the
// command-line tool: a command without a reply is not taken as lost until
// the device has been looked at, and is sent again a few times before the
// device is given up. The page keeps its single transaction.
#pragma once
#include <cstdint>
#include <functional>

#include "config/config_transaction.h"
#include "engine/device_scan.h"

namespace velkarin {

struct DeliveryLimits {
  int maxCommands = 8;               // counting an answer to a challenge
  std::uint32_t replyWaitMs = 1000;  // per command
  std::uint32_t deliveryMs = 20000;  // no command goes out after this
};

struct Delivery {
  // CONFIG_OK: accepted, or announced as sent after a command whose reply
  // was lost (`replyLost`); otherwise as ConfigureNamedDevice says it.
  ConfigResult result = CONFIG_NO_REPLY;
  int commands = 0;        // configuration commands sent
  bool replyLost = false;  // configured, as `announced` shows, without a reply heard
  DeviceRecord announced;
  bool answeredChallenge = false;  // a refusal of the next command is the password's
};

// One device's configuration exchange: where its commands go and the
// challenge it handed out last, kept from one command to the next. What a
// configuration job needs, without a discovery engine; the page's
// transaction keeps its engine.
class DeviceExchange {
 public:
  explicit DeviceExchange(Destination destination = Destination()) : destination_(destination) {}

  // One command to `found`, and a second that answers the challenge of a
  // refusal, with a password; counted in `delivery`. Each call has a socket
  // of its own. A refusal is an answer: the command goes out again only to
  // answer a challenge the device has just handed out, and only once.
  // CONFIG_NO_REPLY when no reply came within the limits' wait.
  ConfigResult Send(const DeviceRecord& record, const char* password, const DeviceRecord& found,
                    const DeliveryLimits& limits, Delivery& delivery);

  const Destination& destination() const { return destination_; }
  const ConfigChallenge& challenge() const { return challenge_; }

 private:
  Destination destination_;
  ConfigChallenge challenge_{};  // all zeros until a reply brings one
};

// The device looked for after a command without a reply, as `target`'s scan
// hears it: true, with `delivery` marked so, when it announces `record`.
bool SeenConfigured(const ScanTarget& target, const DeviceRecord& record, const DeviceRecord& found,
                    Delivery& delivery, const std::function<bool()>& keepGoing);

// Sends `record` to `found`, the device a search of `target` has just heard,
// through an exchange of its own. After a command without a reply the device
// is looked for: announcing `record`, it is configured; otherwise the command
// goes out again, up to the limits. `keepGoing`, if set, is asked while it
// scans; false ends the delivery with CONFIG_NO_REPLY unless accepted.
Delivery DeliverConfiguration(const ScanTarget& target, const DeviceRecord& record,
                              const char* password, const DeviceRecord& found,
                              const DeliveryLimits& limits = {},
                              const std::function<bool()>& keepGoing = nullptr);

}  // namespace velkarin
