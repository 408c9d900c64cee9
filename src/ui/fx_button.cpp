#include "ui/fx_button.h"

#include <QEnterEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <vector>

#include "ui/image_button.h"

namespace orvane::ui {
namespace {

constexpr CFxButton::State kStates[] = {CFxButton::State::kNormal, CFxButton::State::kPressed, CFxButton::State::kHot,
                                        CFxButton::State::kDisabled};

QColor ButtonFace(const QWidget& widget) { return widget.palette().color(QPalette::Active, QPalette::Button); }

bool SameColour(QRgb pixel, QColor colour) { return (pixel & 0xFFFFFFu) == (colour.rgb() & 0xFFFFFFu); }

QPoint Shift(CFxButton::Offset offset) {
  switch (offset) {
    case CFxButton::Offset::kRaised: return {-1, -1};
    case CFxButton::Offset::kSunken: return {1, 1};
    case CFxButton::Offset::kFlat: break;
  }
  return {0, 0};
}

// Top and left edges in one colour, right and bottom in the other; the corners where they meet
// belong to the bottom-right colour.
void Draw3dRect(QPainter& painter, const QRect& r, QColor topLeft, QColor bottomRight) {
  painter.fillRect(r.left(), r.top(), r.width() - 1, 1, topLeft);
  painter.fillRect(r.left(), r.top(), 1, r.height() - 1, topLeft);
  painter.fillRect(r.right(), r.top(), 1, r.height(), bottomRight);
  painter.fillRect(r.left(), r.bottom(), r.width(), 1, bottomRight);
}

void FillRegion(QPainter& painter, const QRegion& region, QColor colour) {
  for (const QRect& r : region) painter.fillRect(r, colour);
}

}  // namespace

CFxButton::CFxButton(QWidget* parent) : CFxButton(Style{}, QString(), parent) {}

CFxButton::CFxButton(const QString& text, QWidget* parent) : CFxButton(Style{}, text, parent) {}

CFxButton::CFxButton(Style style, const QString& text, QWidget* parent) : QPushButton(text, parent), style_(style) {
  if (style_.kind != Kind::kPush) setCheckable(true);
  if (style_.kind == Kind::kRadio) setAutoExclusive(true);
  const QColor face = ButtonFace(*this);
  for (State state : kStates) {
    StateFace& f = Face(state);
    f.transparent = face;
    f.text = text;
    f.format = PushLayout() ? int(Qt::AlignCenter | Qt::TextSingleLine)
                            : int(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine);
    f.background = face;
    if (!PushLayout()) f.offset = Offset::kFlat;
    else f.offset = state == State::kPressed ? Offset::kSunken : Offset::kRaised;
  }
}

// ---- Configuration ----

bool CFxButton::SetBitmaps(int normal, bool useNormalForMissing, int pressed, int hot, int disabled) {
  const int ids[4] = {normal, pressed, hot, disabled};
  bool found = true;
  for (int i = 0; i < 4; ++i) {
    StateFace& f = faces_[static_cast<std::size_t>(i)];
    f.bitmap = {};
    f.sharesNormal = false;
    f.regionValid = false;
    if (ids[i] == 0) continue;
    f.bitmap = ResourcePicture(ids[i]).convertToFormat(QImage::Format_RGB32);
    if (f.bitmap.isNull()) found = false;
  }
  if (useNormalForMissing && !faces_[0].bitmap.isNull()) {
    for (int i = 1; i < 4; ++i) {
      if (ids[i] != 0) continue;
      faces_[static_cast<std::size_t>(i)].bitmap = faces_[0].bitmap;
      faces_[static_cast<std::size_t>(i)].sharesNormal = true;
    }
  }
  Changed();
  return found;
}

void CFxButton::SetTransparentColors(QColor normal, bool fill, QColor pressed, QColor hot, QColor disabled) {
  const QColor face = ButtonFace(*this);
  const auto given = [&face](QColor colour) { return colour.isValid() && colour.rgb() != face.rgb(); };
  const QColor colours[4] = {normal, pressed, hot, disabled};
  for (int i = 0; i < 4; ++i) {
    StateFace& f = faces_[static_cast<std::size_t>(i)];
    if (given(colours[i])) {
      f.transparent = colours[i];
      f.clipToBitmap = true;
    } else if (fill && i > 0) {
      f.transparent = faces_[0].transparent;
      f.clipToBitmap = faces_[0].clipToBitmap;
    }
  }
  Changed();
}

void CFxButton::SetBorderWidths(int normal, bool fill, int pressed, int hot, int disabled) {
  const int widths[4] = {normal, pressed, hot, disabled};
  for (int i = 0; i < 4; ++i) {
    StateFace& f = faces_[static_cast<std::size_t>(i)];
    if (widths[i] != 2) f.borderWidth = std::clamp(widths[i], 0, 2);
    else if (fill && i > 0) f.borderWidth = faces_[0].borderWidth;
  }
  Changed();
}

void CFxButton::SetTexts(const QString& normal, bool fill, const QString& pressed, const QString& hot,
                         const QString& disabled) {
  const QString* texts[4] = {&normal, &pressed, &hot, &disabled};
  for (int i = 0; i < 4; ++i) {
    StateFace& f = faces_[static_cast<std::size_t>(i)];
    if (!texts[i]->isEmpty()) f.text = *texts[i];
    else if (fill) f.text = normal;
  }
  Changed();
}

void CFxButton::SetToolTip(const QString& text, QColor textColor, QColor backgroundColor) {
  setToolTip(text);
  tipColors_ = true;
  tipText_ = textColor;
  tipBackground_ = backgroundColor;
}

void CFxButton::Apply(bool ownBackground, int switches, bool checked) {
  if (isCheckable()) setChecked(checked);
  if (ownBackground) {
    for (StateFace& f : faces_) f.fill = false;
  }
  const QColor face = ButtonFace(*this);
  for (StateFace& f : faces_) {
    for (int kind = 1; kind <= 4; ++kind) f.borderColors[static_cast<std::size_t>(kind - 1)] = ShadeColor(face, kind, f.offset);
  }
  if (!cornerSize_.isEmpty()) {
    for (StateFace& f : faces_) f.windowRegion = true;
  }
  LayOutFaces();
  if (switches != kKeepSwitches) {
    if ((switches & kNoFill) != 0) {
      for (StateFace& f : faces_) f.fill = false;
    }
    if ((switches & kNoText) != 0) drawText_ = false;
    if ((switches & kNoBitmap) != 0) drawBitmap_ = false;
    if ((switches & kNoBorder) != 0) drawBorder_ = false;
    if ((switches & kNoFocus) != 0) drawFocus_ = false;
  }
  hot_ = underMouse();
  repaintAllowed_ = true;
  UpdateWindowRegion();
  update();
}

// The places of text, tick box and pictures, the pictures' regions and the rounded shape, all
// from the button's size.
void CFxButton::LayOutFaces() {
  const QRect client = rect();
  QRect text = client;
  if (!PushLayout()) {
    const int top = (client.height() - tickBox_.height()) / 2;
    if (style_.leftText) {
      tickBox_.moveTo(client.width() - tickBox_.width() - 2, top);
      text.setLeft(text.left() + 4);
    } else {
      tickBox_.moveTo(0, top);
      text.setLeft(text.left() + tickBox_.width() + 6);
    }
  }
  const int margin = LargestBorder() + 1;
  const QRect content = client.adjusted(margin, margin, -margin, -margin);
  for (State state : kStates) {
    StateFace& f = Face(state);
    f.textRect = text;
    if (f.bitmap.isNull()) {
      f.regionValid = false;
      continue;
    }
    f.bitmapRect = QRect(QPoint(content.left() + (content.width() - f.bitmap.width()) / 2,
                                content.top() + (content.height() - f.bitmap.height()) / 2),
                         f.bitmap.size());
    BuildBitmapRegion(state);
  }
  if (cornerSize_.isEmpty()) {
    roundRegion_ = {};
  } else {
    const QSize corner(std::min(cornerSize_.width(), client.width()), std::min(cornerSize_.height(), client.height()));
    roundRegion_ = RoundRectRegion(client, corner);
  }
}

int CFxButton::LargestBorder() const {
  int largest = 0;
  for (const StateFace& f : faces_) largest = std::max(largest, f.borderWidth);
  return largest;
}

void CFxButton::Changed() {
  if (repaintAllowed_) update();
}

// ---- Regions and colours ----

QColor CFxButton::ShadeColor(QColor color, int kind, Offset offset) {
  // Single-precision factors, each channel truncated: a channel of 240 gives 120, 167 and 246.
  const auto scaled = [](QColor c, auto channel) {
    return QColor(channel(c.red()), channel(c.green()), channel(c.blue()));
  };
  const auto half = [&] { return scaled(color, [](int c) { return static_cast<int>(c * 0.5); }); };
  const auto seven = [&] {
    return scaled(color, [](int c) { return static_cast<int>(c * static_cast<double>(0.7f)); });
  };
  const auto light = [&] {
    return scaled(color, [](int c) { return static_cast<int>(c + (255 - c) * static_cast<double>(0.4f)); });
  };
  const QColor white(255, 255, 255);
  if (offset == Offset::kFlat) return color;
  const bool raised = offset == Offset::kRaised;
  switch (kind) {
    case 1: return raised ? white : half();
    case 2: return raised ? light() : seven();
    case 3: return raised ? half() : white;
    case 4: return raised ? seven() : light();
    default: return color;
  }
}

QRegion CFxButton::RegionFromBitmap(const QImage& picture, QColor a, QColor b) {
  const QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
  QRegion region;
  std::vector<QRect> runs;
  for (int y = 0; y < pixels.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    runs.clear();
    int start = -1;
    for (int x = 0; x <= pixels.width(); ++x) {
      const bool solid = x < pixels.width() && !SameColour(row[x], a) && !SameColour(row[x], b);
      if (solid && start < 0) start = x;
      if (!solid && start >= 0) {
        runs.emplace_back(start, y, x - start, 1);
        start = -1;
      }
    }
    if (runs.empty()) continue;
    QRegion line;
    line.setRects(runs.data(), static_cast<int>(runs.size()));
    region += line;
  }
  return region;
}

QRegion CFxButton::RoundRectRegion(const QRect& rect, QSize corner) {
  if (rect.isEmpty()) return {};
  const double rx = std::min(corner.width(), rect.width()) / 2.0;
  const double ry = std::min(corner.height(), rect.height()) / 2.0;
  if (rx <= 0 || ry <= 0) return QRegion(rect);
  QRegion region;
  for (int y = 0; y < rect.height(); ++y) {
    // How far the row's centre lies inside a corner's band, and so how far its ellipse cuts in.
    const double fromEdge = std::min(y + 0.5, rect.height() - y - 0.5);
    int inset = 0;
    if (fromEdge < ry) {
      const double dy = (ry - fromEdge) / ry;
      inset = static_cast<int>(std::lround(rx * (1.0 - std::sqrt(std::max(0.0, 1.0 - dy * dy)))));
    }
    if (rect.width() - 2 * inset > 0) region += QRect(rect.left() + inset, rect.top() + y, rect.width() - 2 * inset, 1);
  }
  return region;
}

QRegion CFxButton::BitmapRegion(State state) const {
  const StateFace& f = Face(state);
  return f.regionValid ? f.bitmapRegion : QRegion();
}

void CFxButton::BuildBitmapRegion(State state) {
  StateFace& f = Face(state);
  f.regionValid = false;
  if (f.bitmap.isNull() || !f.clipToBitmap) return;
  const QImage stretched = f.bitmap.size() == f.bitmapRect.size()
                               ? f.bitmap
                               : f.bitmap.scaled(f.bitmapRect.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
  f.bitmapRegion = RegionFromBitmap(stretched, f.transparent, ButtonFace(*this)).translated(f.bitmapRect.topLeft());
  f.regionValid = true;
}

void CFxButton::UpdateWindowRegion() {
  const StateFace& f = Face(CurrentState());
  if (f.windowRegion && !f.bitmap.isNull() && !roundRegion_.isEmpty()) {
    if (mask() != roundRegion_) setMask(roundRegion_);
  } else if (!mask().isEmpty()) {
    clearMask();
  }
}

// ---- State and input ----

CFxButton::State CFxButton::CurrentState() const {
  if (!isEnabled()) return State::kDisabled;
  if (isDown() || isChecked()) return State::kPressed;
  if (hot_) return State::kHot;
  return State::kNormal;
}

void CFxButton::enterEvent(QEnterEvent* event) {
  hot_ = true;
  update();
  QPushButton::enterEvent(event);
}

void CFxButton::leaveEvent(QEvent* event) {
  hot_ = false;
  update();
  QPushButton::leaveEvent(event);
}

void CFxButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressedHere_ = true;
  QPushButton::mousePressEvent(event);
}

void CFxButton::mouseMoveEvent(QMouseEvent* event) {
  QPushButton::mouseMoveEvent(event);
  // While the press lasts the button is hot only under the cursor: dragged out it looks normal.
  if (pressedHere_ && (event->buttons() & Qt::LeftButton) != 0) {
    const bool over = hitButton(event->position().toPoint());
    if (over != hot_) {
      hot_ = over;
      update();
    }
  }
}

void CFxButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    pressedHere_ = false;
    hot_ = hitButton(event->position().toPoint());
  }
  // May run a command that opens a window of its own: nothing of this button is used after it.
  QPushButton::mouseReleaseEvent(event);
}

