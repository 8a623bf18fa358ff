#include "datagram_log.h"

#include <chrono>
#include <ctime>

#include "byte_text.h"

namespace velkarin::devsim {
namespace {

std::string Timestamp() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  long ms = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, ms);
  return text;
}

std::string Payload(const std::string& datagram) {
  return "len=" + std::to_string(datagram.size()) + " hex=" + EncodeHex(datagram) + " text=\"" +
         EscapeBytes(datagram) + "\"";
}

}  // namespace

DatagramLog::~DatagramLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool DatagramLog::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void DatagramLog::Received(const Endpoint& sender, const std::string& datagram) {
  Line("RX " + EndpointText(sender) + " " + Payload(datagram));
}

void DatagramLog::Sent(const Endpoint& to, bool unconfigured, const std::string& datagram) {
  Line("TX " + EndpointText(to) + (unconfigured ? " src=0.0.0.0 " : " ") + Payload(datagram));
}

void DatagramLog::Event(const std::string& text) { Line("EV " + text); }

void DatagramLog::Line(const std::string& text) {
  if (file_ == nullptr) return;
  std::fprintf(file_, "%s %s\n", Timestamp().c_str(), text.c_str());
  std::fflush(file_);
}

}  // namespace velkarin::devsim
