// Tests that run velkarin against the simulator in the private namespace.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_runner.h"
#include "devsim_process.h"
#include "private_network.h"

namespace velkarin::test {

class CliTest : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
};

// Fails the test unless the simulator came up.
#define ASSERT_DEVSIM_READY(devsim) ASSERT_TRUE((devsim).ready()) << (devsim).error()

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The configuration commands the simulator received (everything but discovery).
inline std::vector<std::string> Commands(const DevsimProcess& devsim) {
  std::vector<std::string> commands;
  for (const std::string& bytes : devsim.Received()) {
    if (bytes != "0 1 A") commands.push_back(bytes);
  }
  return commands;
}

}  // namespace velkarin::test
