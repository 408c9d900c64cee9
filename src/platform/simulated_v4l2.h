// A V4L2 camera modelled in process: formats, frame sizes, controls, mmap buffers and a capture
// queue, behind the same device interface as a real node. Its frames come from a producer (the
// virtual camera's scene, or a test). It is thread-safe: the producer, the streaming thread and
// the UI thread may call it at once.
#pragma once

#include <linux/videodev2.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/v4l2_device.h"

namespace orvane::platform {

struct SimulatedFormat {
  std::uint32_t fourcc = V4L2_PIX_FMT_YUYV;
  std::vector<std::pair<int, int>> sizes;  // discrete sizes in the driver's order
  // When set (width and height step above 0), sizes are a stepwise range instead.
  v4l2_frmsize_stepwise stepwise{};
};

struct SimulatedControl {
  std::uint32_t id = 0;
  std::string name;
  std::uint32_t type = V4L2_CTRL_TYPE_INTEGER;
  int minimum = 0;
  int maximum = 0;
  int step = 1;
  int defaultValue = 0;
  std::vector<int> menuEntries;  // the menu indices a menu control accepts
};

struct SimulatedCameraModel {
  VideoNodeInfo node;
  std::string card;
  std::uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  std::vector<SimulatedFormat> formats;
  std::vector<SimulatedControl> controls;
  bool stillPin = false;  // stills arrive beside the preview (not a V4L2 feature)
  int stillWidth = 0;
  int stillHeight = 0;
};

class SimulatedV4l2Camera : public std::enable_shared_from_this<SimulatedV4l2Camera> {
 public:
  explicit SimulatedV4l2Camera(SimulatedCameraModel model);

  const SimulatedCameraModel& Model() const { return model_; }

  // A new handle on the node; several may be open, one may own the buffers.
  std::unique_ptr<IV4l2Device> Open();

  // Producer side. A frame goes into the lowest-numbered queued buffer with bytesused = its
  // length (cut to the buffer's size); false when nothing is streaming or no buffer is queued
  // (dropped). A consumer that queues each buffer again at once so keeps writing into one.
  bool DeliverFrame(const std::uint8_t* bytes, std::size_t length);
  // The same for a frame of `length` bytes written in place: `write` gets the buffer and the
  // frame's length cut to it. It runs under the camera's lock, so it must not call the camera.
  bool WriteFrame(std::size_t length, const std::function<void(std::uint8_t* into, std::size_t length)>& write);
  bool Streaming() const;
  v4l2_pix_format CurrentFormat() const;
  int FrameRate() const;  // from S_PARM; 30 until set

  // A still at the still size, requested or not (the camera's button).
  void DeliverStill(std::vector<std::uint8_t> bytes, std::uint32_t fourcc, int width, int height);
  // Takes a pending still trigger.
  bool TakeStillTrigger();

  // Another program holds the camera: format changes and buffer requests answer EBUSY.
  void SetHeldElsewhere(bool held);
  // The camera is unplugged: every waiter wakes with ENODEV and every call fails with it.
  void Unplug();
  // A camera short of bus bandwidth: from now on the first of every `period` frames, and of every
  // `period` stills, ends halfway (bytesused says so). 1 cuts every one; 0 stops it.
  void EndFramesEarly(int period);
  // Frames written into buffers so far (dropped ones not counted).
  std::uint32_t FramesWritten() const;

  int ControlValue(std::uint32_t id) const;

 private:
  friend class SimulatedDevice;
  // Anonymous pages of its own, so that those of a buffer can be given back while it waits.
  class Pages {
   public:
    Pages() = default;
    explicit Pages(std::size_t size);  // empty when there is no memory for them
    ~Pages();
    Pages(Pages&& other) noexcept;
    Pages& operator=(Pages&& other) noexcept;
    std::uint8_t* get() const { return data_; }
    // The contents are dropped; the next write faults in zeroed pages.
    void Discard();

   private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
  };
  // As a driver's buffers, only the pages a frame is written into are held: a 13-MP camera's
  // MJPG buffers are sized for 13 MB but a frame fills one or two. A queued buffer left unwritten
  // for a while gives its pages back, so one that took a single frame while the consumer was late
  // does not hold a whole frame's memory for the rest of the stream.
  struct Buffer {
    Pages memory;
    std::size_t size = 0;
    enum class State { User, Queued, Done } state = State::User;
    std::uint32_t bytesUsed = 0;
    std::uint32_t sequence = 0;
    bool holdsPages = false;  // written since its pages were last given back
  };

  int Ioctl(const void* handle, unsigned long request, void* argument);
  void* Map(std::size_t length, std::uint32_t offset);
  int WaitForFrame(int timeoutMs);
  void Release(const void* handle);
  const SimulatedControl* FindControl(std::uint32_t id) const;
  void SizesOf(std::uint32_t fourcc, std::vector<std::pair<int, int>>* sizes) const;
  void FillFormat(v4l2_pix_format& format) const;

  SimulatedCameraModel model_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  v4l2_pix_format format_{};
  int frameRate_ = 30;
  std::vector<int> controlValues_;
  std::vector<Buffer> buffers_;
  const void* owner_ = nullptr;  // the handle that holds the buffers
  bool streaming_ = false;
  bool heldElsewhere_ = false;
  bool unplugged_ = false;
  std::uint32_t sequence_ = 0;
  bool stillTrigger_ = false;
  int cutPeriod_ = 0;
  std::uint32_t framesSinceCut_ = 0;
  std::uint32_t stillsSinceCut_ = 0;
  struct Still {
    std::vector<std::uint8_t> bytes;
    std::uint32_t fourcc;
    int width, height;
  };
  std::deque<Still> stills_;
};

// A backend over simulated cameras, listed in the order they were added.
class SimulatedV4l2Backend : public IV4l2Backend {
 public:
  // Called on the thread that lists and opens the nodes (the cameras' own threads never do).
  void Add(std::shared_ptr<SimulatedV4l2Camera> camera) { cameras_.push_back(std::move(camera)); }
  // The camera's node is gone, as when it is pulled out (pair with SimulatedV4l2Camera::Unplug).
  void Remove(const std::shared_ptr<SimulatedV4l2Camera>& camera) { std::erase(cameras_, camera); }
  std::vector<VideoNodeInfo> ListNodes() override;
  std::unique_ptr<IV4l2Device> OpenNode(const std::string& devicePath, int* error) override;

 private:
  std::vector<std::shared_ptr<SimulatedV4l2Camera>> cameras_;
};

}  // namespace orvane::platform
