// The main status bar on its own under QT_QPA_PLATFORM=offscreen: pane
// records, progress panes, bitmap placement, scrolling and its timer, hit
// tests and the mouse events passed to the owner.

#include <QDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "status_bar.h"

using admdesk::MainStatusBar;

class StatusBarTest : public QObject {
  Q_OBJECT

 private slots:
  void colorsAsCallersWriteThem_data();
  void colorsAsCallersWriteThem();
  void settingIndicatorsAgainResetsEveryPane();
  void progressPaneOwnsItsControl();
  void bitmapPanePlacement_data();
  void bitmapPanePlacement();
  void scrollingTextRestartsFromTheRightEdge_data();
  void scrollingTextRestartsFromTheRightEdge();
  void tiledTextScrollsBackToOne();
  void hitTestAndMouseEventsForTheOwner();

 private:
  // A bar 300 x 24 with pane 0 fixed at width and pane 1 stretched.
  static void Prepare(MainStatusBar* bar, int width);
};

void StatusBarTest::Prepare(MainStatusBar* bar, int width) {
  QVERIFY(bar->Create(nullptr, {admdesk::kSeparatorId, admdesk::kSeparatorId},
                      admdesk::kPaneStyleStretch));
  bar->SetPaneInfoStyle(0, 0);
  bar->SetPaneInfoStyle(1, admdesk::kPaneStyleStretch);
  bar->SetPaneInfoWidth(0, width);
  bar->resize(300, 24);
}

void StatusBarTest::colorsAsCallersWriteThem_data() {
  QTest::addColumn<long>("ref");
  QTest::addColumn<QColor>("color");
  QTest::newRow("blue") << 0xFF0000L << QColor(0, 0, 255);
  QTest::newRow("red") << 0x0000FFL << QColor(255, 0, 0);
  QTest::newRow("mixed") << 0x123456L << QColor(0x56, 0x34, 0x12);
  QTest::newRow("default") << -1L << QColor();
}

void StatusBarTest::colorsAsCallersWriteThem() {
  QFETCH(long, ref);
  QFETCH(QColor, color);
  QCOMPARE(admdesk::ColorFromRef(ref), color);
}

void StatusBarTest::settingIndicatorsAgainResetsEveryPane() {
  MainStatusBar bar;
  Prepare(&bar, 80);
  const admdesk::StatusBarPane fresh = bar.GetPane(1);
  QCOMPARE(fresh.flags, admdesk::kPaneText);
  QCOMPARE(fresh.background, bar.palette().color(QPalette::Window));
  bar.SetPaneTexts(1, "a", "b");
  bar.SetPaneColors(1, Qt::red, Qt::green);
  bar.SetPaneBackgrounds(1, Qt::yellow, QColor());
  QCOMPARE(bar.GetPane(1).disabled_background, bar.palette().color(QPalette::Window));
  bar.SetPaneFontHeight(1, 12);
  bar.SetPaneStyle(1, admdesk::kPaneBitmap | admdesk::kPaneScrollH);
  QVERIFY(bar.SetIndicators({0, 0, 108}));
  QCOMPARE(bar.PaneCount(), 3);
  for (int i = 0; i < 3; ++i) {
    const admdesk::StatusBarPane& pane = bar.GetPane(i);
    QCOMPARE(pane.flags, admdesk::kPaneText);
    QVERIFY(pane.text.isEmpty() && pane.disabled_text.isEmpty());
    QCOMPARE(pane.text_color, fresh.text_color);
    QCOMPARE(pane.disabled_text_color, fresh.disabled_text_color);
    QCOMPARE(pane.background, fresh.background);
    QCOMPARE(pane.font, fresh.font);
    QCOMPARE(pane.h_offset, 0);
  }
  QVERIFY(!bar.SetIndicators({}));
}

