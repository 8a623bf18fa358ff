#include "cli/result_words.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace velkarin::cli {
namespace {

TEST(ExitCodeForResult, SuccessIsZeroAndEveryFailureHasACodeOfItsOwn) {
  EXPECT_EQ(ExitCodeForResult(CONFIG_OK), 0);
  std::set<int> codes;
  std::set<std::string> words;
  for (int r = CONFIG_BAD_ARGUMENT; r <= CONFIG_NO_REPLY; ++r) {
    const int code = ExitCodeForResult(static_cast<ConfigResult>(r));
    // Clear of the tool's own codes and of the ones shells use for signals.
    EXPECT_GT(code, EXIT_NOT_CONFIGURED);
    EXPECT_LT(code, 126);
    codes.insert(code);
    words.insert(ConfigResultWords(static_cast<ConfigResult>(r)));
    EXPECT_NE(std::string(ExitCodeHelp()).find("  " + std::to_string(code) + "  "),
              std::string::npos)
        << "exit code " << code << " missing from the help";
  }
  EXPECT_EQ(codes.size(), 7u);
  EXPECT_EQ(words.size(), 7u);
}

}  // namespace
}  // namespace velkarin::cli
