#include "camera/grabbers.h"

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "camera/message_probe.h"
#include "platform/file_io.h"
#include "platform/message_ids.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using platform::message_ids::kSnapshotButton;

// Feeds `count` frames, taking the slot after each so none is dropped for being unread, and
// returns how many were stored.
int FeedAndCount(CSampleGrabberCB& grabber, CFrameSlot& slot, int count) {
  std::vector<std::uint8_t> frame(32, 1);
  int stored = 0;
  for (int i = 0; i < count; ++i) {
    grabber.BufferCB(0.0, frame.data(), 32);
    if (slot.State() == CFrameSlot::kFilled) {
      ++stored;
      slot.MarkTaken();
    }
  }
  return stored;
}

TEST(CSampleGrabberCB, DropsTheFirstTwoMjpgBuffersAfterEachOpening) {
  CSampleGrabberCB grabber;
  CFrameSlot slot;
  grabber.SetSink(&slot);
  grabber.Configure(4, 4, FrameSubtype::MJPG);
  EXPECT_EQ(FeedAndCount(grabber, slot, 3), 1);
  EXPECT_EQ(FeedAndCount(grabber, slot, 3), 3);
  grabber.Configure(4, 4, FrameSubtype::MJPG);
  EXPECT_EQ(FeedAndCount(grabber, slot, 3), 1);
  grabber.Configure(4, 4, FrameSubtype::YUY2);
  EXPECT_EQ(FeedAndCount(grabber, slot, 3), 3);
}

TEST(CSampleGrabberCB, DropsAFrameWhileTheSlotIsFilled) {
  CSampleGrabberCB grabber;
  CFrameSlot slot;
  grabber.SetSink(&slot);
  grabber.Configure(4, 2, FrameSubtype::YUY2);
  std::vector<std::uint8_t> first(16, 1), second(16, 2);
  grabber.BufferCB(0.0, first.data(), 16);
  grabber.BufferCB(0.0, second.data(), 16);
  EXPECT_EQ(slot.State(), CFrameSlot::kFilled);
  EXPECT_EQ(slot.Data()[0], 1);
  EXPECT_EQ(slot.Width(), 4);
  EXPECT_EQ(slot.Subtype(), FrameSubtype::YUY2);
}

// Once SetSink(null) returns, no callback touches the old slot any more, even one that was
// running on the streaming thread at that moment.
TEST(CSampleGrabberCB, DetachingWaitsForTheCallbackInFlight) {
  CSampleGrabberCB grabber;
  grabber.Configure(64, 64, FrameSubtype::YUY2);
  std::vector<std::uint8_t> frame(64 * 64 * 2, 3);
  for (int round = 0; round < 20; ++round) {
    auto slot = std::make_unique<CFrameSlot>();
    grabber.SetSink(slot.get());
    std::atomic<bool> stop{false};
    std::thread streaming([&] {
      while (!stop) grabber.BufferCB(0.0, frame.data(), static_cast<int>(frame.size()));
    });
    while (slot->State() != CFrameSlot::kFilled) std::this_thread::yield();
    slot->MarkTaken();
    grabber.SetSink(nullptr);
    const int state = slot->State();
    slot.reset();  // AddressSanitizer reports a callback that still writes into it
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    stop = true;
    streaming.join();
    EXPECT_NE(state, CFrameSlot::kFree);
  }
}

TEST(CSampleGrabberCallback, UnrequestedStillPostsOneSnapshotPerBuffer) {
  testing::MessageProbe window;
  CSampleGrabberCallback grabber;
  grabber.SetOwner(window.Handle());
  grabber.SetSize(2, 2);
  std::vector<std::uint8_t> yuy2(8, 128);
  EXPECT_EQ(grabber.BufferCB(0.0, yuy2.data(), 8), CSampleGrabberCallback::kNotImplemented);
  EXPECT_EQ(grabber.BufferCB(0.0, yuy2.data(), 8), CSampleGrabberCallback::kNotImplemented);
  EXPECT_EQ(window.Count(kSnapshotButton), 2);
  EXPECT_TRUE(grabber.GetPicture().empty());
  EXPECT_TRUE(grabber.Ready());
}

TEST(CSampleGrabberCallback, RequestedStillsAreConvertedAndTurned) {
  testing::MessageProbe window;
  CSampleGrabberCallback grabber;
  grabber.SetOwner(window.Handle());
  grabber.SetSize(4, 2);
  grabber.SetAngle(90);
  grabber.ClearReady();
  std::vector<std::uint8_t> tooLong(4 * 2 * 2 + 4, 128);
  grabber.BufferCB(0.0, tooLong.data(), static_cast<int>(tooLong.size()));
  EXPECT_FALSE(grabber.Ready());  // the request stays open
  std::vector<std::uint8_t> yuy2(4 * 2 * 2, 128);
  ASSERT_EQ(grabber.BufferCB(0.0, yuy2.data(), 16), 0);
  ASSERT_TRUE(grabber.Ready());
  const cv::Mat picture = grabber.GetPicture();
  EXPECT_EQ(picture.cols, 2);
  EXPECT_EQ(picture.rows, 4);
  EXPECT_EQ(window.Count(kSnapshotButton), 0);

  // A shorter buffer is a JPEG still, of whatever size it decodes to.
  grabber.SetAngle(0);
  grabber.ClearReady();
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", cv::Mat(2, 4, CV_8UC3, cv::Scalar(10, 200, 10)), jpeg);
  grabber.SetSize(64, 64);
  grabber.BufferCB(0.0, jpeg.data(), static_cast<int>(jpeg.size()));
  ASSERT_TRUE(grabber.Ready());
  EXPECT_EQ(grabber.GetPicture().cols, 4);
}

