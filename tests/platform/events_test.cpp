#include "platform/events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace orvane::platform {
namespace {

using namespace std::chrono_literals;

struct ResetCase {
  EventReset reset;
  bool initiallySet;
  std::vector<bool> waitsAfterSet;  // zero-timeout waits after one Set
};

class EventResetTest : public ::testing::TestWithParam<ResetCase> {};

TEST_P(EventResetTest, SignalIsConsumedOnlyByAnAutoResetEvent) {
  const ResetCase& c = GetParam();
  Event event(c.reset, c.initiallySet);
  EXPECT_EQ(event.Wait(0ms), c.initiallySet);
  event.Set();
  for (std::size_t i = 0; i < c.waitsAfterSet.size(); ++i) {
    EXPECT_EQ(event.Wait(0ms), c.waitsAfterSet[i]) << "wait " << i;
  }
  event.Reset();
  EXPECT_FALSE(event.Wait(0ms));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EventResetTest,
    ::testing::Values(ResetCase{EventReset::kAuto, false, {true, false}},
                      ResetCase{EventReset::kManual, false, {true, true}},
                      ResetCase{EventReset::kManual, true, {true, true}}));

TEST(Event, WaitTimesOutWhenNotSignalled) {
  Event event(EventReset::kAuto);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.Wait(30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
}

TEST(Event, ManualResetReleasesEveryWaiter) {
  Event event(EventReset::kManual);
  std::atomic<int> released{0};
  {
    std::vector<std::jthread> waiters;
    for (int i = 0; i < 3; ++i) {
      waiters.emplace_back([&] {
        event.Wait();
        ++released;
      });
    }
    std::this_thread::sleep_for(20ms);
    event.Set();
  }
  EXPECT_EQ(released, 3);
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  Event event(EventReset::kAuto);
  std::atomic<int> released{0};
  {
    std::vector<std::jthread> waiters;
    for (int i = 0; i < 2; ++i) {
      waiters.emplace_back([&] {
        if (event.Wait(300ms)) ++released;
      });
    }
    std::this_thread::sleep_for(20ms);
    event.Set();
  }
  EXPECT_EQ(released, 1);
}

TEST(NamedEvent, OneNameIsOneEventWhileItIsHeld) {
  auto owner = OpenNamedEvent("StopInspectThread", EventReset::kAuto);
  auto other = OpenNamedEvent("StopInspectThread", EventReset::kManual);
  auto unrelated = OpenNamedEvent("StopPODInspectThread", EventReset::kAuto);
  EXPECT_EQ(owner, other);
  EXPECT_NE(owner, unrelated);

  std::jthread stopper([&] { other->Set(); });
  EXPECT_TRUE(owner->Wait(5s));
  EXPECT_FALSE(other->Wait(0ms)) << "keeps the auto reset it was made with";

  stopper.join();
  owner->Set();
  owner.reset();
  other.reset();
  auto fresh = OpenNamedEvent("StopInspectThread", EventReset::kManual);
  EXPECT_FALSE(fresh->Wait(0ms)) << "a released name starts again";
}

}  // namespace
}  // namespace orvane::platform
