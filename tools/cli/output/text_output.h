// Everything the tool prints goes out through here, so that the letters come
// out right wherever the text goes.
#pragma once
#include <cstdio>
#include <string>

namespace velkarin::cli {

enum class TextForm {
  kUtf8,           // a file or pipe anywhere, or a terminal in a UTF-8 locale
  kLocaleCharset,  // a Linux terminal in another locale: its character set, '?' where it lacks one
  kWideConsole,    // a Windows console: UTF-16 through WriteConsoleW, whatever its code page
};

// How text written to `stream` (stdout or stderr) is encoded.
TextForm FormOf(std::FILE* stream);

// Writes a UTF-8 text to `stream` in that form and flushes it; false when
// writing failed. `exactLineEnds`: the text's line ends go out as they are,
// without the Windows C runtime's "\n" to "\r\n" (for text that has its own
// "\r\n").
bool WriteText(std::FILE* stream, const std::string& utf8, bool exactLineEnds = false);

// The system's error number of the first write that failed, or 0.
int LastWriteError();

}  // namespace velkarin::cli
