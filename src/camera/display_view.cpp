#include "camera/display_view.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "camera/display_core.h"

namespace orvane {

namespace {

constexpr platform::MessageId kRepaint = platform::message_ids::kUserBase + 0x93;

Qt::CursorShape ToQt(CursorShape shape) {
  switch (shape) {
    case CursorShape::Cross: return Qt::CrossCursor;
    case CursorShape::SizeAll: return Qt::SizeAllCursor;
    case CursorShape::SizeNWSE: return Qt::SizeFDiagCursor;
    case CursorShape::SizeNS: return Qt::SizeVerCursor;
    case CursorShape::SizeNESW: return Qt::SizeBDiagCursor;
    case CursorShape::SizeWE: return Qt::SizeHorCursor;
    case CursorShape::Arrow: break;
  }
  return Qt::ArrowCursor;
}

cv::Point At(const QPointF& p) { return {static_cast<int>(p.x()), static_cast<int>(p.y())}; }

}  // namespace

CDisplayView::CDisplayView(CDisplayCore* core, QWidget* parent) : QWidget(parent), core_(core) {
  setMouseTracking(true);
  setFocusPolicy(Qt::WheelFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  target_ = platform::CreateTarget([this](const platform::Message& message) -> platform::MessageResult {
    if (message.id == kRepaint) {
      repaintPending_.store(false);
      update();
    }
    return 0;
  });
}

CDisplayView::~CDisplayView() { platform::DestroyTarget(target_); }

void CDisplayView::OnFrameReady() {
  if (repaintPending_.exchange(true)) return;
  platform::Post(target_, kRepaint);
}

void CDisplayView::paintEvent(QPaintEvent* /*event*/) {
  ShownFrame frame = core_->TakeShownFrame();
  if (!frame.picture.empty()) {
    // The frame painted before is done with: the core composes the next frames into it.
    core_->GiveBackShownPicture(std::move(picture_));
    picture_ = std::move(frame.picture);
    // Only a frame taken here counts as painted: while the core composes the next one into the
    // frame the view never took, it hands out the last sequence without a picture.
    paintedSequence_ = frame.sequence;
  }
  QPainter painter(this);
  if (picture_.empty()) {
    painter.fillRect(rect(), QColor(12, 12, 12));
  } else {
    const QImage image(picture_.data, picture_.cols, picture_.rows, static_cast<qsizetype>(picture_.step),
                       QImage::Format_RGB32);
    painter.drawImage(0, 0, image);
  }
  if (frame.cursor != cursor_) {
    cursor_ = frame.cursor;
    setCursor(ToQt(cursor_));
  }
}

void CDisplayView::resizeEvent(QResizeEvent* /*event*/) { core_->PostResize({width(), height()}); }

void CDisplayView::mouseMoveEvent(QMouseEvent* event) {
  core_->PostMouse({MouseAction::Move, At(event->position())});
}

void CDisplayView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) core_->PostMouse({MouseAction::LeftDown, At(event->position())});
  else if (event->button() == Qt::RightButton) core_->PostMouse({MouseAction::RightDown, At(event->position())});
  setFocus();
}

void CDisplayView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) core_->PostMouse({MouseAction::LeftUp, At(event->position())});
  else if (event->button() == Qt::RightButton) core_->PostMouse({MouseAction::RightUp, At(event->position())});
}

void CDisplayView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) core_->PostMouse({MouseAction::DoubleClick, At(event->position())});
}

void CDisplayView::wheelEvent(QWheelEvent* event) {
  core_->PostMouse({MouseAction::Wheel, At(event->position()), event->angleDelta().y()});
  event->accept();
}

}  // namespace orvane
