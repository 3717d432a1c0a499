// The main status bar: pane records, layout, painting and the animation of
// scrolling panes.

#include "status_bar.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QSizeGrip>
#include <QTimerEvent>

#include <algorithm>

namespace admdesk {

namespace {

constexpr int kGripSize = 17;
constexpr int kPaneGap = 2;
constexpr int kPanePadding = 3;  // frame and inner margin on each side
constexpr int kTextInset = 2;
constexpr int kProgressWidth = 100;
constexpr int kAnimationPeriodMs = 1000;

// The bar paints its own grip lines; this grip only does the resizing.
class InvisibleGrip : public QSizeGrip {
 public:
  explicit InvisibleGrip(QWidget* parent) : QSizeGrip(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {}
};

int TextFlags(uint32_t format) {
  int flags = 0;
  flags |= (format & kFormatCenter) != 0  ? Qt::AlignHCenter
           : (format & kFormatRight) != 0 ? Qt::AlignRight
                                          : Qt::AlignLeft;
  flags |= (format & kFormatVCenter) != 0  ? Qt::AlignVCenter
           : (format & kFormatBottom) != 0 ? Qt::AlignBottom
                                           : Qt::AlignTop;
  if ((format & kFormatSingleLine) != 0) flags |= Qt::TextSingleLine;
  if ((format & kFormatWordBreak) != 0) flags |= Qt::TextWordWrap;
  if ((format & kFormatNoPrefix) == 0) flags |= Qt::TextShowMnemonic;
  return flags;
}

QPixmap LoadBitmap(const QString& name) {
  QPixmap pixmap;
  if (name.isEmpty()) return pixmap;
  if (!QPixmapCache::find(name, &pixmap) && pixmap.load(name)) QPixmapCache::insert(name, pixmap);
  return pixmap;
}

// One step of a scroll offset: on by one; past `extent` it starts again at
// `restart`.
void Advance(int32_t* offset, int extent, int restart) {
  ++*offset;
  if (*offset > extent) *offset = restart;
}

}  // namespace

QColor ColorFromRef(long ref) {
  if (ref < 0) return QColor();
  return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                static_cast<int>((ref >> 16) & 0xFF));
}

// ---- Pane records ---------------------------------------------------------------

StatusBarPane::StatusBarPane() = default;

StatusBarPane::StatusBarPane(const StatusBarPane& other) { *this = other; }

StatusBarPane& StatusBarPane::operator=(const StatusBarPane& other) {
  if (this == &other) return *this;
  delete control.data();
  control = nullptr;
  disabled_text_color = other.disabled_text_color;
  text_color = other.text_color;
  disabled_background = other.disabled_background;
  background = other.background;
  disabled_text = other.disabled_text;
  text = other.text;
  font = other.font;
  flags = other.flags;
  h_offset = other.h_offset;
  v_offset = other.v_offset;
  return *this;
}

StatusBarPane::~StatusBarPane() { delete control.data(); }

// ---- The bar ----------------------------------------------------------------------

MainStatusBar::MainStatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName("CMainStatusBar");
  setSizeGripEnabled(false);
  setMouseTracking(true);  // every move goes to the owner, not only drags
  grip_ = new InvisibleGrip(this);
  grip_->setObjectName("StatusGrip");
  grip_->resize(kGripSize, kGripSize);
  // Messages (menu prompts among them) show in pane 0.
  connect(this, &QStatusBar::messageChanged, this, [this](const QString& message) {
    if (PaneCount() > 0) SetPaneText(0, message.isEmpty() ? QString("Ready") : message);
  });
}

MainStatusBar::~MainStatusBar() { animation_.stop(); }

QColor MainStatusBar::MenuColor() const { return palette().color(QPalette::Window); }

void MainStatusBar::ResetPane(StatusBarPane* pane) const {
  *pane = StatusBarPane();
  const QColor menu = MenuColor();
  pane->disabled_text_color = QColor(menu.red() / 2, menu.green() / 2, menu.blue() / 2);
  pane->text_color = palette().color(QPalette::WindowText);
  pane->disabled_background = menu;
  pane->background = menu;
  pane->font = QApplication::font();
}

