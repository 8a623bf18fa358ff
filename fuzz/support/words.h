// A plain second reading of blank-separated text, kept apart from the token
// readers so that the targets can hold the readers against it.
#pragma once
#include <string>
#include <vector>

namespace velkarin::fuzz {

// The words of `text` (up to its first NUL): runs of bytes other than 0x20.
inline std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == '\0') break;
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

inline std::string WordAt(const std::vector<std::string>& words, std::size_t i) {
  return i < words.size() ? words[i] : std::string();
}

// What follows the first `count` words and the blanks after them.
inline std::string RestAfterWords(const std::string& text, std::size_t count) {
  std::size_t i = 0;
  const std::size_t end = text.find('\0') == std::string::npos ? text.size() : text.find('\0');
  for (std::size_t n = 0; n < count; ++n) {
    while (i < end && text[i] == ' ') ++i;
    while (i < end && text[i] != ' ') ++i;
  }
  while (i < end && text[i] == ' ') ++i;
  return text.substr(i, end - i);
}

}  // namespace velkarin::fuzz
