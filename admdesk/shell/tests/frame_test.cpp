// The main frame's menu bar, menu prompts, companion programs, document
// templates and start-up hooks, and the push-pin frame, under
// QT_QPA_PLATFORM=offscreen with a temporary profile and install directory.

#include <QDesktopServices>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "startup.h"

using admdesk::ChildFrame;
using admdesk::MainFrame;

// Takes the place of the desktop's browser: keeps the pages asked for.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void Open(const QUrl& url) { opened << url; }
};

class FrameTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void menuBarDocksOnAnySideAndComesBack_data();
  void menuBarDocksOnAnySideAndComesBack();
  void menuPromptsCoverTheStatusBar();
  void mqscCommandsCarryTheSelection_data();
  void mqscCommandsCarryTheSelection();
  void companionProgramsThatCannotBeFoundAreNotStarted();
  void startUpRunsTheHooksInOrder();
  void windowsOfTemplatesAreFoundByTitle();
  void openWindowKinds_data();
  void openWindowKinds();
  void pushPinFrameHidesUnlessPinned_data();
  void pushPinFrameHidesUnlessPinned();
  void pushPinFrameLayout();
  void helpOpensItsTopic_data();
  void helpOpensItsTopic();
  void aboutAndCloseCommands();

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<admclient::IniProfile> profile_;
  admclient::FixedClock clock_{1765366245};
};

void FrameTest::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  qputenv("HRLCOMPACT", dir_->path().toLocal8Bit());
  profile_ = std::make_unique<admclient::IniProfile>((dir_->path() + "/admdesk.ini").toStdString());
  profile_->WriteInt("Settings", "WinMaximized", 0);
}

void FrameTest::cleanup() {
  profile_.reset();
  dir_.reset();
}

void FrameTest::menuBarDocksOnAnySideAndComesBack_data() {
  QTest::addColumn<int>("area");
  QTest::addColumn<int>("orientation");
  QTest::newRow("left") << int(Qt::LeftToolBarArea) << int(Qt::Vertical);
  QTest::newRow("right") << int(Qt::RightToolBarArea) << int(Qt::Vertical);
  QTest::newRow("bottom") << int(Qt::BottomToolBarArea) << int(Qt::Horizontal);
  QTest::newRow("top") << int(Qt::TopToolBarArea) << int(Qt::Horizontal);
}

void FrameTest::menuBarDocksOnAnySideAndComesBack() {
  QFETCH(int, area);
  QFETCH(int, orientation);
  {
    MainFrame frame(*profile_, clock_);
    frame.RestorePlacement();
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    harrowgui::MenuDockBar* bar = frame.findChild<harrowgui::MenuDockBar*>("CMenuDockBar");
    QVERIFY(bar);
    QCOMPARE(frame.toolBarArea(bar), Qt::TopToolBarArea);
    QCOMPARE(bar->allowedAreas(), Qt::AllToolBarAreas);
    QVERIFY(bar->isFloatable() && bar->isMovable());
    QStringList titles;
    for (QMenu* menu : bar->menus()) titles << menu->title();
    QCOMPARE(titles, QStringList({"&File", "&View", "&Tools", "&Help"}));
    QVERIFY(frame.findChild<QToolButton*>("MenuView"));
    QVERIFY(frame.findChild<QMenu*>("MenuViewPopup")->actions().contains(frame.commands().Find(32074)));
    QVERIFY(bar->row()->isVisible() && !bar->column()->isVisible());
    QCOMPARE(bar->row()->actions().size(), qsizetype(4));
    frame.addToolBar(Qt::ToolBarArea(area), bar);
    QCOMPARE(int(bar->orientation()), orientation);
    // Lying, a menu bar; standing, a column of buttons.
    const bool lying = orientation == Qt::Horizontal;
    QTRY_COMPARE(bar->row()->isVisible(), lying);  // once the bar is laid out again
    QTRY_COMPARE(bar->column()->isVisible(), !lying);
    QCOMPARE(frame.findChild<QToolButton*>("MenuFile")->isVisible(), !lying);
    frame.close();
  }
  MainFrame again(*profile_, clock_);
  again.RestorePlacement();
  again.show();
  QVERIFY(QTest::qWaitForWindowExposed(&again));
  QCOMPARE(int(again.toolBarArea(again.menu_bar())), area);
}

