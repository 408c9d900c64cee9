#include "platform/simulated_v4l2.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <utility>

namespace orvane::platform {

namespace {

constexpr int kMaxBuffers = 8;
constexpr int kOffsetShift = 24;  // buffer index in the mmap offset
// Frames after which a queued buffer nobody wrote into gives its pages back: about a second at
// the usual rates, far longer than any buffer waits while the consumer keeps them all turning.
constexpr std::uint32_t kIdleFrames = 30;

void CopyName(std::uint8_t* target, std::size_t size, const std::string& text) {
  std::memset(target, 0, size);
  std::memcpy(target, text.data(), std::min(text.size(), size - 1));
}

int SnapToRange(int value, const SimulatedControl& control) {
  const int step = std::max(control.step, 1);
  const long long clamped = std::clamp(value, control.minimum, control.maximum);
  const long long snapped = control.minimum + (clamped - control.minimum + step / 2) / step * step;
  return static_cast<int>(std::min<long long>(snapped, control.maximum));
}

}  // namespace

class SimulatedDevice final : public IV4l2Device, private IStillPin {
 public:
  explicit SimulatedDevice(std::shared_ptr<SimulatedV4l2Camera> camera) : camera_(std::move(camera)) {}
  ~SimulatedDevice() override { camera_->Release(this); }
  SimulatedDevice(const SimulatedDevice&) = delete;
  SimulatedDevice& operator=(const SimulatedDevice&) = delete;

  int Ioctl(unsigned long request, void* argument) override { return camera_->Ioctl(this, request, argument); }
  void* Map(std::size_t length, std::uint32_t offset) override { return camera_->Map(length, offset); }
  void Unmap(void*, std::size_t) override {}
  int WaitForFrame(int timeoutMs) override { return camera_->WaitForFrame(timeoutMs); }
  IStillPin* StillPin() override { return camera_->model_.stillPin ? this : nullptr; }

 private:
  void Trigger() override {
    std::lock_guard guard(camera_->lock_);
    camera_->stillTrigger_ = true;
    camera_->changed_.notify_all();
  }
  bool TakeStill(std::vector<std::uint8_t>* bytes, std::uint32_t* pixelFormat, int* width, int* height) override {
    std::lock_guard guard(camera_->lock_);
    if (camera_->stills_.empty()) return false;
    auto& still = camera_->stills_.front();
    *bytes = std::move(still.bytes);
    *pixelFormat = still.fourcc;
    *width = still.width;
    *height = still.height;
    camera_->stills_.pop_front();
    return true;
  }
  void GetSize(int* width, int* height) const override {
    *width = camera_->model_.stillWidth;
    *height = camera_->model_.stillHeight;
  }

