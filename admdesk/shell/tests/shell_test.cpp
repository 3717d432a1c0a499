// The console's windows under QT_QPA_PLATFORM=offscreen, with a temporary
// profile and install directory.

#include <QHeaderView>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <sys/stat.h>

#include "netcore/netcore.h"
#include "shell.h"

using admdesk::ChildFrame;
using admdesk::MainFrame;

class ShellTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void windowsAreFoundByObjectName();
  void closingWritesPlacementAndSplitters();
  void restartRestoresWinSize_data();
  void restartRestoresWinSize();
  void splitterSizesComeBack();
  void traceRowDoubleClickShowsItsReason();
  void attributeAndRefreshCommandsReachTheNetworkWindow();
  void progressCancelIsSeenByTheWaitingCode();
  void progressPercentText_data();
  void progressPercentText();
  void progressCancelTwiceIsOneCancel();
  void documentsAreFoundByKindAndTitle();
  void statusBarPanes();
  void commandStatesFollowTheWindows();
  void dockingLayoutComesBackUnderOneName();
  void networkWindowOpensMaximisedWithoutAStoredSize();
  void eventsReachTheEventPane();

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<admclient::IniProfile> profile_;
  admclient::FixedClock clock_{1765366245};
};

void ShellTest::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  qputenv("HRLCOMPACT", dir_->path().toLocal8Bit());
  profile_ = std::make_unique<admclient::IniProfile>((dir_->path() + "/admdesk.ini").toStdString());
}

void ShellTest::cleanup() {
  profile_.reset();
  dir_.reset();
}

void ShellTest::windowsAreFoundByObjectName() {
  MainFrame frame(*profile_, clock_);
  frame.OpenNetworkWindow();
  frame.show();
  QVERIFY(frame.findChild<QWidget*>("CMainStatusBar"));
  QVERIFY(frame.findChild<QDockWidget*>("CTraceBar"));
  QCOMPARE(frame.findChild<QDockWidget*>("CTraceBar")->windowTitle(), QString("Trace"));
  auto* commands = frame.findChild<QTreeWidget*>("Commands");
  QVERIFY(commands);
  QCOMPARE(commands->columnCount(), 5);
  QCOMPARE(commands->headerItem()->text(0), QString("Command Status"));
  QCOMPARE(commands->headerItem()->text(4), QString("Reason"));
  const QFontMetrics metrics(commands->header()->font());
  QCOMPARE(commands->columnWidth(0), metrics.horizontalAdvance("Command Status") + 270);
  QCOMPARE(commands->columnWidth(4), metrics.horizontalAdvance("Reason") + 150);
  auto* child = frame.findChild<ChildFrame*>("CChildFrame");
  QVERIFY(child);
  QCOMPARE(child->windowTitle(), QString("MQSeries Network"));
  auto* tree = child->findChild<QWidget*>("CWharfTreeViewOAM");
  auto* attributes = child->findChild<QWidget*>("CWharfListView");
  auto* events = child->findChild<QWidget*>("CMQEventList");
  QVERIFY(tree && attributes && events);
  // Tree on the left; attributes over events on the right.
  QCOMPARE(child->outer()->widget(0), tree);
  QCOMPARE(child->inner()->widget(0), attributes);
  QCOMPARE(child->inner()->widget(1), events);
  QVERIFY(frame.findChild<QWidget*>("MainToolBar"));
}

void ShellTest::closingWritesPlacementAndSplitters() {
  profile_->WriteInt("Settings", "WinMaximized", 0);
  {
    MainFrame frame(*profile_, clock_);
    frame.RestorePlacement();
    frame.OpenNetworkWindow();
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.close();
  }
  QRegularExpression rect("^\\d{4} \\d{4} \\d{4} \\d{4}$");
  QVERIFY(rect.match(QString::fromStdString(profile_->GetString("Settings", "WinSize"))).hasMatch());
  QVERIFY(rect.match(QString::fromStdString(profile_->GetString("Settings", "WinChildSize"))).hasMatch());
  QCOMPARE(profile_->GetString("Settings", "WinIconic"), std::string("0"));
  QCOMPARE(profile_->GetString("Settings", "WinMaximized"), std::string("1"));
  QVERIFY(profile_->GetInt("Settings", "VSplitterSize", -1) > 0);
  QVERIFY(profile_->GetInt("Settings", "HSplitterSize", -1) > 0);
  QVERIFY(!profile_->GetString("Settings", "BarState").empty());
}

