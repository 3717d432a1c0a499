// shell.h: the console's windows: the main frame (CMainFrame) with its
// toolbar, status bar, "Trace" bar and tabbed network windows
// (CChildFrame: the tree on the left, the attribute pane over the event
// pane on the right).
//
// Placement lives in the profile section "Settings": "WinSize" (the normal
// rectangle as "%04d %04d %04d %04d": left, top, right, bottom),
// "WinIconic", "WinMaximized"; the network window's "WinChildSize",
// "WinChildIconic", "WinChildMaximized", "VSplitterSize" (tree width) and
// "HSplitterSize" (attribute pane height); the docking layout under
// "BarState", saved and restored under that one name.
//
// objectNames a test can find: "CMainFrame", "CMenuDockBar" (the menu bar,
// a tool bar that docks on any side), "CMainStatusBar", "CTraceBar",
// "TraceTabs", "Commands" (the list), "CErrorCodeDlg" with "ErrorCodeText",
// "MDIArea", "CChildFrame", "OuterSplitter", "InnerSplitter",
// "CWharfTreeViewOAM", "CWharfListView", "CMQEventList".
#ifndef ADMDESK_SHELL_H_
#define ADMDESK_SHELL_H_

#include <QDialog>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "admclient/admclient.h"
#include "pcfcore/pcfcore.h"
#include "harrowgui/docking.h"
#include "harrowgui/harrowgui.h"
#include "status_bar.h"

namespace admdesk {

constexpr char kSettings[] = "Settings";
constexpr char kNetworkTitle[] = "MQSeries Network";
constexpr char kHelpFile[] = "Harrowline Compact Help.chm";
constexpr int kDatePane = 2;
constexpr int kTimePane = 3;

// "%04d %04d %04d %04d" of a rectangle (left, top, right, bottom).
QString RectText(const QRect& rect);
// The rectangle of such a text, numbers read at offsets 0, 5, 10 and 15;
// an empty text gives fallback.
QRect RectFromText(const QString& text, const QRect& fallback);

// The error-code dialog: one read-only text with a reason's description.
class ErrorCodeDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ErrorCodeDialog(QWidget* parent = nullptr);
  void SetText(const QString& text);
  QString text() const;

 private:
  QPlainTextEdit* edit_;
};

// "About Harrowline Compact": the program, its version "3.6.0015", its date
// and the maker's lines; mail and web are links.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
  QString version() const { return version_->text(); }

 private:
  QLabel* version_;
};

// The "Trace" bar and its "Commands" page; the core's TraceSink.
class TraceBar : public QDockWidget, public admclient::TraceSink {
  Q_OBJECT
 public:
  explicit TraceBar(QWidget* parent = nullptr);
  void AddCommandRow(const admclient::TraceRow& row) override;
  QTreeWidget* list() const { return list_; }
  // The reason shown in a row (newest first, from 0); -1 for no row.
  int ReasonOfRow(int row) const;

 signals:
  // A row of page `page` was double-clicked.
  void rowActivated(int page, int row);

 private:
  QTabWidget* tabs_;
  QTreeWidget* list_;
};

// The event pane (placeholder list until the monitoring windows exist): one
// row per event a group manager pushed, newest on top; the core's EventSink
// for the events read while the console waits or polls.
class EventList : public QTreeWidget, public admclient::EventSink {
  Q_OBJECT
 public:
  explicit EventList(QWidget* parent = nullptr);
  void AddEvent(int slot, const mqPcfMessage* event) override;
  // Inserts a row (column 0) or sets a cell; image -1 leaves the icon.
  void SetEventListItem(int row, int column, int image, const QString& text);
};

// The attribute pane's filter flags, set by commands 32041 to 32043.
struct AttributeFilter {
  int show_all = 0;
  int show_run_time = 1;
  int show_static = 0;
};

// One network window.
class ChildFrame : public QWidget {
  Q_OBJECT
 public:
  ChildFrame(admclient::Profile& profile, QWidget* parent = nullptr);
  // Writes placement and splitter sizes ("WinChildSize" and its siblings).
  void SaveLayout();
  // Applies "WinChildSize", "WinChildIconic" and "WinChildMaximized" to the
  // window that holds this frame.
  void RestorePlacement(QWidget* window);
  QSplitter* outer() const { return outer_; }
  QTreeWidget* tree() const { return tree_; }
  // What a command works on: the tree's current item and the names along
  // its path (level 0 when nothing is selected).
  admclient::SelectionContext Selection() const;
  QSplitter* inner() const { return inner_; }
  EventList* events() const { return events_; }
  // Commands 32041 (run time), 32042 (static), 32043 (all).
  void SetAttributeFilter(int command);
  // Command 32044 and F5: refresh the selected item (counted until the tree
  // and attribute pane exist).
  void Refresh() { ++refreshes; }
  AttributeFilter filter;
  int refreshes = 0;

