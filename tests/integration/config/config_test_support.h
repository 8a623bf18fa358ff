// Pieces shared by the transaction tests: a device to talk to (the simulator,
// or a device played by the test), and clocks.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "fake_device.h"
#include "waiting.h"

namespace velkarin::test {

// Devices in the simulator, configured by a JSON text: {"devices": [...]}.
// Or, when `fake` is set, one device played by the test.
class TestDevices {
 public:
  explicit TestDevices(const std::string& devicesJson)
      : sim_(std::make_unique<DevsimProcess>(std::vector<std::string>{"--port", "0"},
                                             devicesJson)) {}
  explicit TestDevices(std::unique_ptr<FakeDevice> fake) : fake_(std::move(fake)) {}

  bool ready() const { return fake_ != nullptr || sim_->ready(); }
  std::string error() const { return sim_ != nullptr ? sim_->error() : std::string(); }
  std::uint16_t port() const { return fake_ != nullptr ? fake_->port() : sim_->port(); }

  std::vector<std::string> Received() const {
    return fake_ != nullptr ? fake_->received() : sim_->Received();
  }
  // Everything received but discovery: the configuration commands.
  std::vector<std::string> Commands() const {
    std::vector<std::string> commands;
    for (const std::string& datagram : Received()) {
      if (datagram != "0 1 A") commands.push_back(datagram);
    }
    return commands;
  }
  std::string Log() const { return sim_ != nullptr ? sim_->LogText() : std::string(); }

 private:
  std::unique_ptr<DevsimProcess> sim_;
  std::unique_ptr<FakeDevice> fake_;
};

}  // namespace velkarin::test