void CFxButton::focusInEvent(QFocusEvent* event) {
  keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
                   event->reason() == Qt::ShortcutFocusReason;
  QPushButton::focusInEvent(event);
}

void CFxButton::focusOutEvent(QFocusEvent* event) {
  keyboardFocus_ = false;
  pressedHere_ = false;
  QPushButton::focusOutEvent(event);
}

void CFxButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    UpdateWindowRegion();
    update();
  }
  QPushButton::changeEvent(event);
}

void CFxButton::resizeEvent(QResizeEvent* event) {
  QPushButton::resizeEvent(event);
  if (!repaintAllowed_) return;
  LayOutFaces();
  UpdateWindowRegion();
}

bool CFxButton::hitButton(const QPoint& pos) const {
  // Inside the shape, not just the rectangle: the cut corners belong to what lies behind.
  return mask().isEmpty() ? rect().contains(pos) : mask().contains(pos);
}

bool CFxButton::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && tipColors_) {
    const auto* help = static_cast<QHelpEvent*>(event);
    if (toolTip().isEmpty()) {
      QToolTip::hideText();
      event->ignore();
      return true;
    }
    // The tip takes this button's colours; the next button's tip gets its own again.
    const QPalette previous = QToolTip::palette();
    QPalette colours = previous;
    colours.setColor(QPalette::ToolTipText, tipText_);
    colours.setColor(QPalette::ToolTipBase, tipBackground_);
    QToolTip::setPalette(colours);
    QToolTip::showText(help->globalPos(), toolTip(), this);
    QToolTip::setPalette(previous);
    return true;
  }
  return QPushButton::event(event);
}