void FrameTest::menuPromptsCoverTheStatusBar() {
  MainFrame frame(*profile_, clock_);
  frame.RestorePlacement();
  frame.show();
  QVERIFY(QTest::qWaitForWindowExposed(&frame));
  admdesk::MainStatusBar* bar = frame.status();
  const QRect before = bar->PaneRect(0);
  QMenu* tools = frame.findChild<QMenu*>("MenuToolsPopup");
  QVERIFY(tools);
  emit tools->aboutToShow();
  QCOMPARE(bar->GetPaneInfoWidth(0), 16384);
  QCOMPARE(bar->GetPaneInfoStyle(0), admdesk::kPaneStyleStretch | admdesk::kPaneStyleNoBorders);
  QVERIFY(bar->PaneRect(0).right() >= bar->width());  // the prompt pane hides the others
  emit tools->hovered(frame.commands().Find(32100));
  QCOMPARE(bar->ShownText(0), QString("Configure server connections"));
  emit tools->hovered(frame.commands().Find(32073));
  QCOMPARE(bar->ShownText(0), QString("Find Object"));  // the caption, as a tip
  emit tools->aboutToHide();
  QCOMPARE(bar->PaneRect(0), before);
  QCOMPARE(bar->GetPaneInfoStyle(0), admdesk::kPaneStyleStretch);
  QCOMPARE(bar->ShownText(0), QString("Ready"));
}

void FrameTest::mqscCommandsCarryTheSelection_data() {
  QTest::addColumn<QStringList>("path");  // texts from the root down; empty: nothing selected
  QTest::addColumn<QStringList>("arguments");
  QTest::newRow("nothing selected") << QStringList() << QStringList();
  QTest::newRow("root") << QStringList({"MQSeries Network"}) << QStringList();
  QTest::newRow("group") << QStringList({"MQSeries Network", "GROUP1"}) << QStringList({"-mGROUP1"});
  QTest::newRow("node") << QStringList({"MQSeries Network", "GROUP1", "node1"})
                        << QStringList({"-mGROUP1", "-nnode1"});
  QTest::newRow("queue manager") << QStringList({"MQSeries Network", "GROUP1", "node1", "QM 1  "})
                                 << QStringList({"-mGROUP1", "-nnode1", "-qQM 1"});
  QTest::newRow("folder") << QStringList({"MQSeries Network", "GROUP1", "node1", "QM1",
                                          "Queues     <APP*>"})
                          << QStringList({"-mGROUP1", "-nnode1", "-qQM1"});
}

void FrameTest::mqscCommandsCarryTheSelection() {
  QFETCH(QStringList, path);
  QFETCH(QStringList, arguments);
  // A stand-in remote MQSC program in the installation's bin folder that
  // writes its arguments, one a line.
  QDir(dir_->path()).mkpath("bin");
  const QString program = dir_->filePath("bin/mqsccore");
  const QString written = dir_->filePath("arguments.txt");
  {
    QFile script(program);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.part'\nmv '%1.part' '%1'\n")
                     .arg(written)
                     .toUtf8());
  }
  QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  MainFrame frame(*profile_, clock_);
  ChildFrame* child = frame.OpenNetworkWindow();
  QTreeWidgetItem* item = nullptr;
  for (int i = 0; i < path.size(); ++i) {
    if (i == 0) {
      item = child->tree()->topLevelItem(0);
      continue;
    }
    auto* next = new QTreeWidgetItem({path[i]});
    item->addChild(next);
    item = next;
  }
  child->tree()->setCurrentItem(item);
  frame.commands().Find(32077)->trigger();
  QCOMPARE(frame.started.size(), qsizetype(1));
  QCOMPARE(frame.started[0], (QStringList{program} + arguments).join(' '));
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(written), 10000);
  QFile file(written);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QString lines = QString::fromUtf8(file.readAll());
  QStringList got = lines.split('\n');
  got.removeLast();  // after the last newline
  if (arguments.isEmpty()) got = QStringList();  // printf writes one empty line for none
  QCOMPARE(got, arguments);
}