void ShellTest::restartRestoresWinSize_data() {
  QTest::addColumn<QString>("win_size");
  QTest::addColumn<QRect>("expected");
  QTest::newRow("given") << "0100 0120 0900 0720" << QRect(100, 120, 800, 600);
  QTest::newRow("small") << "0010 0010 0500 0400" << QRect(10, 10, 490, 390);
  QTest::newRow("empty") << "" << QRect(10, 10, 490, 390);
}

void ShellTest::restartRestoresWinSize() {
  QFETCH(QString, win_size);
  QFETCH(QRect, expected);
  profile_->WriteString("Settings", "WinSize", win_size.toStdString());
  profile_->WriteInt("Settings", "WinMaximized", 0);
  MainFrame frame(*profile_, clock_);
  frame.RestorePlacement();
  frame.show();
  QVERIFY(QTest::qWaitForWindowExposed(&frame));
  QCOMPARE(frame.geometry(), expected);
  frame.close();
  QCOMPARE(QString::fromStdString(profile_->GetString("Settings", "WinSize")),
           admdesk::RectText(expected));
}

void ShellTest::splitterSizesComeBack() {
  profile_->WriteInt("Settings", "WinMaximized", 0);
  profile_->WriteString("Settings", "WinSize", "0000 0000 1000 0800");
  profile_->WriteInt("Settings", "VSplitterSize", 230);
  profile_->WriteInt("Settings", "HSplitterSize", 170);
  MainFrame frame(*profile_, clock_);
  frame.RestorePlacement();
  ChildFrame* child = frame.OpenNetworkWindow();
  frame.show();
  QVERIFY(QTest::qWaitForWindowExposed(&frame));
  child->outer()->setSizes({260, 500});
  child->inner()->setSizes({140, 300});
  frame.close();
  QCOMPARE(profile_->GetInt("Settings", "VSplitterSize", -1), child->outer()->sizes().value(0));
  QCOMPARE(profile_->GetInt("Settings", "HSplitterSize", -1), child->inner()->sizes().value(0));
}

void ShellTest::traceRowDoubleClickShowsItsReason() {
  MainFrame frame(*profile_, clock_);
  frame.show();
  QVERIFY(QTest::qWaitForWindowExposed(&frame));
  for (MQLONG reason : {2085, 0}) {
    mqPcfMessage* reply = CreatePcfMessage(MQCMD_DELETE_Q, 2, 512);
    reply->Cfh->CompCode = reason == 0 ? 0 : 2;
    reply->Cfh->Reason = reason;
    RawToPcf(reply);
    frame.results().ReportCommandResult(reply);
    DeletePcfMessage(reply);
  }
  QTreeWidget* list = frame.trace()->list();
  QCOMPARE(list->topLevelItemCount(), 2);
  QCOMPARE(list->topLevelItem(1)->text(0), QString("(RC - 2085), CMD - MQCMD_DELETE_Q - Failed!"));
  QRect rect = list->visualRect(list->model()->index(1, 0));  // the status cell of row 1
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  QVERIFY(frame.error_dialog() != nullptr);
  QCOMPARE(frame.error_dialog()->objectName(), QString("CErrorCodeDlg"));
  QCOMPARE(frame.error_dialog()->text(), QString("2085: Unknown object name"));
  QVERIFY(frame.error_dialog()->isVisible());
}

void ShellTest::attributeAndRefreshCommandsReachTheNetworkWindow() {
  MainFrame frame(*profile_, clock_);
  ChildFrame* child = frame.OpenNetworkWindow();
  frame.show();
  frame.mdi()->setActiveSubWindow(frame.mdi()->subWindowList().value(0));
  frame.commands().Find(32044)->trigger();
  QCOMPARE(child->refreshes, 1);
  struct {
    int command, all, run_time, statics;
  } rows[] = {{32043, 1, 1, 1}, {32042, 0, 0, 1}, {32041, 0, 1, 0}};
  for (const auto& r : rows) {
    frame.commands().Find(r.command)->trigger();
    QCOMPARE(child->filter.show_all, r.all);
    QCOMPARE(child->filter.show_run_time, r.run_time);
    QCOMPARE(child->filter.show_static, r.statics);
    for (int id : {32041, 32042, 32043}) {
      QCOMPARE(frame.commands().Find(id)->isChecked(), id == r.command);  // one radio item
    }
  }
  auto* f5 = child->findChild<QAction*>("RefreshF5");
  QVERIFY(f5);
  QCOMPARE(f5->shortcut(), QKeySequence(Qt::Key_F5));
}

