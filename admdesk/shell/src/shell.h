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
// objectNames a test can find: "CMainFrame", "CMainStatusBar", "CTraceBar",
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
#include <memory>

#include "admclient/admclient.h"
#include "harrowgui/harrowgui.h"

namespace admdesk {

constexpr char kSettings[] = "Settings";
constexpr char kNetworkTitle[] = "MQSeries Network";

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

// One network window.
class ChildFrame : public QWidget {
  Q_OBJECT
 public:
  ChildFrame(admclient::Profile& profile, QWidget* parent = nullptr);
  // Writes the splitter sizes.
  void SaveLayout();
  QSplitter* outer() const { return outer_; }
  QSplitter* inner() const { return inner_; }
  // What F5 and the attribute filter commands would act on (placeholders
  // until the attribute pane exists): counts for tests.
  int refreshes = 0;
  int attribute_filter = 0;  // 0 run-time, 1 static, 2 all

 private:
  admclient::Profile& profile_;
  QSplitter* outer_;
  QSplitter* inner_;
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
  // The status bar's text pane.
  void SetStatusText(const QString& text, const QColor& color = QColor());
  // The network window that commands act on (the current one, else the
  // first); null when none is open.
  ChildFrame* ActiveChild() const;
  QLabel* status_text() const { return status_text_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowReasonOfRow(int page, int row);
  void UpdateClock();

  admclient::Profile& profile_;
  const admclient::Clock& clock_;
  std::unique_ptr<admclient::CommandLog> log_;
  std::unique_ptr<admclient::ResultLog> results_;
  harrowgui::CommandTable* commands_;
  TraceBar* trace_;
  QMdiArea* mdi_;
  QLabel* status_text_;
  QLabel* status_date_;
  QLabel* status_time_;
  QTimer clock_timer_;
  ErrorCodeDialog* error_dialog_ = nullptr;
  bool saved_ = false;
};

}  // namespace admdesk

#endif  // ADMDESK_SHELL_H_
