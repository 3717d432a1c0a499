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
  auto at = [&](int offset) { return offset < bytes.size() ? atoi(bytes.constData() + offset) : 0; };
  int left = at(0), top = at(5), right = at(10), bottom = at(15);
  return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

// ---- 2. Error-code dialog and trace bar ---------------------------------------

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
  auto* events = new QTreeWidget(inner_);
  events->setObjectName("CMQEventList");
  events->setHeaderLabels({"Event", "Object", "Date", "Time", "Description"});
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

  auto* refresh = new QAction("Refresh", this);
  refresh->setObjectName("RefreshF5");
  refresh->setShortcut(Qt::Key_F5);
  refresh->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(refresh, &QAction::triggered, this, [this] { ++refreshes; });
  addAction(refresh);
}

void ChildFrame::SaveLayout() {
  QWidget* window = parentWidget() != nullptr ? parentWidget() : this;
  profile_.WriteString(kSettings, "WinChildSize", RectText(window->geometry()).toStdString());
  profile_.WriteInt(kSettings, "WinChildIconic", window->isMinimized() ? 1 : 0);
  profile_.WriteInt(kSettings, "WinChildMaximized", window->isMinimized() ? 0 : 1);
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

  auto* toolbar = addToolBar("Standard");
  toolbar->setObjectName("MainToolBar");
  QAction* open = commands_->Add(57600, "&New Network Window", [this] { OpenNetworkWindow(); });
  QAction* trace = commands_->Add(32074, "&Trace", [this] { trace_->setVisible(!trace_->isVisible()); },
                                  [this](QAction* a) {
                                    a->setCheckable(true);
                                    a->setChecked(trace_->isVisible());
                                  });
  QAction* refresh = commands_->Add(32771, "&Refresh", [this] {
    if (ChildFrame* child = ActiveChild()) ++child->refreshes;
  });
  for (int mode = 0; mode < 3; ++mode) {
    static const char* const kNames[] = {"&Run-time Attributes", "&Static Attributes",
                                         "&All Attributes"};
    QAction* filter = commands_->Add(32800 + mode, kNames[mode], [this, mode] {
      if (ChildFrame* child = ActiveChild()) child->attribute_filter = mode;
    });
    toolbar->addAction(filter);
  }
  toolbar->addAction(open);
  toolbar->addAction(trace);
  toolbar->addAction(refresh);

  statusBar()->setObjectName("CMainStatusBar");
  status_text_ = new QLabel("Ready", this);
  status_text_->setObjectName("StatusText");
  status_date_ = new QLabel(this);
  status_date_->setObjectName("StatusDate");
  status_time_ = new QLabel(this);
  status_time_->setObjectName("StatusTime");
  statusBar()->addWidget(status_text_, 1);
  statusBar()->addPermanentWidget(status_date_);
  statusBar()->addPermanentWidget(status_time_);
  UpdateClock();
  connect(&clock_timer_, &QTimer::timeout, this, &MainFrame::UpdateClock);
  clock_timer_.start(30000);
}

MainFrame::~MainFrame() { trace_->setParent(this); }

ChildFrame* MainFrame::ActiveChild() const {
  QMdiSubWindow* sub = mdi_->currentSubWindow();
  if (sub == nullptr && !mdi_->subWindowList().isEmpty()) sub = mdi_->subWindowList().first();
  return sub != nullptr ? qobject_cast<ChildFrame*>(sub->widget()) : nullptr;
}

void MainFrame::UpdateClock() {
  std::time_t now = clock_.Now();
  QDateTime when = QDateTime::fromSecsSinceEpoch(now);
  QLocale c(QLocale::C);
  status_date_->setText(c.toString(when, "ddd, MMM d, yy "));
  status_time_->setText(c.toString(when, "HH:mm  "));
}

void MainFrame::SetStatusText(const QString& text, const QColor& color) {
  status_text_->setText(text);
  QPalette palette = status_text_->palette();
  if (color.isValid()) palette.setColor(QPalette::WindowText, color);
  status_text_->setPalette(palette);
}

ChildFrame* MainFrame::OpenNetworkWindow() {
  auto* child = new ChildFrame(profile_);
  QMdiSubWindow* sub = mdi_->addSubWindow(child);
  sub->setObjectName("NetworkWindow");
  sub->setAttribute(Qt::WA_DeleteOnClose);
  QRect placement = RectFromText(
      QString::fromStdString(profile_.GetString(kSettings, "WinChildSize")), QRect());
  if (placement.isValid()) sub->setGeometry(placement);
  child->show();
  sub->show();
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