void ShellTest::progressCancelIsSeenByTheWaitingCode() {
  // A group manager that accepts the connection and never answers.
  std::string key = (dir_->path() + "/signing.key").toStdString();
  std::ofstream(key) << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\n";
  chmod(key.c_str(), 0600);
  qputenv("HRLCOMPACT_SIGNING_KEY", QByteArray::fromStdString(key));
  SocketAddress address{};
  strcpy(address.host, "127.0.0.1");
  strcpy(address.service, "0");
  strcpy(address.protocol, "tcp");
  mqnMQNodeData* silent = CreateMQNode(&address, MQNODE_MODE_SERVER);
  QVERIFY(silent && silent->lastError == 0);
  profile_->WriteInt("Connections", "Number of Connections", 1);
  profile_->WriteString("Connections", "IP-Address_1", "127.0.0.1");
  profile_->WriteString("Connections", "IP-Port_1", std::to_string(silent->address.port));
  profile_->WriteString("Connections", "Authenticate_1", "Disabled");

  MainFrame frame(*profile_, clock_);
  harrowgui::ProgressDialog progress(&frame);
  admclient::ScriptedPrompter prompter;
  admclient::WaitPolicy policy;
  policy.first_wait_ms = 50;
  policy.step_ms = 50;
  policy.budget_steps = 200;  // 10 s at most
  admclient::ServerClient client(*profile_, prompter, progress, clock_, frame.results(), nullptr,
                                 policy);
  bool owner_was_disabled = false;
  QTimer::singleShot(300, &progress, [&progress, &frame, &owner_was_disabled] {
    owner_was_disabled = !frame.isEnabled();
    QTest::mouseClick(progress.findChild<QPushButton*>("ProgressCancel"), Qt::LeftButton);
  });
  std::vector<bool> outcome = client.ConnectAll();
  QCOMPARE(outcome.size(), size_t{1});
  QVERIFY(outcome[0]);  // connected; the registration reply never came
  QVERIFY(owner_was_disabled);
  QVERIFY(progress.cancel_seen());
  QVERIFY(frame.isEnabled());  // the owner is enabled again
  QCOMPARE(client.cpcf().node[1]->lastError, 10053);
  QCOMPARE(client.busy(), 0);
  QVERIFY(!progress.isVisible());
  QCOMPARE(progress.value(), policy.budget_steps);  // the bar ends full
  QCOMPARE(prompter.shown().size(), size_t{1});
  QVERIFY(prompter.shown()[0].text.find("error code: 10053") != std::string::npos);
  DeleteMQNode(silent);
}

void ShellTest::progressPercentText_data() {
  QTest::addColumn<int>("position");
  QTest::addColumn<QString>("text");
  QTest::newRow("start") << 0 << "0 ";
  QTest::newRow("one") << 1 << "0 ";
  QTest::newRow("half") << 60 << "50 ";
  QTest::newRow("last below") << 119 << "99 ";
  QTest::newRow("end") << 120 << "100 ";
}

void ShellTest::progressPercentText() {
  QFETCH(int, position);
  QFETCH(QString, text);
  harrowgui::ProgressDialog progress;
  progress.SetRange(0, 120);
  QCOMPARE(progress.PercentText(position), text);
  progress.Create();
  progress.SetPos(position);
  QCOMPARE(progress.findChild<QLabel*>("ProgressPercent")->text(), text);
  progress.Destroy();
}

void ShellTest::progressCancelTwiceIsOneCancel() {
  QWidget owner;
  owner.show();
  harrowgui::ProgressDialog progress(&owner);
  QCOMPARE(progress.windowTitle(), QString("Waiting for response. Please wait."));
  progress.SetStatusText("Connection: 127.0.0.1(4005)");
  progress.SetRange(0, 120);
  progress.Create();
  QVERIFY(!owner.isEnabled());
  auto* cancel = progress.findChild<QPushButton*>("ProgressCancel");
  QTest::mouseClick(cancel, Qt::LeftButton);
  QTest::mouseClick(cancel, Qt::LeftButton);
  QVERIFY(progress.isVisible());  // Cancel leaves the dialog open
  QVERIFY(progress.IsCancelled());
  QVERIFY(!progress.IsCancelled());
  QCOMPARE(progress.findChild<QLineEdit*>("ProgressText")->text(),
           QString("Connection: 127.0.0.1(4005)"));
  progress.Destroy();
  QVERIFY(owner.isEnabled());
  // An owner that was disabled before stays disabled.
  owner.setEnabled(false);
  progress.Create();
  progress.Destroy();
  QVERIFY(!owner.isEnabled());
}

