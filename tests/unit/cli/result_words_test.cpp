#include "cli/output/result_words.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

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
    EXPECT_NE(ExitCodeHelp(HelpScope::kSet).find("  " + std::to_string(code) + "  "),
              std::string::npos)
        << "exit code " << code << " missing from the help";
  }
  EXPECT_EQ(codes.size(), 7u);
  EXPECT_EQ(words.size(), 7u);
}

// Each command's help lists the codes that command can end with, no others.
TEST(ExitCodeHelp, EachCommandShowsItsOwnCodes) {
  struct Case {
    HelpScope scope;
    std::vector<const char*> shown;
    std::vector<const char*> hidden;
  };
  const Case cases[] = {
      {HelpScope::kList, {"  0 ", "  1 ", "  2 ", "  130 ", "  143 "}, {"  3 ", "  11 ", "  17 "}},
      {HelpScope::kSet,
       {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  11 ", "  17 ", "  130 ", "  143 "},
       {}},
      {HelpScope::kApply, {"  0 ", "  2 ", "  7 ", "  130 ", "  143 "}, {"  3 ", "  5 ", "  17 "}},
      {HelpScope::kAll, {"  0 ", "  2 ", "  4 ", "  7 ", "  17 ", "  130 ", "  143 "}, {}},
  };
  for (const Case& c : cases) {
    const std::string help = ExitCodeHelp(c.scope);
    for (const char* code : c.shown) EXPECT_NE(help.find(code), std::string::npos) << code;
    for (const char* code : c.hidden) EXPECT_EQ(help.find(code), std::string::npos) << code;
    for (const std::string& line : {std::string("set:"), std::string("list:")}) {
      const bool other = (c.scope == HelpScope::kList && line == "set:") ||
                         (c.scope == HelpScope::kSet && line == "list:") ||
                         c.scope == HelpScope::kApply;
      if (other) {
        EXPECT_EQ(help.find(line), std::string::npos) << line;
      }
    }
  }
}

TEST(ConfigOutcomeWords, ARefusalWithoutPasswordSaysTheDeviceMayNeedOne) {
  const std::string hint = "may need a password (--password)";
  EXPECT_NE(ConfigOutcomeWords(CONFIG_REFUSED, false).find(hint), std::string::npos);
  EXPECT_EQ(ConfigOutcomeWords(CONFIG_REFUSED, true),
            std::string(ConfigResultWords(CONFIG_REFUSED)) + "; the password may be wrong");
  EXPECT_EQ(ConfigOutcomeWords(CONFIG_NOT_FOUND, false), ConfigResultWords(CONFIG_NOT_FOUND));
}

}  // namespace
}  // namespace velkarin::cli
