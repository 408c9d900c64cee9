#include "platform/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "message_test_helpers.h"
#include "platform/events.h"

namespace orvane::platform {
namespace {

using namespace std::chrono_literals;
using test::LoopThread;

constexpr MessageId kPing = message_ids::kUserBase + 1;
constexpr MessageId kPong = message_ids::kUserBase + 2;
constexpr MessageId kBlock = message_ids::kUserBase + 3;

// Long enough that a result which should come "at once" has certainly not been held up by a
// handler still running.
constexpr auto kPatience = 5s;

// A handler that, on kBlock, reports it has started and then holds its thread until opened.
struct Gate {
  Event started{EventReset::kManual};
  Event open{EventReset::kManual};
  std::atomic<int> handled{0};

  MessageHandler Handler() {
    return [this](const Message& message) -> MessageResult {
      ++handled;
      if (message.id == kBlock) {
        started.Set();
        open.Wait();
      }
      return static_cast<MessageResult>(message.wParam) * 10;
    };
  }
};

TEST(MessagePost, KeepsEachSendersOrderPerTarget) {
  constexpr int kPerSender = 500;
  std::vector<std::vector<WParam>> seen(2);
  std::promise<void> all;
  int count = 0;
  LoopThread loop([&](const Message& message) -> MessageResult {
    seen.at(static_cast<std::size_t>(message.lParam)).push_back(message.wParam);
    if (++count == 2 * kPerSender) all.set_value();
    return 0;
  });
  {
    std::vector<std::jthread> senders;
    for (LParam sender = 0; sender < 2; ++sender) {
      senders.emplace_back([&, sender] {
        for (WParam i = 0; i < kPerSender; ++i) ASSERT_TRUE(Post(loop.Target(), kPing, i, sender));
      });
    }
  }
  ASSERT_EQ(all.get_future().wait_for(kPatience), std::future_status::ready);
  loop.Stop();
  for (const auto& fromOne : seen) {
    ASSERT_EQ(fromOne.size(), static_cast<std::size_t>(kPerSender));
    for (WParam i = 0; i < kPerSender; ++i) EXPECT_EQ(fromOne[i], i);
  }
}

TEST(MessagePost, ToATargetThatIsGoneIsRefused) {
  const TargetHandle destroyed = CreateTarget([](const Message&) { return MessageResult{0}; });
  ASSERT_TRUE(DestroyTarget(destroyed));
  for (const TargetHandle target : {TargetHandle{}, destroyed}) {
    EXPECT_FALSE(IsTarget(target));
    EXPECT_FALSE(Post(target, kPing));
    EXPECT_FALSE(TrySend(target, kPing).has_value());
    EXPECT_EQ(Send(target, kPing, 1), 0);
    EXPECT_FALSE(StartTimer(target, 1, 10ms));
    EXPECT_FALSE(DestroyTarget(target));
  }
}

TEST(MessagePost, QueuedPostsOfADestroyedTargetAreDroppedWithTheirPayload) {
  Gate gate;
  LoopThread loop(gate.Handler());
  ASSERT_TRUE(Post(loop.Target(), kBlock));
  ASSERT_TRUE(gate.started.Wait(kPatience));

  std::weak_ptr<int> payload;
  {
    auto owned = std::make_shared<int>(7);
    payload = owned;
    ASSERT_TRUE(Post(loop.Target(), Message{kPing, 0, 0, std::move(owned)}));
  }
  ASSERT_TRUE(Post(loop.Target(), kPing));
  ASSERT_TRUE(DestroyTarget(loop.Target()));
  EXPECT_TRUE(payload.expired()) << "a dropped message must free what it owns";

  gate.open.Set();
  loop.Stop();
  EXPECT_EQ(gate.handled, 1);
}

TEST(MessagePost, PayloadReachesTheHandler) {
  std::promise<std::string> received;
  LoopThread loop([&](const Message& message) -> MessageResult {
    received.set_value(*std::any_cast<std::string>(&message.payload));
    return 0;
  });
  ASSERT_TRUE(Post(loop.Target(), Message{kPing, 0, 0, std::string("识别中")}));
  auto text = received.get_future();
  ASSERT_EQ(text.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(text.get(), "识别中");
}

TEST(MessageSend, OnTheOwnThreadIsADirectReentrantCall) {
  TargetHandle self;
  self = CreateTarget([&](const Message& message) -> MessageResult {
    if (message.id == kPong) return 5;
    return Send(self, kPong) + 1;  // re-entered while the outer call still runs
  });
  EXPECT_EQ(Send(self, kPing), 6);
  DestroyTarget(self);
}

TEST(MessageSend, FromAnotherThreadRunsOnTheTargetsThreadAndReturnsItsResult) {
  std::thread::id handledOn;
  LoopThread loop([&](const Message& message) -> MessageResult {
    handledOn = std::this_thread::get_id();
    return static_cast<MessageResult>(message.wParam + message.lParam);
  });
  EXPECT_EQ(TrySend(loop.Target(), kPing, 40, 2), 42);
  EXPECT_EQ(handledOn, loop.Id());
}

TEST(MessageSend, NestedSendsBackToAWaitingSenderAreHandled) {
  // A's handler sends to B; B's handler sends back to A while A still waits for B.
  TargetHandle targetB;
  LoopThread threadA([&](const Message& message) -> MessageResult {
    if (message.id == kPong) return 1;
    return Send(targetB, kPing) + 100;
  });
  const TargetHandle targetA = threadA.Target();
  LoopThread threadB([&](const Message&) -> MessageResult { return Send(targetA, kPong) + 10; });
  targetB = threadB.Target();
  EXPECT_EQ(Send(targetA, kPing), 111);
}

TEST(MessageSend, TwoThreadsSendingToEachOtherAtOnceDoNotDeadlock) {
  constexpr int kRounds = 200;
  std::atomic<int> finished{0};
  TargetHandle targets[2];
  std::vector<std::unique_ptr<LoopThread>> loops;
  for (int side = 0; side < 2; ++side) {
    loops.push_back(std::make_unique<LoopThread>([&, side](const Message& message) -> MessageResult {
      if (message.id == kPong) return 1;
      // On kPing: send to the other side, which is doing the same at the same time.
      if (Send(targets[1 - side], kPong) == 1) ++finished;
      return 0;
    }));
    targets[side] = loops.back()->Target();
  }
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(Post(targets[0], kPing));
    ASSERT_TRUE(Post(targets[1], kPing));
  }
  EXPECT_TRUE(DispatchMessagesUntil([&] { return finished == 2 * kRounds; }, kPatience));
}

TEST(MessageSend, StopTokenCancelsASendNotYetTaken) {
  Gate gate;
  LoopThread loop(gate.Handler());
  ASSERT_TRUE(Post(loop.Target(), kBlock));
  ASSERT_TRUE(gate.started.Wait(kPatience));

  std::stop_source stop;
  auto sent = std::async(std::launch::async, [&] {
    return TrySend(loop.Target(), kPing, 1, 0, stop.get_token());
  });
  EXPECT_EQ(sent.wait_for(50ms), std::future_status::timeout);
  stop.request_stop();
  ASSERT_EQ(sent.wait_for(kPatience), std::future_status::ready);
  EXPECT_FALSE(sent.get().has_value());

  gate.open.Set();
  EXPECT_EQ(Send(loop.Target(), kPing, 2), 20);
  EXPECT_EQ(gate.handled, 2) << "the cancelled message must never be handled";

  std::stop_source already;
  already.request_stop();
  EXPECT_FALSE(TrySend(loop.Target(), kPing, 3, 0, already.get_token()).has_value());
  EXPECT_EQ(gate.handled, 2);
}

TEST(MessageSend, StopTokenWaitsForAHandlerAlreadyRunning) {
  // The handler may be reading the sender's lParam, so the sender must not return under it.
  Gate gate;
  LoopThread loop(gate.Handler());
  std::stop_source stop;
  auto sent = std::async(std::launch::async, [&] {
    return TrySend(loop.Target(), kBlock, 4, 0, stop.get_token());
  });
  ASSERT_TRUE(gate.started.Wait(kPatience));
  stop.request_stop();
  EXPECT_EQ(sent.wait_for(50ms), std::future_status::timeout);
  gate.open.Set();
  ASSERT_EQ(sent.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(sent.get(), 40);
}

TEST(MessageSend, DestroyingTheTargetReleasesABlockedSenderAtOnce) {
  Gate gate;
  LoopThread loop(gate.Handler());
  ASSERT_TRUE(Post(loop.Target(), kBlock));
  ASSERT_TRUE(gate.started.Wait(kPatience));

  auto sent = std::async(std::launch::async, [&] { return TrySend(loop.Target(), kPing, 1); });
  EXPECT_EQ(sent.wait_for(50ms), std::future_status::timeout);
  ASSERT_TRUE(DestroyTarget(loop.Target()));
  ASSERT_EQ(sent.wait_for(kPatience), std::future_status::ready) << "released while busy";
  EXPECT_FALSE(sent.get().has_value());

  gate.open.Set();
  loop.Stop();
  EXPECT_EQ(gate.handled, 1);
}

TEST(MessageLoop, EndingWithMessagesPendingDropsThemAndReleasesSenders) {
  Gate gate;
  auto loop = std::make_unique<LoopThread>(gate.Handler());
  const TargetHandle target = loop->Target();
  ASSERT_TRUE(Post(target, kBlock));
  ASSERT_TRUE(gate.started.Wait(kPatience));

  std::weak_ptr<int> payload;
  {
    auto owned = std::make_shared<int>(1);
    payload = owned;
    ASSERT_TRUE(Post(target, Message{kPing, 0, 0, std::move(owned)}));
  }
  auto sent = std::async(std::launch::async, [&] { return TrySend(target, kPing, 1); });
  EXPECT_EQ(sent.wait_for(50ms), std::future_status::timeout);

  loop->RequestStop();  // the loop ends once the handler returns
  gate.open.Set();
  loop->Stop();

  ASSERT_EQ(sent.wait_for(kPatience), std::future_status::ready);
  EXPECT_FALSE(sent.get().has_value());
  EXPECT_TRUE(payload.expired());
  EXPECT_EQ(gate.handled, 1);
  EXPECT_FALSE(IsTarget(target)) << "a thread's targets end with it";
  EXPECT_FALSE(Post(target, kPing));
}

TEST(MessageLoop, QuitEndsTheLoopWithItsExitCode) {
  LoopThread loop([](const Message&) -> MessageResult {
    QuitMessageLoop(18);
    return 0;
  });
  ASSERT_TRUE(Post(loop.Target(), kPing));
  EXPECT_EQ(loop.Join(), 18);
}

TEST(MessageTimer, TicksWithItsIdentifierUntilStopped) {
  constexpr std::uintptr_t kTimerId = 2;
  std::vector<WParam> ticks;
  std::promise<void> third;
  TargetHandle target;
  LoopThread loop([&](const Message& message) -> MessageResult {
    if (message.id != message_ids::kTimer) return 0;
    ticks.push_back(message.wParam);
    if (ticks.size() == 3) {
      EXPECT_TRUE(StopTimer(target, kTimerId));
      third.set_value();
    }
    return 0;
  });
  target = loop.Target();
  ASSERT_TRUE(StartTimer(target, kTimerId, 10ms));
  ASSERT_EQ(third.get_future().wait_for(kPatience), std::future_status::ready);
  std::this_thread::sleep_for(50ms);
  Send(target, kPing);  // everything the loop had is handled by now
  loop.Stop();
  EXPECT_EQ(ticks, (std::vector<WParam>{kTimerId, kTimerId, kTimerId}));
  EXPECT_FALSE(StopTimer(target, kTimerId));
}

TEST(MessageDispatch, WaitHandlesTheThreadsMessagesUntilDone) {
  bool handled = false;
  const TargetHandle target = CreateTarget([&](const Message&) -> MessageResult {
    handled = true;
    return 0;
  });
  std::jthread poster([&] { Post(target, kPing); });
  EXPECT_TRUE(DispatchMessagesUntil([&] { return handled; }, kPatience));
  DestroyTarget(target);
}

TEST(MessageDispatch, WaitSeesAConditionSetWithoutAMessage) {
  std::atomic<bool> ready{false};
  std::jthread setter([&] {
    std::this_thread::sleep_for(20ms);
    ready = true;
  });
  EXPECT_TRUE(DispatchMessagesUntil([&] { return ready.load(); }, kPatience));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(DispatchMessagesUntil([] { return false; }, 30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
}

TEST(MessageTarget, IsFoundByItsCaptionWhileItLives) {
  const auto answer = [](const Message&) { return MessageResult{51}; };
  const TargetHandle untitled = CreateTarget(answer);
  const TargetHandle server = CreateTarget(answer, "OrvaneServer");
  EXPECT_EQ(FindTarget("OrvaneServer"), server);
  EXPECT_FALSE(FindTarget(""));
  EXPECT_FALSE(FindTarget("Image"));
  DestroyTarget(server);
  EXPECT_FALSE(FindTarget("OrvaneServer"));
  DestroyTarget(untitled);
}

}  // namespace
}  // namespace orvane::platform
