// One seed convention for randomized tests.
#ifndef HARROW_TESTSUPPORT_SEED_H_
#define HARROW_TESTSUPPORT_SEED_H_

#include <cstdint>

namespace harrow::testsupport {

// The seed of this test process: HARROW_TEST_SEED when set (decimal),
// else a random one. The first call prints it to stderr with the line that
// replays it, so every failing randomized run can be repeated.
uint64_t TestSeed();

}  // namespace harrow::testsupport

#endif  // HARROW_TESTSUPPORT_SEED_H_
