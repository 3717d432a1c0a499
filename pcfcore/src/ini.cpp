// Ini files: loading a file whole and looking values up by key mask.
// Format and lookup rules: docs/formats/ini-files.md.

#include "pcfcore/ini.h"

#include <cstring>
#include <string>
#include <string_view>

#include "pcfcore/memory.h"
#include "pcfcore/text.h"

namespace {

// Copies at most size - 1 bytes of text and a NUL into target.
void CopyBounded(char* target, size_t size, const char* text) {
  if (size == 0) return;
  size_t n = text == nullptr ? 0 : strnlen(text, size - 1);
  if (n > 0) std::memcpy(target, text, n);
  target[n] = '\0';
}

// Removes each CR that stands before an LF, as a text-mode read would;
// returns the new length.
size_t DropCrBeforeLf(char* text, size_t length) {
  size_t out = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\r' && i + 1 < length && text[i + 1] == '\n') continue;
    text[out++] = text[i];
  }
  return out;
}

// The offset just after the first line feed at or after position, or the
// end of the text.
size_t NextLineStart(std::string_view text, size_t position) {
  size_t lf = text.find('\n', position);
  return lf == std::string_view::npos ? text.size() : lf + 1;
}

int Lookup(IniFile* ini, const char* key, char* value, size_t size, int from, bool ext) {
  if (ini == nullptr || ini->Text == nullptr || ini->Length < 0 || key == nullptr ||
      value == nullptr || size == 0) {
    return 0;
  }
  if (from == 1) ini->Position = 0;
  // The text ends at its first NUL, as every reader of it sees it.
  std::string_view text(ini->Text, strnlen(ini->Text, static_cast<size_t>(ini->Length)));
  std::string_view separators(ini->Separators, strnlen(ini->Separators, sizeof(ini->Separators)));
  std::string_view terminators(ini->Terminators, strnlen(ini->Terminators, sizeof(ini->Terminators)));
  size_t position = ini->Position <= 0 ? 0 : NextLineStart(text, static_cast<size_t>(ini->Position));
  while (position < text.size()) {
    size_t line_end = NextLineStart(text, position) - 1;
    if (line_end >= text.size() || text[line_end] != '\n') line_end = text.size();
    // The key: the line's text before its first separator (a line feed
    // ends a line, it never separates a key).
    size_t separator = position;
    while (separator < line_end && (text[separator] == '\n' ||
                                    separators.find(text[separator]) == std::string_view::npos)) {
      ++separator;
    }
    if (separator == line_end || separator == position || separator - position > TLX_MAX_KEY) {
      position = line_end + 1;  // blank or malformed line
      continue;
    }
    std::string token(text.substr(position, separator - position));
    // The value: up to the first terminator or the end of the text.
    size_t value_start = separator + 1;
    size_t value_end = value_start;
    while (value_end < text.size() && terminators.find(text[value_end]) == std::string_view::npos) {
      ++value_end;
    }
    bool fits = IsMaskMatch(key, token.c_str()) != 0;
    if (!fits && ext) fits = IsMaskMatch(token.c_str(), key) != 0;
    if (fits) {
      size_t n = value_end - value_start;
      if (n > size - 1) n = size - 1;
      std::memcpy(value, text.data() + value_start, n);
      value[n] = '\0';
      ini->Position = static_cast<MQLONG>(value_end);
      return 1;
    }
    // The next key is on the line after this value, which may have run
    // over line ends when the line feed is not a terminator.
    position = NextLineStart(text, value_end);
  }
  return 0;
}

}  // namespace

extern "C" {

int tlxCloseIniFile(IniFile* ini) {
  if (ini == nullptr) return 1;
  if (ini->File != nullptr) std::fclose(ini->File);
  if (ini->Text != nullptr) FreeMemory(ini->Text);
  std::memset(ini, 0, sizeof(*ini));
  return 1;
}

int tlxLoadFile(const char* path, const char* separators, const char* terminators, IniFile* ini) {
  if (ini == nullptr) return 0;
  if (path == nullptr) {
    std::memset(ini, 0, sizeof(*ini));
    return 0;
  }
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::memset(ini, 0, sizeof(*ini));
    return 0;
  }
  ini->File = nullptr;
  ini->Position = 0;
  ini->Length = 0;
  ini->Text = nullptr;
  CopyBounded(ini->Path, sizeof(ini->Path), path);
  long size = 0;
  int measured = SizeOfFile(file, &size);
  std::fclose(file);
  // An empty file, or one too large for the 32-bit length, is not loaded.
  if (!measured || size <= 0 || size > 0x7FFFFFF0L) {
    tlxCloseIniFile(ini);
    return 0;
  }
  void* block = nullptr;
  if (!fNewMemory(&block, static_cast<size_t>(size) + 4, "TlxIni")) {
    tlxCloseIniFile(ini);
    return 0;
  }
  ini->Text = static_cast<char*>(block);
  ini->File = std::fopen(path, "rb");
  if (ini->File == nullptr) {
    tlxCloseIniFile(ini);
    return 0;
  }
  // Read no more than was measured: the file may have grown meanwhile.
  size_t read = std::fread(ini->Text, 1, static_cast<size_t>(size), ini->File);
  if (read < 1) {
    tlxCloseIniFile(ini);
    return 0;
  }
  read = DropCrBeforeLf(ini->Text, read);
  ini->Text[read] = '\0';
  ini->Length = static_cast<MQLONG>(read);
  CopyBounded(ini->Separators, sizeof(ini->Separators), separators);
  CopyBounded(ini->Terminators, sizeof(ini->Terminators), terminators);
  return 1;
}

int tlxOpenIniFileNoEV(const char* path, const char* separators, const char* terminators,
                       IniFile* ini) {
  if (ini == nullptr) return 0;
  std::memset(ini, 0, sizeof(*ini));
  return tlxLoadFile(path, separators, terminators, ini);
}

int tlxOpenIniFile(const char* name, const char* separators, const char* terminators, IniFile* ini) {
  if (ini == nullptr) return 0;
  std::memset(ini, 0, sizeof(*ini));
  char path[TLX_MAX_PATH];
  tlxGetInstallDirN(path, sizeof(path));
  if (!tlxMakePathN(path, sizeof(path), "config") || !tlxMakePathN(path, sizeof(path), "groups") ||
      !tlxMakePathN(path, sizeof(path), name)) {
    return 0;
  }
  return tlxLoadFile(path, separators, terminators, ini);
}

int tlxGetValueN(IniFile* ini, const char* key, char* value, size_t size, int from) {
  return Lookup(ini, key, value, size, from, false);
}

int tlxGetValueExtN(IniFile* ini, const char* key, char* value, size_t size, int from) {
  return Lookup(ini, key, value, size, from, true);
}

int tlxGetValue(IniFile* ini, const char* key, char* value, int from) {
  return Lookup(ini, key, value, TLX_MAX_VALUE + 1, from, false);
}

int tlxGetValueExt(IniFile* ini, const char* key, char* value, int from) {
  return Lookup(ini, key, value, TLX_MAX_VALUE + 1, from, true);
}

int tlxLineCount(const char* text) {
  if (text == nullptr) return 0;
  int count = 0;
  for (; *text != '\0'; ++text) {
    if (*text == '\n') ++count;
  }
  return count;
}

char* tlxGoToLine(char* text, int line) {
  if (text == nullptr) return nullptr;
  char* at = text;
  for (int n = 1; n < line; ++n) {
    char* lf = std::strchr(at, '\n');
    if (lf == nullptr) break;
    at = lf + 1;
  }
  return at;
}

}  // extern "C"
