#include "platform/window_bus.h"

#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "platform/message_ids.h"
#include "private_bus.h"

namespace orvane::platform {
namespace {

using namespace std::chrono_literals;
using ::orvane::testing::FakeCompanion;
using ::orvane::testing::PrivateBus;
using Received = FakeCompanion::Received;

struct NameCase {
  std::string caption;
  std::string busName;
};

TEST(WindowBusNameTest, EveryByteOutsideTheLettersIsWrittenInHex) {
  const NameCase cases[] = {
      {"OrvaneServer", "com.morvath.window.OrvaneServer"},
      {"Kelvora Viewer (2)", "com.morvath.window.Kelvora_20Viewer_20_28_32_29"},
      {"v1.1_x", "com.morvath.window.v_31_2e_31_5fx"},
      {"图", "com.morvath.window._e5_9b_be"},
      // No window has these: the bus takes neither an empty part nor a name that long.
      {"", ""},
      {std::string(79, '.'), ""},
  };
  for (const NameCase& c : cases) EXPECT_EQ(WindowBusName(c.caption), c.busName) << c.caption;
  EXPECT_EQ(WindowBusName(std::string(78, '.')).size(), 253u);
}

bool Eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class WindowBusTest : public ::testing::Test {
 protected:
  PrivateBus bus;
};

TEST_F(WindowBusTest, AWindowIsFoundAndAnswersOnItsOwnThreadAndTakesPosts) {
  FakeCompanion server(bus.Address(), "OrvaneServer", {message_ids::kServerQuery, message_ids::kImagePathPublished},
                       message_ids::kServerReply);
  ASSERT_TRUE(server.Registered());
  WindowBus companions(bus.Address());
  ASSERT_TRUE(companions.Connected());
  EXPECT_TRUE(companions.FindWindow("OrvaneServer"));

  const WParam wide = 0xFFFF'FFFF'FFFF'FFF0u;
  EXPECT_EQ(companions.Send("OrvaneServer", message_ids::kServerQuery, wide, -7), message_ids::kServerReply);
  EXPECT_TRUE(companions.Post("OrvaneServer", message_ids::kImagePathPublished));
  ASSERT_TRUE(Eventually([&] { return server.Messages().size() == 2; }));
  EXPECT_EQ(server.Messages()[0], (Received{message_ids::kServerQuery, wide, -7}));
  EXPECT_EQ(server.Messages()[1], (Received{message_ids::kImagePathPublished, 0, 0}));
}

TEST_F(WindowBusTest, AMessageTheWindowDoesNotOfferIsAnsweredZeroWithoutReachingIt) {
  FakeCompanion station(bus.Address(), "Station", {message_ids::kShareImagePath}, 5);
  WindowBus companions(bus.Address());
  EXPECT_EQ(companions.Send("Station", message_ids::kCalibrateDpi), 0);
  EXPECT_TRUE(companions.Post("Station", message_ids::kDeviceChange));
  EXPECT_EQ(companions.Send("Station", message_ids::kShareImagePath), 5);
  EXPECT_EQ(station.Messages(), (std::vector<Received>{{message_ids::kShareImagePath, 0, 0}}));
}

TEST_F(WindowBusTest, AnAbsentWindowIsNotFoundAndNothingWaitsForIt) {
  WindowBus companions(bus.Address());
  WindowBus noBus("unix:path=/nonexistent/bus");
  EXPECT_FALSE(noBus.Connected());
  const auto start = std::chrono::steady_clock::now();
  for (WindowBus* client : {&companions, &noBus}) {
    for (const char* caption : {"Image", ""}) {
      EXPECT_FALSE(client->FindWindow(caption)) << caption;
      EXPECT_EQ(client->Send(caption, message_ids::kStationClosing), std::nullopt) << caption;
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(WindowBusTest, AHungWindowHoldsTheSenderOnlyUntilTheTimeout) {
  FakeCompanion hung(bus.Address(), "OrvaneServer", {message_ids::kServerQuery}, std::nullopt);
  WindowBus companions(bus.Address());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(companions.Send("OrvaneServer", message_ids::kServerQuery, 0, 0, 300ms), std::nullopt);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 290ms);
  EXPECT_LT(waited, 2s);
  EXPECT_EQ(hung.Messages().size(), 1u);
}

TEST_F(WindowBusTest, ACaptionHeldByAnotherProgramIsNotTaken) {
  FakeCompanion first(bus.Address(), "Image", {message_ids::kImagePathPublished});
  FakeCompanion second(bus.Address(), "Image", {message_ids::kImagePathPublished});
  EXPECT_TRUE(first.Registered());
  EXPECT_FALSE(second.Registered());
}

TEST_F(WindowBusTest, AWindowThatLeavesTheBusAnswersACallerStillWaitingForItsThread) {
  // The target's thread (this one) is busy and never gets to the message.
  const TargetHandle target = CreateTarget([](const Message&) -> MessageResult { return 1; });
  auto window = std::make_unique<BusWindow>(bus.Address(), "Station", target,
                                            std::vector<MessageId>{message_ids::kShareImagePath});
  ASSERT_TRUE(window->Registered());
  WindowBus companions(bus.Address());
  auto answer = std::async(std::launch::async, [&] { return companions.Send("Station", message_ids::kShareImagePath); });
  std::this_thread::sleep_for(200ms);
  const auto start = std::chrono::steady_clock::now();
  window.reset();
  EXPECT_EQ(answer.get(), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the caller waited for its timeout";
  DestroyTarget(target);
}

TEST_F(WindowBusTest, AWindowWhoseThreadIsBusyHoldsItsServerOnlyForAWhile) {
  std::atomic<int> handled{0};
  // The target's thread (this one) is busy until the test lets it dispatch.
  const TargetHandle target = CreateTarget([&](const Message&) -> MessageResult { return ++handled; });
  BusWindow window(bus.Address(), "Station", target, std::vector<MessageId>{message_ids::kShareImagePath});
  ASSERT_TRUE(window.Registered());
  WindowBus companions(bus.Address());
  // Callers more patient than the server: the server gives up on the busy thread first.
  for (int call = 0; call < 2; ++call) {
    auto answer = std::async(std::launch::async, [&] {
      return companions.Send("Station", message_ids::kShareImagePath, 0, 0, 60s);
    });
    ASSERT_EQ(answer.wait_for(30s), std::future_status::ready) << "call " << call << " still waits";
    EXPECT_EQ(answer.get(), std::nullopt);
  }
  auto answer = std::async(std::launch::async, [&] {
    return companions.Send("Station", message_ids::kShareImagePath, 0, 0, 60s);
  });
  EXPECT_TRUE(DispatchMessagesUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }, 30s));
  EXPECT_EQ(answer.get(), 1) << "the calls it gave up on never reach the window later";
  DestroyTarget(target);
}

TEST_F(WindowBusTest, AFloodOfPostsFillsTheWindowsQueueOnlySoFar) {
  int handled = 0;
  const TargetHandle target = CreateTarget([&](const Message&) -> MessageResult { return ++handled; });
  BusWindow window(bus.Address(), "Station", target, std::vector<MessageId>{message_ids::kShareImagePath});
  ASSERT_TRUE(window.Registered());
  WindowBus companions(bus.Address());
  for (int i = 0; i < 2000; ++i) ASSERT_TRUE(companions.Post("Station", message_ids::kShareImagePath));
  // Answered after every post before it was served: the server kept up while the window did not.
  EXPECT_EQ(companions.Send("Station", message_ids::kCalibrateDpi, 0, 0, 60s), 0);
  EXPECT_TRUE(DispatchMessagesUntil([&] { return handled == 64; }, 30s));
  DispatchMessagesFor(100ms);
  EXPECT_EQ(handled, 64) << "the posts past the window's room were dropped";
  // Once the window has caught up, its posts are taken again.
  ASSERT_TRUE(companions.Post("Station", message_ids::kShareImagePath));
  EXPECT_TRUE(DispatchMessagesUntil([&] { return handled == 65; }, 30s));
  DestroyTarget(target);
}

}  // namespace
}  // namespace orvane::platform
