// Test support: everything a test needs to run real programs safely.
//
//   TempDir        a private (0700) temporary directory, removed with its
//                  contents when it goes out of scope (no shell involved)
//   TestSeed()     one seed per test process: random, printed, replayable
//                  with HARROW_TEST_SEED=<n>
//   Deadline,      bounded waits; never sleep for a fixed time to wait for
//   WaitFor()      something to happen
//   ScopedEnv      sets an environment variable for a scope
//   FreeLoopbackPort()  a port on 127.0.0.1 that nobody listens on now
//   ServerProcess  starts a real server, waits for its readiness text,
//                  stops it (TERM, then ABRT, then KILL, each bounded) and
//                  fails the test on a sanitizer report in its output
//   ProgramPath()  where the build put a program ("mqsim", "grpserver")
//
// All of it is for tests only and may call gtest's failure macros.
#ifndef HARROW_TESTSUPPORT_TESTSUPPORT_H_
#define HARROW_TESTSUPPORT_TESTSUPPORT_H_

#include "testsupport/deadline.h"
#include "testsupport/ports.h"
#include "testsupport/raw_peer.h"
#include "testsupport/seed.h"
#include "testsupport/server_process.h"
#include "testsupport/temp_dir.h"

#endif  // HARROW_TESTSUPPORT_TESTSUPPORT_H_
