// The window tests run inside one Qt application with the message layer drained from its loop;
// both live on the stack of main, so they go in order before the layer's own state.
#include <QApplication>

#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>

#include "camera/patient_stills.h"
#include "platform/qt_message_bridge.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Also when the tests are only listed at build time, where there may be no display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
#if defined(__SANITIZE_THREAD__)
  // Fusion paints its gradients (a progress bar's) on Qt's thread pool, whose futex locks
  // ThreadSanitizer cannot see; the Windows style paints the same controls on the GUI thread.
  QApplication::setStyle(QStringLiteral("Windows"));
  // OpenCV's loops hand their stripes to TBB's workers and allocate on them what the caller
  // frees, all through TBB's own locks, which ThreadSanitizer cannot see either: they run on the
  // calling thread instead.
  cv::setNumThreads(0);
#endif
  orvane::SetStillTimeout(orvane::testing::kPatientStillTimeout);
  int result = 0;
  {
    orvane::platform::QtMessageBridge bridge;
    result = RUN_ALL_TESTS();
  }
  return result;
}
