#include "cli/output/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace velkarin::cli {
namespace {

TEST(TextEncoding, EveryByteRoundTripsThroughUtf8AndUtf16) {
  for (int value = 0; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    const std::string utf8 = Latin1ToUtf8(byte);
    // One character of one or two bytes, and the code point of the same number.
    EXPECT_EQ(utf8.size(), value < 0x80 ? 1u : 2u) << value;
    std::size_t i = 0;
    char32_t character = 0;
    ASSERT_TRUE(DecodeUtf8(utf8, i, character)) << value;
    EXPECT_EQ(character, static_cast<char32_t>(value));
    EXPECT_EQ(i, utf8.size());
    EXPECT_EQ(CharacterCount(utf8), 1u);
    std::string problem;
    EXPECT_EQ(Utf8ToLatin1(utf8, problem), byte) << value << ": " << problem;
    EXPECT_EQ(Utf8ToUtf16(utf8), std::u16string(1, static_cast<char16_t>(value)));
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(utf8)), utf8);
  }
}

TEST(TextEncoding, Utf8ToLatin1RefusesMalformedInputAndWhatLatin1Lacks) {
  struct Case {
    const char* what;
    std::string utf8;
    const char* problem;
    std::size_t position;  // of the offender in characters, what a secret's refusal names
  };
  const Case cases[] = {
      {"overlong slash", "a\xC0\xAF", "malformed UTF-8 (byte 0xC0 at offset 1)", 2},
      {"overlong three bytes", "\xE0\x80\xAF", "malformed UTF-8 (byte 0xE0 at offset 0)", 1},
      {"overlong four bytes", "\xF0\x80\x80\xAF", "malformed UTF-8 (byte 0xF0 at offset 0)", 1},
      {"cut short at the end", "Pr\xC3", "malformed UTF-8 (byte 0xC3 at offset 2)", 3},
      {"cut short before ASCII", "\xE2\x82x", "malformed UTF-8 (byte 0xE2 at offset 0)", 1},
      {"continuation alone", "\x80", "malformed UTF-8 (byte 0x80 at offset 0)", 1},
      {"never a lead", "ok\xFF", "malformed UTF-8 (byte 0xFF at offset 2)", 3},
      {"high surrogate", "\xED\xA0\x80", "malformed UTF-8 (byte 0xED at offset 0)", 1},
      {"low surrogate", "\xED\xBF\xBF", "malformed UTF-8 (byte 0xED at offset 0)", 1},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "malformed UTF-8 (byte 0xF4 at offset 0)", 1},
      {"first beyond Latin-1", "\xC4\x80",
       "U+0100 '\xC4\x80' is not a Latin-1 character (U+0000 to U+00FF)", 1},
      {"euro sign",
       "Pr\xC3\xBC"
       "f\xE2\x82\xAC",
       "U+20AC '\xE2\x82\xAC' is not a Latin-1 character (U+0000 to U+00FF)", 5},
      {"beyond the first plane", "\xF0\x9F\x98\x80",
       "U+1F600 '\xF0\x9F\x98\x80' is not a Latin-1 character (U+0000 to U+00FF)", 1},
  };
  for (const Case& c : cases) {
    std::string problem;
    EXPECT_EQ(Utf8ToLatin1(c.utf8, problem), std::nullopt) << c.what;
    EXPECT_EQ(problem, c.problem) << c.what;
    Latin1Fault fault;
    EXPECT_EQ(Utf8ToLatin1(c.utf8, fault), std::nullopt) << c.what;
    EXPECT_EQ(fault.position, c.position) << c.what;
    EXPECT_EQ(fault.malformed, c.problem[0] == 'm') << c.what;
  }
}

TEST(TextEncoding, MalformedBytesCountAndConvertOneByOne) {
  struct Case {
    std::string utf8;
    std::size_t characters;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"Pr\xC3\xBC"
       "f",
       4, u"Pr\u00FCf"},
      {"\xC0\xAF", 2, u"\uFFFD\uFFFD"},
      {"\xED\xA0\x80", 3, u"\uFFFD\uFFFD\uFFFD"},
      {"\xE2\x82\xAC", 1, u"\u20AC"},
      {"\xF0\x9F\x98\x80", 1, u"\U0001F600"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CharacterCount(c.utf8), c.characters) << c.utf8;
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
  }
  // A surrogate pair comes back as one character, a lone one as U+FFFD.
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD83D)) + u"x"), "\xEF\xBF\xBDx");
}

// Windows-1252's own signs in 0x80-0x9F, its free bytes as the C1 controls,
// the rest as Latin-1; strict UTF-8 is told from it.
TEST(TextEncoding, Windows1252BecomesUtf8) {
  EXPECT_EQ(Windows1252ToUtf8("\x80\x81\x8A\x9F\xA0\xFCx"),
            u8"\u20AC\u0081\u0160\u0178\u00A0\u00FCx");
  EXPECT_TRUE(
      IsUtf8("Pr\xC3\xBC"
             "f"));
  EXPECT_FALSE(
      IsUtf8("Pr\xFC"
             "f"));
  EXPECT_FALSE(IsUtf8("\xC3"));
}

TEST(TextEncoding, NameCharacterShowsTheLetterUnlessATerminalWouldActOnIt) {
  EXPECT_EQ(NameCharacter(0xFC), "U+00FC '\xC3\xBC'");
  EXPECT_EQ(NameCharacter(0x20AC), "U+20AC '\xE2\x82\xAC'");
  EXPECT_EQ(NameCharacter(0x85), "U+0085");
  EXPECT_EQ(NameCharacter(0x1B), "U+001B");
}

#ifndef _WIN32
TEST(TextEncoding, Utf8ToCharsetWritesWhatTheTerminalsSetHasAndQuestionMarksElse) {
  struct Case {
    const char* codeset;
    std::string utf8;
    std::string expected;
  };
  const std::string text =
      "Pr\xC3\xBC"
      "f \xE2\x82\xAC";  // "Prüf €"
  const Case cases[] = {
      {"UTF-8", text, text},
      {"ISO-8859-1", text,
       "Pr\xFC"
       "f ?"},
      {"ISO-8859-15", text,
       "Pr\xFC"
       "f \xA4"},
      {"IBM850", text,
       "Pr\x81"
       "f ?"},
      {"ANSI_X3.4-1968", text, "Pr?f ?"},  // the C locale's
      {"NO-SUCH-SET", text, "Pr?f ?"},
      {"ISO-8859-1",
       "a\xC3"
       "b",
       "a?b"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCharset(c.utf8, c.codeset), c.expected) << c.codeset;
}
#endif

}  // namespace
}  // namespace velkarin::cli
