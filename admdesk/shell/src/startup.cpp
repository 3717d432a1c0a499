// The console's start-up sequence.

#include "startup.h"

#include <QApplication>
#include <QCursor>

namespace admdesk {

std::unique_ptr<MainFrame> StartConsole(admclient::Profile& profile, const admclient::Clock& clock,
                                        const StartupHooks& hooks) {
  if (hooks.splash) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    hooks.splash(0);
    QApplication::restoreOverrideCursor();
  }
  auto frame = std::make_unique<MainFrame>(profile, clock);
  frame->OpenNetworkWindow();
  frame->RestorePlacement();
  for (const auto& library : hooks.window_libraries) {
    if (library) library(*frame);
  }
  frame->show();
  return frame;
}

}  // namespace admdesk