// ---- Painting ----

void CFxButton::paintEvent(QPaintEvent*) {
  const State state = CurrentState();
  UpdateWindowRegion();
  const StateFace& f = Face(state);
  // Composed off-screen and put on the screen in one go.
  QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  {
    QPainter painter(&canvas);
    const bool rounded = !cornerSize_.isEmpty();
    if (rounded) DrawRoundFrame(painter, state);
    else if (f.fill) DrawBackground(painter, rect(), state);
    if (drawBitmap_ && !f.bitmap.isNull()) DrawBitmap(painter, state);
    if (drawText_) DrawCaption(painter, state);
    if (drawBorder_ && !rounded) DrawBorder(painter, rect(), state);
    if (drawFocus_ && hasFocus() && keyboardFocus_) DrawFocus(painter, state);
  }
  QPainter screen(this);
  if (!roundRegion_.isEmpty()) screen.setClipRegion(roundRegion_);
  screen.drawImage(0, 0, canvas);
}

void CFxButton::DrawBackground(QPainter& painter, const QRect& rect, State state) {
  painter.fillRect(rect, Face(state).background);
}

void CFxButton::DrawBorder(QPainter& painter, const QRect& rect, State state) {
  const StateFace& f = Face(state);
  if (f.borderWidth >= 1) Draw3dRect(painter, rect, f.borderColors[0], f.borderColors[2]);
  if (f.borderWidth == 2) Draw3dRect(painter, rect.adjusted(1, 1, -1, -1), f.borderColors[1], f.borderColors[3]);
}