  std::shared_ptr<SimulatedV4l2Camera> camera_;
};

SimulatedV4l2Camera::Pages::Pages(std::size_t size) {
  if (size == 0) return;
  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return;
  data_ = static_cast<std::uint8_t*>(data);
  size_ = size;
}

SimulatedV4l2Camera::Pages::~Pages() {
  if (data_ != nullptr) munmap(data_, size_);
}

SimulatedV4l2Camera::Pages::Pages(Pages&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

SimulatedV4l2Camera::Pages& SimulatedV4l2Camera::Pages::operator=(Pages&& other) noexcept {
  if (this != &other) {
    if (data_ != nullptr) munmap(data_, size_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SimulatedV4l2Camera::Pages::Discard() {
  if (data_ != nullptr) madvise(data_, size_, MADV_DONTNEED);
}

SimulatedV4l2Camera::SimulatedV4l2Camera(SimulatedCameraModel model) : model_(std::move(model)) {
  for (const SimulatedControl& control : model_.controls) controlValues_.push_back(control.defaultValue);
  if (!model_.formats.empty()) {
    format_.pixelformat = model_.formats.front().fourcc;
    std::vector<std::pair<int, int>> sizes;
    SizesOf(format_.pixelformat, &sizes);
    if (!sizes.empty()) {
      format_.width = static_cast<std::uint32_t>(sizes.front().first);
      format_.height = static_cast<std::uint32_t>(sizes.front().second);
    }
  }
  FillFormat(format_);
}

std::unique_ptr<IV4l2Device> SimulatedV4l2Camera::Open() { return std::make_unique<SimulatedDevice>(shared_from_this()); }

void SimulatedV4l2Camera::SizesOf(std::uint32_t fourcc, std::vector<std::pair<int, int>>* sizes) const {
  for (const SimulatedFormat& format : model_.formats) {
    if (format.fourcc != fourcc) continue;
    if (format.stepwise.step_width > 0 && format.stepwise.step_height > 0) {
      sizes->push_back({static_cast<int>(format.stepwise.max_width), static_cast<int>(format.stepwise.max_height)});
    } else {
      *sizes = format.sizes;
    }
  }
}

void SimulatedV4l2Camera::FillFormat(v4l2_pix_format& format) const {
  format.field = V4L2_FIELD_NONE;
  format.colorspace = V4L2_COLORSPACE_SRGB;
  if (format.pixelformat == V4L2_PIX_FMT_YUYV) {
    format.bytesperline = format.width * 2;
    format.sizeimage = format.width * format.height * 2;
  } else {
    format.bytesperline = 0;
    format.sizeimage = format.width * format.height + 4096;  // room for a compressed frame
  }
}

const SimulatedControl* SimulatedV4l2Camera::FindControl(std::uint32_t id) const {
  for (const SimulatedControl& control : model_.controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

int SimulatedV4l2Camera::Ioctl(const void* handle, unsigned long request, void* argument) {
  std::lock_guard guard(lock_);
  if (unplugged_) return -ENODEV;
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto* capability = static_cast<v4l2_capability*>(argument);
      *capability = {};
      CopyName(capability->driver, sizeof capability->driver, "simulated");
      CopyName(capability->card, sizeof capability->card, model_.card);
      CopyName(capability->bus_info, sizeof capability->bus_info, "usb-" + model_.node.busPosition);
      capability->device_caps = model_.deviceCaps;
      capability->capabilities = model_.deviceCaps | V4L2_CAP_DEVICE_CAPS;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto* description = static_cast<v4l2_fmtdesc*>(argument);
      if (description->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || description->index >= model_.formats.size()) return -EINVAL;
      const std::uint32_t fourcc = model_.formats[description->index].fourcc;
      description->pixelformat = fourcc;
      description->flags = fourcc == V4L2_PIX_FMT_MJPEG ? V4L2_FMT_FLAG_COMPRESSED : 0;
      CopyName(description->description, sizeof description->description,
               fourcc == V4L2_PIX_FMT_MJPEG ? "Motion-JPEG" : "YUYV 4:2:2");
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto* size = static_cast<v4l2_frmsizeenum*>(argument);
      for (const SimulatedFormat& format : model_.formats) {
        if (format.fourcc != size->pixel_format) continue;
        if (format.stepwise.step_width > 0 && format.stepwise.step_height > 0) {
          if (size->index != 0) return -EINVAL;
          size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
          size->stepwise = format.stepwise;
          return 0;
        }
        if (size->index >= format.sizes.size()) return -EINVAL;
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete.width = static_cast<std::uint32_t>(format.sizes[size->index].first);
        size->discrete.height = static_cast<std::uint32_t>(format.sizes[size->index].second);
        return 0;
      }
      return -EINVAL;
    }
    case VIDIOC_G_FMT: {
      auto* format = static_cast<v4l2_format*>(argument);
      if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
      format->fmt.pix = format_;
      return 0;
    }
    case VIDIOC_S_FMT: {
      auto* format = static_cast<v4l2_format*>(argument);
      if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
      if (heldElsewhere_ || !buffers_.empty()) return -EBUSY;
      v4l2_pix_format chosen{};
      const SimulatedFormat* match = nullptr;
      for (const SimulatedFormat& candidate : model_.formats) {
        if (candidate.fourcc == format->fmt.pix.pixelformat) match = &candidate;
      }
      if (match == nullptr && !model_.formats.empty()) match = &model_.formats.front();
      if (match == nullptr) return -EINVAL;
      chosen.pixelformat = match->fourcc;
      const long long wanted = static_cast<long long>(format->fmt.pix.width) * format->fmt.pix.height;
      if (match->stepwise.step_width > 0 && match->stepwise.step_height > 0) {
        const auto& range = match->stepwise;
        const auto snap = [](std::uint32_t value, std::uint32_t low, std::uint32_t high, std::uint32_t step) {
          value = std::clamp(value, low, high);
          return low + (value - low) / step * step;
        };
        chosen.width = snap(format->fmt.pix.width, range.min_width, range.max_width, range.step_width);
        chosen.height = snap(format->fmt.pix.height, range.min_height, range.max_height, range.step_height);
      } else {
        long long best = LLONG_MAX;
        for (const auto& [width, height] : match->sizes) {
          const long long distance = std::llabs(static_cast<long long>(width) * height - wanted);
          if (distance < best) {
            best = distance;
            chosen.width = static_cast<std::uint32_t>(width);
            chosen.height = static_cast<std::uint32_t>(height);
          }
        }
      }
      FillFormat(chosen);
      format_ = chosen;
      format->fmt.pix = chosen;
      return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
      auto* parameters = static_cast<v4l2_streamparm*>(argument);
      if (parameters->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return -EINVAL;
      auto& frameInterval = parameters->parm.capture.timeperframe;
      if (request == VIDIOC_S_PARM) {
        if (streaming_) return -EBUSY;
        if (frameInterval.numerator > 0 && frameInterval.denominator > 0) {
          frameRate_ = std::clamp(static_cast<int>(frameInterval.denominator / frameInterval.numerator), 1, 60);
        }
      }
      parameters->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
      frameInterval.numerator = 1;
      frameInterval.denominator = static_cast<std::uint32_t>(frameRate_);
      return 0;
    }
    case VIDIOC_REQBUFS: {
      auto* request_buffers = static_cast<v4l2_requestbuffers*>(argument);
      if (request_buffers->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request_buffers->memory != V4L2_MEMORY_MMAP) return -EINVAL;
      if (owner_ != nullptr && owner_ != handle) return -EBUSY;
      if (request_buffers->count == 0) {
        buffers_.clear();
        streaming_ = false;
        owner_ = nullptr;
        return 0;
      }
      if (heldElsewhere_ || streaming_) return -EBUSY;
      buffers_.clear();
      buffers_.resize(std::min<std::uint32_t>(request_buffers->count, kMaxBuffers));
      for (Buffer& buffer : buffers_) {
        buffer.memory = Pages(format_.sizeimage);
        if (buffer.memory.get() == nullptr) {
          buffers_.clear();
          return -ENOMEM;
        }
        buffer.size = format_.sizeimage;
      }
      request_buffers->count = static_cast<std::uint32_t>(buffers_.size());
      owner_ = handle;
      return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF: {
      auto* buffer = static_cast<v4l2_buffer*>(argument);
      if (owner_ != handle) return -EINVAL;
      if (request == VIDIOC_DQBUF) {
        std::size_t oldest = buffers_.size();
        for (std::size_t i = 0; i < buffers_.size(); ++i) {
          if (buffers_[i].state == Buffer::State::Done &&
              (oldest == buffers_.size() || buffers_[i].sequence < buffers_[oldest].sequence)) {
            oldest = i;
          }
        }
        if (oldest == buffers_.size()) return -EAGAIN;
        buffers_[oldest].state = Buffer::State::User;
        buffer->index = static_cast<std::uint32_t>(oldest);
        buffer->bytesused = buffers_[oldest].bytesUsed;
        buffer->sequence = buffers_[oldest].sequence;
        buffer->flags = V4L2_BUF_FLAG_MAPPED;
        buffer->length = static_cast<std::uint32_t>(buffers_[oldest].size);
        buffer->m.offset = static_cast<std::uint32_t>(oldest) << kOffsetShift;
        return 0;
      }
      if (buffer->index >= buffers_.size()) return -EINVAL;
      Buffer& target = buffers_[buffer->index];
      if (request == VIDIOC_QBUF) {
        if (target.state != Buffer::State::User) return -EINVAL;
        target.state = Buffer::State::Queued;
        return 0;
      }
      buffer->length = static_cast<std::uint32_t>(target.size);
      buffer->m.offset = buffer->index << kOffsetShift;
      buffer->flags = V4L2_BUF_FLAG_MAPPED;
      return 0;
    }
    case VIDIOC_STREAMON:
      if (owner_ != handle || buffers_.empty()) return -EINVAL;
      streaming_ = true;
      changed_.notify_all();
      return 0;
    case VIDIOC_STREAMOFF:
      if (owner_ != handle) return -EINVAL;
      streaming_ = false;
      for (Buffer& buffer : buffers_) buffer.state = Buffer::State::User;
      return 0;
    case VIDIOC_QUERYCTRL: {
      auto* query = static_cast<v4l2_queryctrl*>(argument);
      const SimulatedControl* control = nullptr;
      if ((query->id & V4L2_CTRL_FLAG_NEXT_CTRL) != 0) {
        const std::uint32_t after = query->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        for (const SimulatedControl& candidate : model_.controls) {
          if (candidate.id > after && (control == nullptr || candidate.id < control->id)) control = &candidate;
        }
      } else {
        control = FindControl(query->id);
      }
      if (control == nullptr) return -EINVAL;
      *query = {};
      query->id = control->id;
      query->type = control->type;
      CopyName(query->name, sizeof query->name, control->name);
      query->minimum = control->minimum;
      query->maximum = control->maximum;
      query->step = control->step;
      query->default_value = control->defaultValue;
      return 0;
    }
    case VIDIOC_QUERYMENU: {
      auto* item = static_cast<v4l2_querymenu*>(argument);
      const SimulatedControl* control = FindControl(item->id);
      if (control == nullptr || control->type != V4L2_CTRL_TYPE_MENU ||
          std::find(control->menuEntries.begin(), control->menuEntries.end(), static_cast<int>(item->index)) ==
              control->menuEntries.end()) {
        return -EINVAL;
      }
      char name[32];
      std::snprintf(name, sizeof name, "Mode %u", item->index);
      CopyName(item->name, sizeof item->name, name);
      return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
      auto* value = static_cast<v4l2_control*>(argument);
      const SimulatedControl* control = FindControl(value->id);
      if (control == nullptr) return -EINVAL;
      int& stored = controlValues_[static_cast<std::size_t>(control - model_.controls.data())];
      if (request == VIDIOC_G_CTRL) {
        value->value = stored;
        return 0;
      }
      if (control->type == V4L2_CTRL_TYPE_MENU) {
        if (std::find(control->menuEntries.begin(), control->menuEntries.end(), value->value) == control->menuEntries.end()) {
          return -EINVAL;
        }
        stored = value->value;
      } else {
        stored = SnapToRange(value->value, *control);  // the V4L2 core rounds into the range
      }
      value->value = stored;
      return 0;
    }
    default:
      return -ENOTTY;
  }
}

void* SimulatedV4l2Camera::Map(std::size_t length, std::uint32_t offset) {
  std::lock_guard guard(lock_);
  const std::size_t index = offset >> kOffsetShift;
  if (unplugged_ || index >= buffers_.size() || length > buffers_[index].size) return nullptr;
  return buffers_[index].memory.get();
}

int SimulatedV4l2Camera::WaitForFrame(int timeoutMs) {
  std::unique_lock guard(lock_);
  const auto ready = [&] {
    return unplugged_ || !stills_.empty() ||
           std::any_of(buffers_.begin(), buffers_.end(), [](const Buffer& b) { return b.state == Buffer::State::Done; });
  };
  changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready);
  if (unplugged_) return -ENODEV;
  return ready() ? 1 : 0;
}

void SimulatedV4l2Camera::Release(const void* handle) {
  std::lock_guard guard(lock_);
  if (owner_ != handle) return;
  buffers_.clear();
  streaming_ = false;
  owner_ = nullptr;
}

bool SimulatedV4l2Camera::DeliverFrame(const std::uint8_t* bytes, std::size_t length) {
  return WriteFrame(length, [bytes](std::uint8_t* into, std::size_t used) { std::memcpy(into, bytes, used); });
}

bool SimulatedV4l2Camera::WriteFrame(std::size_t length,
                                     const std::function<void(std::uint8_t* into, std::size_t length)>& write) {
  std::lock_guard guard(lock_);
  if (!streaming_ || unplugged_) return false;
  const auto target = std::find_if(buffers_.begin(), buffers_.end(),
                                   [](const Buffer& buffer) { return buffer.state == Buffer::State::Queued; });
  if (target == buffers_.end()) return false;
  std::size_t used = std::min(length, target->size);
  if (cutPeriod_ > 0 && framesSinceCut_++ % static_cast<std::uint32_t>(cutPeriod_) == 0) used /= 2;
  write(target->memory.get(), used);
  target->bytesUsed = static_cast<std::uint32_t>(used);
  target->sequence = sequence_++;
  target->state = Buffer::State::Done;
  target->holdsPages = true;
  // The contents of a queued buffer are the driver's: nobody may read them before a frame is in.
  for (Buffer& buffer : buffers_) {
    if (buffer.state == Buffer::State::Queued && buffer.holdsPages && sequence_ - buffer.sequence > kIdleFrames) {
      buffer.memory.Discard();
      buffer.holdsPages = false;
    }
  }
  changed_.notify_all();
  return true;
}

bool SimulatedV4l2Camera::Streaming() const {
  std::lock_guard guard(lock_);
  return streaming_;
}

v4l2_pix_format SimulatedV4l2Camera::CurrentFormat() const {
  std::lock_guard guard(lock_);
  return format_;
}

int SimulatedV4l2Camera::FrameRate() const {
  std::lock_guard guard(lock_);
  return frameRate_;
}

void SimulatedV4l2Camera::DeliverStill(std::vector<std::uint8_t> bytes, std::uint32_t fourcc, int width, int height) {
  std::lock_guard guard(lock_);
  if (unplugged_) return;
  if (cutPeriod_ > 0 && stillsSinceCut_++ % static_cast<std::uint32_t>(cutPeriod_) == 0) bytes.resize(bytes.size() / 2);
  stills_.push_back({std::move(bytes), fourcc, width, height});
  changed_.notify_all();
}

void SimulatedV4l2Camera::EndFramesEarly(int period) {
  std::lock_guard guard(lock_);
  cutPeriod_ = std::max(period, 0);
  framesSinceCut_ = 0;
  stillsSinceCut_ = 0;
}

std::uint32_t SimulatedV4l2Camera::FramesWritten() const {
  std::lock_guard guard(lock_);
  return sequence_;
}

bool SimulatedV4l2Camera::TakeStillTrigger() {
  std::lock_guard guard(lock_);
  return std::exchange(stillTrigger_, false);
}

void SimulatedV4l2Camera::SetHeldElsewhere(bool held) {
  std::lock_guard guard(lock_);
  heldElsewhere_ = held;
}

void SimulatedV4l2Camera::Unplug() {
  std::lock_guard guard(lock_);
  unplugged_ = true;
  changed_.notify_all();
}

int SimulatedV4l2Camera::ControlValue(std::uint32_t id) const {
  std::lock_guard guard(lock_);
  const SimulatedControl* control = FindControl(id);
  return control == nullptr ? INT_MIN : controlValues_[static_cast<std::size_t>(control - model_.controls.data())];
}

std::vector<VideoNodeInfo> SimulatedV4l2Backend::ListNodes() {
  std::vector<VideoNodeInfo> nodes;
  for (const auto& camera : cameras_) nodes.push_back(camera->Model().node);
  return nodes;
}

std::unique_ptr<IV4l2Device> SimulatedV4l2Backend::OpenNode(const std::string& devicePath, int* error) {
  for (const auto& camera : cameras_) {
    if (camera->Model().node.devicePath == devicePath) return camera->Open();
  }
  if (error != nullptr) *error = ENOENT;
  return nullptr;
}

}  // namespace orvane::platform