void FrameTest::companionProgramsThatCannotBeFoundAreNotStarted() {
  qputenv("PATH", dir_->filePath("nowhere").toLocal8Bit());
  MainFrame frame(*profile_, clock_);
  for (int id : {32077, 32078, 32081}) frame.commands().Find(id)->trigger();
  QVERIFY(frame.started.isEmpty());
  QCOMPARE(harrowgui::Launcher::FindExecutable("msgexec.exe"), QString());
  QCOMPARE(harrowgui::Launcher::FindExecutable("../bin/sh"), QString());  // a name, not a path
}

void FrameTest::startUpRunsTheHooksInOrder() {
  profile_->WriteString("Settings", "WinSize", "0050 0060 0850 0660");
  QStringList order;
  admdesk::StartupHooks hooks;
  hooks.splash = [&](int mode) {
    QCOMPARE(mode, 0);
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    for (QWidget* window : QApplication::topLevelWidgets()) {
      QVERIFY(qobject_cast<MainFrame*>(window) == nullptr);  // no frame yet
    }
    order << "splash";
  };
  hooks.window_libraries.push_back([&](MainFrame& frame) {
    QCOMPARE(frame.geometry(), QRect(50, 60, 800, 600));  // placed before the libraries
    QVERIFY(!frame.isVisible());                          // and shown after them
    QVERIFY(frame.FindDocument("MQSeries Network", 1));   // the first network window is open
    frame.AddDocumentTemplate({32001, "ZOR", [] {
      auto* view = new QWidget();
      view->setObjectName("CTlxZorView");
      return view;
    }});
    order << "messages";
  });
  std::unique_ptr<MainFrame> frame = admdesk::StartConsole(*profile_, clock_, hooks);
  QCOMPARE(order, QStringList({"splash", "messages"}));
  QVERIFY(QApplication::overrideCursor() == nullptr);
  QVERIFY(frame->isVisible());
  QCOMPARE(frame->templates().back().document_name, QString("ZOR"));
  QWidget* view = frame->ShowMessageViewer("\\\\GROUP1\\node1\\QM1\\APP.Q1", 7);
  QVERIFY(view);
  QCOMPARE(view->objectName(), QString("CTlxZorView"));
}

void FrameTest::windowsOfTemplatesAreFoundByTitle() {
  MainFrame frame(*profile_, clock_);
  frame.AddDocumentTemplate({32001, "ZOR", [] { return new QWidget(); }});
  const int before = static_cast<int>(frame.mdi()->subWindowList().size());
  const QString status = "\\\\GROUP1\\node1\\QM1\\Channel Status";
  QWidget* first = frame.ShowChannelStatus(status);
  QVERIFY(first);
  QCOMPARE(first->objectName(), QString("CChannelStatusView"));
  QCOMPARE(first->windowTitle(), status);
  QCOMPARE(frame.FindChannelStatusView(status), first);
  QCOMPARE(frame.ShowChannelStatus(status), first);  // activated, not opened again
  QWidget* other = frame.ShowChannelStatus("\\\\GROUP1\\node1\\QM2\\Channel Status");
  QVERIFY(other && other != first);
  QCOMPARE(frame.mdi()->currentSubWindow()->widget(), other);
  QCOMPARE(frame.ShowChannelStatus(status), first);
  QCOMPARE(frame.mdi()->currentSubWindow()->widget(), first);

  const QString queue = "\\\\GROUP1\\node1\\QM1\\APP.Q1";
  QWidget* messages = frame.ShowMessageViewer(queue, 7);
  QVERIFY(messages);
  QCOMPARE(frame.FindDocument(queue, 7), messages);
  QCOMPARE(frame.FindDocument(queue, 2), nullptr);  // the kind must match as well
  QCOMPARE(frame.ShowMessageViewer(queue, 7), messages);
  QCOMPARE(frame.mdi()->subWindowList().size(), qsizetype(before + 3));

  // A new network window drops the window number from its title.
  ChildFrame* network = frame.OpenNetworkWindow();
  QCOMPARE(frame.GetNetworkTreeView("MQSeries Network"), frame.findChild<ChildFrame*>()->tree());
  QVERIFY(network->tree());
  QCOMPARE(frame.GetNetworkTreeView("Channel Status"), nullptr);
}