bool MainStatusBar::Create(QWidget* owner, const std::vector<int>& ids, uint32_t first_style) {
  owner_ = owner;
  if (!SetIndicators(ids)) {
    QMessageBox::warning(owner, "Harrowline Compact", "Unable to create Statusbar.");
    return false;
  }
  if (!ids.empty()) SetPaneInfoStyle(0, first_style);
  return true;
}

bool MainStatusBar::SetIndicators(const std::vector<int>& ids) {
  if (ids.empty()) return false;
  indicators_.assign(ids.size(), Indicator());
  for (size_t i = 0; i < ids.size(); ++i) indicators_[i].id = ids[i];
  panes_.resize(ids.size());
  for (StatusBarPane& pane : panes_) ResetPane(&pane);
  if (!ids.empty()) indicators_[0].text = "Ready";
  update();
  return true;
}

void MainStatusBar::SetPaneStyle(int index, uint32_t flags) {
  if (!Valid(index)) return;
  StatusBarPane& pane = panes_[index];
  pane.flags = flags;
  if ((flags & kPaneProgress) != 0) {
    if (pane.control == nullptr) {
      auto* bar = new QProgressBar(this);
      bar->setObjectName(QString("PaneProgress%1").arg(index));
      bar->setTextVisible(false);
      // A smooth bar is a plain one; otherwise the style's chunks show.
      bar->setProperty("smooth", (flags & kPaneSmooth) != 0);
      bar->setGeometry(QRect());
      bar->show();
      pane.control = bar;
    }
  } else if (pane.control != nullptr) {
    delete pane.control.data();
    pane.control = nullptr;
  }
  update();
}

void MainStatusBar::SetPaneTexts(int index, const QString& text, const QString& disabled_text) {
  if (!Valid(index)) return;
  panes_[index].text = text;
  panes_[index].disabled_text = disabled_text;
  updateGeometry();
  update();
}

void MainStatusBar::SetPaneNumbers(int index, int number, int disabled_number) {
  SetPaneTexts(index, QString::number(number), QString::number(disabled_number));
}

void MainStatusBar::SetPaneColors(int index, const QColor& text, const QColor& disabled_text) {
  if (!Valid(index)) return;
  const QColor menu = MenuColor();
  panes_[index].text_color = text;
  panes_[index].disabled_text_color =
      disabled_text.isValid() ? disabled_text
                              : QColor(menu.red() / 2, menu.green() / 2, menu.blue() / 2);
  update();
}

void MainStatusBar::SetPaneBackgrounds(int index, const QColor& background,
                                       const QColor& disabled) {
  if (!Valid(index)) return;
  panes_[index].background = background;
  panes_[index].disabled_background = disabled.isValid() ? disabled : MenuColor();
  update();
}

void MainStatusBar::SetPaneFontHeight(int index, int height) {
  if (!Valid(index) || height == 0) return;
  panes_[index].font.setPixelSize(std::abs(height));
  update();
}

void MainStatusBar::SetPaneFontName(int index, const QString& face) {
  if (!Valid(index)) return;
  panes_[index].font.setFamily(face);
  update();
}

void MainStatusBar::SetPaneFont(int index, const QString& face, int tenths_of_point) {
  if (!Valid(index) || tenths_of_point <= 0) return;
  QFont font(face);
  font.setPointSizeF(tenths_of_point / 10.0);
  panes_[index].font = font;
  update();
}

uint32_t MainStatusBar::SetPaneInfoStyle(int index, uint32_t style) {
  if (!Valid(index)) return 0;
  uint32_t old = indicators_[index].style;
  indicators_[index].style = style;
  update();
  return old;
}

int MainStatusBar::SetPaneInfoWidth(int index, int width) {
  if (!Valid(index)) return 0;
  int old = indicators_[index].width;
  indicators_[index].width = width;
  update();
  return old;
}

