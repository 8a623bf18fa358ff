#pragma once

#include <string>

namespace velkarin::cli {

// Files named as the command line names them (UTF-8; on Windows opened by
// their wide names, so any name the user can type works). On failure the
// functions return false with the system's reason in `reason`.
bool ReadWholeFile(const std::string& path, std::string& content, std::string& reason);
bool WriteWholeFile(const std::string& path, const std::string& content, std::string& reason);

}  // namespace velkarin::cli
