// One simulated device as configured: what it announces and how it answers
// discovery and configuration commands.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkarin::devsim {

// The items of the announcement datagram, in the device's own words. An empty
// text cannot travel on the wire: the section ends before the first empty text
// item (the device sends fewer items).
struct Announced {
  std::uint32_t serial = 0;
  int dhcp = 0;
  std::string ip;
  std::string netmask;
  std::string gateway;
  std::string name;
  // Section 2.
  int extNumber1 = 0;
  std::array<std::string, 4> extTexts{"-", "-", "-", "-"};
  std::string deviceId;
  int deviceIndex = 0;
  int extNumber2 = 0;
  std::string extTextA = "-";
  std::string extTextB = "-";
  int commandSuffix = -1;
  // Section 3.
  std::uint32_t auxNumber = 0;
  std::string auxTextA = "-";
  std::string auxTextB = "-";

  int sections = 1;                  // 1 to 3
  bool terminateLastSection = true;  // end the last section with a NUL too
  std::optional<std::string> raw;    // sent verbatim instead of the items
};

enum class CommandBehaviour {
  kAccept,       // status 1
  kRefuse,       // status -1 (with the next challenge, if any are listed)
  kRequireAuth,  // -1 plus a challenge unless a form 8 with a correct digest
  kStatus,       // replyStatus
  kWrongCode,    // status 1 under replyCode instead of the command's code
  kGarbage,      // replyBytes verbatim
  kOversize,     // an accepting reply padded with blanks to oversizeLength
  kSilent,       // no reply
};

enum class AfterAccept {
  kApply,   // announce the commanded configuration
  kOther,   // announce the "other" configuration instead
  kVanish,  // stop answering anything
  kNone,    // keep announcing the old configuration
};

// Announcements sent per discovery beyond the ordinary answer, or at a rate
// for a while after each discovery; for load tests.
struct Flood {
  int perDiscovery = 0;      // extra announcements per discovery
  double ratePerSecond = 0;  // continuous sending to the last requester
  int durationMs = 5000;     // how long after each discovery the rate runs
  bool vary = false;         // each flood datagram carries a new serial
};

struct OtherConfig {
  std::optional<int> dhcp;
  std::optional<std::string> ip;
  std::optional<std::string> netmask;
  std::optional<std::string> gateway;
};

struct DeviceProfile {
  Announced announced;
  bool unconfigured = false;  // sends from source address 0.0.0.0
  bool answersDiscovery = true;
  int announceDelayMs = 0;
  int repeat = 1;  // announcements per discovery
  int repeatIntervalMs = 0;
  Flood flood;

  CommandBehaviour onCommand = CommandBehaviour::kAccept;
  int replyStatus = 1;
  int replyCode = 7;
  std::string replyBytes;  // for kGarbage
  int oversizeLength = 128;
  int replyCount = 1;  // the reply is sent this many times
  int replyIntervalMs = 0;
  std::vector<std::string> extraReplies;  // sent after the reply, verbatim
  int replyDelayMs = 0;
  bool matchIndex = false;  // a command by deviceId must carry this device's index

  std::string password;
  std::array<std::uint8_t, 16> challenge{};              // the current challenge
  std::vector<std::array<std::uint8_t, 16>> challenges;  // handed out by refusals

  AfterAccept afterAccept = AfterAccept::kApply;
  int afterAcceptDelayMs = 0;
  bool silentWhileChanging = false;  // answers nothing during afterAcceptDelayMs
  int dhcpFlag = 1;                  // announced after a DHCP command: any non-zero
  bool omitEmptyGateway = false;     // after a command without a gateway: left out, not 0.0.0.0
  OtherConfig other;

  // Running state.
  int refusals = 0;  // challenges derived so far
};

}  // namespace velkarin::devsim
