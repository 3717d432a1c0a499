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
#include <QFontMetrics>
#include <QGridLayout>
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

// ---- 2. Error-code dialog and trace bar -------------------------------------------

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
  auto* help = new QAction("Help", this);
  help->setObjectName("ErrorCodeHelp");
  help->setShortcut(QKeySequence(Qt::Key_F1));
  help->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(help, &QAction::triggered, this, [] {
    harrowgui::HelpService::Show(kHelpFile, "/Getting_Started/Action_Trace_Window.htm");
  });
  addAction(help);
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
  // Each column is as wide as its caption and a margin of its own.
  const struct {
    const char* caption;
    int margin;
  } kColumns[] = {{"Command Status", 270}, {"Object Name", 350}, {"Date", 50}, {"Time", 50},
                  {"Reason", 150}};
  QStringList captions;
  for (const auto& column : kColumns) captions << column.caption;
  list_->setHeaderLabels(captions);
  const QFontMetrics metrics(list_->header()->font());
  for (int i = 0; i < 5; ++i) {
    list_->setColumnWidth(i, metrics.horizontalAdvance(kColumns[i].caption) + kColumns[i].margin);
  }
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
  tree_ = new QTreeWidget(outer_);
  tree_->setObjectName("CWharfTreeViewOAM");
  tree_->setHeaderHidden(true);
  tree_->addTopLevelItem(new QTreeWidgetItem({kNetworkTitle}));
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

admclient::SelectionContext ChildFrame::Selection() const {
  std::vector<std::string> path;
  for (QTreeWidgetItem* item = tree_->currentItem(); item != nullptr; item = item->parent()) {
    path.insert(path.begin(), item->text(0).toStdString());
  }
  if (path.empty()) return admclient::SelectionContext();
  return admclient::FillItemContext(path);
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

// ---- About dialog ---------------------------------------------------------------

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("CAboutDlg");
  setWindowTitle("About Harrowline Compact");
  auto* layout = new QGridLayout(this);
  auto add = [&](const QString& caption, QWidget* value) {
    const int row = layout->rowCount();
    if (!caption.isEmpty()) layout->addWidget(new QLabel(caption, this), row, 0);
    layout->addWidget(value, row, caption.isEmpty() ? 0 : 1, 1, caption.isEmpty() ? 2 : 1);
    return row;
  };
  auto* program = new QLabel("admdesk.exe (Harrowline Compact)", this);
  program->setObjectName("AboutProgram");
  add("", program);
  version_ = new QLabel(this);
  version_->setObjectName("AboutVersion");
  version_->setText(QString("3.6.%1").arg("0015"));
  add("Version:", version_);
  add("", new QLabel("08/30/2002", this));
  add("Telephone:", new QLabel("+1 555 0100", this));
  add("Fax:", new QLabel("+1 555 0101", this));
  // The mail and web values are links: blue, underlined, opened on a click;
  // their captions are bold.
  auto link = [&](const QString& caption, const QString& name, const QString& text,
                   const QString& url) {
    auto* value = new QLabel(QString("<a href=\"%1\" style=\"color:#0000ff\">%2</a>")
                                 .arg(url.toHtmlEscaped(), text.toHtmlEscaped()),
                             this);
    value->setObjectName(name);
    value->setTextFormat(Qt::RichText);
    value->setOpenExternalLinks(true);
    value->setCursor(Qt::PointingHandCursor);
    const int row = add(caption, value);
    QFont bold = layout->itemAtPosition(row, 0)->widget()->font();
    bold.setBold(true);
    layout->itemAtPosition(row, 0)->widget()->setFont(bold);
  };
  link("Mail:", "AboutMail", "support@brackwin.example", "mailto:support@brackwin.example");
  link("Web:", "AboutWeb", "www.brackwin.example", "https://www.brackwin.example/");
  add("", new QLabel("This program is protected by copyright law.", this));
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("AboutOk");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, layout->rowCount(), 1, Qt::AlignRight);
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

  // Pane 0 messages and menu prompts, pane 1 the tree's "Last Updated" text,
  // panes 2 and 3 the date and the time.
  status_ = new MainStatusBar(this);
  status_->Create(this, {kSeparatorId, kSeparatorId}, kPaneStyleStretch);
  status_->SetIndicators({kSeparatorId, kSeparatorId, 108, 109});
  status_->SetPaneInfoStyle(0, kPaneStyleStretch);
  setStatusBar(status_);

  menu_bar_ = new harrowgui::MenuDockBar(this);
  addToolBar(Qt::TopToolBarArea, menu_bar_);
  addToolBarBreak(Qt::TopToolBarArea);
  AddCommands();
  AddMenus();

  AddDocumentTemplate({129, kNetworkTitle, nullptr});
  for (int id : {4, 5, 6}) AddDocumentTemplate({id, kNetworkTitle, nullptr});
  AddDocumentTemplate({316, "Channel Status", [this]() -> QWidget* {
    if (channel_status_factory) return channel_status_factory();
    auto* view = new QTreeWidget();
    view->setObjectName("CChannelStatusView");
    view->setHeaderLabels({"Channel", "Status"});
    return view;
  }});
  UpdateClock();
  connect(&clock_timer_, &QTimer::timeout, this, &MainFrame::UpdateClock);
  clock_timer_.start(30000);
}

