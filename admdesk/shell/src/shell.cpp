// The console's windows: main frame, trace bar, error-code dialog and the
// network window.
//
// Divisions: 1. rectangles; 2. error-code dialog and trace bar; 3. network
// window; 4. main frame.

#include "shell.h"

#include "os/names.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>

namespace admdesk {

// ---- 1. Rectangles ----------------------------------------------------------

QString RectText(const QRect& rect) {
  return QString::asprintf("%04d %04d %04d %04d", rect.x(), rect.y(), rect.x() + rect.width(),
                           rect.y() + rect.height());
}

QRect RectFromText(const QString& text, const QRect& fallback) {
  if (text.isEmpty()) return fallback;
  QByteArray bytes = text.toLatin1();
  // Parts missing from a short text read as 0.
  auto at = [&](int offset) { return offset < bytes.size() ? atoi(bytes.constData() + offset) : 0; };
  int left = at(0), top = at(5), right = at(10), bottom = at(15);
  return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

// ---- 2. Status bar, error-code dialog and trace bar ----------------------------

MainStatusBar::MainStatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName("CMainStatusBar");
  for (int i = 0; i < kPanes; ++i) {
    panes_[i].label = new QLabel(this);
    panes_[i].label->setObjectName(QString("Pane%1").arg(i));
    if (i == 0) {
      addWidget(panes_[i].label, 1);  // pane 0 stretches
    } else {
      addPermanentWidget(panes_[i].label);
    }
  }
  SetPaneTexts(0, "Ready", "Ready");
}

QLabel* MainStatusBar::pane(int index) const {
  return index >= 0 && index < kPanes ? panes_[index].label : nullptr;
}

void MainStatusBar::Repaint(int index) {
  Pane& p = panes_[index];
  p.label->setText(p.enabled ? p.text : p.disabled_text);
  QPalette palette = p.label->palette();
  QColor color = p.enabled ? p.color : p.disabled_color;
  palette.setColor(QPalette::WindowText, color.isValid() ? color : QColor(Qt::black));
  p.label->setPalette(palette);
  p.label->update();
}

void MainStatusBar::SetPaneColors(int index, const QColor& text, const QColor& disabled_text) {
  if (pane(index) == nullptr) return;
  panes_[index].color = text;
  panes_[index].disabled_color = disabled_text;
  Repaint(index);
}

void MainStatusBar::SetPaneTexts(int index, const QString& text, const QString& disabled_text) {
  if (pane(index) == nullptr) return;
  panes_[index].text = text;
  panes_[index].disabled_text = disabled_text;
  Repaint(index);
}

void MainStatusBar::SetPaneFontHeight(int index, int height) {
  if (pane(index) == nullptr || height <= 0) return;
  QFont font = panes_[index].label->font();
  font.setPixelSize(height);
  panes_[index].label->setFont(font);
}

void MainStatusBar::SetPaneFontName(int index, const QString& face) {
  if (pane(index) == nullptr) return;
  QFont font = panes_[index].label->font();
  font.setFamily(face);
  panes_[index].label->setFont(font);
}

void MainStatusBar::SetPaneEnabled(int index, bool enabled) {
  if (pane(index) == nullptr) return;
  panes_[index].enabled = enabled;
  Repaint(index);
}

void MainStatusBar::ShowClock(std::time_t when) {
  QDateTime local = QDateTime::fromSecsSinceEpoch(when);
  QLocale c(QLocale::C);
  QString date = c.toString(local, "ddd, MMM d, yy ");
  QString time = c.toString(local, "HH:mm  ");
  SetPaneTexts(kDatePane, date, date);
  SetPaneTexts(kTimePane, time, time);
}

// ---- Error-code dialog and trace bar ----------------------------------------------

ErrorCodeDialog::ErrorCodeDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("CErrorCodeDlg");
  setWindowTitle("MQSeries Error Code Description");
  auto* layout = new QVBoxLayout(this);
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName("ErrorCodeText");
  edit_->setReadOnly(true);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ErrorCodeOk");
  layout->addWidget(edit_);
  layout->addWidget(ok);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void ErrorCodeDialog::SetText(const QString& text) { edit_->setPlainText(text); }
QString ErrorCodeDialog::text() const { return edit_->toPlainText(); }

TraceBar::TraceBar(QWidget* parent) : QDockWidget("Trace", parent) {
  setObjectName("CTraceBar");
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("TraceTabs");
  tabs_->setTabPosition(QTabWidget::South);
  list_ = new QTreeWidget(tabs_);
  list_->setObjectName("Commands");
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setHeaderLabels({"Command Status", "Object Name", "Date", "Time", "Reason"});
  tabs_->addTab(list_, "Commands");
  setWidget(tabs_);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    emit rowActivated(tabs_->currentIndex(), list_->indexOfTopLevelItem(item));
  });
}