int MainStatusBar::GetPaneInfoId(int index) const {
  return Valid(index) ? indicators_[index].id : kSeparatorId;
}
uint32_t MainStatusBar::GetPaneInfoStyle(int index) const {
  return Valid(index) ? indicators_[index].style : 0;
}
int MainStatusBar::GetPaneInfoWidth(int index) const {
  return Valid(index) ? indicators_[index].width : 0;
}

void MainStatusBar::SetPaneText(int index, const QString& text) {
  if (!Valid(index)) return;
  indicators_[index].text = text;
  update();
}

QString MainStatusBar::GetPaneText(int index) const {
  return Valid(index) ? indicators_[index].text : QString();
}

QString MainStatusBar::ShownText(int index) const {
  if (!Valid(index)) return QString();
  const bool enabled = (indicators_[index].style & kPaneStyleDisabled) == 0;
  const QString& own = enabled ? panes_[index].text : panes_[index].disabled_text;
  return own.isEmpty() ? indicators_[index].text : own;
}

// ---- Layout -----------------------------------------------------------------------------

int MainStatusBar::ContentWidth(int index) const {
  const StatusBarPane& pane = panes_[index];
  switch (pane.flags & kPaneKindMask) {
    case kPaneProgress: return kProgressWidth;
    case kPaneBitmap: return LoadBitmap(ShownText(index)).width();
    case kPaneText:
    case kPaneTextToo:
      return QFontMetrics(pane.font).horizontalAdvance(ShownText(index)) + 2 * kTextInset;
    default: return 0;
  }
}

QRect MainStatusBar::PaneRect(int index) const {
  if (!Valid(index)) return QRect();
  const bool grip = window() == nullptr || !window()->isMaximized();
  const int available = width() - kPaneGap - (grip ? kGripSize : kPaneGap);
  std::vector<int> widths(indicators_.size());
  int fixed = 0, stretch = -1;
  for (size_t i = 0; i < indicators_.size(); ++i) {
    const Indicator& info = indicators_[i];
    const int content = info.width >= 0 ? info.width : ContentWidth(static_cast<int>(i));
    widths[i] = content + 2 * kPanePadding;
    if ((info.style & kPaneStyleStretch) != 0 && stretch < 0) {
      stretch = static_cast<int>(i);
      if (info.width < 0) widths[i] = 0;
    } else {
      fixed += widths[i] + kPaneGap;
    }
  }
  // The stretched pane takes what the others leave, and at least its width.
  if (stretch >= 0) widths[stretch] = std::max(widths[stretch], available - fixed - kPaneGap);
  int x = kPaneGap;
  for (int i = 0; i < index; ++i) x += widths[i] + kPaneGap;
  return QRect(x, 2, widths[index], std::max(0, height() - 3));
}

int MainStatusBar::HitTest(const QPoint& point) const {
  QPoint at = point;
  if (owner_ != nullptr && qobject_cast<QDialog*>(owner_) != nullptr) {
    at = mapFromGlobal(owner_->mapToGlobal(point));
  }
  for (int i = 0; i < PaneCount(); ++i) {
    if (PaneRect(i).contains(at)) return i;
  }
  return -1;
}

QSize MainStatusBar::sizeHint() const {
  int height = QFontMetrics(font()).height() + 8;
  for (const StatusBarPane& pane : panes_) {
    height = std::max(height, QFontMetrics(pane.font).height() + 8);
  }
  return QSize(200, height);
}

QSize MainStatusBar::minimumSizeHint() const { return QSize(kGripSize, sizeHint().height()); }

void MainStatusBar::PlaceGrip() {
  grip_->move(width() - kGripSize, height() - kGripSize);
  grip_->setVisible(window() == nullptr || !window()->isMaximized());
}

void MainStatusBar::resizeEvent(QResizeEvent* event) {
  QStatusBar::resizeEvent(event);
  PlaceGrip();
}

// ---- Painting ------------------------------------------------------------------------------

