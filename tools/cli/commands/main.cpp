// velkarin: lists the devices that answer discovery on the local network and
// sends one of them a new IP configuration.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "cli/commands/builders.h"
#include "cli/output/display_text.h"
#include "cli/output/result_words.h"
#include "cli/output/text_encoding.h"
#include "cli/output/text_output.h"
#include "cli/plan/edit_distance.h"
#include "cli/terminal/terminal.h"
#include "velkarin_version.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>
#endif

namespace velkarin::cli {

int UsageError(const std::string& message) {
  WriteText(stderr,
            "velkarin: " + DisplayUtf8(message) + "\nRun with --help for more information.\n");
  return EXIT_USAGE;
}

int ValueError(const std::string& message) {
  WriteText(stderr, "velkarin: " + DisplayUtf8(message) + "\n");
  return EXIT_USAGE;
}

const char* const kBroadcastHelp =
    "send discovery and commands to ADDRESS[:PORT] instead of 255.255.255.255:8001 "
    "(repeatable without --interface: directed broadcasts to routed cells)";
const char* const kInterfaceHelp =
    "send by the interface NAME only (repeatable; by default by every interface that can "
    "broadcast)";

}  // namespace velkarin::cli

namespace {

using namespace velkarin::cli;

// The option of `command` that a mistyped "--word" most likely meant ("--gw":
// "--gateway"): one it begins, one whose letters it keeps in order from the
// first, or one a slip or two away. "" when none is near.
std::string NearestOption(const CLI::App& command, const std::string& typed) {
  if (typed.rfind("--", 0) != 0 || typed.size() < 4) return "";
  const std::string word = typed.substr(2, typed.find('=') - 2);
  std::string best;
  std::size_t bestScore = 3;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) {
      std::size_t kept = 0;
      for (char c : name) kept += kept < word.size() && word[kept] == c ? 1 : 0;
      const bool inOrder = kept == word.size() && name[0] == word[0];
      const std::size_t score = name.rfind(word, 0) == 0 || inOrder
                                    ? 0
                                    : EditDistance(word, name) + (word.size() < 4 ? 1 : 0);
      if (score < bestScore) {
        best = "--" + name;
        bestScore = score;
      }
    }
  }
  return best;
}

int Run(int argc, char** argv) {
  CLI::App app{
      "Finds the devices that answer discovery on the local network and sends one of "
      "them, or every device of a plan, a new IP configuration.",
      "velkarin"};
  app.footer(ExitCodeHelp(HelpScope::kAll));
  app.set_version_flag("--version", std::string("velkarin ") + VELKARIN_VERSION_TEXT,
                       "Print the version and exit");
  app.require_subcommand(1, 1);
  const std::vector<BuiltCommand> commands = {AddListCommand(app), AddSetCommand(app),
                                              AddApplyCommand(app), AddPlanCommand(app)};

  // CLI11 would only say that a command is missing.
  if (argc > 1 && argv[1][0] != '-') {
    std::string names;
    bool known = false;
    for (const BuiltCommand& c : commands) {
      known = known || c.command->get_name() == argv[1];
      names += (names.empty()                          ? ""
                : c.command == commands.back().command ? " or "
                                                       : ", ") +
               c.command->get_name();
    }
    if (!known) {
      return UsageError("unknown command '" + std::string(argv[1]) + "' (use " + names + ")");
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help goes out as CLI11 writes it; errors get the tool's own prefix.
    if (error.get_exit_code() == 0) return app.exit(error) == 0 ? EXIT_OK : EXIT_USAGE;
    std::string message = error.what();
    for (const BuiltCommand& c : commands) {
      if (argc < 2 || c.command->get_name() != argv[1]) continue;
      if (c.explain && !c.explain().empty()) message = c.explain();
      for (const std::string& extra : c.command->remaining()) {
        const std::string nearest = NearestOption(*c.command, extra);
        if (!nearest.empty()) message += " (" + extra + ": did you mean " + nearest + "?)";
      }
    }
    return UsageError(message);
  }
  for (const BuiltCommand& c : commands) {
    if (c.command->parsed()) return c.run();
  }
  return EXIT_USAGE;
}

// The arguments in UTF-8. On Windows main's argv holds them in the ANSI code
// page, which turns letters it lacks into '?'; the wide command line has them
// all.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
      const std::wstring argument = wide[i];
      arguments.push_back(Utf16ToUtf8(std::u16string(argument.begin(), argument.end())));
    }
    LocalFree(static_cast<HLOCAL>(wide));
    return arguments;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
  // What the option parser or the library throws beyond the parse errors
  // (out of memory, a system error starting a thread) ends the tool with a
  // message, not with an abort.
  KeepStandardDescriptors();
  int status = EXIT_ERROR;
  try {
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    pointers.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    status = Run(static_cast<int>(arguments.size()), pointers.data());
  } catch (const std::exception& error) {
    WriteText(stderr, "velkarin: " + DisplayUtf8(error.what()) + "\n");
  }
  // A result that never reached its reader (a full disk, a closed pipe) is
  // a failure, whatever was done.
  if (!FlushOutput()) {
    std::fprintf(stderr, "velkarin: %s\n", OutputFailure().c_str());
    if (status == EXIT_OK) status = EXIT_ERROR;
  }
  return status;
}
