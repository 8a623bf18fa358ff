#include "device_json.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "byte_text.h"
#include "cli/output/text_encoding.h"

namespace velkarin::devsim {
namespace {

using nlohmann::json;

[[noreturn]] void Bad(const std::string& key, const std::string& why) {
  throw std::invalid_argument("device key \"" + key + "\": " + why);
}

std::string AsString(const std::string& key, const json& v) {
  if (v.is_string()) return v.get<std::string>();
  if (v.is_number_integer()) return std::to_string(v.get<long long>());
  Bad(key, "expected a text");
}

// A text the device sends: written in UTF-8, sent in Latin-1 as devices send
// it; "\xNN" gives the byte NN as it is and "\\" one backslash.
std::string AsText(const std::string& key, const json& v) {
  const std::string text = AsString(key, v);
  std::string bytes;
  std::string plain;  // the UTF-8 since the last escape
  const auto convert = [&key, &bytes, &plain] {
    std::string problem;
    const std::optional<std::string> latin1 = cli::Utf8ToLatin1(plain, problem);
    if (!latin1) Bad(key, problem + " (write a byte as \\xNN)");
    bytes += *latin1;
    plain.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] != '\\' || (next != '\\' && next != 'x')) {
      plain += text[i];
      continue;
    }
    convert();
    const std::size_t length = next == 'x' ? 4 : 2;
    try {
      bytes += DecodeByteText("text:" + text.substr(i, length));
    } catch (const std::invalid_argument& e) {
      Bad(key, e.what());
    }
    i += length - 1;
  }
  convert();
  return bytes;
}

long long AsInteger(const std::string& key, const json& v) {
  if (v.is_number_integer()) return v.get<long long>();
  if (v.is_string()) {
    const std::string text = v.get<std::string>();
    std::size_t used = 0;
    long long value = 0;
    try {
      value = std::stoll(text, &used, 10);
    } catch (const std::exception&) {
      Bad(key, "expected a number, got \"" + text + "\"");
    }
    if (used != text.size()) Bad(key, "expected a number, got \"" + text + "\"");
    return value;
  }
  Bad(key, "expected a number");
}

int AsInt(const std::string& key, const json& v) {
  long long value = AsInteger(key, v);
  if (value < INT32_MIN || value > INT32_MAX) Bad(key, "out of range");
  return static_cast<int>(value);
}

int AsNonNegative(const std::string& key, const json& v) {
  int value = AsInt(key, v);
  if (value < 0) Bad(key, "must not be negative");
  return value;
}

double AsDouble(const std::string& key, const json& v) {
  if (v.is_number()) return v.get<double>();
  if (v.is_string()) {
    try {
      std::size_t used = 0;
      double value = std::stod(v.get<std::string>(), &used);
      if (used == v.get<std::string>().size()) return value;
    } catch (const std::exception&) {
    }
  }
  Bad(key, "expected a number");
}

bool AsBool(const std::string& key, const json& v) {
  if (v.is_boolean()) return v.get<bool>();
  if (v.is_number_integer()) return v.get<long long>() != 0;
  if (v.is_string()) {
    const std::string t = v.get<std::string>();
    if (t == "true" || t == "yes" || t == "1") return true;
    if (t == "false" || t == "no" || t == "0") return false;
  }
  Bad(key, "expected true or false");
}

// Serial numbers and auxNumber: hex text (optional 0x) or a JSON number.
std::uint32_t AsHex32(const std::string& key, const json& v) {
  if (v.is_number_unsigned() || v.is_number_integer()) {
    long long value = v.get<long long>();
    if (value < 0 || value > 0xFFFFFFFFLL) Bad(key, "out of range");
    return static_cast<std::uint32_t>(value);
  }
  if (!v.is_string()) Bad(key, "expected hex text");
  std::string text = v.get<std::string>();
  if (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0) text = text.substr(2);
  if (text.empty() || text.size() > 8) Bad(key, "expected 1 to 8 hex digits");
  std::size_t used = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(text, &used, 16);
  } catch (const std::exception&) {
    Bad(key, "expected hex digits");
  }
  if (used != text.size()) Bad(key, "expected hex digits");
  return static_cast<std::uint32_t>(value);
}