 protected:
  // Closing the window that holds this frame saves its layout first.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  admclient::Profile& profile_;
  QSplitter* outer_;
  QSplitter* inner_;
  QTreeWidget* tree_;
  EventList* events_;
};

class MainFrame : public QMainWindow {
  Q_OBJECT
 public:
  MainFrame(admclient::Profile& profile, const admclient::Clock& clock, QWidget* parent = nullptr);
  ~MainFrame() override;
  // Opens a network window ("MQSeries Network"); returns its frame.
  ChildFrame* OpenNetworkWindow();
  // Restores placement and the docking layout from the profile.
  void RestorePlacement();
  // Writes placement, the docking layout and the open windows' splitters.
  void SavePlacement();
  TraceBar* trace() const { return trace_; }
  admclient::ResultLog& results() { return *results_; }
  harrowgui::CommandTable& commands() { return *commands_; }
  QMdiArea* mdi() const { return mdi_; }
  // The error-code dialog last opened from the trace bar (null before).
  ErrorCodeDialog* error_dialog() const { return error_dialog_; }
  // The network window that commands act on (the current one, else the
  // first); null when none is open.
  ChildFrame* ActiveChild() const;
  MainStatusBar* status() const { return status_; }
  harrowgui::MenuDockBar* menu_bar() const { return menu_bar_; }

  // Document templates, in the order they were added: the frame adds the
  // network window (129, 4, 5, 6: "MQSeries Network") and the channel status
  // window (316: "Channel Status"); libraries add theirs at start-up (the
  // message windows: 32001, "ZOR").
  void AddDocumentTemplate(harrowgui::DocumentTemplate document_template);
  const std::vector<harrowgui::DocumentTemplate>& templates() const { return templates_; }
  // The open window of document kind (1..8) whose title is title; null when
  // none is open or kind is out of range.
  QWidget* FindDocument(const QString& title, int kind) const;
  // Opens a new, untitled window of kind through the first template with
  // its document name and makes it the active one. Kinds 1 and 8 and those
  // outside 1..8 open nothing and give false, as does a kind no template
  // carries.
  bool OpenWindow(int kind);
  // The tree of the network window titled title; null when none is open.
  QTreeWidget* GetNetworkTreeView(const QString& title) const;
  // Activates the channel status window titled title, or opens one and
  // gives it that title; the window, or null when none could be opened.
  QWidget* ShowChannelStatus(const QString& title);
  QWidget* FindChannelStatusView(const QString& title) const;
  // Activates the message window titled title (shown again under that
  // title), or opens a window of kind and gives it that title; the window,
  // or null when none could be opened.
  QWidget* ShowMessageViewer(const QString& title, int kind);
  // What makes a channel status window; the monitoring windows set it. An
  // empty placeholder until then.
  std::function<QWidget*()> channel_status_factory;
  // The console-wide commands' hooks for windows that later parts bring
  // (connection list, Find, remote text file, filter edit): run when set.
  std::function<void()> on_connections, on_find, on_remote_file, on_filter_edit;
  // The tree flags the "Display ..." commands toggle (queues, dynamic
  // queues, channels with client connections, processes).
  bool show_queues = true, show_dynamic_queues = false, show_channels = true,
       show_client_connections = true, show_processes = true;
  // Called after a tree flag changed (the tree repopulates); may be empty.
  std::function<void()> on_tree_flags_changed;
  // The program lines the start commands ran (the file found and its
  // arguments), newest last.
  QStringList started;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowReasonOfRow(int page, int row);
  void UpdateClock();
  void AddCommands();
  // Finds program and starts it with arguments; nothing when it is not found.
  void StartProgram(const QString& program, const QStringList& arguments);
  // Command 32077's arguments for the selection of the active network window.
  QStringList MqscArguments() const;
  void AddMenus();
  // Menu prompts: while a menu is open pane 0 covers the whole bar.
  void MenuOpened();
  void MenuClosed();
  QWidget* ActivateOrOpen(int kind, const QString& title);
  // OpenWindow's work: the new window, or null.
  QWidget* OpenNewWindow(int kind);

  admclient::Profile& profile_;
  const admclient::Clock& clock_;
  std::unique_ptr<admclient::CommandLog> log_;
  std::unique_ptr<admclient::ResultLog> results_;
  harrowgui::CommandTable* commands_;
  TraceBar* trace_;
  QMdiArea* mdi_;
  MainStatusBar* status_;
  harrowgui::MenuDockBar* menu_bar_;
  std::vector<harrowgui::DocumentTemplate> templates_;
  struct SavedPane {
    int id = 0;
    uint32_t style = 0;
    int width = -1;  // -1: nothing saved
  } saved_pane_;
  QTimer clock_timer_;
  ErrorCodeDialog* error_dialog_ = nullptr;
  bool saved_ = false;
};

}  // namespace admdesk

#endif  // ADMDESK_SHELL_H_