void TraceBar::AddCommandRow(const admclient::TraceRow& row) {
  auto* item = new QTreeWidgetItem(
      {QString::fromStdString(row.result_line), QString::fromStdString(row.object_path),
       QString::fromStdString(row.date), QString::fromStdString(row.time),
       QString::fromStdString(row.reason_name)});
  static const QStyle::StandardPixmap kImages[] = {
      QStyle::SP_DialogApplyButton, QStyle::SP_BrowserReload, QStyle::SP_MessageBoxCritical};
  if (row.image >= 0 && row.image < 3) item->setIcon(0, style()->standardIcon(kImages[row.image]));
  item->setData(0, Qt::UserRole, row.reason);
  list_->insertTopLevelItem(0, item);  // newest on top
}

int TraceBar::ReasonOfRow(int row) const {
  QTreeWidgetItem* item = list_->topLevelItem(row);
  return item != nullptr ? item->data(0, Qt::UserRole).toInt() : -1;
}

// ---- 3. Network window --------------------------------------------------------

EventList::EventList(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("CMQEventList");
  setRootIsDecorated(false);
  setHeaderLabels({"Event", "Reason", "Object", "Date", "Time"});
}

void EventList::AddEvent(int slot, const mqPcfMessage* event) {
  admclient::CMQText texts;
  QDateTime now = QDateTime::currentDateTime();
  QLocale c(QLocale::C);
  auto* item = new QTreeWidgetItem(
      {QString::fromStdString(texts.EventCategoryText(event->Cfh->Command)),
       QString::fromStdString(texts.ReasonText(event->Cfh->Reason)),
       QString::fromStdString(admclient::ObjectPath(event)), c.toString(now, "MMM dd yyyy"),
       c.toString(now, "HH:mm:ss")});
  item->setData(0, Qt::UserRole, event->Cfh->Reason);
  item->setData(1, Qt::UserRole, slot);
  insertTopLevelItem(0, item);
}

void EventList::SetEventListItem(int row, int column, int image, const QString& text) {
  if (column == 0) {
    insertTopLevelItem(std::clamp(row, 0, topLevelItemCount()), new QTreeWidgetItem({text}));
    return;
  }
  if (QTreeWidgetItem* item = topLevelItem(row)) {
    item->setText(column, text);
    if (image >= 0) item->setData(column, Qt::UserRole, image);
  }
}

ChildFrame::ChildFrame(admclient::Profile& profile, QWidget* parent)
    : QWidget(parent), profile_(profile) {
  setObjectName("CChildFrame");
  setWindowTitle(kNetworkTitle);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  outer_ = new QSplitter(Qt::Horizontal, this);
  outer_->setObjectName("OuterSplitter");
  auto* tree = new QTreeWidget(outer_);
  tree->setObjectName("CWharfTreeViewOAM");
  tree->setHeaderHidden(true);
  tree->addTopLevelItem(new QTreeWidgetItem({kNetworkTitle}));
  inner_ = new QSplitter(Qt::Vertical, outer_);
  inner_->setObjectName("InnerSplitter");
  auto* attributes = new QTreeWidget(inner_);
  attributes->setObjectName("CWharfListView");
  attributes->setHeaderLabels({"Attribute", "Value"});
  events_ = new EventList(inner_);
  layout->addWidget(outer_);

  QSize screen = QGuiApplication::primaryScreen() != nullptr
                     ? QGuiApplication::primaryScreen()->size()
                     : QSize(1024, 768);
  int v = profile_.GetInt(kSettings, "VSplitterSize", -1);
  int h = profile_.GetInt(kSettings, "HSplitterSize", -1);
  if (v < 0) v = screen.width() / 3;
  if (h < 0) h = screen.height() / 2;
  outer_->setSizes({v, std::max(1, screen.width() - v)});
  inner_->setSizes({h, std::max(1, screen.height() - h)});

  auto* refresh = new QAction("&Refresh\tF5", this);
  refresh->setObjectName("RefreshF5");
  refresh->setShortcut(Qt::Key_F5);
  refresh->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(refresh, &QAction::triggered, this, &ChildFrame::Refresh);
  addAction(refresh);
}

