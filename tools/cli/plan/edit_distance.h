// How far apart two words are, for "did you mean ...?" hints.
#pragma once
#include <cstddef>
#include <string>

namespace velkarin::cli {

// Single-character insertions, deletions and substitutions that turn one
// text into the other (Levenshtein), counted in bytes.
std::size_t EditDistance(const std::string& a, const std::string& b);

}  // namespace velkarin::cli