void CFxButton::DrawRoundFrame(QPainter& painter, State state) {
  const StateFace& f = Face(state);
  if (f.fill) DrawBackground(painter, rect(), state);
  if (!drawBorder_ || f.borderWidth < 1) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const QSizeF radius(cornerSize_.width() / 2.0, cornerSize_.height() / 2.0);
  // The top-left half of the ring in one colour, the bottom-right half in the other.
  const QPolygonF upperLeft({QPointF(0, 0), QPointF(width(), 0), QPointF(0, height())});
  const QPolygonF lowerRight({QPointF(width(), 0), QPointF(width(), height()), QPointF(0, height())});
  for (int ring = 0; ring < f.borderWidth; ++ring) {
    const QRectF outline = QRectF(rect()).adjusted(ring + 0.5, ring + 0.5, -ring - 0.5, -ring - 0.5);
    const QColor colours[2] = {f.borderColors[ring == 0 ? 0 : 1], f.borderColors[ring == 0 ? 2 : 3]};
    const QPolygonF* halves[2] = {&upperLeft, &lowerRight};
    for (int half = 0; half < 2; ++half) {
      QPainterPath clip;
      clip.addPolygon(*halves[half]);
      painter.setClipPath(clip);
      painter.setPen(QPen(colours[half], 1));
      painter.setBrush(Qt::NoBrush);
      painter.drawRoundedRect(outline, radius.width(), radius.height());
    }
  }
  painter.restore();
}