bool ChildFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && watched == parentWidget()) SaveLayout();
  return QWidget::eventFilter(watched, event);
}

void ChildFrame::SetAttributeFilter(int command) {
  switch (command) {
    case 32041: filter = {0, 1, 0}; break;
    case 32042: filter = {0, 0, 1}; break;
    case 32043: filter = {1, 1, 1}; break;
    default: break;
  }
}

void ChildFrame::RestorePlacement(QWidget* window) {
  const QString size = QString::fromStdString(profile_.GetString(kSettings, "WinChildSize"));
  bool maximized = size.isEmpty();
  if (!size.isEmpty()) window->setGeometry(RectFromText(size, QRect()));
  if (profile_.HasKey(kSettings, "WinChildMaximized")) {
    maximized = profile_.GetInt(kSettings, "WinChildMaximized", 1) != 0;
  }
  const bool iconic = profile_.GetInt(kSettings, "WinChildIconic", 0) != 0;
  if (iconic) {
    window->setWindowState(Qt::WindowMinimized);
  } else if (maximized) {
    window->setWindowState(Qt::WindowMaximized);
  }
}

void ChildFrame::SaveLayout() {
  QWidget* window = parentWidget() != nullptr ? parentWidget() : this;
  const bool minimized = window->isMinimized();
  const QRect normal =
      window->isMaximized() || minimized ? window->normalGeometry() : window->geometry();
  profile_.WriteString(kSettings, "WinChildSize", RectText(normal).toStdString());
  profile_.WriteInt(kSettings, "WinChildIconic", minimized ? 1 : 0);
  profile_.WriteInt(kSettings, "WinChildMaximized",
                    minimized ? ((window->windowState() & Qt::WindowMaximized) ? 1 : 0) : 1);
  profile_.WriteInt(kSettings, "VSplitterSize", outer_->sizes().value(0));
  profile_.WriteInt(kSettings, "HSplitterSize", inner_->sizes().value(0));
}

// ---- 4. Main frame ----------------------------------------------------------------

MainFrame::MainFrame(admclient::Profile& profile, const admclient::Clock& clock, QWidget* parent)
    : QMainWindow(parent), profile_(profile), clock_(clock) {
  setObjectName("CMainFrame");
  setWindowTitle("Harrowline Compact");
  commands_ = new harrowgui::CommandTable(this);

  mdi_ = new QMdiArea(this);
  mdi_->setObjectName("MDIArea");
  mdi_->setViewMode(QMdiArea::TabbedView);
  mdi_->setTabPosition(QTabWidget::South);
  setCentralWidget(mdi_);

  trace_ = new TraceBar(this);
  addDockWidget(Qt::BottomDockWidgetArea, trace_);
  connect(trace_, &TraceBar::rowActivated, this, &MainFrame::ShowReasonOfRow);

  log_ = std::make_unique<admclient::CommandLog>(clock_);
  char user[64] = {0};
  osGetLoginName(user, sizeof user);
  results_ = std::make_unique<admclient::ResultLog>(clock_, trace_, log_.get(), user);

  status_ = new MainStatusBar(this);
  setStatusBar(status_);
  AddCommands();
  UpdateClock();
  connect(&clock_timer_, &QTimer::timeout, this, &MainFrame::UpdateClock);
  clock_timer_.start(30000);
}

void MainFrame::StartProgram(const QString& program, const QStringList& arguments) {
  started << (QStringList{program} + arguments).join(' ');
  if (!harrowgui::Launcher::Start(program, arguments)) {
    status_->SetPaneTexts(0, "Cannot start " + program, "Cannot start " + program);
  }
}

