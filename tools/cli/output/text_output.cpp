#include "cli/output/text_output.h"

#include <cerrno>

#include "cli/output/text_encoding.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#else
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cstring>
#endif

namespace velkarin::cli {
namespace {

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "WriteConsoleW takes UTF-16");

HANDLE HandleOf(const std::FILE* stream) {
  return GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

bool WriteConsole(HANDLE console, const std::string& utf8) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  std::size_t done = 0;
  while (done < wide.size()) {
    // Consoles of older Windows versions refuse very large writes.
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
    DWORD written = 0;
    if (!WriteConsoleW(console, reinterpret_cast<const wchar_t*>(wide.data()) + done, chunk,
                       &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}
#else
// The locale's character set as the user's environment sets it, without
// changing the process's own locale (the engine's thread runs meanwhile).
std::string LocaleCharset() {
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr))
    return "ANSI_X3.4-1968";  // as setlocale would leave "C"
  std::string codeset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  return codeset;
}

bool IsUtf8Name(const std::string& codeset) {
  return strcasecmp(codeset.c_str(), "UTF-8") == 0 || strcasecmp(codeset.c_str(), "utf8") == 0;
}
#endif

int lastWriteError = 0;

bool WriteBytes(std::FILE* stream, const std::string& bytes) {
  errno = 0;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
                  std::fflush(stream) == 0 && !std::ferror(stream);
  if (!ok && lastWriteError == 0) lastWriteError = errno;
  return ok;
}

}  // namespace

int LastWriteError() { return lastWriteError; }

TextForm FormOf(std::FILE* stream) {
#ifdef _WIN32
  DWORD mode = 0;
  const HANDLE handle = HandleOf(stream);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    return TextForm::kWideConsole;
  }
  return TextForm::kUtf8;
#else
  // Redirected output is data for other programs: always UTF-8.
  if (isatty(fileno(stream)) == 0) return TextForm::kUtf8;
  static const bool utf8Locale = IsUtf8Name(LocaleCharset());
  return utf8Locale ? TextForm::kUtf8 : TextForm::kLocaleCharset;
#endif
}

bool WriteText(std::FILE* stream, const std::string& utf8, bool exactLineEnds) {
  switch (FormOf(stream)) {
    case TextForm::kWideConsole: {
#ifdef _WIN32
      // What went through the C runtime before must come first.
      std::fflush(stream);
      return WriteConsole(HandleOf(stream), utf8);
#else
      break;
#endif
    }
    case TextForm::kLocaleCharset: {
#ifndef _WIN32
      static const std::string charset = LocaleCharset();
      return WriteBytes(stream, Utf8ToCharset(utf8, charset.c_str()));
#else
      break;
#endif
    }
    case TextForm::kUtf8:
      break;
  }
#ifdef _WIN32
  if (exactLineEnds) {
    std::fflush(stream);
    const int fd = _fileno(stream);
    const int previous = _setmode(fd, _O_BINARY);
    const bool ok = WriteBytes(stream, utf8);
    if (previous != -1) _setmode(fd, previous);
    return ok;
  }
#else
  (void)exactLineEnds;
#endif
  return WriteBytes(stream, utf8);
}

}  // namespace velkarin::cli
