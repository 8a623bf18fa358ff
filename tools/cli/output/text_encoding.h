// Device texts travel as 8-bit bytes, read as Latin-1 (as the page's ANSI
// window functions show them); the tool speaks Unicode. Every conversion
// between the two lives here.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace velkarin::cli {

// Each byte becomes the character of the same number (0x80-0xFF become
// U+0080-U+00FF), written in UTF-8.
std::string Latin1ToUtf8(const std::string& latin1);

// Whether the whole text is strict UTF-8 (see DecodeUtf8).
bool IsUtf8(const std::string& text);

// Windows-1252 (the ANSI code page of western Windows) in UTF-8: as Latin-1,
// but 0x80-0x9F are its letters and signs (0x80 '€', 0x9A 'š'); the five
// bytes it leaves free become U+0081, U+008D, U+008F, U+0090, U+009D, as
// Windows converts them.
std::string Windows1252ToUtf8(const std::string& text);

// The bytes a device gets for a UTF-8 text. Refuses malformed UTF-8 and any
// character above U+00FF: nullopt, with `problem` naming the first offender
// ("U+20AC '€' is not a Latin-1 character").
std::optional<std::string> Utf8ToLatin1(const std::string& utf8, std::string& problem);

// Where a text stops being Latin-1, for texts that must not be shown (a
// password): the first offender's place, not the offender.
struct Latin1Fault {
  bool malformed = false;    // no UTF-8 there; else a character above U+00FF
  std::size_t position = 0;  // in characters, from 1
  std::size_t offset = 0;    // in bytes, from 0
  char32_t character = 0;    // the character, when not malformed
};
std::optional<std::string> Utf8ToLatin1(const std::string& utf8, Latin1Fault& fault);

// One character of strict UTF-8 at `i` (no overlong form, no surrogate,
// nothing above U+10FFFF, nothing cut short): true and `i` moved past it, or
// false with `i` unchanged.
bool DecodeUtf8(const std::string& utf8, std::size_t& i, char32_t& character);
void AppendUtf8(std::string& out, char32_t character);

// Characters in a UTF-8 text; each byte of a malformed sequence counts as one.
std::size_t CharacterCount(const std::string& utf8);

// For the Windows wide-character functions. Malformed UTF-8 and lone
// surrogates become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& utf8);
std::string Utf16ToUtf8(const std::u16string& utf16);

// "U+00FC 'ü'"; the character itself is left out where a terminal would act
// on it (controls) or cannot show it (surrogates).
std::string NameCharacter(char32_t character);

#ifndef _WIN32
// The UTF-8 text in the character set `codeset` (as nl_langinfo(CODESET)
// names it), '?' for each character that set lacks; malformed UTF-8 counts
// as '?' byte by byte. An unknown set gives ASCII.
std::string Utf8ToCharset(const std::string& utf8, const char* codeset);
#endif

}  // namespace velkarin::cli