std::array<std::uint8_t, 16> AsKey16(const std::string& key, const json& v) {
  std::string bytes;
  try {
    bytes = DecodeByteText("hex:" + AsString(key, v));
  } catch (const std::invalid_argument& e) {
    Bad(key, e.what());
  }
  if (bytes.size() != 16) Bad(key, "expected 32 hex digits");
  std::array<std::uint8_t, 16> out{};
  for (std::size_t i = 0; i < 16; ++i) out[i] = static_cast<std::uint8_t>(bytes[i]);
  return out;
}

std::string AsBytes(const std::string& key, const json& v) {
  try {
    return DecodeByteText(AsString(key, v));
  } catch (const std::invalid_argument& e) {
    Bad(key, e.what());
  }
}

const json& AsArray(const std::string& key, const json& v) {
  if (!v.is_array()) Bad(key, "expected a list");
  return v;
}

CommandBehaviour AsBehaviour(const std::string& key, const json& v) {
  const std::string t = AsString(key, v);
  if (t == "accept") return CommandBehaviour::kAccept;
  if (t == "refuse") return CommandBehaviour::kRefuse;
  if (t == "require-auth") return CommandBehaviour::kRequireAuth;
  if (t == "status") return CommandBehaviour::kStatus;
  if (t == "wrong-code") return CommandBehaviour::kWrongCode;
  if (t == "garbage") return CommandBehaviour::kGarbage;
  if (t == "oversize") return CommandBehaviour::kOversize;
  if (t == "silent") return CommandBehaviour::kSilent;
  Bad(key, "one of accept, refuse, require-auth, status, wrong-code, garbage, oversize, silent");
}

AfterAccept AsAfterAccept(const std::string& key, const json& v) {
  const std::string t = AsString(key, v);
  if (t == "apply") return AfterAccept::kApply;
  if (t == "other") return AfterAccept::kOther;
  if (t == "vanish") return AfterAccept::kVanish;
  if (t == "none") return AfterAccept::kNone;
  Bad(key, "one of apply, other, vanish, none");
}

// A profile while its keys are read: what the keys imply is settled once all
// are read, so that their order in the object does not matter.
struct Reading {
  DeviceProfile d;
  std::optional<int> sections;
  bool behaviourGiven = false;
  std::optional<CommandBehaviour> implied;
};

using KeyReader = void (*)(Reading& r, const std::string& k, const json& v);

struct KeyRule {
  const char* key;
  int section;  // the announcement section whose item this is; 1 also for other keys
  KeyReader read;
};

