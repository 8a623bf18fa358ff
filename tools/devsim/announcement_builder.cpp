#include "announcement_builder.h"

#include <cstdio>
#include <vector>

namespace velkarin::devsim {
namespace {

// One section's items; a section ends at its first empty text item, since
// the wire cannot carry an empty word.
class SectionWriter {
 public:
  void Number(long long value) {
    if (!open_) return;
    Append(std::to_string(value));
  }
  void Hex(unsigned long value) {
    if (!open_) return;
    char digits[20];
    std::snprintf(digits, sizeof digits, "%lX", value);
    Append(digits);
  }
  void Text(const std::string& value) {
    if (!open_) return;
    if (value.empty()) {
      open_ = false;
      return;
    }
    Append(value);
  }
  const std::string& text() const { return text_; }

 private:
  void Append(const std::string& item) {
    if (!text_.empty()) text_.push_back(' ');
    text_ += item;
  }
  std::string text_;
  bool open_ = true;
};

}  // namespace

std::string BuildAnnouncement(const Announced& a) {
  if (a.raw) return *a.raw;

  std::vector<std::string> sections;
  SectionWriter one;
  one.Hex(a.serial);
  one.Number(a.dhcp);
  one.Text(a.ip);
  one.Text(a.netmask);
  one.Text(a.gateway);
  one.Text(a.name);
  sections.push_back(one.text());

  if (a.sections >= 2) {
    SectionWriter two;
    two.Number(a.extNumber1);
    for (const std::string& text : a.extTexts) two.Text(text);
    two.Text(a.deviceId);
    two.Number(a.deviceIndex);
    two.Number(a.extNumber2);
    two.Text(a.extTextA);
    two.Text(a.extTextB);
    two.Number(a.commandSuffix);
    sections.push_back(two.text());
  }
  if (a.sections >= 3) {
    SectionWriter three;
    three.Hex(a.auxNumber);
    three.Text(a.auxTextA);
    three.Text(a.auxTextB);
    sections.push_back(three.text());
  }

  std::string datagram;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    datagram += sections[i];
    if (i + 1 < sections.size() || a.terminateLastSection) datagram.push_back('\0');
  }
  return datagram;
}

}  // namespace velkarin::devsim