void FrameTest::openWindowKinds_data() {
  QTest::addColumn<int>("kind");
  QTest::addColumn<bool>("opens");
  QTest::newRow("0") << 0 << false;
  QTest::newRow("1 network") << 1 << false;
  QTest::newRow("2 channel status") << 2 << true;
  QTest::newRow("3 no template") << 3 << false;
  QTest::newRow("6 no template") << 6 << false;
  QTest::newRow("7 message window") << 7 << true;
  QTest::newRow("8 hex editor") << 8 << false;
  QTest::newRow("9") << 9 << false;
}

void FrameTest::openWindowKinds() {
  QFETCH(int, kind);
  QFETCH(bool, opens);
  MainFrame frame(*profile_, clock_);
  frame.AddDocumentTemplate({32001, "ZOR", [] { return new QWidget(); }});
  frame.AddDocumentTemplate({1, "Hex Editor", [] { return new QWidget(); }});
  QCOMPARE(frame.OpenWindow(kind), opens);
  QCOMPARE(frame.mdi()->subWindowList().size(), qsizetype(opens ? 1 : 0));
  if (opens) {
    // Untitled: the document name and a number, which "Channel Status" drops.
    const QString title = frame.mdi()->currentSubWindow()->widget()->windowTitle();
    QVERIFY(title.startsWith(harrowgui::DocumentKindName(kind)));
    QCOMPARE(title == "Channel Status", kind == 2);
  }
}

void FrameTest::pushPinFrameHidesUnlessPinned_data() {
  QTest::addColumn<bool>("pinned");
  QTest::newRow("pinned stays") << true;
  QTest::newRow("unpinned hides") << false;
}

void FrameTest::pushPinFrameHidesUnlessPinned() {
  QFETCH(bool, pinned);
  QWidget other;
  other.resize(200, 200);
  other.show();
  harrowgui::PushPinFrame frame;
  frame.SetSheetClass([](QWidget* parent) {
    auto* sheet = new QWidget(parent);
    sheet->setObjectName("Sheet");
    sheet->setFixedSize(200, 100);
    return sheet;
  });
  QVERIFY(frame.Create());
  if (!pinned) QTest::mouseClick(frame.pin(), Qt::LeftButton);  // a click flips the pin
  QCOMPARE(frame.pin()->pinned(), pinned);
  frame.show();
  frame.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&frame));
  other.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&other));
  if (pinned) {
    QTest::qWait(50);
    QVERIFY(frame.isVisible());
  } else {
    QTRY_VERIFY(!frame.isVisible());
  }
  // Closing only hides: the sheet is kept for the next show.
  QPointer<QWidget> sheet = frame.sheet();
  frame.show();
  frame.close();
  QVERIFY(!frame.isVisible());
  QVERIFY(!sheet.isNull());
}

