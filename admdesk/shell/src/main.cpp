// admdesk: the console. Opens the main frame at its saved placement with one
// network window. "--screenshot <file.png>" saves a picture of the main
// frame once it is shown and exits (used by scripts/screenshot).

#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Harrowline Compact");
  QString screenshot;
  const QStringList args = QApplication::arguments();
  int at = static_cast<int>(args.indexOf("--screenshot"));
  if (at >= 0) {
    if (at + 1 >= args.size() || args[at + 1].isEmpty()) {
      std::fprintf(stderr, "admdesk: --screenshot needs the name of a .png file\n");
      return 2;
    }
    screenshot = args[at + 1];
  }

  admclient::IniProfile profile(admclient::DefaultProfilePath());
  admclient::SystemClock clock;
  // No splash screen or message-window library is installed yet.
  std::unique_ptr<admdesk::MainFrame> started =
      admdesk::StartConsole(profile, clock, admdesk::StartupHooks());
  admdesk::MainFrame& frame = *started;
  if (!screenshot.isEmpty()) {
    admclient::TraceRow row;
    row.result_line = "(RC - 0), CMD - MQCMD_CHANGE_Q - OK!";
    row.object_path = "\\\\GROUP1\\node1\\QM1\\APP.Q1";
    frame.trace()->AddCommandRow(row);
    QTimer::singleShot(500, &frame, [&frame, screenshot] {
      bool saved = frame.grab().save(screenshot);
      if (!saved) {
        std::fprintf(stderr, "admdesk: could not save the screenshot to %s\n", screenshot.toLocal8Bit().constData());
      }
      QApplication::exit(saved ? 0 : 1);
    });
  }
  return app.exec();
}
