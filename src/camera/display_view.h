// The thin widget of a live display: paints the newest frame the display core composed and
// forwards mouse, wheel and size changes to it. Thread-bound to the GUI thread, except
// OnFrameReady, which the core calls from its own thread. The GUI thread must drain the message
// layer from Qt's loop (platform::QtMessageBridge): the repaint request travels through it, so no
// other thread ever calls into Qt.
#pragma once

#include <atomic>

#include <QWidget>
#include <opencv2/core.hpp>

#include "camera/overlays.h"
#include "platform/messages.h"

namespace orvane {

class CDisplayCore;

class CDisplayView : public QWidget {
 public:
  // `core` must be stopped before the view is destroyed.
  CDisplayView(CDisplayCore* core, QWidget* parent);
  ~CDisplayView() override;

  // Any thread: asks for a repaint with the newest frame; repeated calls before the repaint
  // collapse into one, so no backlog builds up behind a busy GUI thread.
  void OnFrameReady();
  // The sequence number of the frame painted last (0 before the first).
  std::uint64_t PaintedSequence() const { return paintedSequence_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  CDisplayCore* core_;
  platform::TargetHandle target_;
  std::atomic<bool> repaintPending_{false};
  std::uint64_t paintedSequence_ = 0;
  CursorShape cursor_ = CursorShape::Arrow;
  cv::Mat picture_;  // the frame painted last, kept for repaints without a new frame
};

}  // namespace orvane
