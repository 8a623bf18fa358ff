#include "cli/json_writer.h"

#include <gtest/gtest.h>

namespace velkarin::cli {
namespace {

TEST(JsonStringLiteral, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonStringLiteral("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(JsonStringLiteral("\b\f\n\r\t"), R"("\b\f\n\r\t")");
  EXPECT_EQ(JsonStringLiteral(std::string("\x00\x01\x1F", 3)), R"("\u0000\u0001\u001F")");
  EXPECT_EQ(JsonStringLiteral("\x7F"), R"("\u007F")");
  EXPECT_EQ(JsonStringLiteral("plain / text ~"), R"("plain / text ~")");
}

TEST(JsonStringLiteral, WritesEveryCharacterAboveAsciiAsUpperCaseEscape) {
  EXPECT_EQ(JsonStringLiteral("\xC2\x80"), R"("\u0080")");
  EXPECT_EQ(JsonStringLiteral("caf\xC3\xA9"), R"("caf\u00E9")");
  EXPECT_EQ(JsonStringLiteral("\xC3\xBF"), R"("\u00FF")");
  EXPECT_EQ(JsonStringLiteral("\xE2\x82\xAC"), R"("\u20AC")");
  // Above the basic plane: a surrogate pair.
  EXPECT_EQ(JsonStringLiteral("\xF0\x9F\x98\x80"), R"("\uD83D\uDE00")");
}

TEST(JsonStringLiteral, ReplacesMalformedUtf8ByteByByte) {
  EXPECT_EQ(JsonStringLiteral("a\xFF"
                              "b"),
            R"("a\uFFFDb")");
  EXPECT_EQ(JsonStringLiteral("\xC3"), R"("\uFFFD")");                      // cut short
  EXPECT_EQ(JsonStringLiteral("\xC0\xAF"), R"("\uFFFD\uFFFD")");            // overlong
  EXPECT_EQ(JsonStringLiteral("\xED\xA0\x80"), R"("\uFFFD\uFFFD\uFFFD")");  // surrogate
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
