#include "cli/json_writer.h"

#include <cstdint>
#include <cstdio>

namespace velkarin::cli {
namespace {

void AppendUnicodeEscape(std::string& out, std::uint32_t unit) {
  char escape[7];
  std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
  out += escape;
}

// One code point from UTF-8 at `i`; malformed input counts byte by byte as
// U+FFFD so that nothing invalid reaches the output.
std::uint32_t NextCodePoint(const std::string& s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int length = 0;
  std::uint32_t cp = 0;
  std::uint32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + length > s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < length; ++k) {
    const unsigned char next = byte(i + k);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += length;
  return cp;
}

void Write(const nlohmann::ordered_json& value, int indent, int depth, std::string& out);

void NewLine(int indent, int depth, std::string& out) {
  if (indent < 0) return;
  out += '\n';
  out.append(static_cast<std::size_t>(indent) * depth, ' ');
}

// One call a nesting level: the records this tool writes are two levels deep.
// NOLINTNEXTLINE(misc-no-recursion)
void Write(const nlohmann::ordered_json& value, int indent, int depth, std::string& out) {
  switch (value.type()) {
    case nlohmann::ordered_json::value_t::object: {
      if (value.empty()) {
        out += "{}";
        return;
      }
      out += '{';
      bool first = true;
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (!first) out += ',';
        first = false;
        NewLine(indent, depth + 1, out);
        out += JsonStringLiteral(it.key());
        out += indent < 0 ? ":" : ": ";
        Write(it.value(), indent, depth + 1, out);
      }
      NewLine(indent, depth, out);
      out += '}';
      return;
    }
    case nlohmann::ordered_json::value_t::array: {
      if (value.empty()) {
        out += "[]";
        return;
      }
      out += '[';
      bool first = true;
      for (const auto& element : value) {
        if (!first) out += ',';
        first = false;
        NewLine(indent, depth + 1, out);
        Write(element, indent, depth + 1, out);
      }
      NewLine(indent, depth, out);
      out += ']';
      return;
    }
    case nlohmann::ordered_json::value_t::string:
      out += JsonStringLiteral(value.get_ref<const std::string&>());
      return;
    default:
      // Numbers, booleans and null have no characters to escape.
      out += value.dump();
      return;
  }
}

}  // namespace

std::string JsonStringLiteral(const std::string& utf8) {
  std::string out = "\"";
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::uint32_t cp = NextCodePoint(utf8, i);
    switch (cp) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (cp >= 0x20 && cp < 0x7F) {
          out += static_cast<char>(cp);
        } else if (cp <= 0xFFFF) {  // controls, DEL and the rest of the first plane
          AppendUnicodeEscape(out, cp);
        } else {
          const std::uint32_t v = cp - 0x10000;
          AppendUnicodeEscape(out, 0xD800 + (v >> 10));
          AppendUnicodeEscape(out, 0xDC00 + (v & 0x3FF));
        }
    }
  }
  out += '"';
  return out;
}

std::string WriteJson(const nlohmann::ordered_json& value, int indent) {
  std::string out;
  Write(value, indent, 0, out);
  return out;
}

}  // namespace velkarin::cli
