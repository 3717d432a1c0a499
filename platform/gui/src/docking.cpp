// The dockable menu bar, the push pin and the push-pin frame.

#include "harrowgui/docking.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace harrowgui {

// ---- Menu bar -------------------------------------------------------------------

MenuDockBar::MenuDockBar(QWidget* parent) : QToolBar("Menu Bar", parent) {
  setObjectName("CMenuDockBar");
  setAllowedAreas(Qt::AllToolBarAreas);
  setMovable(true);
  setFloatable(true);
  row_ = new QMenuBar(this);
  row_->setObjectName("MenuBarRow");
  row_->setNativeMenuBar(false);  // it lives in the bar, not the desktop's
  column_ = new QWidget(this);
  column_->setObjectName("MenuBarColumn");
  auto* stack = new QVBoxLayout(column_);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);
  row_action_ = addWidget(row_);
  column_action_ = addWidget(column_);
  connect(this, &QToolBar::orientationChanged, this, &MenuDockBar::ShowFor);
  ShowFor(orientation());
}

void MenuDockBar::ShowFor(Qt::Orientation orientation) {
  row_action_->setVisible(orientation == Qt::Horizontal);
  column_action_->setVisible(orientation == Qt::Vertical);
}

QMenu* MenuDockBar::AddMenu(const QString& title) {
  auto* menu = new QMenu(title, this);
  QString plain = title;
  plain.remove('&').remove(' ');
  menu->setObjectName("Menu" + plain + "Popup");
  row_->addMenu(menu);
  auto* button = new QToolButton(column_);
  button->setObjectName("Menu" + plain);
  button->setText(title);  // "&File": Alt+F presses the button while it shows
  button->setMenu(menu);
  button->setPopupMode(QToolButton::InstantPopup);
  button->setAutoRaise(true);
  button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // No drop-down arrow: the buttons read like a menu bar's titles.
  button->setStyleSheet("QToolButton::menu-indicator { image: none; width: 0px; }");
  column_->layout()->addWidget(button);
  menus_ << menu;
  return menu;
}

// ---- Push pin ---------------------------------------------------------------------

PushPinButton::PushPinButton(QWidget* parent) : QAbstractButton(parent) {
  setObjectName("CPushPinButton");
  setFocusPolicy(Qt::NoFocus);
  resize(sizeHint());
  connect(this, &QAbstractButton::clicked, this, [this] { SetPinned(!pinned_); });
}

void PushPinButton::SetPinned(bool pinned) {
  pinned_ = pinned;
  update();
}

void PushPinButton::SetStyle(int style) {
  if (style == style_) return;
  style_ = style;
  resize(sizeHint());
  updateGeometry();
  if (parentWidget() != nullptr) parentWidget()->update();
  update();
}

QSize PushPinButton::sizeHint() const { return style_ == 0 ? QSize(23, 22) : QSize(16, 15); }

// A pin seen from above when pinned (head and needle pointing down into the
// window), from the side when not.
void PushPinButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QPalette& colors = palette();
  const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
  const QColor head = pinned_ ? QColor(200, 40, 40) : colors.color(QPalette::Dark);
  p.setPen(QPen(colors.color(QPalette::WindowText), 1));
  if (pinned_) {
    const qreal r = box.width() * 0.3;
    const QPointF c = box.center() - QPointF(0, box.height() * 0.1);
    p.drawLine(c, QPointF(c.x(), box.bottom()));
    p.setBrush(head);
    p.drawEllipse(c, r, r);
  } else {
    const qreal y = box.center().y();
    p.drawLine(QPointF(box.left(), y), QPointF(box.left() + box.width() * 0.45, y));
    p.setBrush(head);
    p.drawRect(QRectF(box.left() + box.width() * 0.45, y - box.height() * 0.25,
                      box.width() * 0.2, box.height() * 0.5));
    p.drawRect(QRectF(box.left() + box.width() * 0.65, y - box.height() * 0.4,
                      box.width() * 0.3, box.height() * 0.8));
  }
}

// ---- Push-pin frame ------------------------------------------------------------------

PushPinFrame::PushPinFrame(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName("CPushPinFrame");
}

bool PushPinFrame::Create() {
  if (sheet_ != nullptr) return true;
  QWidget* sheet = factory_ ? factory_(this) : nullptr;
  if (sheet == nullptr) return false;
  sheet_ = sheet;
  sheet_->setParent(this);
  sheet_->adjustSize();
  const QSize size = sheet_->size();
  sheet_->move(20, 0);
  sheet_->show();
  resize(size.width() + 20, size.height());
  pin_ = new PushPinButton(this);
  pin_->move(2, 8);
  pin_->SetPinned(true);
  pin_->SetStyle(1);
  pin_->show();
  return true;
}

void PushPinFrame::paintEvent(QPaintEvent*) {
  QPainter(this).fillRect(rect(), palette().color(QPalette::Button));
}

void PushPinFrame::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();  // closing only hides; the sheet stays for next time
}

bool PushPinFrame::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
    if (sheet_ != nullptr) {
      QEvent copy(event->type());
      QCoreApplication::sendEvent(sheet_, &copy);
    }
    if (event->type() == QEvent::WindowDeactivate && pin_ != nullptr && !pin_->pinned()) {
      QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
  }
  return QWidget::event(event);
}

}  // namespace harrowgui