// Every key a device may have, in the order of the README's table.
constexpr KeyRule kKeys[] = {
    {"serial", 1, [](Reading& r, auto& k, auto& v) { r.d.announced.serial = AsHex32(k, v); }},
    {"name", 1, [](Reading& r, auto& k, auto& v) { r.d.announced.name = AsText(k, v); }},
    {"dhcp", 1, [](Reading& r, auto& k, auto& v) { r.d.announced.dhcp = AsInt(k, v); }},
    {"ip", 1, [](Reading& r, auto& k, auto& v) { r.d.announced.ip = AsText(k, v); }},
    {"netmask", 1, [](Reading& r, auto& k, auto& v) { r.d.announced.netmask = AsText(k, v); }},
    {"gateway", 1, [](Reading& r, auto& k, auto& v) { r.d.announced.gateway = AsText(k, v); }},
    {"extNumber1", 2, [](Reading& r, auto& k, auto& v) { r.d.announced.extNumber1 = AsInt(k, v); }},
    {"extTexts", 2,
     [](Reading& r, auto& k, auto& v) {
       const json& list = AsArray(k, v);
       if (list.size() > 4) Bad(k, "at most 4 texts");
       for (std::size_t i = 0; i < 4; ++i) {
         r.d.announced.extTexts[i] = i < list.size() ? AsText(k, list[i]) : std::string();
       }
     }},
    {"deviceId", 2, [](Reading& r, auto& k, auto& v) { r.d.announced.deviceId = AsText(k, v); }},
    {"deviceIndex", 2,
     [](Reading& r, auto& k, auto& v) { r.d.announced.deviceIndex = AsInt(k, v); }},
    {"extNumber2", 2, [](Reading& r, auto& k, auto& v) { r.d.announced.extNumber2 = AsInt(k, v); }},
    {"extTextA", 2, [](Reading& r, auto& k, auto& v) { r.d.announced.extTextA = AsText(k, v); }},
    {"extTextB", 2, [](Reading& r, auto& k, auto& v) { r.d.announced.extTextB = AsText(k, v); }},
    {"commandSuffix", 2,
     [](Reading& r, auto& k, auto& v) { r.d.announced.commandSuffix = AsInt(k, v); }},
    {"auxNumber", 3, [](Reading& r, auto& k, auto& v) { r.d.announced.auxNumber = AsHex32(k, v); }},
    {"auxTextA", 3, [](Reading& r, auto& k, auto& v) { r.d.announced.auxTextA = AsText(k, v); }},
    {"auxTextB", 3, [](Reading& r, auto& k, auto& v) { r.d.announced.auxTextB = AsText(k, v); }},
    {"sections", 1,
     [](Reading& r, auto& k, auto& v) {
       r.sections = AsInt(k, v);
       if (*r.sections < 1 || *r.sections > 3) Bad(k, "1, 2 or 3");
     }},
    {"terminateLastSection", 1,
     [](Reading& r, auto& k, auto& v) { r.d.announced.terminateLastSection = AsBool(k, v); }},
    {"raw", 1, [](Reading& r, auto& k, auto& v) { r.d.announced.raw = AsBytes(k, v); }},
    {"unconfigured", 1, [](Reading& r, auto& k, auto& v) { r.d.unconfigured = AsBool(k, v); }},
    {"answersDiscovery", 1,
     [](Reading& r, auto& k, auto& v) { r.d.answersDiscovery = AsBool(k, v); }},
    {"announceDelayMs", 1,
     [](Reading& r, auto& k, auto& v) { r.d.announceDelayMs = AsNonNegative(k, v); }},
    {"repeat", 1, [](Reading& r, auto& k, auto& v) { r.d.repeat = AsNonNegative(k, v); }},
    {"repeatIntervalMs", 1,
     [](Reading& r, auto& k, auto& v) { r.d.repeatIntervalMs = AsNonNegative(k, v); }},
    {"floodPerDiscovery", 1,
     [](Reading& r, auto& k, auto& v) { r.d.flood.perDiscovery = AsNonNegative(k, v); }},
    {"floodRate", 1,
     [](Reading& r, auto& k, auto& v) {
       r.d.flood.ratePerSecond = AsDouble(k, v);
       if (r.d.flood.ratePerSecond < 0 || r.d.flood.ratePerSecond > 1e6) Bad(k, "0 to 1000000");
     }},
    {"floodDurationMs", 1,
     [](Reading& r, auto& k, auto& v) { r.d.flood.durationMs = AsNonNegative(k, v); }},
    {"floodVary", 1, [](Reading& r, auto& k, auto& v) { r.d.flood.vary = AsBool(k, v); }},
    {"onCommand", 1,
     [](Reading& r, auto& k, auto& v) {
       r.d.onCommand = AsBehaviour(k, v);
       r.behaviourGiven = true;
     }},
    {"replyStatus", 1,
     [](Reading& r, auto& k, auto& v) {
       r.d.replyStatus = AsInt(k, v);
       r.implied = CommandBehaviour::kStatus;
     }},
    {"replyCode", 1,
     [](Reading& r, auto& k, auto& v) {
       r.d.replyCode = AsInt(k, v);
       r.implied = CommandBehaviour::kWrongCode;
     }},
    {"replyBytes", 1,
     [](Reading& r, auto& k, auto& v) {
       r.d.replyBytes = AsBytes(k, v);
       r.implied = CommandBehaviour::kGarbage;
     }},
    {"oversizeLength", 1,
     [](Reading& r, auto& k, auto& v) {
       r.d.oversizeLength = AsNonNegative(k, v);
       if (r.d.oversizeLength > 65000) Bad(k, "at most 65000");
     }},
    {"replyCount", 1, [](Reading& r, auto& k, auto& v) { r.d.replyCount = AsNonNegative(k, v); }},
    {"replyIntervalMs", 1,
     [](Reading& r, auto& k, auto& v) { r.d.replyIntervalMs = AsNonNegative(k, v); }},
    {"extraReplies", 1,
     [](Reading& r, auto& k, auto& v) {
       for (const json& item : AsArray(k, v)) r.d.extraReplies.push_back(AsBytes(k, item));
     }},
    {"replyDelayMs", 1,
     [](Reading& r, auto& k, auto& v) { r.d.replyDelayMs = AsNonNegative(k, v); }},
    {"matchIndex", 1, [](Reading& r, auto& k, auto& v) { r.d.matchIndex = AsBool(k, v); }},
    {"password", 1, [](Reading& r, auto& k, auto& v) { r.d.password = AsText(k, v); }},
    {"challenge", 1, [](Reading& r, auto& k, auto& v) { r.d.challenge = AsKey16(k, v); }},
    {"challenges", 1,
     [](Reading& r, auto& k, auto& v) {
       for (const json& item : AsArray(k, v)) r.d.challenges.push_back(AsKey16(k, item));
     }},
    {"afterAccept", 1, [](Reading& r, auto& k, auto& v) { r.d.afterAccept = AsAfterAccept(k, v); }},
    {"afterAcceptDelayMs", 1,
     [](Reading& r, auto& k, auto& v) { r.d.afterAcceptDelayMs = AsNonNegative(k, v); }},
    {"dhcpFlag", 1,
     [](Reading& r, auto& k, auto& v) {
       r.d.dhcpFlag = AsInt(k, v);
       if (r.d.dhcpFlag == 0) throw std::invalid_argument(k + ": 0 is not DHCP");
     }},
    {"emptyGateway", 1,
     [](Reading& r, auto& k, auto& v) {
       const std::string form = AsString(k, v);
       if (form != "zero" && form != "omit") {
         throw std::invalid_argument(k + ": \"zero\" or \"omit\"");
       }
       r.d.omitEmptyGateway = form == "omit";
     }},
    {"silentWhileChanging", 1,
     [](Reading& r, auto& k, auto& v) { r.d.silentWhileChanging = AsBool(k, v); }},
    {"otherDhcp", 1, [](Reading& r, auto& k, auto& v) { r.d.other.dhcp = AsInt(k, v); }},
    {"otherIp", 1, [](Reading& r, auto& k, auto& v) { r.d.other.ip = AsString(k, v); }},
    {"otherNetmask", 1, [](Reading& r, auto& k, auto& v) { r.d.other.netmask = AsString(k, v); }},
    {"otherGateway", 1, [](Reading& r, auto& k, auto& v) { r.d.other.gateway = AsString(k, v); }},
};

