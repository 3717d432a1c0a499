// harrowgui.h: the console's layer over Qt 6 Widgets.
//
//   QtPrompter      the core's Prompter as QMessageBox, parented to a window
//   ProgressDialog  CProgressDlg: a text, a bar and Cancel; the core's WaitUi
//   CommandTable    the console's command ids mapped to QActions, each with
//                   an update rule run before menus show
//   HelpService     "%s::%s" help topics opened in the desktop's browser
//   Launcher        companion programs found by name and started without a
//                   shell
//   DocumentTemplate a document name and how its window is made
//
// The docking pieces (dockable menu bar, push-pin frame) are in docking.h.
//
// Everything runs on the GUI thread. Widgets a test drives carry stable
// objectNames (given below).
#ifndef HARROWGUI_HARROWGUI_H_
#define HARROWGUI_HARROWGUI_H_

#include <QAction>
#include <QDialog>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
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

// CProgressDlg: the modeless waiting window, objectName "CProgressDlg",
// titled "Waiting for response. Please wait."; its parts "ProgressText" (the
// status text), "ProgressBar", "ProgressPercent" ("%d " of the position,
// 100 only at the upper limit) and "ProgressCancel". While it is up its
// owner is disabled (and enabled again at the end, if this dialog disabled
// it). Every move of the bar and every IsCancelled lets waiting events run,
// so the window stays responsive while the console waits on the GUI thread.
// As the core's WaitUi: Begin creates it, Step moves it, CancelRequested is
// IsCancelled, End destroys it.
class ProgressDialog : public QDialog, public admclient::WaitUi {
  Q_OBJECT
 public:
  explicit ProgressDialog(QWidget* owner = nullptr);
  ~ProgressDialog() override;
  void SetStatusText(const QString& text);
  // Shows the dialog and disables the owner when it was enabled.
  bool Create();
  void SetRange(int lower, int upper);
  void SetStep(int step) { step_ = step; }
  void StepIt();
  void SetPos(int position);
  void OffsetPos(int amount);
  // The cancel flag, cleared by the call.
  bool IsCancelled();
  // Hides the dialog and enables the owner if Create disabled it.
  void Destroy();
  // The percentage text of position p for the current range.
  QString PercentText(int position) const;

  void Begin(const std::string& text, int range_max) override;
  void Step(int amount) override;
  bool CancelRequested() override { return IsCancelled(); }
  void End() override { Destroy(); }

  // True once Cancel was pressed since Create (for the caller's own tests).
  bool cancel_seen() const { return cancel_seen_; }
  int value() const;

 private:
  void Pump();
  void ShowPercent();

  QWidget* owner_;
  QLineEdit* text_;
  QProgressBar* bar_;
  QLabel* percent_;
  QPushButton* cancel_;
  int lower_ = 0;
  int upper_ = 100;
  int step_ = 10;
  bool cancelled_ = false;
  bool cancel_seen_ = false;
  bool disabled_owner_ = false;
};

// Document kinds and the document name each stands for: 1 "MQSeries
// Network", 2 "Channel Status", 3 "MQSeries Queues", 4 "MQSeries Channels",
// 5 "Queue Monitor", 6 "Channel Monitor", 7 "ZOR", 8 "Hex Editor". "" for
// any other kind.
QString DocumentKindName(int kind);
// A document's title as it is kept: one that begins with "Channel Status"
// or "MQSeries Network" becomes exactly that, so window-number suffixes never
// reach those two kinds; any other title is kept.
QString DocumentTitle(const QString& title);
// Marks window as a document of kind with title (window title and the
// property "documentName").
void SetDocument(QWidget* window, int kind, const QString& title);
// The first window in area whose document is of kind with that title; null
// when none is open.
QWidget* FindDocument(QMdiArea* area, int kind, const QString& title);

// A kind of window the console can open: the resource id it is known by,
// its document name ("MQSeries Network", "Channel Status", "ZOR", ...) and
// what makes a new window of it. Libraries that bring windows of their own
// add templates at start-up.
struct DocumentTemplate {
  int resource_id = 0;
  QString document_name;
  std::function<QWidget*()> make;
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
  // The page a help file opens at when no topic is named.
  static constexpr char kDefaultTopic[] = "index.html";
  // "file::topic" split into the page path to open; "" when malformed. An
  // empty topic is the default page.
  static QString TopicPath(const QString& file_and_topic);
  // Opens file::topic in the desktop's browser; false when it cannot.
  static bool Show(const QString& file, const QString& topic);
};

class Launcher {
 public:
  // The program file of name (a trailing ".exe" is dropped), looked for in
  // the install directory's "bin", beside the running program, then along
  // PATH; "" when it is found nowhere.
  static QString FindExecutable(const QString& name);
  // Starts program with arguments, detached, without a shell; false when it
  // could not be started.
  static bool Start(const QString& program, const QStringList& arguments);
};

}  // namespace harrowgui

#endif  // HARROWGUI_HARROWGUI_H_
