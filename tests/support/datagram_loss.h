// Loses a share of the datagrams to and from the devices' port at random,
// both ways, in the test's private network namespace (nftables).
#pragma once
#include <string>

namespace velkarin::test {

class DatagramLoss {
 public:
  // Drops `percent` of the UDP datagrams to and of those from port 8001.
  explicit DatagramLoss(int percent);
  // Drops every second datagram from port 8001 and nothing else: of a single
  // device's answers, the first is heard, the second lost, and so on.
  static DatagramLoss EverySecondAnswer();
  // Drops the first `count` datagrams from port 8001 (of every thousand).
  static DatagramLoss FirstAnswers(int count);
  // Drops every second reply to a command (the datagrams from port 8001
  // shorter than an announcement of the fleet's), the first among them.
  static DatagramLoss EverySecondReply();
  ~DatagramLoss();  // removes the rules again
  DatagramLoss(const DatagramLoss&) = delete;
  DatagramLoss& operator=(const DatagramLoss&) = delete;

  // True once the rules are in place; else error() says why.
  bool active() const { return active_; }
  const std::string& error() const { return error_; }

 private:
  explicit DatagramLoss(const std::string& rules);
  bool active_ = false;
  std::string error_;
};

}  // namespace velkarin::test

// Fails the test unless the loss is in place.
#define ASSERT_LOSS_ACTIVE(loss) ASSERT_TRUE((loss).active()) << (loss).error()
