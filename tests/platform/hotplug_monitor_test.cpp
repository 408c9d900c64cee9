// The hot-plug monitor over a fake event source: one notification per device and action for the
// burst a plug produces, with the device's ids, delivered to a window of the message layer.
#include "platform/hotplug_monitor.h"

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <deque>
#include <mutex>
#include <thread>

namespace orvane::platform {
namespace {

using namespace std::chrono_literals;
using Action = DeviceChange::Action;

// Events pushed by the test; the eventfd is readable exactly while some are queued.
class FakeEventSource : public IDeviceEventSource {
 public:
  FakeEventSource() : descriptor_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~FakeEventSource() override { close(descriptor_); }

  void Push(std::initializer_list<DeviceChange> changes) {
    std::lock_guard guard(lock_);
    queue_.insert(queue_.end(), changes.begin(), changes.end());
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(descriptor_, &one, sizeof one);
  }
  int Descriptor() override { return descriptor_; }
  std::optional<DeviceChange> Receive() override {
    std::lock_guard guard(lock_);
    if (queue_.empty()) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t read = ::read(descriptor_, &count, sizeof count);
      return std::nullopt;
    }
    DeviceChange change = queue_.front();
    queue_.pop_front();
    return change;
  }

 private:
  std::mutex lock_;
  std::deque<DeviceChange> queue_;
  int descriptor_;
};

class HotplugMonitorTest : public ::testing::Test {
 protected:
  HotplugMonitorTest() {
    auto source = std::make_unique<FakeEventSource>();
    source_ = source.get();
    window_ = CreateTarget([this](const Message& message) {
      if (message.id == message_ids::kDeviceChange) {
        const auto& change = std::any_cast<const DeviceChange&>(message.payload);
        received_.push_back({message.wParam, change});
      }
      return MessageResult{0};
    });
    monitor_ = std::make_unique<HotplugMonitor>(std::move(source), window_, 100ms);
  }
  ~HotplugMonitorTest() override {
    monitor_.reset();
    DestroyTarget(window_);
  }

  bool WaitForCount(std::size_t count) {
    return DispatchMessagesUntil([&] { return received_.size() >= count; }, 5s);
  }

  FakeEventSource* source_ = nullptr;
  TargetHandle window_;
  std::unique_ptr<HotplugMonitor> monitor_;
  std::vector<std::pair<WParam, DeviceChange>> received_;
};

const DeviceChange kCameraIn{Action::Arrival, "3C4D", "B514"};
const DeviceChange kCameraOut{Action::Removal, "3C4D", "B514"};
const DeviceChange kPortraitIn{Action::Arrival, "1E4E", "0320"};

TEST_F(HotplugMonitorTest, APlugBurstGivesOneArrivalWithTheIds) {
  ASSERT_TRUE(monitor_->Start());
  // The USB device, then its capture and metadata nodes.
  source_->Push({kCameraIn, kCameraIn, kCameraIn});
  ASSERT_TRUE(WaitForCount(1));
  DispatchMessagesFor(150ms);  // nothing more follows
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0].first, message_ids::kDeviceArrival);
  EXPECT_EQ(received_[0].second, kCameraIn);
}

TEST_F(HotplugMonitorTest, OneNotificationPerDeviceAndActionInTheOrderSeen) {
  ASSERT_TRUE(monitor_->Start());
  source_->Push({kCameraOut, kPortraitIn, kCameraOut});
  std::this_thread::sleep_for(10ms);  // still inside the burst
  source_->Push({kCameraIn, kPortraitIn});
  ASSERT_TRUE(WaitForCount(3));
  DispatchMessagesFor(150ms);
  ASSERT_EQ(received_.size(), 3u);
  EXPECT_EQ(received_[0].first, message_ids::kDeviceRemoval);
  EXPECT_EQ(received_[0].second, kCameraOut);
  EXPECT_EQ(received_[1].second, kPortraitIn);
  EXPECT_EQ(received_[2].first, message_ids::kDeviceArrival);
  EXPECT_EQ(received_[2].second, kCameraIn);
}

TEST_F(HotplugMonitorTest, SeparateBurstsAreReportedSeparately) {
  ASSERT_TRUE(monitor_->Start());
  source_->Push({kCameraOut});
  ASSERT_TRUE(WaitForCount(1));
  source_->Push({kCameraOut});  // pulled again after a replug the fake did not show
  ASSERT_TRUE(WaitForCount(2));
  EXPECT_EQ(received_[1].second, kCameraOut);
}

TEST_F(HotplugMonitorTest, StopDropsAnUnreportedBurstAndEndsTheThread) {
  ASSERT_TRUE(monitor_->Start());
  EXPECT_TRUE(monitor_->Start());  // already running
  source_->Push({kCameraIn});
  monitor_->Stop();
  DispatchMessagesFor(100ms);
  EXPECT_TRUE(received_.empty());
  monitor_->Stop();  // twice is harmless
}

TEST(HotplugMonitorWithoutSourceTest, DoesNotStart) {
  HotplugMonitor monitor(nullptr, TargetHandle{});
  EXPECT_FALSE(monitor.Start());
}

TEST(UsbProductPropertyTest, IdsArePaddedAndUpperCased) {
  using Ids = std::pair<std::string, std::string>;
  EXPECT_EQ(ParseUsbProductProperty("3c4d/1a2b/100"), Ids("3C4D", "1A2B"));
  EXPECT_EQ(ParseUsbProductProperty("5da/f052/1"), Ids("05DA", "F052"));
  EXPECT_EQ(ParseUsbProductProperty("1e4e/320"), Ids("1E4E", "0320"));
  for (const char* bad : {"", "3c4d", "3c4d//1", "12345/1/1", "xyz/1a2b/1"}) {
    EXPECT_EQ(ParseUsbProductProperty(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace orvane::platform
