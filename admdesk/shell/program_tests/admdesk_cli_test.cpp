// The console program's own switch, run as scripts/screenshot runs it:
// under Qt's offscreen platform, with a throw-away profile.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "testsupport/testsupport.h"

namespace {

namespace ts = harrow::testsupport;

struct Outcome {
  int status = -1;
  std::string output;
};

Outcome Admdesk(const ts::TempDir& dir, std::vector<std::string> args) {
  ts::ServerOptions options;
  options.program = ts::ProgramPath("admdesk");
  options.args = std::move(args);
  options.env = {{"QT_QPA_PLATFORM", "offscreen"},
                 {"HRLCOMPACT", dir.path()},
                 {"HRLCOMPACT_PROFILE", dir.Sub("admdesk.ini")},
                 {"HRLCOMPACT_REGISTRY", dir.Sub("registry")}};
  options.log_path = dir.Sub("out.log");
  ::unlink(options.log_path.c_str());
  Outcome r;
  std::string error;
  r.status = ts::RunToExit(options, std::chrono::seconds(60), &error);
  r.output = ts::ReadWholeFile(options.log_path);
  EXPECT_GE(r.status, 0) << error;
  return r;
}

TEST(AdmdeskProgram, ScreenshotIsSavedOrItsFailureIsSaid) {
  ts::TempDir dir("admdesk-cli");
  // No file named: refused at once, no window.
  Outcome missing = Admdesk(dir, {"--screenshot"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("admdesk: --screenshot needs the name of a .png file\n"), std::string::npos)
      << missing.output;

  // A directory that does not exist: the picture cannot be saved, and it says so.
  const std::string nowhere = dir.Sub("no-such-dir/shot.png");
  Outcome failed = Admdesk(dir, {"--screenshot", nowhere});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.output.find("admdesk: could not save the screenshot to " + nowhere + "\n"), std::string::npos)
      << failed.output;

  const std::string shot = dir.Sub("shot.png");
  Outcome saved = Admdesk(dir, {"--screenshot", shot});
  EXPECT_EQ(saved.status, 0) << saved.output;
  struct stat st;
  ASSERT_EQ(stat(shot.c_str(), &st), 0);
  EXPECT_GT(st.st_size, 0);
}

}  // namespace
