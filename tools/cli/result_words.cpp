#include "cli/result_words.h"

namespace velkarin::cli {

const char* ConfigResultWords(ConfigResult result) {
  switch (result) {
    case CONFIG_OK:
      return "accepted by the device";
    case CONFIG_BAD_ARGUMENT:
      return "bad argument (no serial number or identifier, a password longer than 20 characters, "
             "or a command longer than 255 characters)";
    case CONFIG_NOT_FOUND:
      return "device not found";
    case CONFIG_REFUSED:
      return "refused by the device";
    case CONFIG_FAILED:
      return "not accepted by the device";
    case CONFIG_SERIAL_SHARED_NO_ID:
      return "serial number shared with another device, and the device announces no identifier";
    case CONFIG_SERIAL_CLASH:
      return "serial number clash: devices with this serial number announce different identifiers";
    case CONFIG_NO_REPLY:
      return "no reply from the device";
  }
  return "unknown result";
}

int ExitCodeForResult(ConfigResult result) {
  return result == CONFIG_OK ? EXIT_OK : EXIT_RESULT_BASE + static_cast<int>(result);
}

const char* ExitCodeHelp() {
  return "Exit codes:\n"
         "  0   success (set: the device announces the configuration sent)\n"
         "  1   the tool could not run (for example no worker thread)\n"
         "  2   bad options or entries (an unknown --interface, a password over 20\n"
         "      characters); nothing was sent\n"
         "  3   set: accepted, but the device did not announce itself within 15 s\n"
         "  4   set: accepted, but the device announces another configuration\n"
         "  5   set: no device announces both --device-id and SERIAL; nothing was sent\n"
         "  6   no IPv4 interface is up to send discovery from\n"
         "  130 list: interrupted before the first cycle ended\n"
         "  11  set: bad argument (password longer than 20 characters, or command too long)\n"
         "  12  set: device not found\n"
         "  13  set: refused by the device\n"
         "  14  set: not accepted by the device\n"
         "  15  set: serial number shared with another device that announces no identifier\n"
         "  16  set: devices with this serial number announce different identifiers\n"
         "  17  set: no reply from the device\n";
}

}  // namespace velkarin::cli
