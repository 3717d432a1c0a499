// status_bar.h: CMainStatusBar, the main frame's status bar. Every pane has
// a display record of its own (two texts and two text colours for the
// enabled and disabled state, two backgrounds, a font and a kind: text,
// bitmap or progress, with alignment, tiling, stretching and scrolling
// flags). The bar paints itself through one off-screen pixmap, draws its own
// size grip, and runs a one-second animation timer while a pane scrolls.
//
// objectNames: the bar "CMainStatusBar"; a progress pane's control
// "PaneProgress<index>".
#ifndef ADMDESK_STATUS_BAR_H_
#define ADMDESK_STATUS_BAR_H_

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QString>
#include <cstdint>
#include <vector>

class QPainter;
class QSizeGrip;

namespace admdesk {

// Pane record flags. The low 20 bits are text format bits (below); for a
// bitmap pane only the alignment bits count.
constexpr uint32_t kPaneFormatMask = 0x000FFFFF;
constexpr uint32_t kPaneText = 0x00100000;
constexpr uint32_t kPaneTextToo = 0x00200000;  // drawn like kPaneText
constexpr uint32_t kPaneBitmap = 0x00400000;   // the pane's text names a bitmap
constexpr uint32_t kPaneProgress = 0x00800000; // the pane owns a progress bar
constexpr uint32_t kPaneKindMask = 0x00F00000;
constexpr uint32_t kPaneScrollH = 0x01000000;
constexpr uint32_t kPaneScrollV = 0x02000000;
constexpr uint32_t kPaneAnimated = 0x0F000000;  // any of these keeps the timer
constexpr uint32_t kPaneTile = 0x10000000;
constexpr uint32_t kPaneStretch = 0x20000000;
constexpr uint32_t kPaneSmooth = 0x40000000;

// Text format bits of a pane's flags.
constexpr uint32_t kFormatCenter = 0x01;
constexpr uint32_t kFormatRight = 0x02;
constexpr uint32_t kFormatVCenter = 0x04;
constexpr uint32_t kFormatBottom = 0x08;
constexpr uint32_t kFormatWordBreak = 0x10;
constexpr uint32_t kFormatSingleLine = 0x20;
constexpr uint32_t kFormatNoPrefix = 0x800;

// Styles of a pane's indicator (its border, state and stretch).
constexpr uint32_t kPaneStyleNoBorders = 0x0100;
constexpr uint32_t kPaneStylePopout = 0x0200;
constexpr uint32_t kPaneStyleDisabled = 0x04000000;
constexpr uint32_t kPaneStyleStretch = 0x08000000;

// Indicator id of a pane without a text of its own.
constexpr int kSeparatorId = 0;

// A colour given as the console's callers write them: 0x00BBGGRR, -1 for
// "the default". The default is an invalid QColor.
QColor ColorFromRef(long ref);

// The display record of one pane. Copying copies everything but the owned
// progress control: the target deletes its own and then has none.
struct StatusBarPane {
  StatusBarPane();
  StatusBarPane(const StatusBarPane& other);
  StatusBarPane& operator=(const StatusBarPane& other);
  ~StatusBarPane();

  QColor disabled_text_color;
  QColor text_color;
  QColor disabled_background;
  QColor background;
  QString disabled_text;
  QString text;
  QPointer<QProgressBar> control;
  QFont font;
  uint32_t flags = kPaneText;
  int32_t h_offset = 0;
  int32_t v_offset = 0;
};

class MainStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit MainStatusBar(QWidget* parent = nullptr);
  ~MainStatusBar() override;

  // Remembers the owner, sets the indicators and gives pane 0 first_style.
  bool Create(QWidget* owner, const std::vector<int>& ids, uint32_t first_style);
  // One pane per id; every pane record goes back to its defaults.
  bool SetIndicators(const std::vector<int>& ids);
  int PaneCount() const { return static_cast<int>(panes_.size()); }
  // The record of pane index; index must be in range.
  const StatusBarPane& GetPane(int index) const { return panes_.at(index); }

  void SetPaneStyle(int index, uint32_t flags);
  void SetPaneTexts(int index, const QString& text, const QString& disabled_text);
  void SetPaneNumbers(int index, int number, int disabled_number);
  // An invalid disabled colour means the menu colour with its channels halved.
  void SetPaneColors(int index, const QColor& text, const QColor& disabled_text);
  // An invalid disabled background means the menu colour.
  void SetPaneBackgrounds(int index, const QColor& background, const QColor& disabled);
  void SetPaneFontHeight(int index, int height);
  void SetPaneFontName(int index, const QString& face);
  void SetPaneFont(int index, const QString& face, int tenths_of_point);

  // The indicator of a pane: its id, style, width and the bar's own text
  // (drawn when the record's text for the pane's state is empty). A width
  // of -1 fits the pane to what it shows. Setters return the old value.
  uint32_t SetPaneInfoStyle(int index, uint32_t style);
  int SetPaneInfoWidth(int index, int width);
  int GetPaneInfoId(int index) const;
  uint32_t GetPaneInfoStyle(int index) const;
  int GetPaneInfoWidth(int index) const;
  void SetPaneText(int index, const QString& text);
  QString GetPaneText(int index) const;
  // What a text pane shows now: the record's text for its state, else the
  // bar's own text.
  QString ShownText(int index) const;

  // The pane at point (in the owner's coordinates when the owner is a
  // dialog, else the bar's); -1 for none.
  int HitTest(const QPoint& point) const;
  // Where pane index is drawn, in the bar's coordinates.
  QRect PaneRect(int index) const;
  bool animating() const { return animation_.isActive(); }
  // The font pane 0's menu prompts and the clock panes are measured with.
  QFont BarFont() const { return font(); }

 signals:
  // Every mouse event over the bar goes to the owner this way: its type,
  // the point in the bar's coordinates and the buttons.
  void mouseMessage(int type, QPoint point, Qt::MouseButtons buttons);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Mouse events go to the owner (mouseMessage) before the bar's own handling.
  bool event(QEvent* event) override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 private:
  struct Indicator {
    int id = kSeparatorId;
    uint32_t style = 0;
    int width = -1;
    QString text;
  };
  bool Valid(int index) const { return index >= 0 && index < PaneCount(); }
  void ResetPane(StatusBarPane* pane) const;
  QColor MenuColor() const;
  // Draws every pane into painter; advances the scroll offsets.
  void PaintPanes(QPainter& painter);
  void DrawText(QPainter& painter, StatusBarPane& pane, const QString& text, QRect rect,
                bool enabled);
  void DrawBitmap(QPainter& painter, StatusBarPane& pane, const QString& name, QRect rect);
  int ContentWidth(int index) const;
  void PlaceGrip();

  QWidget* owner_ = nullptr;
  std::vector<StatusBarPane> panes_;
  std::vector<Indicator> indicators_;
  QBasicTimer animation_;
  QSizeGrip* grip_ = nullptr;
};

}  // namespace admdesk

#endif  // ADMDESK_STATUS_BAR_H_