void FrameTest::pushPinFrameLayout() {
  harrowgui::PushPinFrame frame;
  QVERIFY(!frame.Create());  // no sheet class
  frame.SetSheetClass([](QWidget*) { return nullptr; });
  QVERIFY(!frame.Create());
  QVERIFY(frame.sheet() == nullptr && frame.pin() == nullptr);
  frame.SetSheetClass([](QWidget* parent) {
    auto* sheet = new QWidget(parent);
    sheet->setFixedSize(180, 120);
    return sheet;
  });
  QVERIFY(frame.Create());
  QCOMPARE(frame.size(), QSize(200, 120));
  QCOMPARE(frame.sheet()->pos(), QPoint(20, 0));
  QCOMPARE(frame.pin()->pos(), QPoint(2, 8));
  QCOMPARE(frame.pin()->style(), 1);
  QVERIFY(frame.pin()->pinned());
  QVERIFY(frame.windowFlags() & Qt::Tool);
  // Setting the style it has changes nothing; another style resizes the pin.
  const QSize small = frame.pin()->size();
  frame.pin()->SetStyle(1);
  QCOMPARE(frame.pin()->size(), small);
  frame.pin()->SetStyle(0);
  QVERIFY(frame.pin()->size() != small);
}

void FrameTest::helpOpensItsTopic_data() {
  QTest::addColumn<QString>("how");
  QTest::addColumn<QString>("page");  // under $HRLCOMPACT/help
  const QString book = "Harrowline Compact Help/";
  QTest::newRow("toolbar help") << "110" << book + "index.html";
  QTest::newRow("help menu") << "57667" << book + "index.html";
  QTest::newRow("F1") << "F1" << book + "index.html";
  QTest::newRow("error-code dialog F1") << "error F1"
                                        << book + "Getting_Started/Action_Trace_Window.htm";
}

void FrameTest::helpOpensItsTopic() {
  QFETCH(QString, how);
  QFETCH(QString, page);
  UrlCatcher browser;
  QDesktopServices::setUrlHandler("file", &browser, "Open");
  MainFrame frame(*profile_, clock_);
  frame.RestorePlacement();
  frame.show();
  QVERIFY(QTest::qWaitForWindowActive(&frame));
  if (how == "F1") {
    QTest::keyClick(&frame, Qt::Key_F1);
  } else if (how == "error F1") {
    admdesk::ErrorCodeDialog dialog(&frame);
    dialog.show();
    dialog.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &dialog);
    QTest::keyClick(dialog.findChild<QWidget*>("ErrorCodeText"), Qt::Key_F1);
  } else {
    frame.commands().Find(how.toInt())->trigger();
  }
  QDesktopServices::unsetUrlHandler("file");
  QCOMPARE(browser.opened.size(), qsizetype(1));
  QCOMPARE(browser.opened[0].toLocalFile(), dir_->filePath("help/" + page));
}

void FrameTest::aboutAndCloseCommands() {
  admdesk::AboutDialog about;
  QCOMPARE(about.objectName(), QString("CAboutDlg"));
  QCOMPARE(about.windowTitle(), QString("About Harrowline Compact"));
  QCOMPARE(about.version(), QString("3.6.0015"));
  QCOMPARE(about.findChild<QLabel*>("AboutProgram")->text(),
           QString("admdesk.exe (Harrowline Compact)"));
  for (const char* link : {"AboutMail", "AboutWeb"}) {
    auto* label = about.findChild<QLabel*>(link);
    QVERIFY(label && label->openExternalLinks());
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
  }
  MainFrame frame(*profile_, clock_);
  QCOMPARE(frame.commands().Find(57664)->text(), QString("&About Harrowline Compact..."));
  frame.OpenNetworkWindow();
  frame.commands().UpdateAll();
  QVERIFY(frame.commands().Find(57602)->isEnabled());
  frame.commands().Find(57602)->trigger();
  QTRY_COMPARE(frame.mdi()->subWindowList().size(), qsizetype(0));
  frame.commands().UpdateAll();
  QVERIFY(!frame.commands().Find(57602)->isEnabled());
}

QTEST_MAIN(FrameTest)
#include "frame_test.moc"