void CFxButton::DrawBitmap(QPainter& painter, State state) {
  const StateFace& f = Face(state);
  const QPoint shift = Shift(f.offset);
  const QRect target = f.bitmapRect.translated(shift);
  const QRegion clip = (f.regionValid ? f.bitmapRegion : QRegion(rect())).translated(shift);
  painter.save();
  if (state == State::kDisabled && f.sharesNormal) {
    // No picture of its own: the normal picture's shape, embossed white under grey.
    const QColor face = ButtonFace(*this);
    const QRegion shape = f.clipToBitmap ? clip : QRegion(target);
    FillRegion(painter, shape, ShadeColor(face, 1, Offset::kRaised));
    FillRegion(painter, shape.translated(-1, -1), ShadeColor(face, 4, Offset::kRaised));
  } else {
    if (f.clipToBitmap) painter.setClipRegion(clip);
    painter.drawImage(target, f.bitmap);
  }
  painter.restore();
}

void CFxButton::DrawCaption(QPainter& painter, State state) {
  const StateFace& f = Face(state);
  QFont face(font().family());
  if (font().pixelSize() > 0) face.setPixelSize(font().pixelSize());
  else face.setPointSizeF(font().pointSizeF());
  face.setWeight(QFont::Normal);
  face.setStyleStrategy(QFont::PreferAntialias);
  painter.save();
  painter.setFont(face);
  QRect r = f.textRect;
  if (r == rect()) {
    const int margin = LargestBorder() + 1;
    r.adjust(margin, margin, -margin, -margin);
  }
  r.translate(Shift(f.offset));
  if (!f.text.isEmpty()) {
    if (state == State::kDisabled) {
      const QColor buttonFace = ButtonFace(*this);
      painter.setPen(ShadeColor(buttonFace, 1, Offset::kRaised));
      painter.drawText(r.translated(1, 1), f.format, f.text);
      painter.setPen(ShadeColor(buttonFace, 4, Offset::kRaised));
      painter.drawText(r, f.format, f.text);
    } else {
      painter.setPen(palette().color(QPalette::Active, QPalette::ButtonText));
      painter.drawText(r, f.format, f.text);
    }
  }
  if (!PushLayout()) {
    QStyleOptionButton tick;
    tick.initFrom(this);
    tick.rect = tickBox_;
    if (state == State::kDisabled) tick.state &= ~QStyle::State_Enabled;
    else tick.state |= isChecked() ? QStyle::State_On : QStyle::State_Off;
    style()->drawPrimitive(style_.kind == Kind::kRadio ? QStyle::PE_IndicatorRadioButton : QStyle::PE_IndicatorCheckBox,
                           &tick, &painter, this);
  }
  painter.restore();
}

void CFxButton::DrawFocus(QPainter& painter, State state) {
  QStyleOptionFocusRect focus;
  focus.initFrom(this);
  if (PushLayout()) {
    focus.rect = rect().adjusted(3, 3, -3, -3);
  } else {
    const StateFace& f = Face(state);
    const QFontMetrics metrics(font());
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    const QSize text(metrics.horizontalAdvance(f.text) + space, metrics.height());
    const int down = (f.textRect.height() - text.height()) / 2;
    const int across = style_.leftText ? space : tickBox_.width() + 2 * space;
    focus.rect = QRect(QPoint(across, down), text);
  }
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

}  // namespace orvane::ui