void StatusBarTest::progressPaneOwnsItsControl() {
  MainStatusBar bar;
  Prepare(&bar, 80);
  bar.SetPaneStyle(0, admdesk::kPaneProgress | admdesk::kPaneSmooth);
  QPointer<QProgressBar> first = bar.findChild<QProgressBar*>("PaneProgress0");
  QVERIFY(first);
  QCOMPARE(bar.GetPane(0).control.data(), first.data());
  bar.SetPaneStyle(0, admdesk::kPaneProgress);  // still a progress pane: the same control
  QCOMPARE(bar.GetPane(0).control.data(), first.data());
  bar.grab();  // painting lays the control over its pane, inside the frame
  QCOMPARE(first->geometry(), bar.PaneRect(0).adjusted(2, 2, -2, -2));
  bar.SetPaneStyle(0, admdesk::kPaneText);
  QVERIFY(first.isNull());
  bar.SetPaneStyle(0, admdesk::kPaneProgress);
  QVERIFY(bar.findChild<QProgressBar*>("PaneProgress0"));
  // A copied record has no control of its own; the source keeps its.
  admdesk::StatusBarPane copy = bar.GetPane(0);
  QVERIFY(copy.control.isNull());
  QVERIFY(!bar.GetPane(0).control.isNull());
  // Resetting the indicators deletes the controls with the records.
  QPointer<QProgressBar> second = bar.GetPane(0).control.data();
  bar.SetIndicators({0, 0});
  QVERIFY(second.isNull());
}

void StatusBarTest::bitmapPanePlacement_data() {
  QTest::addColumn<uint>("flags");
  QTest::addColumn<QString>("red_at");    // where the bitmap must show
  QTest::addColumn<QString>("clear_at");  // where it must not
  using namespace admdesk;
  QTest::newRow("top left") << uint(kPaneBitmap) << "tl" << "tr";
  QTest::newRow("right") << uint(kPaneBitmap | kFormatRight) << "tr" << "tl";
  QTest::newRow("centred") << uint(kPaneBitmap | kFormatCenter | kFormatVCenter) << "c" << "tl";
  QTest::newRow("bottom right") << uint(kPaneBitmap | kFormatBottom | kFormatRight) << "br" << "tr";
  QTest::newRow("stretched") << uint(kPaneBitmap | kPaneStretch) << "tl,tr,br,c" << "";
  QTest::newRow("tiled") << uint(kPaneBitmap | kPaneTile) << "tl,tr,br,c" << "";
  QTest::newRow("tiled, one row") << uint(kPaneBitmap | kPaneTile | kPaneScrollH) << "tr" << "br";
  QTest::newRow("text pane") << uint(kPaneText) << "" << "tl,c";
}

void StatusBarTest::bitmapPanePlacement() {
  QFETCH(uint, flags);
  QFETCH(QString, red_at);
  QFETCH(QString, clear_at);
  QTemporaryDir dir;
  const QString file = dir.filePath("red.png");
  QPixmap red(10, 8);
  red.fill(Qt::red);
  QVERIFY(red.save(file));
  MainStatusBar bar;
  Prepare(&bar, 100);
  bar.SetPaneTexts(0, file, file);
  bar.SetPaneStyle(0, flags);
  const QImage image = bar.grab().toImage();
  const QRect inner = bar.PaneRect(0).adjusted(1, 1, -1, -1);  // inside the sunken frame
  QVERIFY(inner.height() > 12 && inner.width() > 40);
  auto point = [&](const QString& where) {
    if (where == "tl") return inner.topLeft() + QPoint(1, 1);
    if (where == "tr") return inner.topRight() + QPoint(-1, 1);
    if (where == "br") return inner.bottomRight() + QPoint(-1, -1);
    return inner.center();
  };
  for (const QString& where : red_at.split(',', Qt::SkipEmptyParts)) {
    QVERIFY2(image.pixelColor(point(where)) == QColor(Qt::red), qPrintable(where));
  }
  for (const QString& where : clear_at.split(',', Qt::SkipEmptyParts)) {
    QVERIFY2(image.pixelColor(point(where)) != QColor(Qt::red), qPrintable(where));
  }
}

void StatusBarTest::scrollingTextRestartsFromTheRightEdge_data() {
  QTest::addColumn<uint>("scroll");
  QTest::newRow("horizontal") << uint(admdesk::kPaneScrollH);
  QTest::newRow("vertical") << uint(admdesk::kPaneScrollV);
}

