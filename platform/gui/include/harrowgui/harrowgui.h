// harrowgui.h: the console's layer over Qt 6 Widgets.
//
//   QtPrompter      the core's Prompter as QMessageBox, parented to a window
//   ProgressDialog  CProgressDlg: a text, a bar and Cancel; the core's WaitUi
//   CommandTable    the console's command ids mapped to QActions, each with
//                   an update rule run before menus show
//   HelpService     "%s::%s" help topics opened in the desktop's browser
//   Launcher        companion programs started without a shell
//
// Everything runs on the GUI thread. Widgets a test drives carry stable
// objectNames (given below).
#ifndef HARROWGUI_HARROWGUI_H_
#define HARROWGUI_HARROWGUI_H_

#include <QAction>
#include <QDialog>
#include <QHash>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "admclient/seams.h"

namespace harrowgui {

class QtPrompter : public admclient::Prompter {
 public:
  explicit QtPrompter(QWidget* parent) : parent_(parent) {}
  int Ask(const std::string& text, admclient::PromptIcon icon, admclient::PromptButtons buttons,
          int default_answer) override;

 private:
  QWidget* parent_;
};

// objectName "CProgressDlg"; its parts "ProgressText", "ProgressBar" and
// "ProgressCancel". Cancel sets a flag the waiting code reads through
// CancelRequested (which lets pending events run first).
class ProgressDialog : public QDialog, public admclient::WaitUi {
  Q_OBJECT
 public:
  explicit ProgressDialog(QWidget* parent = nullptr);
  void Begin(const std::string& text, int range_max) override;
  void Step(int amount) override;
  bool CancelRequested() override;
  void End() override;
  bool cancelled() const { return cancelled_; }
  int value() const;

 private:
  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelled_ = false;
};

// Command ids to actions. An update rule decides enabled/checked state and
// runs for every action before a menu or toolbar shows (UpdateAll).
class CommandTable : public QObject {
  Q_OBJECT
 public:
  using UpdateRule = std::function<void(QAction*)>;
  explicit CommandTable(QObject* parent = nullptr) : QObject(parent) {}
  // The action of id, made on first use with text; objectName "cmd<id>".
  QAction* Add(int id, const QString& text, std::function<void()> run, UpdateRule rule = {});
  QAction* Find(int id) const { return actions_.value(id, nullptr); }
  void UpdateAll();

 private:
  QHash<int, QAction*> actions_;
  QHash<int, UpdateRule> rules_;
};

class HelpService {
 public:
  // The help directory: $HRLCOMPACT/help, else ../help.
  static QString HelpDirectory();
  // "file::topic" split into the page path to open; "" when malformed.
  static QString TopicPath(const QString& file_and_topic);
  // Opens file::topic in the desktop's browser; false when it cannot.
  static bool Show(const QString& file, const QString& topic);
};

class Launcher {
 public:
  // Starts program with arguments, detached, without a shell; false when it
  // could not be started.
  static bool Start(const QString& program, const QStringList& arguments);
};

}  // namespace harrowgui

#endif  // HARROWGUI_HARROWGUI_H_
