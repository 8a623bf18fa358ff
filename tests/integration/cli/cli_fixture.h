// Tests that run velkarin against the simulator in the private namespace.
#pragma once
#include <gtest/gtest.h>

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

}  // namespace velkarin::test