const KeyRule& RuleOf(const std::string& key) {
  for (const KeyRule& rule : kKeys) {
    if (key == rule.key) return rule;
  }
  throw std::invalid_argument("unknown device key \"" + key + "\"");
}

}  // namespace

DeviceProfile DeviceFromJson(const json& object) {
  if (!object.is_object()) throw std::invalid_argument("a device must be a JSON object");
  Reading r;
  int impliedSections = 1;
  for (auto it = object.begin(); it != object.end(); ++it) {
    const KeyRule& rule = RuleOf(it.key());
    rule.read(r, it.key(), it.value());
    impliedSections = std::max(impliedSections, rule.section);
  }
  // Without an explicit count, a device sends the sections whose items it was given.
  r.d.announced.sections = r.sections ? *r.sections : impliedSections;
  if (!r.behaviourGiven && r.implied) r.d.onCommand = *r.implied;
  return r.d;
}

json ParseDeviceOption(const std::string& text) {
  json object = json::object();
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t eq = text.find('=', i);
    if (eq == std::string::npos) {
      throw std::invalid_argument("--device: expected key=value at \"" + text.substr(i) + "\"");
    }
    std::string key = text.substr(i, eq - i);
    if (key.empty()) throw std::invalid_argument("--device: empty key");
    i = eq + 1;
    json value;
    if (i < text.size() && text[i] == '"') {
      std::string s;
      ++i;
      bool closed = false;
      while (i < text.size()) {
        char c = text[i++];
        if (c == '\\' && i < text.size() && (text[i] == '"' || text[i] == '\\')) {
          s.push_back(text[i++]);
        } else if (c == '"') {
          closed = true;
          break;
        } else {
          s.push_back(c);
        }
      }
      if (!closed) throw std::invalid_argument("--device: unterminated quote for " + key);
      value = s;
    } else if (i < text.size() && (text[i] == '[' || text[i] == '{')) {
      // JSON up to the matching bracket, minding strings.
      std::size_t start = i;
      int depth = 0;
      bool inString = false;
      for (; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
          if (c == '\\')
            ++i;
          else if (c == '"')
            inString = false;
        } else if (c == '"') {
          inString = true;
        } else if (c == '[' || c == '{') {
          ++depth;
        } else if (c == ']' || c == '}') {
          if (--depth == 0) {
            ++i;
            break;
          }
        }
      }
      try {
        value = json::parse(text.substr(start, i - start));
      } catch (const json::exception& e) {
        throw std::invalid_argument("--device: bad JSON for " + key + ": " + e.what());
      }
    } else {
      std::size_t comma = text.find(',', i);
      if (comma == std::string::npos) comma = text.size();
      value = text.substr(i, comma - i);
      i = comma;
    }
    object[key] = value;
    if (i < text.size()) {
      if (text[i] != ',') {
        throw std::invalid_argument("--device: expected ',' after the value of " + key);
      }
      ++i;
    }
  }
  return object;
}

