#include "platform/qt_message_bridge.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/messages.h"

namespace orvane::platform {
namespace {

using namespace std::chrono_literals;

constexpr MessageId kPing = message_ids::kUserBase + 1;
constexpr MessageId kPong = message_ids::kUserBase + 2;
constexpr int kPosts = 100;

class QtMessageBridgeTest : public ::testing::Test {
 protected:
  // Runs Qt's loop until a handler quits it; false when it had to be stopped by the watchdog.
  bool RunQt() {
    bool timedOut = false;
    QTimer::singleShot(5s, &app_, [&] {
      timedOut = true;
      QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return !timedOut;
  }

  int argc_ = 1;
  char name_[5] = "test";
  char* argv_[2] = {name_, nullptr};
  QCoreApplication app_{argc_, argv_};
  QtMessageBridge bridge_;
};

TEST_F(QtMessageBridgeTest, QtsLoopHandlesSendsAndPostsFromAnotherThread) {
  std::vector<WParam> posted;
  std::thread::id sendHandledOn;
  const TargetHandle target = CreateTarget([&](const Message& message) -> MessageResult {
    if (message.id == kPong) {
      sendHandledOn = std::this_thread::get_id();
      return 51;
    }
    posted.push_back(message.wParam);
    if (posted.size() == kPosts) QCoreApplication::quit();
    return 0;
  });
  MessageResult reply = 0;
  std::jthread worker([&] {
    reply = Send(target, kPong);
    for (WParam i = 0; i < kPosts; ++i) Post(target, kPing, i);
  });
  ASSERT_TRUE(RunQt());
  worker.join();
  DestroyTarget(target);

  EXPECT_EQ(reply, 51);
  EXPECT_EQ(sendHandledOn, std::this_thread::get_id());
  ASSERT_EQ(posted.size(), static_cast<std::size_t>(kPosts));
  for (WParam i = 0; i < kPosts; ++i) EXPECT_EQ(posted[i], i);
}

TEST_F(QtMessageBridgeTest, TimersOfTheGuiThreadTickInQtsLoop) {
  constexpr std::uintptr_t kTimerId = 100;
  int ticks = 0;
  TargetHandle target;
  target = CreateTarget([&](const Message& message) -> MessageResult {
    if (message.id == message_ids::kTimer && message.wParam == kTimerId && ++ticks == 3) {
      StopTimer(target, kTimerId);
      QCoreApplication::quit();
    }
    return 0;
  });
  ASSERT_TRUE(StartTimer(target, kTimerId, 10ms));
  ASSERT_TRUE(RunQt());
  DestroyTarget(target);
  EXPECT_EQ(ticks, 3);
}

TEST_F(QtMessageBridgeTest, DispatchingWaitOnTheGuiThreadKeepsQtsLoopTurning) {
  bool qtTimerFired = false;
  bool postHandled = false;
  const TargetHandle target = CreateTarget([&](const Message&) -> MessageResult {
    postHandled = true;
    return 0;
  });
  QTimer::singleShot(10ms, &app_, [&] { qtTimerFired = true; });
  std::jthread worker([&] { Post(target, kPing); });
  EXPECT_TRUE(DispatchMessagesUntil([&] { return qtTimerFired && postHandled; }, 5s));
  DestroyTarget(target);
}

}  // namespace
}  // namespace orvane::platform
