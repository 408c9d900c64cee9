#include "camera/show_video.h"

#include <chrono>
#include <functional>
#include <thread>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "camera/display_core.h"
#include "camera/display_view.h"
#include "camera/frame.h"
#include "message_probe.h"
#include "platform/qt_message_bridge.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

class ShowVideoTest : public ::testing::Test {
 protected:
  ShowVideoTest() : application(argc, argv) {
    parent.resize(400, 300);
    parent.show();
  }

  // Runs Qt's loop, feeding the main slot, until `done` or a few seconds passed.
  bool PumpUntil(const std::function<bool()>& done, const cv::Mat& frame = {}) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!frame.empty()) Feed(frame);
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      if (done()) return true;
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }

  void Feed(const cv::Mat& bgr) {
    CFrameSlot& slot = *display.RawSlot(CDisplayCore::kMainSlot);
    if (slot.State() == CFrameSlot::kFilled) return;
    cv::Mat bottomUp;
    cv::flip(bgr, bottomUp, 0);
    slot.Store(static_cast<int>(bottomUp.total() * 3), FrameSubtype::RGB24, bottomUp.data, bgr.cols, bgr.rows);
  }

  CDisplayView* View() { return static_cast<CDisplayView*>(display.GetHWnd()); }

  int argc = 1;
  char name[16] = "camera_tests";
  char* argv[2] = {name, nullptr};
  QApplication application;
  platform::QtMessageBridge bridge;  // repaint requests reach the view through the message layer
  QWidget parent;
  CShowVideoThread display;  // destroyed before the parent and the application
};

TEST_F(ShowVideoTest, PaintsTheNewestFrameInsideTheParent) {
  testing::MessageProbe probe;
  ASSERT_TRUE(display.Create(&parent, {10, 20, 330, 260}, probe.Handle()));
  ASSERT_NE(View(), nullptr);
  EXPECT_EQ(View()->parentWidget(), &parent);
  EXPECT_EQ(View()->geometry(), QRect(10, 20, 320, 240));
  const cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(0, 0, 200));
  ASSERT_TRUE(PumpUntil([&] { return View()->PaintedSequence() > 0 && !display.GetPicture().empty(); }, frame));
  EXPECT_EQ(display.GetPicture().size(), frame.size());
  const QImage painted = View()->grab().toImage();
  EXPECT_EQ(painted.pixelColor(160, 120), QColor(200, 0, 0));
}

TEST_F(ShowVideoTest, DoubleClicksReachTheParentAndCursorsComeBack) {
  testing::MessageProbe probe;
  ASSERT_TRUE(display.Create(&parent, {0, 0, 320, 240}, probe.Handle()));
  const cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(90));
  ASSERT_TRUE(PumpUntil([&] { return !display.GetPicture().empty(); }, frame));

  QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(50, 50), QPointF(50, 50), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(View(), &click);
  EXPECT_TRUE(probe.WaitFor(platform::message_ids::kPictureDoubleClick, 1, 3s));

  EXPECT_EQ(display.EnableTrackRect(true), 0);
  QMouseEvent move(QEvent::MouseMove, QPointF(60, 60), QPointF(60, 60), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(View(), &move);
  EXPECT_TRUE(PumpUntil([&] { return View()->cursor().shape() == Qt::CrossCursor; }, frame))
      << "a selection being drawn shows the cross";
}

TEST_F(ShowVideoTest, GoesAwayWhileFramesAreFlowing) {
  auto other = std::make_unique<CShowVideoThread>();
  ASSERT_TRUE(other->Create(&parent, {0, 0, 160, 120}, {}));
  std::atomic<bool> running{true};
  const cv::Mat frame(120, 160, CV_8UC3, cv::Scalar::all(50));
  std::thread camera([&] {
    while (running) {
      CFrameSlot& slot = *other->RawSlot(CDisplayCore::kMainSlot);
      if (slot.State() != CFrameSlot::kFilled)
        slot.Store(static_cast<int>(frame.total() * 3), FrameSubtype::RGB24, frame.data, frame.cols, frame.rows);
      std::this_thread::sleep_for(1ms);
    }
  });
  PumpUntil([&] { return !other->GetPicture().empty(); });
  // The camera is detached (stopped) before the display goes, as the controller does.
  running = false;
  camera.join();
  const auto started = std::chrono::steady_clock::now();
  other.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);  // not held up by a blocked send
  QApplication::processEvents();  // a repaint queued for the gone view is dropped
}

}  // namespace
}  // namespace orvane