void MainStatusBar::paintEvent(QPaintEvent*) {
  QPixmap buffer(size() * devicePixelRatioF());
  buffer.setDevicePixelRatio(devicePixelRatioF());
  {
    QPainter painter(&buffer);
    PaintPanes(painter);
  }
  QPainter(this).drawPixmap(0, 0, buffer);
}

void MainStatusBar::PaintPanes(QPainter& painter) {
  const QPalette& colors = palette();
  painter.fillRect(rect(), colors.color(QPalette::Button));
  bool animated = false;
  for (int i = 0; i < PaneCount(); ++i) {
    StatusBarPane& pane = panes_[i];
    const Indicator& info = indicators_[i];
    QRect area = PaneRect(i);
    if (area.width() <= 0 || area.height() <= 0) continue;
    if ((info.style & kPaneStyleNoBorders) == 0) {
      const bool raised = (info.style & kPaneStylePopout) != 0;
      const QColor light = colors.color(QPalette::Light), dark = colors.color(QPalette::Dark);
      const QColor& top_left = raised ? light : dark;
      const QColor& bottom_right = raised ? dark : light;
      painter.setPen(top_left);
      painter.drawLine(area.topLeft(), area.topRight());
      painter.drawLine(area.topLeft(), area.bottomLeft());
      painter.setPen(bottom_right);
      painter.drawLine(area.bottomLeft(), area.bottomRight());
      painter.drawLine(area.topRight(), area.bottomRight());
      if (!raised) area.adjust(1, 1, -1, -1);
    }
    const bool enabled = (info.style & kPaneStyleDisabled) == 0;
    painter.save();
    painter.fillRect(area, enabled ? pane.background : pane.disabled_background);
    painter.setClipRect(area);
    switch (pane.flags & kPaneKindMask) {
      case kPaneProgress:
        if (pane.control != nullptr) pane.control->setGeometry(area.adjusted(1, 1, -1, -1));
        break;
      case kPaneText:
      case kPaneTextToo:
        DrawText(painter, pane, ShownText(i), area, enabled);
        break;
      case kPaneBitmap:
        DrawBitmap(painter, pane, enabled ? pane.text : pane.disabled_text, area);
        break;
      default: break;
    }
    painter.restore();
    if ((pane.flags & kPaneAnimated) != 0) animated = true;
  }
  if (animated && !animation_.isActive()) animation_.start(kAnimationPeriodMs, this);
  if (!animated && animation_.isActive()) animation_.stop();
  if (window() == nullptr || !window()->isMaximized()) {
    const QPen highlight(colors.color(QPalette::Light)), shadow(colors.color(QPalette::Dark));
    const int right = width() - 1, bottom = height() - 1;
    for (int i = 1; i <= kGripSize; ++i) {
      if (i % 4 == 2) continue;
      painter.setPen(i % 4 == 1 ? highlight : shadow);
      painter.drawLine(right - i, bottom, right, bottom - i);
    }
  }
}

void MainStatusBar::DrawText(QPainter& painter, StatusBarPane& pane, const QString& text,
                             QRect rect, bool enabled) {
  if (text.isEmpty()) return;
  uint32_t format = pane.flags & kPaneFormatMask;
  if ((pane.flags & kPaneScrollH) != 0) format &= ~(kFormatCenter | kFormatRight);
  painter.setFont(pane.font);
  painter.setPen(enabled ? pane.text_color : pane.disabled_text_color);
  const int flags = TextFlags(format);
  rect.adjust(kTextInset, 0, -kTextInset, 0);
  const QSize extent = QFontMetrics(pane.font).size(flags & Qt::TextShowMnemonic, text);
  const bool scroll_h = (pane.flags & kPaneScrollH) != 0;
  const bool scroll_v = (pane.flags & kPaneScrollV) != 0;
  if ((pane.flags & kPaneTile) == 0) {
    if (scroll_h) {
      Advance(&pane.h_offset, extent.width(), -rect.width());
      rect.setLeft(rect.left() - pane.h_offset);
    }
    if (scroll_v) {
      Advance(&pane.v_offset, extent.height(), -rect.height());
      rect.setTop(rect.top() - pane.v_offset);
    }
    painter.drawText(rect, flags, text);
    return;
  }
  if (scroll_h) Advance(&pane.h_offset, extent.width(), 1);
  if (scroll_v) Advance(&pane.v_offset, extent.height(), 1);
  if (!scroll_h && !scroll_v) {
    painter.drawText(rect, flags, text);
    return;
  }
  const int step_x = std::max(1, extent.width()), step_y = std::max(1, extent.height());
  const int first_x = scroll_h ? rect.left() - pane.h_offset : rect.left();
  const int first_y = scroll_v ? rect.top() - pane.v_offset : rect.top();
  for (int y = first_y; y < rect.bottom(); y += step_y) {
    for (int x = first_x; x < rect.right(); x += step_x) {
      painter.drawText(QRect(QPoint(x, y), extent), flags, text);
      if (!scroll_h) break;
    }
    if (!scroll_v) break;
  }
}

