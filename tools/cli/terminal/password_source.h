// Where `velkarin set` takes its password from, so that it need not stand on
// the command line where other users can read it.
#pragma once
#include <optional>
#include <string>

namespace velkarin::cli {

struct PasswordSources {
  bool option = false;                // --password given
  std::string optionValue;            // its value; empty: ask on the terminal
  std::optional<std::string> file;    // --password-file; "-" is standard input
  const char* environment = nullptr;  // VELKARIN_PASSWORD, or null
};

struct PasswordOutcome {
  std::optional<std::string> password;  // as sent: Latin-1 bytes; none: send without one
  std::string error;                    // a usage error; nothing may be sent
  std::string warning;                  // for standard error
};

// Reads one line with the terminal's echo off; false when standard input is
// no terminal or the line cannot be read. The echo comes back on every way
// out: a signal that ends the tool here (Ctrl-C, SIGTERM, a hangup; on
// Windows a console control event) does so once the terminal is restored.
using HiddenReader = bool (*)(const char* prompt, std::string& line);
bool ReadHiddenLine(const char* prompt, std::string& line);

// An environment variable in UTF-8 (on Windows read as wide characters, not
// in the ANSI code page); none when it is not set.
std::optional<std::string> EnvironmentText(const char* name);

// The option's value, else the prompt, else the file's first line (without a
// byte-order mark), else the environment; turned from UTF-8 into the Latin-1
// bytes a device takes. An empty value from any of them is the empty
// password; none only when no source is given. A password that has no such form, or that is over
// the device's 20 bytes, is an error that names its source, never its text.
PasswordOutcome ResolvePassword(const PasswordSources& sources,
                                HiddenReader reader = &ReadHiddenLine);

}  // namespace velkarin::cli
