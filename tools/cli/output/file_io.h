#pragma once

#include <cstddef>
#include <string>

namespace velkarin::cli {

// Files named as the command line names them (UTF-8; on Windows opened by
// their wide names, so any name the user can type works). On failure the
// functions return false with the system's reason in `reason`.
bool ReadWholeFile(const std::string& path, std::string& content, std::string& reason);
// The first `most` bytes of the file (all of a shorter one).
bool ReadFileStart(const std::string& path, std::size_t most, std::string& content,
                   std::string& reason);
// A text file of at most `maxBytes`, read in pieces: refused as soon as it
// grows past them ("/dev/zero" never ends) or shows a NUL byte, which no
// text holds but UTF-16, and UTF-16 text starts with its byte-order mark.
bool ReadTextFile(const std::string& path, std::size_t maxBytes, std::string& content,
                  std::string& reason);
bool WriteWholeFile(const std::string& path, const std::string& content, std::string& reason);
// Removes the file; false when it could not.
bool RemoveFile(const std::string& path);

// Whether anything (a file, a directory) is at `path`.
bool PathExists(const std::string& path);
// Whether both paths name one existing file, by whatever names or links: one
// device and inode, on Windows one volume and file index.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace velkarin::cli