void StatusBarTest::scrollingTextRestartsFromTheRightEdge() {
  QFETCH(uint, scroll);
  const bool horizontal = scroll == admdesk::kPaneScrollH;
  MainStatusBar bar;
  Prepare(&bar, 120);
  bar.SetPaneTexts(0, "Scrolling", "Scrolling");
  bar.SetPaneStyle(0, admdesk::kPaneText | scroll);
  QVERIFY(!bar.animating());
  const QSize text = QFontMetrics(bar.GetPane(0).font).size(Qt::TextShowMnemonic, "Scrolling");
  const QRect area = bar.PaneRect(0).adjusted(1 + 2, 1, -1 - 2, -1);  // frame and text inset
  const int extent = horizontal ? text.width() : text.height();
  // Each paint moves the text by one pixel; past its own size it starts
  // again from the far edge of the pane.
  for (int step = 1; step <= extent; ++step) {
    bar.grab();
    const auto& pane = bar.GetPane(0);
    QCOMPARE(horizontal ? pane.h_offset : pane.v_offset, step);
  }
  QVERIFY(bar.animating());  // a scrolling pane keeps the one-second timer
  bar.grab();
  const auto& pane = bar.GetPane(0);
  QCOMPARE(horizontal ? pane.h_offset : pane.v_offset,
           horizontal ? -area.width() : -area.height());
  bar.SetPaneStyle(0, admdesk::kPaneText);
  bar.grab();
  QVERIFY(!bar.animating());  // no scrolling pane left: the timer stops
}

void StatusBarTest::tiledTextScrollsBackToOne() {
  MainStatusBar bar;
  Prepare(&bar, 120);
  bar.SetPaneTexts(0, "ab", "ab");
  bar.SetPaneStyle(0, admdesk::kPaneText | admdesk::kPaneTile | admdesk::kPaneScrollH);
  const int width = QFontMetrics(bar.GetPane(0).font).size(Qt::TextShowMnemonic, "ab").width();
  for (int step = 1; step <= width; ++step) bar.grab();
  QCOMPARE(bar.GetPane(0).h_offset, width);
  bar.grab();
  QCOMPARE(bar.GetPane(0).h_offset, 1);
}

void StatusBarTest::hitTestAndMouseEventsForTheOwner() {
  QDialog owner;
  owner.resize(400, 200);
  auto* bar = new MainStatusBar(&owner);
  QVERIFY(bar->Create(&owner, {0, 0, 108}, admdesk::kPaneStyleStretch));
  bar->SetPaneInfoWidth(1, 60);
  bar->SetPaneInfoWidth(2, 60);
  bar->setGeometry(10, 150, 380, 24);
  owner.show();
  QVERIFY(QTest::qWaitForWindowExposed(&owner));
  // A dialog owner gives points in its own coordinates.
  for (int i = 0; i < 3; ++i) {
    QCOMPARE(bar->HitTest(bar->PaneRect(i).center() + QPoint(10, 150)), i);
  }
  QCOMPARE(bar->HitTest(QPoint(0, 0)), -1);
  QVERIFY(bar->PaneRect(0).width() > bar->PaneRect(1).width());  // pane 0 stretches

  QSignalSpy spy(bar, &MainStatusBar::mouseMessage);
  const QPoint at = bar->PaneRect(1).center();
  QTest::mouseClick(bar, Qt::RightButton, {}, at);
  QTest::mouseDClick(bar, Qt::LeftButton, {}, at);
  QVERIFY(spy.size() >= 3);
  QCOMPARE(spy.at(0).at(0).toInt(), int(QEvent::MouseButtonPress));
  QCOMPARE(spy.at(0).at(1).toPoint(), at);
  QCOMPARE(spy.at(0).at(2).value<Qt::MouseButtons>(), Qt::MouseButtons(Qt::RightButton));
  QCOMPARE(spy.at(1).at(0).toInt(), int(QEvent::MouseButtonRelease));
  bool double_click = false;
  for (const auto& call : spy) double_click |= call.at(0).toInt() == QEvent::MouseButtonDblClick;
  QVERIFY(double_click);
}

QTEST_MAIN(StatusBarTest)
#include "status_bar_test.moc"