// The console-wide commands, their update rules and the toolbar.
void MainFrame::AddCommands() {
  harrowgui::CommandTable& t = *commands_;
  auto child_active = [this](QAction* a) { a->setEnabled(ActiveChild() != nullptr); };
  auto flag_rule = [this](bool* flag) {
    return [this, flag](QAction* a) {
      a->setCheckable(true);
      a->setEnabled(ActiveChild() != nullptr);
      a->setChecked(*flag);
    };
  };
  auto toggle = [this](bool* flag, bool* companion) {
    return [this, flag, companion] {
      *flag = !*flag;
      if (companion != nullptr) *companion = *flag;
      if (on_tree_flags_changed) on_tree_flags_changed();
      commands_->UpdateAll();
    };
  };
  QAction* connect_new = t.Add(57600, "&Connect\tCtrl+N", [this] { OpenNetworkWindow(); });
  connect_new->setShortcut(QKeySequence("Ctrl+N"));
  t.Add(59393, "&Status Bar", [this] { status_->setVisible(!status_->isVisible()); },
        [this](QAction* a) {
          a->setCheckable(true);
          a->setChecked(status_->isVisible());
        });
  t.Add(32074, "&Command Trace", [this] { trace_->setVisible(!trace_->isVisible()); },
        [this](QAction* a) {
          a->setCheckable(true);
          a->setChecked(trace_->isVisible());
        });
  t.Add(32100, "C&onnections ...", [this] {
    if (on_connections) on_connections();
  })->setToolTip("Configure server connections");
  t.Add(32073, "&Find Object ...", [this] {
    if (on_find) on_find();
  }, child_active);
  t.Add(32075, "Open remote text file", [this] {
    if (on_remote_file) on_remote_file();
  });
  t.Add(32076, "Edit filtering mask", [this] {
    if (on_filter_edit) on_filter_edit();
  }, child_active);
  t.Add(32077, "M&QSC Commands", [this] { StartProgram("mqsccore", {}); })
      ->setToolTip("Start remote MQSC interface");
  t.Add(32078, "&Message Lookout", [this] {
    std::string program = profile_.GetString("Installation", "Message Lookout", "msgexec");
    StartProgram(QString::fromStdString(program), {});
  });
  t.Add(32081, "Start deskpilot", [this] { StartProgram("deskpilot", {}); });
  t.Add(32082, "Display queues", toggle(&show_queues, nullptr), flag_rule(&show_queues));
  t.Add(32083, "Display dynamic queues", toggle(&show_dynamic_queues, nullptr),
        flag_rule(&show_dynamic_queues));
  t.Add(32084, "Display channels", toggle(&show_channels, &show_client_connections),
        flag_rule(&show_channels));
  t.Add(32085, "Display processes", toggle(&show_processes, nullptr), flag_rule(&show_processes));
  t.Add(57667, "&Harrowline Compact Help...", [] {
    harrowgui::HelpService::Show("Harrowline Compact Help.chm", "/Welcome.htm");
  });
  // The network window's commands, routed to the active one: the attribute
  // filters (radio items) and refresh.
  struct Filter {
    int id;
    const char* text;
    const char* tip;
  };
  static const Filter kFilters[] = {
      {32041, "&Run Time", "Display run time attributes only"},
      {32042, "&Static", "Display static attributes only"},
      {32043, "&All", "Display all attributes"}};
  for (const Filter& f : kFilters) {
    const int id = f.id;
    t.Add(id, f.text, [this, id] {
      if (ChildFrame* child = ActiveChild()) child->SetAttributeFilter(id);
      commands_->UpdateAll();
    }, [this, id](QAction* a) {
      a->setCheckable(true);
      ChildFrame* child = ActiveChild();
      a->setEnabled(child != nullptr);
      bool on = false;
      if (child != nullptr) {
        const AttributeFilter& flags = child->filter;
        on = id == 32041   ? (flags.show_all == 0 && flags.show_run_time == 1)
             : id == 32042 ? (flags.show_all == 0 && flags.show_static == 1)
                           : flags.show_all == 1;
      }
      a->setChecked(on);
    })->setToolTip(f.tip);
  }
  t.Add(32044, "&Refresh\tF5", [this] {
    if (ChildFrame* child = ActiveChild()) child->Refresh();
  }, child_active)->setToolTip("Refresh view");

  auto* toolbar = addToolBar("Harrowline Compact main toolbar");
  toolbar->setObjectName("MainToolBar");
  const int kToolbar[] = {57600, 32100, 0,     32074, 32073, 32075, 32076, 0,     32077,
                          32078, 32081, 0,     32082, 32083, 32084, 32085, 0,     57667};
  for (int id : kToolbar) {
    if (id == 0) {
      toolbar->addSeparator();
    } else {
      toolbar->addAction(t.Find(id));
    }
  }
  auto* view = menuBar()->addMenu("&View");
  for (int id : {59393, 32074, 32082, 32083, 32084, 32085, 32041, 32042, 32043, 32044}) {
    view->addAction(t.Find(id));
  }
  connect(view, &QMenu::aboutToShow, commands_, &harrowgui::CommandTable::UpdateAll);
  connect(mdi_, &QMdiArea::subWindowActivated, commands_, &harrowgui::CommandTable::UpdateAll);
  t.UpdateAll();
}