void ShellTest::documentsAreFoundByKindAndTitle() {
  MainFrame frame(*profile_, clock_);
  ChildFrame* child = frame.OpenNetworkWindow();
  QCOMPARE(harrowgui::FindDocument(frame.mdi(), 1, "MQSeries Network"), child);
  QCOMPARE(harrowgui::FindDocument(frame.mdi(), 2, "MQSeries Network"), nullptr);
  QCOMPARE(harrowgui::DocumentTitle("MQSeries Network:2"), QString("MQSeries Network"));
  QCOMPARE(harrowgui::DocumentTitle("Channel Status 3"), QString("Channel Status"));
  QCOMPARE(harrowgui::DocumentTitle("\\\\G\\N\\Q\\Channel Status"),
           QString("\\\\G\\N\\Q\\Channel Status"));
  QCOMPARE(harrowgui::DocumentKindName(7), QString("ZOR"));
  QCOMPARE(harrowgui::DocumentKindName(9), QString());
}

void ShellTest::statusBarPanes() {
  qputenv("TZ", "UTC");
  tzset();
  MainFrame frame(*profile_, clock_);  // the clock reads Wed Dec 10 2025 11:30:45 UTC
  qunsetenv("TZ");
  tzset();
  admdesk::MainStatusBar* bar = frame.status();
  QCOMPARE(bar->objectName(), QString("CMainStatusBar"));
  QCOMPARE(bar->PaneCount(), 4);
  QCOMPARE(bar->GetPaneInfoId(2), 108);
  QCOMPARE(bar->GetPaneInfoId(3), 109);
  QCOMPARE(bar->ShownText(0), QString("Ready"));
  bar->SetPaneTexts(1, "Last Updated: 11:30", "(not connected)");
  bar->SetPaneColors(1, admdesk::ColorFromRef(0xFF0000), admdesk::ColorFromRef(-1));
  QCOMPARE(bar->ShownText(1), QString("Last Updated: 11:30"));
  QCOMPARE(bar->GetPane(1).text_color, QColor(Qt::blue));
  const QColor menu = bar->palette().color(QPalette::Window);
  QCOMPARE(bar->GetPane(1).disabled_text_color,
           QColor(menu.red() / 2, menu.green() / 2, menu.blue() / 2));
  bar->SetPaneInfoStyle(1, admdesk::kPaneStyleDisabled);
  QCOMPARE(bar->ShownText(1), QString("(not connected)"));
  bar->SetPaneTexts(1, "Last Updated: 11:30", "");
  QCOMPARE(bar->ShownText(1), QString());  // nothing of its own, nor the bar's
  bar->SetPaneText(1, "own");
  QCOMPARE(bar->ShownText(1), QString("own"));
  bar->SetPaneFontHeight(1, 17);
  QCOMPARE(bar->GetPane(1).font.pixelSize(), 17);
  bar->SetPaneFontName(1, "MS Sans Serif 10");
  QCOMPARE(bar->GetPane(1).font.family(), QString("MS Sans Serif 10"));
  bar->SetPaneFont(1, "Monospace", 95);
  QCOMPARE(bar->GetPane(1).font.pointSizeF(), 9.5);
  bar->SetPaneNumbers(1, 42, -7);
  QCOMPARE(bar->GetPane(1).text, QString("42"));
  QCOMPARE(bar->GetPane(1).disabled_text, QString("-7"));
  QCOMPARE(bar->GetPaneText(2), QString("Wed, Dec 10, 25 "));
  QCOMPARE(bar->GetPaneText(3), QString("11:30  "));
  // The clock panes are as wide as their texts.
  QCOMPARE(bar->GetPaneInfoWidth(2), QFontMetrics(bar->BarFont()).horizontalAdvance("Wed, Dec 10, 25 "));
}

