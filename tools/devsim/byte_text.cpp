#include "byte_text.h"

#include <cstdio>
#include <stdexcept>

namespace velkarin::devsim {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The one-letter escapes, read in byte texts and written in the log alike, so
// that a logged text can be given back to the simulator as it stands.
struct Escape {
  char letter;
  char byte;
};
constexpr Escape kEscapes[] = {{'0', '\0'}, {'t', '\t'},  {'n', '\n'},
                               {'r', '\r'}, {'\\', '\\'}, {'"', '"'}};

const Escape* EscapeOfLetter(char letter) {
  for (const Escape& e : kEscapes) {
    if (e.letter == letter) return &e;
  }
  return nullptr;
}

const Escape* EscapeOfByte(char byte) {
  for (const Escape& e : kEscapes) {
    if (e.byte == byte) return &e;
  }
  return nullptr;
}

std::string DecodeHex(const std::string& digits) {
  std::string bytes;
  int high = -1;
  for (char c : digits) {
    if (c == ' ' || c == ':' || c == '-' || c == '\t' || c == '\n') {
      if (high >= 0) throw std::invalid_argument("odd number of hex digits in a byte");
      continue;
    }
    int value = HexValue(c);
    if (value < 0) throw std::invalid_argument(std::string("not a hex digit: ") + c);
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + value));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hex digits");
  return bytes;
}

std::string DecodeEscapes(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\') {
      bytes.push_back(c);
      continue;
    }
    if (++i == text.size()) throw std::invalid_argument("escape at the end of the text");
    if (const Escape* e = EscapeOfLetter(text[i])) {
      bytes.push_back(e->byte);
    } else if (text[i] == 'x') {
      int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
      int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
      if (high < 0 || low < 0) throw std::invalid_argument("\\x needs two hex digits");
      bytes.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      throw std::invalid_argument(std::string("unknown escape \\") + text[i]);
    }
  }
  return bytes;
}

}  // namespace

std::string DecodeByteText(const std::string& text) {
  if (text.compare(0, 4, "hex:") == 0) return DecodeHex(text.substr(4));
  if (text.compare(0, 5, "text:") == 0) return DecodeEscapes(text.substr(5));
  return DecodeEscapes(text);
}

std::string EncodeHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 15]);
  }
  return text;
}

std::string EscapeBytes(const std::string& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    const bool digitFollows = i + 1 < bytes.size() && bytes[i + 1] >= '0' && bytes[i + 1] <= '9';
    const Escape* e = EscapeOfByte(static_cast<char>(b));
    if (b == '\0' && digitFollows) {
      text += "\\x00";
    } else if (e != nullptr) {
      text += '\\';
      text += e->letter;
    } else if (b >= 0x20 && b < 0x7f) {
      text.push_back(static_cast<char>(b));
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      text += hex;
    }
  }
  return text;
}

std::string SerialText(unsigned long serial) {
  char text[24];
  std::snprintf(text, sizeof text, "%06lX", serial);
  return text;
}

}  // namespace velkarin::devsim
