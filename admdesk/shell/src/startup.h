// startup.h: the console's start-up, in its order: the splash screen (with
// the wait cursor), the main frame, the first network window, the saved
// placement and docking layout, the libraries that bring windows of their
// own (the message windows register their "ZOR" template here), then the
// frame is shown.
#ifndef ADMDESK_STARTUP_H_
#define ADMDESK_STARTUP_H_

#include <functional>
#include <memory>
#include <vector>

#include "shell.h"

namespace admdesk {

struct StartupHooks {
  // Shows the splash screen and returns when it has closed; called with 0.
  std::function<void(int mode)> splash;
  // Each library that brings windows registers with the frame here, once,
  // after the placement is restored (a message-window library adds its
  // template, resource 32001 "ZOR"). Their results are not looked at.
  std::vector<std::function<void(MainFrame&)>> window_libraries;
};

// Starts the console: a shown main frame with one network window.
std::unique_ptr<MainFrame> StartConsole(admclient::Profile& profile, const admclient::Clock& clock,
                                        const StartupHooks& hooks);

}  // namespace admdesk

#endif  // ADMDESK_STARTUP_H_