void MainFrame::StartProgram(const QString& program, const QStringList& arguments) {
  const QString file = harrowgui::Launcher::FindExecutable(program);
  if (file.isEmpty()) return;
  // As a shell start, a program that then fails is not reported.
  harrowgui::Launcher::Start(file, arguments);
  started << (QStringList{file} + arguments).join(' ');
}

QStringList MainFrame::MqscArguments() const {
  ChildFrame* child = ActiveChild();
  if (child == nullptr) return {};
  const admclient::SelectionContext at = child->Selection();
  // Each name is one argument of its own, blanks and all.
  QStringList arguments;
  if (at.level >= admclient::kLevelGroup) arguments << "-m" + QString::fromStdString(at.group_name);
  if (at.level >= admclient::kLevelNode) arguments << "-n" + QString::fromStdString(at.node_name);
  if (at.level >= admclient::kLevelQueueManager) {
    arguments << "-q" + QString::fromStdString(at.queue_manager_name);
  }
  return arguments;
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
  t.Add(32077, "M&QSC Commands", [this] { StartProgram("mqsccore.exe", MqscArguments()); })
      ->setToolTip("Start remote MQSC interface");
  t.Add(32078, "&Message Lookout", [this] { StartProgram("msgexec.exe", {}); });
  t.Add(32081, "Start deskpilot", [this] { StartProgram("deskpilot.exe", {}); })
      ->setToolTip("Start deskpilot");
  t.Add(32082, "Display queues", toggle(&show_queues, nullptr), flag_rule(&show_queues));
  t.Add(32083, "Display dynamic queues", toggle(&show_dynamic_queues, nullptr),
        flag_rule(&show_dynamic_queues));
  t.Add(32084, "Display channels", toggle(&show_channels, &show_client_connections),
        flag_rule(&show_channels));
  t.Add(32085, "Display processes", toggle(&show_processes, nullptr), flag_rule(&show_processes));
  // Help opens the help file at its default topic.
  auto help = [] { harrowgui::HelpService::Show(kHelpFile, ""); };  // the default topic
  t.Add(110, "Harrowline Compact Help", help)->setToolTip("Help");
  t.Add(57667, "&Harrowline Compact Help...", help);
  QAction* f1 = t.Add(57670, "Help", help);
  f1->setShortcut(QKeySequence(Qt::Key_F1));
  // Not in dialogs: they have help of their own.
  f1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(f1);
  t.Add(57664, "&About Harrowline Compact...", [this] {
    AboutDialog about(this);
    about.exec();
  });
  t.Add(57602, "&Close", [this] {
    if (QMdiSubWindow* sub = mdi_->currentSubWindow()) sub->close();
  }, [this](QAction* a) { a->setEnabled(mdi_->currentSubWindow() != nullptr); });
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
  const int kToolbar[] = {57600, 57602, 32100, 0,     32074, 32073, 32075, 32076, 0,    32077,
                          32078, 32081, 0,     32082, 32083, 32084, 32085, 0,     110};
  for (int id : kToolbar) {
    if (id == 0) {
      toolbar->addSeparator();
    } else {
      toolbar->addAction(t.Find(id));
    }
  }
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

// The date and time panes fit their texts, measured in the bar's font.
void MainFrame::UpdateClock() {
  const QDateTime local = QDateTime::fromSecsSinceEpoch(clock_.Now());
  const QLocale c(QLocale::C);
  const QFontMetrics metrics(status_->BarFont());
  const struct {
    int pane;
    QString text;
  } clock[] = {{kDatePane, c.toString(local, "ddd, MMM d, yy ")},
               {kTimePane, c.toString(local, "HH:mm  ")}};
  for (const auto& shown : clock) {
    status_->SetPaneInfoWidth(shown.pane, metrics.horizontalAdvance(shown.text));
    status_->SetPaneText(shown.pane, shown.text);
    status_->SetPaneInfoStyle(shown.pane,
                              status_->GetPaneInfoStyle(shown.pane) & ~kPaneStyleDisabled);
  }
}

void MainFrame::AddMenus() {
  harrowgui::CommandTable& t = *commands_;
  auto* quit = new QAction("E&xit", this);
  quit->setObjectName("cmd57665");
  quit->setStatusTip("Quit the application");
  connect(quit, &QAction::triggered, this, &QWidget::close);
  const struct {
    const char* title;
    std::vector<int> ids;  // 0: a separator
  } kMenus[] = {
      {"&File", {57600, 57602, 0, 57665}},
      {"&View", {59393, 32074, 0, 32082, 32083, 32084, 32085, 0, 32041, 32042, 32043, 0, 32044}},
      {"&Tools", {32100, 32073, 32075, 32076, 0, 32077, 32078, 32081}},
      {"&Help", {57667, 0, 57664}},
  };
  for (const auto& m : kMenus) {
    QMenu* menu = menu_bar_->AddMenu(m.title);
    for (int id : m.ids) {
      if (id == 0) {
        menu->addSeparator();
      } else {
        QAction* action = id == 57665 ? quit : t.Find(id);
        if (action->statusTip().isEmpty()) {
          QString tip = action->toolTip();
          action->setStatusTip(tip.remove('&').section('\t', 0, 0));
        }
        menu->addAction(action);
      }
    }
    connect(menu, &QMenu::aboutToShow, this, &MainFrame::MenuOpened);
    connect(menu, &QMenu::aboutToHide, this, &MainFrame::MenuClosed);
    connect(menu, &QMenu::hovered, this,
            [this](QAction* action) { status_->showMessage(action->statusTip()); });
  }
}

void MainFrame::MenuOpened() {
  commands_->UpdateAll();
  if (saved_pane_.width != -1) return;
  saved_pane_ = {status_->GetPaneInfoId(0), status_->GetPaneInfoStyle(0),
                 status_->GetPaneInfoWidth(0)};
  if (saved_pane_.width == -1) saved_pane_.width = -2;  // "fit" is a width to restore too
  status_->SetPaneInfoStyle(0, kPaneStyleStretch | kPaneStyleNoBorders);
  status_->SetPaneInfoWidth(0, 16384);
}

void MainFrame::MenuClosed() {
  if (saved_pane_.width == -1) return;
  status_->SetPaneInfoStyle(0, saved_pane_.style);
  status_->SetPaneInfoWidth(0, saved_pane_.width == -2 ? -1 : saved_pane_.width);
  saved_pane_.width = -1;
  status_->clearMessage();
}

void MainFrame::AddDocumentTemplate(harrowgui::DocumentTemplate document_template) {
  templates_.push_back(std::move(document_template));
}

QWidget* MainFrame::FindDocument(const QString& title, int kind) const {
  return harrowgui::FindDocument(mdi_, kind, title);
}

bool MainFrame::OpenWindow(int kind) { return OpenNewWindow(kind) != nullptr; }

QWidget* MainFrame::OpenNewWindow(int kind) {
  if (kind == 1 || kind < 1 || kind > 7) return nullptr;
  const QString name = harrowgui::DocumentKindName(kind);
  for (const harrowgui::DocumentTemplate& t : templates_) {
    if (t.document_name != name || !t.make) continue;
    QWidget* window = t.make();
    if (window == nullptr) return nullptr;
    // Untitled windows are numbered; the two kinds that drop the number
    // keep their plain name.
    static int untitled = 0;
    harrowgui::SetDocument(window, kind, name + QString::number(++untitled));
    QMdiSubWindow* sub = mdi_->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    sub->show();
    mdi_->setActiveSubWindow(sub);
    commands_->UpdateAll();
    return window;
  }
  return nullptr;
}

QTreeWidget* MainFrame::GetNetworkTreeView(const QString& title) const {
  auto* child = qobject_cast<ChildFrame*>(FindDocument(title, 1));
  return child != nullptr ? child->tree() : nullptr;
}

QWidget* MainFrame::ActivateOrOpen(int kind, const QString& title) {
  if (QWidget* open = FindDocument(title, kind)) {
    harrowgui::SetDocument(open, kind, title);
    open->update();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(open->parentWidget())) {
      mdi_->setActiveSubWindow(sub);
    }
    return open;
  }
  QWidget* window = OpenNewWindow(kind);
  if (window != nullptr) harrowgui::SetDocument(window, kind, title);
  return window;
}

QWidget* MainFrame::ShowChannelStatus(const QString& title) { return ActivateOrOpen(2, title); }

QWidget* MainFrame::FindChannelStatusView(const QString& title) const {
  return FindDocument(title, 2);
}

QWidget* MainFrame::ShowMessageViewer(const QString& title, int kind) {
  return ActivateOrOpen(kind, title);
}

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
