// The window tests run inside one Qt application with the message layer drained from its loop;
// both live on the stack of main, so they go in order before the layer's own state.
#include <QApplication>

#include <gtest/gtest.h>

#include "platform/qt_message_bridge.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Also when the tests are only listed at build time, where there may be no display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  int result = 0;
  {
    orvane::platform::QtMessageBridge bridge;
    result = RUN_ALL_TESTS();
  }
  return result;
}