void ShellTest::commandStatesFollowTheWindows() {
  MainFrame frame(*profile_, clock_);
  frame.show();
  harrowgui::CommandTable& t = frame.commands();
  t.UpdateAll();
  for (int id : {32073, 32076, 32082, 32083, 32084, 32085, 32041, 32044}) {
    QVERIFY2(!t.Find(id)->isEnabled(), qPrintable(QString::number(id)));
  }
  QVERIFY(t.Find(32100)->isEnabled());
  int connections = 0, flags_changed = 0;
  frame.on_connections = [&] { ++connections; };
  frame.on_tree_flags_changed = [&] { ++flags_changed; };
  t.Find(32100)->trigger();
  QCOMPARE(connections, 1);
  t.Find(57600)->trigger();  // a network window
  QVERIFY(t.Find(32082)->isEnabled());
  QVERIFY(t.Find(32082)->isChecked());
  QVERIFY(!t.Find(32083)->isChecked());
  t.Find(32084)->trigger();  // channels off, and client connections with them
  QVERIFY(!frame.show_channels && !frame.show_client_connections);
  QVERIFY(!t.Find(32084)->isChecked());
  QCOMPARE(flags_changed, 1);
  t.Find(32074)->trigger();
  QVERIFY(!frame.trace()->isVisible());
  t.UpdateAll();
  QVERIFY(!t.Find(32074)->isChecked());
  t.Find(59393)->trigger();
  QVERIFY(!frame.status()->isVisible());
}

void ShellTest::dockingLayoutComesBackUnderOneName() {
  profile_->WriteInt("Settings", "WinMaximized", 0);
  {
    MainFrame frame(*profile_, clock_);
    frame.RestorePlacement();
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.removeDockWidget(frame.trace());
    frame.addDockWidget(Qt::RightDockWidgetArea, frame.trace());
    frame.trace()->show();
    frame.close();
  }
  MainFrame again(*profile_, clock_);
  again.RestorePlacement();
  again.show();
  QVERIFY(QTest::qWaitForWindowExposed(&again));
  QCOMPARE(again.dockWidgetArea(again.trace()), Qt::RightDockWidgetArea);
}

void ShellTest::networkWindowOpensMaximisedWithoutAStoredSize() {
  MainFrame frame(*profile_, clock_);
  frame.mdi()->setViewMode(QMdiArea::SubWindowView);
  frame.show();
  ChildFrame* first = frame.OpenNetworkWindow();
  QVERIFY(first->parentWidget()->isMaximized());
  first->outer()->setSizes({210, 400});
  const int tree_width = first->outer()->sizes().value(0);
  first->parentWidget()->close();  // a maximised MDI child maximises the next one too
  QCOMPARE(profile_->GetInt("Settings", "VSplitterSize", -1), tree_width);  // saved as it closed
  profile_->WriteString("Settings", "WinChildSize", "0010 0020 0310 0");  // short: bottom 0
  profile_->WriteInt("Settings", "WinChildMaximized", 0);
  QCOMPARE(admdesk::RectFromText("0010 0020 0310 0", QRect()), QRect(10, 20, 300, -20));
  profile_->WriteString("Settings", "WinChildSize", "0010 0020 0310 0220");
  ChildFrame* second = frame.OpenNetworkWindow();
  QVERIFY(!second->parentWidget()->isMaximized());
  QCOMPARE(second->parentWidget()->geometry(), QRect(10, 20, 300, 200));
}

void ShellTest::eventsReachTheEventPane() {
  MainFrame frame(*profile_, clock_);
  ChildFrame* child = frame.OpenNetworkWindow();
  mqPcfMessage* event = CreatePcfMessage(EXCMD_ALTER_EVENT, 7, 256);
  event->Cfh->Reason = 20002;
  RawToPcf(event);
  admclient::EventSink* sink = child->events();
  sink->AddEvent(1, event);
  DeletePcfMessage(event);
  QCOMPARE(child->events()->topLevelItemCount(), 1);
  QCOMPARE(child->events()->topLevelItem(0)->text(0), QString("Alter"));
  QCOMPARE(child->events()->topLevelItem(0)->text(1), QString("Object Changed"));
  child->events()->SetEventListItem(0, 0, -1, "Manager Down");
  QCOMPARE(child->events()->topLevelItem(0)->text(0), QString("Manager Down"));
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
