// docking.h: the console's docking pieces that plain Qt lacks.
//
//   MenuDockBar     a menu bar that is a tool bar: it docks on any side of
//                   its main window and floats in its own small window; its
//                   place is kept with the window's saved state. Lying
//                   (top, bottom, floating) it holds a real menu bar, with
//                   its keyboard handling; standing (left, right) one button
//                   per menu, stacked
//   PushPinButton   CPushPinButton: a two-state pin that keeps a window open
//   PushPinFrame    CPushPinFrame: a small tool window hosting a sheet beside
//                   a pin; it hides when it loses activation unless pinned
#ifndef HARROWGUI_DOCKING_H_
#define HARROWGUI_DOCKING_H_

#include <QAbstractButton>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <functional>

namespace harrowgui {

// objectName "CMenuDockBar"; the lying menu bar "MenuBarRow", the standing
// column "MenuBarColumn" with one button per menu, "Menu<title without &>"
// ("MenuFile" for "&File"), and the menus "Menu<title>Popup". Alt with the
// underlined letter opens a menu either way.
class MenuDockBar : public QToolBar {
  Q_OBJECT
 public:
  explicit MenuDockBar(QWidget* parent = nullptr);
  // A new menu titled title, at the end of the bar.
  QMenu* AddMenu(const QString& title);
  QList<QMenu*> menus() const { return menus_; }
  QMenuBar* row() const { return row_; }
  QWidget* column() const { return column_; }

 private:
  void ShowFor(Qt::Orientation orientation);

  QList<QMenu*> menus_;
  QMenuBar* row_;
  QWidget* column_;
  QAction* row_action_;
  QAction* column_action_;
};

class PushPinButton : public QAbstractButton {
  Q_OBJECT
 public:
  explicit PushPinButton(QWidget* parent = nullptr);
  bool pinned() const { return pinned_; }
  void SetPinned(bool pinned);
  int style() const { return style_; }
  // 0 or 1 (a smaller pin); a change resizes the button.
  void SetStyle(int style);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool pinned_ = false;
  int style_ = 0;
};

class PushPinFrame : public QWidget {
  Q_OBJECT
 public:
  // Makes the hosted sheet as a child of the frame; null when it cannot.
  using SheetFactory = std::function<QWidget*(QWidget* frame)>;
  explicit PushPinFrame(QWidget* parent = nullptr);
  void SetSheetClass(SheetFactory factory) { factory_ = std::move(factory); }
  // Creates the sheet and the pin and sizes the frame: 20 pixels wider than
  // the sheet, as high, the sheet 20 pixels from the left, the pin at (2, 8),
  // pinned, style 1. False (and no sheet) when the sheet cannot be made.
  bool Create();
  QWidget* sheet() const { return sheet_; }
  PushPinButton* pin() const { return pin_; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  PushPinButton* pin_ = nullptr;
  SheetFactory factory_;
  QWidget* sheet_ = nullptr;
};

}  // namespace harrowgui

#endif  // HARROWGUI_DOCKING_H_
