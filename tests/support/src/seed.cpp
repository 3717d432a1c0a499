#include "testsupport/seed.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>

namespace harrow::testsupport {

uint64_t TestSeed() {
  static std::once_flag once;
  static uint64_t seed = 0;
  std::call_once(once, [] {
    const char* text = getenv("HARROW_TEST_SEED");
    char* end = nullptr;
    if (text != nullptr && *text != '\0') {
      seed = strtoull(text, &end, 10);
      if (*end != '\0') {
        fprintf(stderr, "testsupport: HARROW_TEST_SEED=%s is not a decimal number; using 0\n", text);
        seed = 0;
      }
    } else {
      std::random_device rd;
      seed = (static_cast<uint64_t>(rd()) << 32) | rd();
    }
    fprintf(stderr, "test seed: %llu (replay with HARROW_TEST_SEED=%llu)\n",
            static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
  });
  return seed;
}

}  // namespace harrow::testsupport
