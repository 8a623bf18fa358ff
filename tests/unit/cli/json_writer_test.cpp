#include "cli/output/json_writer.h"

#include <gtest/gtest.h>

namespace velkarin::cli {
namespace {

TEST(WriteJson, EscapesInTheLibrarysStandardForm) {
  struct Case {
    const char* what;
    std::string utf8;
    const char* json;
  };
  const Case cases[] = {
      {"quote and backslash", "a\"b\\c", R"("a\"b\\c")"},
      {"short escapes", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {"other controls", std::string("\x00\x01\x1F", 3), R"("\u0000\u0001\u001f")"},
      {"DEL", "\x7F", R"("\u007f")"},
      {"plain ASCII", "plain / text ~", R"("plain / text ~")"},
      {"Latin-1 letters",
       "Pr\xC3\xBC"
       "f \xC3\x84",
       R"("Pr\u00fcf \u00c4")"},
      {"C1 control", "\xC2\x80", R"("\u0080")"},
      {"beyond Latin-1", "\xE2\x82\xAC", R"("\u20ac")"},
      {"beyond the first plane", "\xF0\x9F\x98\x80", R"("\ud83d\ude00")"},
      {"malformed",
       "a\xFF"
       "b",
       R"("a\ufffdb")"},
  };
  for (const Case& c : cases) EXPECT_EQ(WriteJson(c.utf8, -1), c.json) << c.what;
}

TEST(WriteJson, OutputIsAsciiAndParsesBackToTheSameValue) {
  nlohmann::ordered_json value = {{"z", "\xC3\xA9\n\x01"},
                                  {"a", {1, -2, 4294967295u, "x"}},
                                  {"m", {{"inner", true}, {"none", nullptr}}},
                                  {"empty", nlohmann::ordered_json::array()},
                                  {"obj", nlohmann::ordered_json::object()}};
  for (int indent : {-1, 0, 2}) {
    const std::string text = WriteJson(value, indent);
    for (char c : text) {
      const unsigned char byte = static_cast<unsigned char>(c);
      EXPECT_TRUE(byte < 0x7F && (byte >= 0x20 || byte == '\n')) << "byte " << int(byte);
    }
    EXPECT_EQ(nlohmann::ordered_json::parse(text), value) << text;
  }
}

TEST(WriteJson, KeepsKeyOrderAndLaysOutByIndent) {
  nlohmann::ordered_json value;
  value["b"] = 1;
  value["a"] = nlohmann::ordered_json::array({2, 3});
  EXPECT_EQ(WriteJson(value, -1), R"({"b":1,"a":[2,3]})");
  EXPECT_EQ(WriteJson(value, 2), "{\n  \"b\": 1,\n  \"a\": [\n    2,\n    3\n  ]\n}");
  EXPECT_EQ(WriteJson(nlohmann::ordered_json::array(), 2), "[]");
}

}  // namespace
}  // namespace velkarin::cli
