// The assertion helper that can be told to keep running.

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "pcfcore/ini.h"

extern "C" int debug(int condition, const char* text, int keep_running, const char* file, int line) {
  if (condition != 0) return condition;
  char date[64] = "Unknown\n";
  std::time_t now = std::time(nullptr);
  if (now != static_cast<std::time_t>(-1)) ctime_r(&now, date);  // ends in a new line
  std::printf(" \nDate: %s", date);
  std::printf("TLX0105E  Assertion failed in %s at line %d: %s", file != nullptr ? file : "",
              line, text != nullptr ? text : "");
  std::printf("\n");
  std::fflush(stdout);
  if (keep_running == 0) std::exit(1);
  return keep_running;
}
