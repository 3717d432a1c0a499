// Fuzzes the ini lookup: the input's first line is the key mask, its second
// byte picks the separator and terminator sets, the rest is the file text.
// Every lookup form runs, and continued searches walk to the end.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "pcfcore/ini.h"
#include "pcfcore/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t lf = input.find('\n');
  if (lf == std::string::npos || lf + 1 >= input.size()) return 0;
  std::string mask = input.substr(0, lf);
  unsigned char choice = static_cast<unsigned char>(input[lf + 1]);
  std::string text = input.substr(lf + 2);
  if (text.size() > (1u << 20)) return 0;

  IniFile ini;
  std::memset(&ini, 0, sizeof(ini));
  void* block = nullptr;
  if (!fNewMemory(&block, text.size() + 4, "TlxIni")) return 0;
  ini.Text = static_cast<char*>(block);
  std::memcpy(ini.Text, text.data(), text.size());
  ini.Length = static_cast<MQLONG>(text.size());
  if (choice & 1) {
    std::strcpy(ini.Separators, " \"");
    std::strcpy(ini.Terminators, "\"");
  } else {
    std::strcpy(ini.Separators, "\n=");
    std::strcpy(ini.Terminators, " \n\t");
  }

  char value[TLX_MAX_VALUE + 1];
  char small[5];
  tlxGetValue(&ini, mask.c_str(), value, 1);
  tlxGetValueExt(&ini, mask.c_str(), value, 1);
  // A continued walk must end: each hit moves Position forward.
  int hits = 0;
  for (int from = 1; tlxGetValueN(&ini, mask.c_str(), small, sizeof(small), from); from = 2) {
    if (++hits > static_cast<int>(text.size()) + 1) __builtin_trap();
  }
  tlxGetValueExtN(&ini, "*", small, sizeof(small), 1);
  tlxLineCount(ini.Text);
  tlxGoToLine(ini.Text, static_cast<int>(choice));
  tlxCloseIniFile(&ini);
  return 0;
}