// The update rules reach into this frame: no signal may run them while the
// base destructor takes the children down.
MainFrame::~MainFrame() {
  QObject::disconnect(mdi_, nullptr, commands_, nullptr);
  mdi_->blockSignals(true);
}

ChildFrame* MainFrame::ActiveChild() const {
  QMdiSubWindow* sub = mdi_->currentSubWindow();
  if (sub == nullptr && !mdi_->subWindowList().isEmpty()) sub = mdi_->subWindowList().first();
  return sub != nullptr ? qobject_cast<ChildFrame*>(sub->widget()) : nullptr;
}

void MainFrame::UpdateClock() { status_->ShowClock(clock_.Now()); }

ChildFrame* MainFrame::OpenNetworkWindow() {
  auto* child = new ChildFrame(profile_);
  harrowgui::SetDocument(child, 1, kNetworkTitle);
  QMdiSubWindow* sub = mdi_->addSubWindow(child);
  sub->setObjectName("NetworkWindow");
  sub->setAttribute(Qt::WA_DeleteOnClose);
  child->RestorePlacement(sub);
  sub->installEventFilter(child);
  child->show();
  sub->show();
  commands_->UpdateAll();
  return child;
}

void MainFrame::RestorePlacement() {
  QRect normal = RectFromText(QString::fromStdString(profile_.GetString(kSettings, "WinSize")),
                              QRect(QPoint(10, 10), QSize(490, 390)));
  setGeometry(normal);
  QByteArray state = QByteArray::fromBase64(
      QByteArray::fromStdString(profile_.GetString(kSettings, "BarState")));
  if (!state.isEmpty()) restoreState(state);
  const bool iconic = profile_.GetInt(kSettings, "WinIconic", 0) != 0;
  const bool maximized = profile_.GetInt(kSettings, "WinMaximized", 1) != 0;
  if (iconic) {
    setWindowState(Qt::WindowMinimized);
  } else if (maximized) {
    setWindowState(Qt::WindowMaximized);
  }
}

void MainFrame::SavePlacement() {
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    if (auto* child = qobject_cast<ChildFrame*>(sub->widget())) child->SaveLayout();
  }
  QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
  profile_.WriteString(kSettings, "WinSize", RectText(normal).toStdString());
  profile_.WriteInt(kSettings, "WinIconic", isMinimized() ? 1 : 0);
  profile_.WriteInt(kSettings, "WinMaximized",
                    isMinimized() ? ((windowState() & Qt::WindowMaximized) ? 1 : 0) : 1);
  profile_.WriteString(kSettings, "BarState", saveState().toBase64().toStdString());
  saved_ = true;
}

void MainFrame::closeEvent(QCloseEvent* event) {
  SavePlacement();
  QMainWindow::closeEvent(event);
}

void MainFrame::ShowReasonOfRow(int page, int row) {
  int reason = trace_->ReasonOfRow(row);
  if (page != 0 || reason < 0) return;
  std::string text;
  admclient::CMQText texts;
  if (!texts.ReasonTextFromIni(reason, &text)) text = texts.ReasonText(reason);
  if (error_dialog_ == nullptr) error_dialog_ = new ErrorCodeDialog(this);
  error_dialog_->SetText(QString::number(reason) + ": " + QString::fromStdString(text));
  error_dialog_->open();
}

}  // namespace admdesk