// A still whose header claims more than the still size the stream was set to is a bad frame:
// the request stays open and nothing is allocated for it.
TEST(CSampleGrabberCallback, AStillLargerThanTheStreamsSizeIsABadFrame) {
  CSampleGrabberCallback grabber;
  grabber.SetSize(640, 480);
  grabber.ClearReady();
  const fs::path fixtures = fs::path(__FILE__).parent_path().parent_path() / "imaging/fixtures";
  for (const char* name : {"jpeg_claims_20000x20000.jpg", "jpeg_claims_65000x65000.jpg"}) {
    const auto jpeg = platform::ReadWholeFile(fixtures / name);
    ASSERT_TRUE(jpeg) << name;
    grabber.BufferCB(0.0, reinterpret_cast<const std::uint8_t*>(jpeg->data()), static_cast<int>(jpeg->size()));
    EXPECT_FALSE(grabber.Ready()) << name;
  }
}

// A still the camera ended early is refused, and counted so the source can ask for the next; the
// request stays open for a whole one. A live frame offered while no still is awaited is passed
// over, never taken for the camera's button.
TEST(CSampleGrabberCallback, AStillEndedEarlyKeepsTheRequestOpen) {
  testing::MessageProbe window;
  CSampleGrabberCallback grabber;
  grabber.SetOwner(window.Handle());
  grabber.SetSize(64, 48);
  std::vector<std::uint8_t> whole;
  ASSERT_TRUE(cv::imencode(".jpg", cv::Mat(48, 64, CV_8UC3, cv::Scalar(10, 200, 10)), whole));
  const std::vector<std::uint8_t> half(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  for (bool live : {false, true}) {
    grabber.ClearReady();
    const auto offer = [&](const std::vector<std::uint8_t>& bytes) {
      const int length = static_cast<int>(bytes.size());
      if (live) return grabber.OfferLiveFrame(bytes.data(), length);
      grabber.BufferCB(0.0, bytes.data(), length);
      return grabber.Ready();
    };
    const int refused = grabber.Refused();
    EXPECT_FALSE(offer(half)) << live;
    EXPECT_FALSE(grabber.Ready()) << live;
    EXPECT_EQ(grabber.Refused(), refused + 1) << live;
    EXPECT_TRUE(offer(whole)) << live;
    ASSERT_TRUE(grabber.Ready()) << live;
    const cv::Mat picture = grabber.GetPicture();
    ASSERT_EQ(picture.size(), cv::Size(64, 48)) << live;
    EXPECT_LT(cv::norm(picture.at<cv::Vec3b>(47, 63), cv::Vec3b(10, 200, 10), cv::NORM_INF), 8) << live;
  }
  EXPECT_TRUE(grabber.OfferLiveFrame(whole.data(), static_cast<int>(whole.size())));
  EXPECT_EQ(window.Count(kSnapshotButton), 0);
}

TEST(CSampleGrabberCallback, AGivenUpRequestGivesTheButtonBack) {
  testing::MessageProbe window;
  CSampleGrabberCallback grabber;
  grabber.SetOwner(window.Handle());
  grabber.SetSize(2, 2);
  grabber.ClearReady();
  grabber.CancelRequest();  // the source's wait timed out
  std::vector<std::uint8_t> yuy2(8, 128);
  grabber.BufferCB(0.0, yuy2.data(), 8);
  EXPECT_EQ(window.Count(kSnapshotButton), 1);
  EXPECT_TRUE(grabber.GetPicture().empty());
}

TEST(CSampleGrabberCallback, RotatePictureByQuarters) {
  // 1 2 3
  // 4 5 6
  cv::Mat picture(2, 3, CV_8UC3, cv::Scalar(0, 0, 0));
  for (int k = 0; k < 6; ++k) picture.at<cv::Vec3b>(k / 3, k % 3)[0] = static_cast<std::uint8_t>(k + 1);
  struct Case {
    int angle;
    std::vector<int> order;  // empty: refused
    int columns;
  };
  const Case cases[] = {
      {0, {1, 2, 3, 4, 5, 6}, 3},  {90, {4, 1, 5, 2, 6, 3}, 2},  {180, {6, 5, 4, 3, 2, 1}, 3},
      {270, {3, 6, 2, 5, 1, 4}, 2}, {450, {4, 1, 5, 2, 6, 3}, 2}, {-90, {3, 6, 2, 5, 1, 4}, 2},
      {45, {}, 0},
  };
  for (const Case& c : cases) {
    const cv::Mat turned = CSampleGrabberCallback::RotatePicture(picture, c.angle);
    if (c.order.empty()) {
      EXPECT_TRUE(turned.empty()) << c.angle;
      continue;
    }
    ASSERT_EQ(turned.cols, c.columns) << c.angle;
    for (int k = 0; k < 6; ++k) {
      EXPECT_EQ(turned.at<cv::Vec3b>(k / c.columns, k % c.columns)[0], c.order[k]) << c.angle << " pixel " << k;
    }
  }
}

}  // namespace
}  // namespace orvane
