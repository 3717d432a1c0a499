// Text helpers for blank-padded MQ names, and the name-mask test.

#include "pcfcore/text.h"

#include <cctype>
#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {

void strupper(char* text) {
  if (text == nullptr) return;
  for (; *text != '\0'; ++text) {
    *text = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
  }
}

void strip_spaces(char* text) {
  if (text == nullptr) return;
  char* blank = std::strchr(text, ' ');
  if (blank != nullptr) *blank = '\0';
}

void trim_str(char* text) {
  if (text == nullptr) return;
  size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
}

void pad_spaces(char* text, int width) {
  if (text == nullptr || width < 0) return;
  size_t limit = static_cast<size_t>(width);
  // strnlen: a text longer than the width is not read past it.
  size_t length = strnlen(text, limit);
  std::memset(text + length, ' ', limit - length);
  text[limit] = '\0';
}

// Matching runs the mask as a small automaton over the name: the set of
// mask positions reachable after each name character, a star both staying
// (it swallows the character) and stepping over itself (it swallows
// nothing). That answers every case a backtracking walk would, in
// O(mask x name) steps with no worst case blow-up (each name character
// adds a mask position at most once). A star that stops at the
// first name character equal to the mask's next one answers wrongly ("*A"
// against "BAA", "A*C" against "AB"); this does not.
//
// The blank-padding rules are the two ways to succeed besides both texts
// ending together: the mask has ended where the name has a blank, or the
// name has ended where the mask has a blank (stars before it match nothing).
int IsMaskMatch(const char* mask, const char* name) {
  if (mask == nullptr) mask = "";
  if (name == nullptr) name = "";
  const size_t mask_length = std::strlen(mask);
  std::vector<unsigned char> live(mask_length + 1, 0);
  std::vector<unsigned char> next(mask_length + 1, 0);
  // Adds position m and every position behind a run of stars from it. A
  // position already in the set has had its run added with it, so the walk
  // stops there: without that stop a mask of k stars costs k * k per name
  // character instead of k.
  auto add = [&](std::vector<unsigned char>& set, size_t m) {
    for (;;) {
      if (set[m]) return;
      set[m] = 1;
      if (m == mask_length || mask[m] != '*') return;
      ++m;
    }
  };
  add(live, 0);
  for (size_t n = 0;; ++n) {
    const char c = name[n];
    if (c == '\0') {
      for (size_t m = 0; m <= mask_length; ++m) {
        if (live[m] && (m == mask_length || mask[m] == ' ')) return 1;
      }
      return 0;
    }
    if (c == ' ' && live[mask_length]) return 1;
    std::fill(next.begin(), next.end(), 0);
    bool any = false;
    for (size_t m = 0; m < mask_length; ++m) {
      if (!live[m]) continue;
      if (mask[m] == '*') {
        add(next, m);
        any = true;
      } else if (mask[m] == c) {
        add(next, m + 1);
        any = true;
      }
    }
    if (!any) return 0;
    live.swap(next);
  }
}

}  // extern "C"
