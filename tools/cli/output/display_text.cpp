#include "cli/output/display_text.h"

#include <cstdio>

#include "cli/output/text_encoding.h"

namespace velkarin::cli {
namespace {

bool TerminalWouldActOn(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

void AppendEscape(std::string& out, unsigned value) {
  char escape[5];
  std::snprintf(escape, sizeof escape, "\\x%02X", value & 0xFF);
  out += escape;
}

}  // namespace

std::string DisplayText(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      shown += "\\\\";
    } else if (TerminalWouldActOn(byte)) {
      AppendEscape(shown, byte);
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string DisplayDeviceText(const std::string& latin1) {
  return Latin1ToUtf8(DisplayText(latin1));
}

std::string DisplayUtf8(const std::string& utf8) {
  std::string shown;
  shown.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t start = i;
    char32_t c = 0;
    if (!DecodeUtf8(utf8, i, c)) {
      AppendEscape(shown, static_cast<unsigned char>(utf8[i++]));
    } else if (c == '\\') {
      shown += "\\\\";
    } else if (TerminalWouldActOn(c)) {
      AppendEscape(shown, static_cast<unsigned>(c));
    } else {
      shown.append(utf8, start, i - start);
    }
  }
  return shown;
}

std::string CountText(std::size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace velkarin::cli