DeviceProfile DeviceFromJsonAt(const json& object, const std::string& place) {
  try {
    return DeviceFromJson(object);
  } catch (const std::invalid_argument& e) {
    std::string serial;
    if (object.is_object() && object.contains("serial")) {
      const json& v = object["serial"];
      serial = " (serial " + (v.is_string() ? v.get<std::string>() : v.dump()) + ")";
    }
    throw std::invalid_argument(place + serial + ": " + e.what());
  }
}

std::vector<DeviceProfile> GenerateFleet(const Fleet& fleet) {
  std::vector<DeviceProfile> devices;
  for (int i = 0; i < fleet.count; ++i) {
    json object = fleet.tmpl;
    const std::uint32_t n = static_cast<std::uint32_t>(i) + 1;
    char text[64];
    std::snprintf(text, sizeof text, "%X", fleet.serialBase + static_cast<std::uint32_t>(i));
    object["serial"] = text;
    object["name"] = (fleet.tmpl.contains("name") ? AsString("name", fleet.tmpl["name"])
                                                  : std::string("Sim device")) +
                     " " + std::to_string(n);
    if (!fleet.tmpl.contains("ip")) {
      std::snprintf(text, sizeof text, "10.%u.%u.%u", (n >> 16) & 255, (n >> 8) & 255, n & 255);
      object["ip"] = text;
    }
    if (!fleet.tmpl.contains("netmask")) object["netmask"] = "255.0.0.0";
    if (!fleet.tmpl.contains("gateway")) object["gateway"] = "10.0.0.254";
    DeviceProfile device = DeviceFromJsonAt(object, "fleet device " + std::to_string(n));
    if (fleet.spreadMs > 0) {
      device.announceDelayMs +=
          static_cast<int>(static_cast<long long>(fleet.spreadMs) * i / fleet.count);
    }
    devices.push_back(device);
  }
  return devices;
}

std::vector<DeviceProfile> LoadConfigFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::invalid_argument("cannot read " + path);
  json root;
  try {
    root = json::parse(in);
  } catch (const json::exception& e) {
    throw std::invalid_argument(path + ": " + e.what());
  }
  std::vector<DeviceProfile> devices;
  const json* list = &root;
  if (root.is_object()) {
    for (auto it = root.begin(); it != root.end(); ++it) {
      if (it.key() != "devices" && it.key() != "fleet") {
        throw std::invalid_argument(path + ": unknown key \"" + it.key() + "\"");
      }
    }
    list = root.contains("devices") ? &root["devices"] : nullptr;
  }
  if (list != nullptr) {
    if (!list->is_array()) throw std::invalid_argument(path + ": devices must be a list");
    for (std::size_t i = 0; i < list->size(); ++i) {
      devices.push_back(DeviceFromJsonAt((*list)[i], path + ": device " + std::to_string(i + 1)));
    }
  }
  if (root.is_object() && root.contains("fleet")) {
    const json& f = root["fleet"];
    std::vector<DeviceProfile> generated;
    try {
      Fleet fleet;
      for (auto it = f.begin(); it != f.end(); ++it) {
        const std::string& k = it.key();
        if (k == "count")
          fleet.count = AsNonNegative(k, it.value());
        else if (k == "serialBase")
          fleet.serialBase = AsHex32(k, it.value());
        else if (k == "spreadMs")
          fleet.spreadMs = AsNonNegative(k, it.value());
        else if (k == "template")
          fleet.tmpl = it.value();
        else
          throw std::invalid_argument("unknown fleet key \"" + k + "\"");
      }
      generated = GenerateFleet(fleet);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(path + ": " + e.what());
    }
    devices.insert(devices.end(), generated.begin(), generated.end());
  }
  return devices;
}

}  // namespace velkarin::devsim