void MainStatusBar::DrawBitmap(QPainter& painter, StatusBarPane& pane, const QString& name,
                               QRect rect) {
  const QPixmap bitmap = LoadBitmap(name);
  if (bitmap.isNull()) return;
  const int w = bitmap.width(), h = bitmap.height();
  const bool scroll_h = (pane.flags & kPaneScrollH) != 0;
  const bool scroll_v = (pane.flags & kPaneScrollV) != 0;
  if ((pane.flags & kPaneTile) != 0) {
    if (scroll_h) Advance(&pane.h_offset, w, 1);
    if (scroll_v) Advance(&pane.v_offset, h, 1);
    const bool columns = scroll_h || !scroll_v;  // only the vertical bit: one column
    const bool rows = scroll_v || !scroll_h;     // only the horizontal bit: one row
    const int first_x = rect.left() - (scroll_h ? pane.h_offset : 0);
    const int first_y = rect.top() - (scroll_v ? pane.v_offset : 0);
    for (int y = first_y; y <= rect.bottom(); y += h) {
      for (int x = first_x; x <= rect.right(); x += w) {
        painter.drawPixmap(x, y, bitmap);
        if (!columns) break;
      }
      if (!rows) break;
    }
    return;
  }
  if (scroll_h || scroll_v) {
    int x = rect.left(), y = rect.top();
    if (scroll_h) {
      Advance(&pane.h_offset, w, -rect.width());
      x -= pane.h_offset;
    }
    if (scroll_v) {
      Advance(&pane.v_offset, h, -rect.height());
      y -= pane.v_offset;
    }
    painter.drawPixmap(x, y, bitmap);
    return;
  }
  if ((pane.flags & kPaneStretch) != 0) {
    painter.drawPixmap(rect, bitmap);
    return;
  }
  const uint32_t align = pane.flags & kPaneFormatMask;
  int x = rect.left(), y = rect.top();
  if ((align & kFormatRight) != 0) {
    x = rect.right() + 1 - w;
  } else if ((align & kFormatCenter) != 0) {
    x = rect.left() + (rect.width() - w) / 2;
  }
  if ((align & kFormatBottom) != 0) {
    y = rect.bottom() + 1 - h;
  } else if ((align & kFormatVCenter) != 0) {
    y = rect.top() + (rect.height() - h) / 2;
  }
  painter.drawPixmap(x, y, bitmap);
}

void MainStatusBar::timerEvent(QTimerEvent* event) {
  if (event->timerId() == animation_.timerId()) {
    repaint();
    return;
  }
  QStatusBar::timerEvent(event);
}

// ---- Mouse events go to the owner ----------------------------------------------------

bool MainStatusBar::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      emit mouseMessage(static_cast<int>(event->type()), mouse->position().toPoint(),
                        mouse->buttons() | mouse->button());
      break;
    }
    default: break;
  }
  return QStatusBar::event(event);  // then handled as usual
}

}  // namespace admdesk
