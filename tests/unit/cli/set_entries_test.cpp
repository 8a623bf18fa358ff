#include "cli/commands/set_entries.h"

#include <gtest/gtest.h>

#include <string>

namespace velkarin::cli {
namespace {

TEST(SplitAddressPrefix, TakesOneOrTwoDigitsFrom1To32) {
  struct Case {
    const char* text;
    bool valid;
    const char* address;
    std::uint32_t prefix;  // 0: none
  };
  const Case cases[] = {
      {"10.0.0.5", true, "10.0.0.5", 0},
      {"10.0.0.5/24", true, "10.0.0.5", 24},
      {"10.0.0.5/1", true, "10.0.0.5", 1},
      {"10.0.0.5/08", true, "10.0.0.5", 8},
      {"10.0.0.5/32", true, "10.0.0.5", 32},
      {"/24", true, "", 24},  // the address is checked as any other
      {"10.0.0.5/0", false, "", 0},
      {"10.0.0.5/00", false, "", 0},
      {"10.0.0.5/33", false, "", 0},
      {"10.0.0.5/", false, "", 0},
      {"10.0.0.5/024", false, "", 0},
      {"10.0.0.5/2x", false, "", 0},
      {"10.0.0.5/-1", false, "", 0},
      {"10.0.0.5/24/8", false, "", 0},
      {"10.0.0.5/255.255.255.0", false, "", 0},
  };
  for (const Case& c : cases) {
    const std::optional<AddressWithPrefix> split = SplitAddressPrefix(c.text);
    ASSERT_EQ(split.has_value(), c.valid) << c.text;
    if (!split) continue;
    EXPECT_EQ(split->address, c.address) << c.text;
    EXPECT_EQ(split->prefix.value_or(0), c.prefix) << c.text;
  }
}

struct PrefixCase {
  const char* ip;
  const char* netmask;  // nullptr: no --netmask
  const char* problem;  // part of the message; nullptr: accepted
  const char* takenIp;
  const char* takenNetmask;
};

TEST(TakeIpPrefix, GivesTheNetmaskAndRefusesAConflictingOne) {
  const PrefixCase cases[] = {
      {"10.0.0.5/24", nullptr, nullptr, "10.0.0.5", "255.255.255.0"},
      {"10.0.0.5/8", nullptr, nullptr, "10.0.0.5", "255.0.0.0"},
      {"10.0.0.5/31", nullptr, nullptr, "10.0.0.5", "255.255.255.254"},
      // Left to the address rule, which names it.
      {"10.0.0.5/32", nullptr, nullptr, "10.0.0.5", "255.255.255.255"},
      // An explicit netmask that agrees is kept as typed.
      {"10.0.0.5/24", "255.255.255.0", nullptr, "10.0.0.5", "255.255.255.0"},
      {"10.0.0.5/24", "0xFFFFFF00", nullptr, "10.0.0.5", "0xFFFFFF00"},
      {"10.0.0.5", "255.0.0.0", nullptr, "10.0.0.5", "255.0.0.0"},
      {"10.0.0.5/24", "255.255.0.0", "gives the netmask 255.255.255.0, but --netmask is", "", ""},
      {"10.0.0.5/24", "bogus", "but --netmask is 'bogus'", "", ""},
      {"10.0.0.5", nullptr, "--ip needs --netmask, or a prefix", "", ""},
      {"10.0.0.5/0", nullptr, "invalid --ip '10.0.0.5/0'", "", ""},
      {"10.0.0.5/33", "255.0.0.0", "the prefix after '/' must be 1 to 32", "", ""},
  };
  for (const PrefixCase& c : cases) {
    SetOptions options;
    options.ipAddress = c.ip;
    if (c.netmask != nullptr) options.netmask = c.netmask;
    const std::optional<EntryProblem> problem = TakeIpPrefix(options, c.netmask != nullptr);
    if (c.problem != nullptr) {
      ASSERT_TRUE(problem) << c.ip;
      EXPECT_NE(problem->message.find(c.problem), std::string::npos)
          << c.ip << ": " << problem->message;
      continue;
    }
    EXPECT_FALSE(problem) << c.ip << ": " << problem->message;
    EXPECT_EQ(options.ipAddress, c.takenIp);
    EXPECT_EQ(options.netmask, c.takenNetmask);
  }
}

struct AssignmentCase {
  const char* ip;
  const char* netmask;
  const char* gateway;
  const char* problem;  // nullptr: accepted
  const char* field;    // the option at fault
};

TEST(AssignmentProblem, NamesTheOptionTheValueAndTheRule) {
  const AssignmentCase cases[] = {
      {"127.0.0.1", "255.0.0.0", "", "--ip 127.0.0.1 with --netmask 255.0.0.0: 127.0.0.0/8",
       "--ip"},
      // The message mentions the gateway; the netmask is at fault.
      {"10.0.0.5", "255.255.255.255", "", "(/32)", "--netmask"},
      {"10.0.0.5", "255.0.255.0", "", "not a run of ones", "--netmask"},
      {"10.0.0.0", "255.255.255.0", "", "network address", "--ip"},
      {"127.0.0.1", "255.0.255.0", "", "127.0.0.0/8", "--ip"},
      {"10.0.0.5", "255.0.0.0", "224.0.0.1", "--gateway 224.0.0.1: 224.0.0.0/4", "--gateway"},
      {"10.0.0.5", "255.0.0.0", "127.1", "--gateway 127.1: 127.0.0.0/8", "--gateway"},
      // Padded as plant documents write addresses; inet_addr would read octal.
      {"192.168.001.010", "255.255.255.0", "", "write 192.168.1.10 (a part with a leading zero",
       "--ip"},
      {"10.0.0.5", "255.255.255.000", "", "write 255.255.255.0 (", "--netmask"},
      {"10.0.0.5", "255.0.0.0", "10.0.0.01", "write 10.0.0.1 (", "--gateway"},
      // No gateway, in both of its spellings.
      {"10.0.0.5", "255.0.0.0", "", nullptr, nullptr},
      {"10.0.0.5", "255.0.0.0", "0.0.0.0", nullptr, nullptr},
      {"10.0.0.5", "255.0.0.0", "10.0.0.1", nullptr, nullptr},
  };
  for (const AssignmentCase& c : cases) {
    SetOptions options;
    options.ipAddress = c.ip;
    options.netmask = c.netmask;
    options.gateway = c.gateway;
    const std::optional<EntryProblem> problem = AssignmentProblem(options);
    if (c.problem == nullptr) {
      EXPECT_FALSE(problem) << c.ip << " " << c.gateway << ": " << problem->message;
    } else {
      ASSERT_TRUE(problem) << c.ip << " " << c.gateway;
      EXPECT_NE(problem->message.find(c.problem), std::string::npos) << problem->message;
      EXPECT_EQ(problem->field, c.field) << problem->message;
    }
  }
}

struct ArgumentCase {
  const char* what;
  std::uint32_t serial;
  std::string deviceId;
  std::optional<std::string> password;
  const char* problem;  // nullptr: accepted
};

TEST(BadArgumentProblem, FindsBeforeAnySearchWhatTheTransactionWouldRefuse) {
  const ArgumentCase cases[] = {
      {"20-character password", 0x1A2B, "", std::string(20, 'p'), nullptr},
      {"21-character password", 0x1A2B, "", std::string(21, 'p'), "--password has 21 characters"},
      {"empty password", 0x1A2B, "", std::string(), nullptr},
      {"identifier that fits", 0x1A2B, std::string(200, 'D'), std::nullopt, nullptr},
      {"identifier too long", 0x1A2B, std::string(240, 'D'), std::nullopt,
       "--device-id is too long"},
      // The authenticated form is longer: its digest takes 32 characters.
      {"identifier too long with a password", 0x1A2B, std::string(220, 'D'), std::string("pw"),
       "--device-id is too long"},
      {"serial 0 alone", 0, "", std::nullopt, "serial number 0 names no device"},
      {"serial 0 with an identifier", 0, "DEV-1", std::nullopt, nullptr},
  };
  for (const ArgumentCase& c : cases) {
    SetOptions options;
    options.serial = c.serial;
    options.ipAddress = "10.0.0.5";
    options.netmask = "255.0.0.0";
    options.deviceId = c.deviceId;
    options.password = c.password;
    const std::optional<EntryProblem> problem = BadArgumentProblem(options);
    if (c.problem == nullptr) {
      EXPECT_FALSE(problem) << c.what << ": " << problem->message;
    } else {
      ASSERT_TRUE(problem) << c.what;
      EXPECT_NE(problem->message.find(c.problem), std::string::npos)
          << c.what << ": " << problem->message;
    }
  }
}

}  // namespace
}  // namespace velkarin::cli
