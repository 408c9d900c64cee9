#include "platform/simulated_v4l2.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace orvane::platform {
namespace {

// A 640 x 480 YUYV camera streaming into `count` mapped buffers, all queued.
class SimulatedStreamTest : public ::testing::Test {
 protected:
  void Stream(int count) {
    SimulatedCameraModel model;
    model.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}}, {}}};
    camera_ = std::make_shared<SimulatedV4l2Camera>(model);
    device_ = camera_->Open();
    v4l2_requestbuffers request{};
    request.count = static_cast<std::uint32_t>(count);
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    ASSERT_EQ(device_->Ioctl(VIDIOC_REQBUFS, &request), 0);
    ASSERT_EQ(request.count, static_cast<std::uint32_t>(count));
    for (int index = 0; index < count; ++index) {
      v4l2_buffer buffer = Buffer(index);
      ASSERT_EQ(device_->Ioctl(VIDIOC_QUERYBUF, &buffer), 0);
      length_ = buffer.length;
      mapped_.push_back(static_cast<std::uint8_t*>(device_->Map(buffer.length, buffer.m.offset)));
      ASSERT_NE(mapped_.back(), nullptr);
      Queue(index);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(device_->Ioctl(VIDIOC_STREAMON, &type), 0);
  }

  static v4l2_buffer Buffer(int index) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = static_cast<std::uint32_t>(index);
    return buffer;
  }
  void Queue(int index) {
    v4l2_buffer buffer = Buffer(index);
    ASSERT_EQ(device_->Ioctl(VIDIOC_QBUF, &buffer), 0);
  }
  // A frame of `value` bytes.
  void Deliver(std::uint8_t value) {
    const std::vector<std::uint8_t> frame(length_, value);
    EXPECT_TRUE(camera_->DeliverFrame(frame.data(), frame.size()));
  }
  v4l2_buffer Dequeue() {
    v4l2_buffer buffer = Buffer(0);
    EXPECT_EQ(device_->Ioctl(VIDIOC_DQBUF, &buffer), 0);
    return buffer;
  }
  std::size_t ResidentPages(int index) const {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((length_ + page - 1) / page);
    EXPECT_EQ(mincore(mapped_[static_cast<std::size_t>(index)], length_, resident.data()), 0);
    std::size_t count = 0;
    for (unsigned char flags : resident) count += flags & 1;
    return count;
  }

  std::shared_ptr<SimulatedV4l2Camera> camera_;
  std::unique_ptr<IV4l2Device> device_;
  std::vector<std::uint8_t*> mapped_;
  std::size_t length_ = 0;
};

TEST_F(SimulatedStreamTest, FramesComeOutInTheOrderTheyWereTakenWhateverBufferTheyFilled) {
  Stream(3);
  Deliver(1);
  const v4l2_buffer held = Dequeue();
  ASSERT_EQ(held.index, 0u);
  Deliver(2);
  Deliver(3);
  Queue(0);
  Deliver(4);  // into buffer 0 again, the lowest one queued
  for (std::uint8_t expected : {2, 3, 4}) {
    const v4l2_buffer buffer = Dequeue();
    EXPECT_EQ(mapped_[buffer.index][0], expected);
    EXPECT_EQ(mapped_[buffer.index][length_ - 1], expected);
    EXPECT_EQ(buffer.bytesused, length_);
  }
}

TEST_F(SimulatedStreamTest, ABufferLeftQueuedGivesItsPagesBackAndTakesAWholeFrameLater) {
  Stream(2);
  // The consumer is late once: the second frame goes into buffer 1.
  Deliver(1);
  Deliver(2);
  for (int i = 0; i < 2; ++i) Queue(static_cast<int>(Dequeue().index));
  ASSERT_GT(ResidentPages(1), 0u);
  // From then on it is prompt, and buffer 0 takes every frame.
  for (int i = 0; i < 40; ++i) {
    Deliver(static_cast<std::uint8_t>(10 + i));
    const v4l2_buffer buffer = Dequeue();
    ASSERT_EQ(buffer.index, 0u);
    Queue(0);
  }
  EXPECT_EQ(ResidentPages(1), 0u);
  EXPECT_GT(ResidentPages(0), 0u);
  // Buffer 1 still takes a frame whole when buffer 0 is held.
  Deliver(80);
  ASSERT_EQ(Dequeue().index, 0u);
  Deliver(90);
  const v4l2_buffer late = Dequeue();
  ASSERT_EQ(late.index, 1u);
  EXPECT_EQ(std::memcmp(mapped_[1], std::vector<std::uint8_t>(length_, 90).data(), length_), 0);
}

}  // namespace
}  // namespace orvane::platform
