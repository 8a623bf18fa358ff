// The simulator's log: one line per datagram, flushed at once, so a test can
// read what the devices received while the simulator runs.
//   <UTC time> RX <sender ip>:<port> len=<n> hex=<HEX> text="<escaped>"
//   <UTC time> TX <destination ip>:<port> [src=0.0.0.0] len=<n> hex=<HEX> text="<escaped>"
//   <UTC time> EV <free text>
#pragma once
#include <cstdio>
#include <string>

#include "network.h"

namespace velkarin::devsim {

class DatagramLog {
 public:
  DatagramLog() = default;
  ~DatagramLog();
  DatagramLog(const DatagramLog&) = delete;
  DatagramLog& operator=(const DatagramLog&) = delete;

  bool Open(const std::string& path);
  void Received(const Endpoint& sender, const std::string& datagram);
  // Written just before the datagram is handed to the socket.
  void Sent(const Endpoint& to, bool unconfigured, const std::string& datagram);
  void Event(const std::string& text);

 private:
  void Line(const std::string& text);
  std::FILE* file_ = nullptr;
};

}  // namespace velkarin::devsim
