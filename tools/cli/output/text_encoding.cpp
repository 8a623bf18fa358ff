#include "cli/output/text_encoding.h"

#include <cstdio>

#ifndef _WIN32
#include <iconv.h>
#endif

namespace velkarin::cli {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

std::string Latin1ToUtf8(const std::string& latin1) {
  std::string utf8;
  utf8.reserve(latin1.size());
  for (char c : latin1) AppendUtf8(utf8, static_cast<unsigned char>(c));
  return utf8;
}

bool IsUtf8(const std::string& text) {
  char32_t c = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (!DecodeUtf8(text, i, c)) return false;
  }
  return true;
}

std::string Windows1252ToUtf8(const std::string& text) {
  static const char16_t k80To9F[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string utf8;
  utf8.reserve(text.size());
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    AppendUtf8(utf8, b >= 0x80 && b <= 0x9F ? k80To9F[b - 0x80] : b);
  }
  return utf8;
}

bool DecodeUtf8(const std::string& utf8, std::size_t& i, char32_t& character) {
  const std::string& s = utf8;
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  if (i >= s.size()) return false;
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    character = lead;
    ++i;
    return true;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (s.size() - i < length) return false;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char next = byte(i + k);
    if ((next & 0xC0) != 0x80) return false;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || IsSurrogate(c)) return false;
  character = c;
  i += length;
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string NameCharacter(char32_t c) {
  char number[16];
  std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(c));
  std::string name = number;
  const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
  if (!control && !IsSurrogate(c) && c <= 0x10FFFF) {
    name += " '";
    AppendUtf8(name, c);
    name += '\'';
  }
  return name;
}

std::optional<std::string> Utf8ToLatin1(const std::string& utf8, Latin1Fault& fault) {
  std::string latin1;
  latin1.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t start = i;
    char32_t c = 0;
    const bool decoded = DecodeUtf8(utf8, i, c);
    if (!decoded || c > 0xFF) {
      fault.malformed = !decoded;
      fault.position = latin1.size() + 1;
      fault.offset = start;
      fault.character = decoded ? c : 0;
      return std::nullopt;
    }
    latin1 += static_cast<char>(static_cast<unsigned char>(c));
  }
  return latin1;
}

std::optional<std::string> Utf8ToLatin1(const std::string& utf8, std::string& problem) {
  Latin1Fault fault;
  std::optional<std::string> latin1 = Utf8ToLatin1(utf8, fault);
  if (latin1) return latin1;
  if (fault.malformed) {
    char text[64];
    std::snprintf(text, sizeof text, "malformed UTF-8 (byte 0x%02X at offset %u)",
                  static_cast<unsigned>(static_cast<unsigned char>(utf8[fault.offset])),
                  static_cast<unsigned>(fault.offset));
    problem = text;
  } else {
    problem = NameCharacter(fault.character) + " is not a Latin-1 character (U+0000 to U+00FF)";
  }
  return std::nullopt;
}

std::size_t CharacterCount(const std::string& utf8) {
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t c = 0;
    if (!DecodeUtf8(utf8, i, c)) ++i;
    ++count;
  }
  return count;
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
  std::u16string utf16;
  utf16.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t c = 0;
    if (!DecodeUtf8(utf8, i, c)) {
      ++i;
      c = kReplacement;
    }
    if (c < 0x10000) {
      utf16 += static_cast<char16_t>(c);
    } else {
      const char32_t v = c - 0x10000;
      utf16 += static_cast<char16_t>(0xD800 + (v >> 10));
      utf16 += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    }
  }
  return utf16;
}

std::string Utf16ToUtf8(const std::u16string& utf16) {
  std::string utf8;
  utf8.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (IsSurrogate(c)) {
      c = kReplacement;
    }
    AppendUtf8(utf8, c);
  }
  return utf8;
}

#ifndef _WIN32
std::string Utf8ToCharset(const std::string& utf8, const char* codeset) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv's error value
  const iconv_t none = reinterpret_cast<iconv_t>(-1);
  const iconv_t cd = iconv_open(codeset, "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t start = i;
    char32_t c = 0;
    if (!DecodeUtf8(utf8, i, c)) {
      ++i;
      out += '?';
      continue;
    }
    if (c < 0x80) {  // every terminal character set this tool meets keeps ASCII
      out += static_cast<char>(c);
      continue;
    }
    bool converted = false;
    if (cd != none) {
      std::string in = utf8.substr(start, i - start);
      char buffer[16];
      char* inPtr = in.data();
      std::size_t inLeft = in.size();
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      converted = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                  inLeft == 0;
      if (converted) {
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      }
      iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    }
    if (!converted) out += '?';
  }
  if (cd != none) iconv_close(cd);
  return out;
}
#endif

}  // namespace velkarin::cli
