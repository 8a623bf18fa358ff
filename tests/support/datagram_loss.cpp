#include "datagram_loss.h"

#include <cstdio>
#include <string>

#include "private_network.h"

namespace velkarin::test {
namespace {

// Feeds `text` to `nft -f -`; true when nft took it.
bool Nft(const std::string& arguments, const std::string& text, std::string& error) {
  std::FILE* nft = popen(("nft " + arguments + " 2>&1").c_str(), "w");
  if (nft == nullptr) {
    error = "cannot run nft";
    return false;
  }
  std::fwrite(text.data(), 1, text.size(), nft);
  const int status = pclose(nft);
  if (status != 0) error = "nft " + arguments + " failed (status " + std::to_string(status) + ")";
  return status == 0;
}

}  // namespace

DatagramLoss::DatagramLoss(int percent)
    : DatagramLoss("udp dport 8001 numgen random mod 100 < " + std::to_string(percent) +
                   " drop\n    udp sport 8001 numgen random mod 100 < " + std::to_string(percent) +
                   " drop") {}

DatagramLoss DatagramLoss::EverySecondAnswer() {
  return DatagramLoss("udp sport 8001 numgen inc mod 2 == 1 drop");
}

DatagramLoss DatagramLoss::FirstAnswers(int count) {
  return DatagramLoss("udp sport 8001 numgen inc mod 1000 < " + std::to_string(count) + " drop");
}

DatagramLoss DatagramLoss::EverySecondReply() {
  // numgen counts only the datagrams that reach it: the short ones.
  return DatagramLoss("udp sport 8001 udp length < 60 numgen inc mod 2 == 0 drop");
}

DatagramLoss::DatagramLoss(const std::string& rules) {
  // The rules would lose the machine's own datagrams outside a private namespace.
  if (!InPrivateNetwork()) {
    error_ = "not in a private network namespace";
    return;
  }
  active_ = Nft("-f -",
                "table inet lossy {\n"
                "  chain out {\n"
                "    type filter hook output priority 0; policy accept;\n"
                "    " +
                    rules +
                    "\n"
                    "  }\n"
                    "}\n",
                error_);
}

DatagramLoss::~DatagramLoss() {
  std::string ignored;
  if (active_) Nft("flush ruleset", "", ignored);
}

}  // namespace velkarin::test
