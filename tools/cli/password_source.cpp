#include "cli/password_source.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "cli/text_encoding.h"
#include "config/config_transaction.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace velkarin::cli {
namespace {

const std::string kUtf8ByteOrderMark = "\xEF\xBB\xBF";

void StripLineEnd(std::string& line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

bool ReadFirstLine(const std::string& path, std::string& line) {
  if (path == "-") return static_cast<bool>(std::getline(std::cin, line)) || !line.empty();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::getline(in, line);
  return !in.bad();
}

}  // namespace

#ifdef _WIN32
bool ReadHiddenLine(const char* prompt, std::string& line) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return false;
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  char buffer[256];
  DWORD read = 0;
  const bool ok = ReadConsoleA(input, buffer, sizeof buffer, &read, nullptr) != 0;
  SetConsoleMode(input, mode);
  std::fputs("\n", stderr);
  if (!ok) return false;
  line.assign(buffer, read);
  StripLineEnd(line);
  return true;
}
#else
bool ReadHiddenLine(const char* prompt, std::string& line) {
  if (!isatty(STDIN_FILENO)) return false;
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) return false;
  const bool ok = static_cast<bool>(std::getline(std::cin, line));
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  // The Enter that ended the line was not echoed either.
  std::fputs("\n", stderr);
  StripLineEnd(line);
  return ok;
}
#endif

PasswordOutcome ResolvePassword(const PasswordSources& sources, HiddenReader reader) {
  PasswordOutcome outcome;
  std::string password;
  // Messages name where the password came from, never the password.
  std::string source = "--password";
  if (sources.option && !sources.optionValue.empty()) {
    password = sources.optionValue;
    outcome.warning =
        "a password given on the command line is visible to other users of this computer; "
        "prefer --password without a value, --password-file or VELKARIN_PASSWORD";
  } else if (sources.option) {
    source = "the password typed at the prompt";
    if (!reader("Password: ", password)) {
      outcome.error =
          "--password without a value asks on a terminal, and there is none; use "
          "--password-file FILE or VELKARIN_PASSWORD";
      return outcome;
    }
  } else if (sources.file) {
    source = *sources.file == "-" ? std::string("the password on standard input")
                                  : "the password in '" + *sources.file + "'";
    if (!ReadFirstLine(*sources.file, password)) {
      outcome.error = "cannot read the password from '" + *sources.file + "'";
      return outcome;
    }
    StripLineEnd(password);
    // Editors on Windows start a UTF-8 file with a byte-order mark.
    if (password.rfind(kUtf8ByteOrderMark, 0) == 0) password.erase(0, kUtf8ByteOrderMark.size());
  } else if (sources.environment != nullptr && *sources.environment != '\0') {
    password = sources.environment;
    source = "VELKARIN_PASSWORD";
  } else {
    return outcome;
  }
  Latin1Fault fault;
  const std::optional<std::string> wire = Utf8ToLatin1(password, fault);
  if (!wire) {
    outcome.error = source +
                    (fault.malformed ? " is not valid UTF-8 at position "
                                     : " has a character that devices cannot take, at position ") +
                    std::to_string(fault.position) + "; devices take Latin-1 text";
    return outcome;
  }
  // What counts is what is sent: one byte per character.
  if (wire->size() > kMaxPasswordLength) {
    outcome.error = source + " has " + std::to_string(wire->size()) +
                    " characters; a device takes " + std::to_string(kMaxPasswordLength) +
                    " at most";
    return outcome;
  }
  outcome.password = wire;
  return outcome;
}

}  // namespace velkarin::cli
