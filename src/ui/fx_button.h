// `CFxButton`: the skinned button. It paints itself from a picture per state (normal, pressed,
// hot, disabled) with the pictures' transparent colours left out, can cut itself to a rounded
// shape, lights up while the mouse is over it, shows a tool tip in colours of its own, and
// behaves as a push button, a check box or a radio button. The main window's fifteen command
// buttons are these, with their captions inside the pictures.
//
// Configured in any order, then `Apply`; configuration repaints only once `Apply` has run.
// Press, release and check behaviour are QAbstractButton's: a press that is dragged out and
// released elsewhere is no click, and radio buttons of one parent are exclusive.
//
// Thread-bound to the GUI thread.
#pragma once

#include <array>

#include <QColor>
#include <QImage>
#include <QPushButton>
#include <QRegion>
#include <QSize>

class QPainter;

namespace orvane::ui {

class CFxButton : public QPushButton {
 public:
  enum class State { kNormal = 260, kPressed = 261, kHot = 262, kDisabled = 263 };
  enum class Kind { kPush = 270, kCheckBox = 271, kRadio = 272 };
  // How the content sits in a state: raised draws it up-left, sunken down-right.
  enum class Offset { kFlat = 257, kRaised = 258, kSunken = 259 };
  struct Style {
    Kind kind = Kind::kPush;
    bool pushLike = false;  // a check box or radio button laid out and drawn as a push button
    bool leftText = false;  // the tick box on the right of the text
  };
  // `Apply`'s switches, or-ed: what is not drawn in any state.
  static constexpr int kNoFill = 1;
  static constexpr int kNoText = 2;
  static constexpr int kNoBitmap = 4;
  static constexpr int kNoBorder = 8;
  static constexpr int kNoFocus = 16;
  static constexpr int kKeepSwitches = -1;

  explicit CFxButton(QWidget* parent = nullptr);
  CFxButton(const QString& text, QWidget* parent);
  CFxButton(Style style, const QString& text, QWidget* parent);

  // The pictures of the program's bitmap resources (0: none for that state). With
  // `useNormalForMissing`, a state without a picture shares the normal one; a disabled state that
  // shares it shows its embossed shape. False when a picture asked for does not exist.
  bool SetBitmaps(int normal, bool useNormalForMissing, int pressed = 0, int hot = 0, int disabled = 0);
  // A state's first transparent colour, which also clips its picture to the picture's solid
  // pixels; an invalid colour or the button face colour is none given. With `fill`, the states
  // not given take the normal one.
  void SetTransparentColors(QColor normal, bool fill, QColor pressed = {}, QColor hot = {}, QColor disabled = {});
  // Border widths 0, 1 or 2; 2 is none given. With `fill`, the states not given take the normal one.
  void SetBorderWidths(int normal, bool fill, int pressed = 2, int hot = 2, int disabled = 2);
  // A non-empty text replaces a state's caption; with `fill`, a state given none takes `normal`
  // (so empty texts with `fill` draw no captions at all).
  void SetTexts(const QString& normal, bool fill, const QString& pressed = {}, const QString& hot = {},
                const QString& disabled = {});
  // The rounded shape's corner ellipse; 0 x 0 keeps the corners square. Takes effect at `Apply`.
  void SetCornerSize(QSize size) { cornerSize_ = size; }
  void SetToolTip(const QString& text, QColor textColor, QColor backgroundColor);
  // Finishes the configuration: the check state, border colours, text and picture places, the
  // pictures' regions and the rounded shape, the switches. `ownBackground`: the owner paints the
  // background, no state fills it.
  void Apply(bool ownBackground = false, int switches = kKeepSwitches, bool checked = false);

  State CurrentState() const;
  // The picture a state paints (null when none), the part of the button it covers, and its
  // border colours (outer top-left, inner top-left, outer bottom-right, inner bottom-right).
  const QImage& Bitmap(State state) const { return Face(state).bitmap; }
  QRegion BitmapRegion(State state) const;
  const std::array<QColor, 4>& BorderColors(State state) const { return Face(state).borderColors; }
  QRegion RoundRegion() const { return roundRegion_; }

  // A colour for the borders and the embossed look: kind 1 outer top-left, 2 inner top-left,
  // 3 outer bottom-right, 4 inner bottom-right of a raised, sunken or flat edge.
  static QColor ShadeColor(QColor color, int kind, Offset offset);
  // The pixels of `picture` that are neither `a` nor `b`, as a region.
  static QRegion RegionFromBitmap(const QImage& picture, QColor a, QColor b);
  // The rounded rectangle `rect` with corner ellipses of `corner`, pixel by pixel.
  static QRegion RoundRectRegion(const QRect& rect, QSize corner);

 protected:
  // The steps of a paint, each replaceable.
  virtual void DrawBackground(QPainter& painter, const QRect& rect, State state);
  virtual void DrawBorder(QPainter& painter, const QRect& rect, State state);
  virtual void DrawBitmap(QPainter& painter, State state);
  virtual void DrawCaption(QPainter& painter, State state);
  virtual void DrawFocus(QPainter& painter, State state);
  virtual void BuildBitmapRegion(State state);
  void DrawRoundFrame(QPainter& painter, State state);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool hitButton(const QPoint& pos) const override;
  bool event(QEvent* event) override;

 private:
  struct StateFace {
    QImage bitmap;
    bool sharesNormal = false;  // the normal state's picture, not one of its own
    QRect bitmapRect;
    QColor transparent;
    bool clipToBitmap = false;
    QRegion bitmapRegion;
    bool regionValid = false;
    QString text;
    int format = 0;  // Qt::Alignment and Qt::TextFlag
    QRect textRect;
    QColor background;
    bool fill = true;
    int borderWidth = 2;
    std::array<QColor, 4> borderColors;
    Offset offset = Offset::kRaised;
    bool windowRegion = false;
  };
  static int Index(State state) { return static_cast<int>(state) - static_cast<int>(State::kNormal); }
  StateFace& Face(State state) { return faces_[static_cast<std::size_t>(Index(state))]; }
  const StateFace& Face(State state) const { return faces_[static_cast<std::size_t>(Index(state))]; }
  bool PushLayout() const { return style_.kind == Kind::kPush || style_.pushLike; }
  int LargestBorder() const;
  void LayOutFaces();
  // The window's shape for the state it is in: rounded where that state has a picture.
  void UpdateWindowRegion();
  void Changed();

  Style style_;
  std::array<StateFace, 4> faces_;
  QSize cornerSize_;
  QRegion roundRegion_;
  QRect tickBox_{0, 0, 13, 13};
  bool hot_ = false;
  bool pressedHere_ = false;  // the left button went down in this button
  bool keyboardFocus_ = false;
  bool repaintAllowed_ = false;
  bool drawText_ = true;
  bool drawBitmap_ = true;
  bool drawBorder_ = true;
  bool drawFocus_ = true;
  bool tipColors_ = false;
  QColor tipText_;
  QColor tipBackground_;
};

}  // namespace orvane::ui
