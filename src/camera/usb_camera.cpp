#include "camera/usb_camera.h"

#include <linux/videodev2.h>

#include <QComboBox>
#include <QDialog>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>

#include "app/log_file.h"
#include "camera/device_page.h"
#include "platform/message_ids.h"
#include "platform/snapshot_button.h"
#include "platform/special_folders.h"
#include "platform/user_notice.h"

namespace orvane {

namespace {

constexpr const char* kSourceName = "..\\src\\USBCamra";
constexpr int kBufferCount = 4;
// Frames this large (a 4160 x 3120 YUY2 frame is 26 MB) get two buffers: each frame is copied out
// as soon as it is taken, so the camera always has one to fill, and two more would only hold
// frames the display drops anyway.
constexpr std::uint32_t kLargeFrameBytes = 8u << 20;
constexpr int kLargeFrameBufferCount = 2;
constexpr int kWaitSliceMs = 100;  // the streaming thread looks at its stop flag this often

void Log(const char* function, int line, const char* text) {
  CDebugLog::Instance().Write("%s:%s:%d:%s\n", kSourceName, function, line, text);
}

// Said once a run: the button's input device is usually readable by root and the input group
// only, and without it the button does nothing.
void ReportUnreadableButton(const std::string& device) {
  static std::atomic<bool> reported{false};
  if (reported.exchange(true)) return;
  const std::string text = "the snapshot button is not read: no permission to open " + device;
  Log("CUSBCamra::Run", __LINE__, text.c_str());
}

void LogCode(const char* function, int line, const char* text, int code) {
  CDebugLog::Instance().Write("%s:%s:%d:%s: Code = %X\n", kSourceName, function, line, text,
                              static_cast<unsigned>(code));
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// An errno as a failure code in the HRESULT style (FACILITY_WIN32 of the errno).
int ErrnoCode(int negativeErrno) {
  if (negativeErrno == -EBUSY) return kDeviceBusy;
  return static_cast<int>(0x80070000u | (static_cast<unsigned>(-negativeErrno) & 0xFFFF));
}

std::uint32_t FourccOf(int formatMode) { return formatMode == kFormatMJPG ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_YUYV; }

FrameSubtype SubtypeOf(std::uint32_t fourcc) {
  if (fourcc == V4L2_PIX_FMT_YUYV) return FrameSubtype::YUY2;
  if (fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG) return FrameSubtype::MJPG;
  return FrameSubtype::None;
}

// The sizes of one pixel format: discrete ones in the driver's order; a stepwise or continuous
// range gives the usual sizes that lie on its grid, then its largest size.
std::vector<std::pair<int, int>> ListSizes(platform::IV4l2Device& device, std::uint32_t fourcc) {
  std::vector<std::pair<int, int>> sizes;
  for (std::uint32_t index = 0;; ++index) {
    v4l2_frmsizeenum size{};
    size.index = index;
    size.pixel_format = fourcc;
    if (device.Ioctl(VIDIOC_ENUM_FRAMESIZES, &size) != 0) break;
    if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
      sizes.push_back({static_cast<int>(size.discrete.width), static_cast<int>(size.discrete.height)});
      continue;
    }
    const auto& range = size.stepwise;
    const std::uint32_t stepWidth = std::max<std::uint32_t>(range.step_width, 1);
    const std::uint32_t stepHeight = std::max<std::uint32_t>(range.step_height, 1);
    static constexpr std::pair<std::uint32_t, std::uint32_t> kUsual[] = {
        {640, 480},   {800, 600},   {1024, 768},  {1280, 720},  {1280, 960},  {1600, 1200}, {1920, 1080},
        {2048, 1536}, {2592, 1944}, {3264, 2448}, {3840, 2160}, {4160, 3120}, {4608, 3456}};
    for (const auto& [width, height] : kUsual) {
      if (width >= range.min_width && width <= range.max_width && height >= range.min_height &&
          height <= range.max_height && (width - range.min_width) % stepWidth == 0 &&
          (height - range.min_height) % stepHeight == 0 && !(width == range.max_width && height == range.max_height)) {
        sizes.push_back({static_cast<int>(width), static_cast<int>(height)});
      }
    }
    sizes.push_back({static_cast<int>(range.max_width), static_cast<int>(range.max_height)});
    break;
  }
  return sizes;
}

std::vector<std::uint32_t> ListFourccs(platform::IV4l2Device& device) {
  std::vector<std::uint32_t> formats;
  for (std::uint32_t index = 0;; ++index) {
    v4l2_fmtdesc description{};
    description.index = index;
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device.Ioctl(VIDIOC_ENUM_FMT, &description) != 0) break;
    formats.push_back(description.pixelformat);
  }
  return formats;
}

// Exposure is presented as the camera stack's log2 seconds; V4L2 counts 100 µs units.
long ExposureToLog(long raw) { return std::lround(std::log2(std::max(raw, 1L) * 1e-4)); }
long ExposureFromLog(long value) { return std::lround(std::exp2(static_cast<double>(value)) * 1e4); }

}  // namespace

namespace {
std::atomic<std::int64_t> stillTimeoutMs{kStillTimeoutMs};
}  // namespace

std::chrono::milliseconds StillTimeout() { return std::chrono::milliseconds(stillTimeoutMs.load()); }
void SetStillTimeout(std::chrono::milliseconds timeout) { stillTimeoutMs = timeout.count(); }

void NoticeTimeOut() { platform::ShowUserNotice({"Time Out", "", platform::NoticeIcon::kWarning}); }

// A camera property and the V4L2 controls behind it.
struct V4l2ControlMapping {
  std::uint32_t value = 0;      // 0: the camera stack's property has no V4L2 counterpart
  std::uint32_t automatic = 0;  // the matching *_AUTO control, 0 when none
  bool exposure = false;
};

namespace {

// Image properties 0 to 9 and camera properties 0 to 6 in the camera stack's numbering.
const V4l2ControlMapping kProcAmp[] = {
    {V4L2_CID_BRIGHTNESS, V4L2_CID_AUTOBRIGHTNESS, false},
    {V4L2_CID_CONTRAST, 0, false},
    {V4L2_CID_HUE, V4L2_CID_HUE_AUTO, false},
    {V4L2_CID_SATURATION, 0, false},
    {V4L2_CID_SHARPNESS, 0, false},
    {V4L2_CID_GAMMA, 0, false},
    {0, 0, false},  // colour enable
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE, false},
    {V4L2_CID_BACKLIGHT_COMPENSATION, 0, false},
    {V4L2_CID_GAIN, V4L2_CID_AUTOGAIN, false},
};

const V4l2ControlMapping kCameraControl[] = {
    {V4L2_CID_PAN_ABSOLUTE, 0, false},
    {V4L2_CID_TILT_ABSOLUTE, 0, false},
    {0, 0, false},  // roll
    {V4L2_CID_ZOOM_ABSOLUTE, 0, false},
    {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO, true},
    {V4L2_CID_IRIS_ABSOLUTE, 0, false},
    {V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO, false},
};

const V4l2ControlMapping* ProcAmpMapping(long property) {
  return property >= 0 && property < 10 ? &kProcAmp[property] : nullptr;
}

const V4l2ControlMapping* CameraControlMapping(long property) {
  return property >= 0 && property < 7 ? &kCameraControl[property] : nullptr;
}

}  // namespace

bool DevicePathMatches(const std::string& devicePath, const std::string& vendor, const std::string& product) {
  const std::string path = Lower(devicePath);
  const std::size_t vid = path.find("vid");
  const std::size_t pid = path.find("pid");
  if (vid == std::string::npos || pid == std::string::npos) return false;
  const auto part = [&](std::size_t at) { return at + 4 <= path.size() ? path.substr(at + 4, 4) : std::string(); };
  return part(vid) == Lower(vendor) && part(pid) == Lower(product);
}

CUSBCamra::CUSBCamra(std::shared_ptr<platform::IV4l2Backend> backend)
    : backend_(backend ? std::move(backend) : DefaultVideoBackend()) {
  static std::once_flag logOnce;
  std::call_once(logOnce, [] { CDebugLog::Instance().SetFileName(platform::TempFolder() / "QVCam.log"); });
}

CUSBCamra::~CUSBCamra() {
  CloseDevice();
  Log("CUSBCamra::~CUSBCamra", __LINE__, "Out");
}

std::vector<platform::VideoCaptureDevice> CUSBCamra::Devices() { return platform::EnumerateCaptureDevices(*backend_); }

std::optional<platform::VideoCaptureDevice> CUSBCamra::FindByIds(const std::string& vendor, const std::string& product,
                                                                 int index) {
  int seen = 0;
  for (platform::VideoCaptureDevice& device : Devices()) {
    if (!DevicePathMatches(device.devicePathText, vendor, product)) continue;
    if (seen++ == index) return std::move(device);
  }
  return std::nullopt;
}

void CUSBCamra::CloseDevice() {
  Stop();
  ReleaseBuffers();
  device_.reset();
  questionDevice_.reset();
  bound_.reset();
  state_ = kStateClosed;
  deviceIndex_ = 0;
  vendor_.clear();
  product_.clear();
  deviceLost_ = false;
  lostReported_ = false;
}

int CUSBCamra::Open(const std::string& id1, const std::string& id2, const std::string& id3,
                    platform::TargetHandle notifyWindow, bool stillPin, int deviceIndex) {
  Log("CUSBCamra::SetupVideo", __LINE__, "In SetupVideo");
  const bool haveIds = !id1.empty() && !id2.empty();
  if (id3.empty() && !haveIds) return kNullPointer;
  CloseDevice();
  vendor_ = id1;
  product_ = id2;
  notifyWindow_ = notifyWindow;
  deviceIndex_ = deviceIndex;

  // By ids the deviceIndex-th match, so two identical cameras open two devices.
  if (haveIds && id3.empty()) {
    bound_ = FindByIds(id1, id2, deviceIndex);
  } else {
    for (platform::VideoCaptureDevice& device : Devices()) {
      const std::string path = Lower(device.devicePathText);
      const bool match = haveIds ? DevicePathMatches(path, id1, id2) && path.compare(34, id3.size(), Lower(id3)) == 0
                                 : device.friendlyName == id3;
      if (match) {
        bound_ = std::move(device);
        break;
      }
    }
    if (!bound_ && !haveIds) Log("CUSBCamra::SetupVideo", __LINE__, "BindFilter Error");
  }
  if (!bound_) {
    CloseDevice();
    return 1;
  }
  int error = 0;
  device_ = backend_->OpenNode(bound_->node.devicePath, &error);
  if (!device_) {
    LogCode("CUSBCamra::SetupVideo", __LINE__, "Open Error", error);
    CloseDevice();
    return ErrnoCode(-error);
  }

  // The preview size among the device's sizes of the format mode.
  const std::vector<std::pair<int, int>> sizes = ListSizes(*device_, FourccOf(formatMode_));
  const int count = static_cast<int>(sizes.size());
  if (width_ < 0 && height_ < 0) {
    if (sizeIndex_ < 0 || sizeIndex_ >= count) sizeIndex_ = 0;
  } else {
    long long best = 0x0FFFFFFF;
    const long long wanted = static_cast<long long>(width_) * height_;
    for (int i = 0; i < count; ++i) {
      const long long distance = std::llabs(static_cast<long long>(sizes[i].first) * sizes[i].second - wanted);
      if (distance < best) {
        best = distance;
        sizeIndex_ = i;
      }
    }
  }
  if (sizeIndex_ < count) {
    width_ = sizes[sizeIndex_].first;
    height_ = sizes[sizeIndex_].second;
  }

  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  int result = device_->Ioctl(VIDIOC_G_FMT, &format);
  if (result == 0 && count > 0) {
    format.fmt.pix.pixelformat = FourccOf(formatMode_);
    format.fmt.pix.width = static_cast<std::uint32_t>(width_);
    format.fmt.pix.height = static_cast<std::uint32_t>(height_);
    format.fmt.pix.field = V4L2_FIELD_ANY;
    result = device_->Ioctl(VIDIOC_S_FMT, &format);
  }
  CDebugLog::Instance().Write(formatMode_ == kFormatMJPG ? "%s:%s:%d: -->>MJPG\n" : "%s:%s:%d: -->>YUY2\n",
                              kSourceName, "CUSBCamra::SetupVideo", __LINE__);
  if (result == 0 && frameRate_ > 0) {
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parameters.parm.capture.timeperframe = {1, static_cast<std::uint32_t>(frameRate_)};
    device_->Ioctl(VIDIOC_S_PARM, &parameters);  // a camera without interval control keeps its own
  }
  if (result == 0) result = RequestBuffers();
  if (result != 0) {
    LogCode("CUSBCamra::SetupVideo", __LINE__, result == -EBUSY ? "Device busy" : "SetFormat Error",
            static_cast<unsigned>(-result));
    CloseDevice();
    return ErrnoCode(result);
  }
  width_ = static_cast<int>(format.fmt.pix.width);
  height_ = static_cast<int>(format.fmt.pix.height);
  preview_.Configure(width_, height_, SubtypeOf(format.fmt.pix.pixelformat));
  preview_.SetSink(sink_);

  state_ = kStateOpened;
  stillPinFlag_ = stillPin;
  still_.SetOwner(notifyWindow);
  if (stillPin) {
    platform::IStillPin* pin = device_->StillPin();
    if (pin == nullptr) {
      LogCode("CUSBCamra::SetupVideo", __LINE__, "FindInterface Error", kFail);
      CloseDevice();
      return kFail;
    }
    int stillWidth = 0, stillHeight = 0;
    pin->GetSize(&stillWidth, &stillHeight);
    still_.SetSize(stillWidth, stillHeight);
  } else {
    still_.SetSize(width_, height_);  // stills are live frames
  }
  Log("CUSBCamra::SetupVideo", __LINE__, "Out SetupVideo");
  return kSuccess;
}

int CUSBCamra::RequestBuffers() {
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  const bool large = device_->Ioctl(VIDIOC_G_FMT, &format) == 0 && format.fmt.pix.sizeimage >= kLargeFrameBytes;
  v4l2_requestbuffers request{};
  request.count = large ? kLargeFrameBufferCount : kBufferCount;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  if (const int result = device_->Ioctl(VIDIOC_REQBUFS, &request); result != 0) return result;
  if (request.count == 0) return -ENOMEM;
  for (std::uint32_t index = 0; index < request.count; ++index) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    int result = device_->Ioctl(VIDIOC_QUERYBUF, &buffer);
    void* address = result == 0 ? device_->Map(buffer.length, buffer.m.offset) : nullptr;
    if (address == nullptr) {
      ReleaseBuffers();
      return result != 0 ? result : -ENOMEM;
    }
    buffers_.push_back({address, buffer.length});
  }
  return 0;
}

void CUSBCamra::ReleaseBuffers() {
  if (!device_) return;
  for (const MappedBuffer& buffer : buffers_) device_->Unmap(buffer.address, buffer.length);
  const bool hadBuffers = !buffers_.empty();
  buffers_.clear();
  if (hadBuffers) {
    v4l2_requestbuffers request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    device_->Ioctl(VIDIOC_REQBUFS, &request);
  }
}

void CUSBCamra::SetFrameSink(CFrameSlot* slot) {
  sink_ = slot;
  preview_.SetSink(slot);
}

bool CUSBCamra::Start() {
  if (!device_) return false;
  if (state_ == kStateRunning) return true;
  int result = buffers_.empty() ? RequestBuffers() : 0;
  for (std::size_t index = 0; result == 0 && index < buffers_.size(); ++index) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = static_cast<std::uint32_t>(index);
    result = device_->Ioctl(VIDIOC_QBUF, &buffer);
  }
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (result == 0) result = device_->Ioctl(VIDIOC_STREAMON, &type);
  if (result != 0) {
    LogCode("CUSBCamra::Run", __LINE__, "Run Error", static_cast<unsigned>(-result));
    if (result == -ENODEV) deviceLost_ = true;
    ReleaseBuffers();
    return false;
  }
  preview_.Configure(width_, height_, SubtypeOf(FourccOf(formatMode_)));
  {
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device_->Ioctl(VIDIOC_G_FMT, &format) == 0) {
      preview_.Configure(static_cast<int>(format.fmt.pix.width), static_cast<int>(format.fmt.pix.height),
                         SubtypeOf(format.fmt.pix.pixelformat));
    }
  }
  stopStreaming_ = false;
  std::unique_ptr<platform::SnapshotButtonReader> button;
  try {
    streaming_ = std::thread([this] { StreamLoop(); });
    const platform::TargetHandle notify = notifyWindow_;
    button = std::make_unique<platform::SnapshotButtonReader>(
        bound_->node.inputEvents, [notify] { platform::Post(notify, platform::message_ids::kSnapshotButton, 0, 0); });
  } catch (const std::system_error&) {
  }
  if (!button || button->Failed()) {
    // What started stops again: a thread left joinable would end the program with the camera.
    stopStreaming_ = true;
    if (streaming_.joinable()) streaming_.join();
    device_->Ioctl(VIDIOC_STREAMOFF, &type);
    ReleaseBuffers();
    Log("CUSBCamra::Run", __LINE__, "Run Error: a thread cannot start");
    return false;
  }
  button_ = std::move(button);
  if (!button_->Denied().empty()) ReportUnreadableButton(button_->Denied().front());
  Log("CUSBCamra::Run", __LINE__, "Run Ok");
  state_ = kStateRunning;
  return true;
}

bool CUSBCamra::Stop() {
  if (!device_) return false;
  if (state_ != kStateRunning) {
    // An opened camera holds its buffers until it is stopped: another source of the same camera
    // (the picture-in-picture inset) can then take them.
    ReleaseBuffers();
    return true;
  }
  button_.reset();
  stopStreaming_ = true;
  if (streaming_.joinable()) streaming_.join();
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  device_->Ioctl(VIDIOC_STREAMOFF, &type);
  ReleaseBuffers();
  liveStillWanted_ = false;
  state_ = kStateOpened;
  return true;
}

void CUSBCamra::FeedStill(const std::uint8_t* bytes, int length) { still_.BufferCB(0.0, bytes, length); }

void CUSBCamra::StreamLoop() {
  platform::IStillPin* pin = stillPinFlag_ ? device_->StillPin() : nullptr;
  std::vector<std::uint8_t> still;
  while (!stopStreaming_) {
    const int ready = device_->WaitForFrame(kWaitSliceMs);
    if (ready < 0) {
      if (ready == -ENODEV) deviceLost_ = true;
      if (ready == -ENODEV) break;
      continue;
    }
    std::uint32_t stillFormat = 0;
    int stillWidth = 0, stillHeight = 0;
    while (pin != nullptr && pin->TakeStill(&still, &stillFormat, &stillWidth, &stillHeight)) {
      FeedStill(still.data(), static_cast<int>(still.size()));
    }
    if (ready == 0) continue;
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    const int result = device_->Ioctl(VIDIOC_DQBUF, &buffer);
    if (result == -ENODEV) {
      deviceLost_ = true;
      break;
    }
    if (result != 0 || buffer.index >= buffers_.size()) continue;
    const auto* bytes = static_cast<const std::uint8_t*>(buffers_[buffer.index].address);
    const int length = static_cast<int>(std::min<std::size_t>(buffer.bytesused, buffers_[buffer.index].length));
    if ((buffer.flags & V4L2_BUF_FLAG_ERROR) == 0 && length > 0) {
      preview_.BufferCB(0.0, bytes, length);
      // A live frame that did not decode whole leaves the still wanted: the next one is tried.
      if (pin == nullptr && liveStillWanted_.load() && still_.OfferLiveFrame(bytes, length)) liveStillWanted_ = false;
    }
    if (device_->Ioctl(VIDIOC_QBUF, &buffer) == -ENODEV) {
      deviceLost_ = true;
      break;
    }
  }
}

cv::Mat CUSBCamra::GrabStill() {
  if (!device_ || state_ != kStateRunning) return {};  // no stream, nothing would arrive
  still_.ClearReady();
  platform::IStillPin* pin = stillPinFlag_ ? device_->StillPin() : nullptr;
  if (pin != nullptr) {
    pin->Trigger();
  } else {
    liveStillWanted_ = true;
  }
  const auto deadline = std::chrono::steady_clock::now() + StillTimeout();
  for (int refused = still_.Refused();;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const bool answered =
        left.count() > 0 && platform::DispatchMessagesUntil(
                                [&] { return still_.Ready() || deviceLost_ || still_.Refused() != refused; }, left);
    if (!answered || still_.Ready() || deviceLost_) break;
    // A still that came with rows missing: the pin is asked for the next one, within the same time
    // (a live still is taken from the next frame by the streaming thread).
    refused = still_.Refused();
    if (pin != nullptr) pin->Trigger();
  }
  if (!still_.Ready()) {
    liveStillWanted_ = false;
    still_.CancelRequest();
    Log("CUSBCamra::GrabStill", __LINE__, "Time Out");
    NoticeTimeOut();
    return {};
  }
  return still_.GetPicture();
}

bool CUSBCamra::PollEvent(SourceEvent* event, long* code) {
  if (!device_) return false;
  *event = SourceEvent::None;
  *code = 0;
  if (deviceLost_ && !lostReported_) {
    lostReported_ = true;
    *event = SourceEvent::DeviceLost;
    *code = ENODEV;
  }
  return true;
}

int CUSBCamra::Reopen() {
  if (!device_ || vendor_.empty() || product_.empty()) return kSuccess;
  const std::string vendor = vendor_;
  const std::string product = product_;
  return Open(vendor, product, std::string(), notifyWindow_, stillPinFlag_, deviceIndex_);
}

int CUSBCamra::SetResolution(int width, int height) {
  if (width == width_ && height == height_) return kSuccess;
  width_ = width;
  height_ = height;
  return Reopen();
}

int CUSBCamra::SetResolutionByIndex(int index) {
  if (index == sizeIndex_) return kSuccess;
  sizeIndex_ = index;
  width_ = height_ = -1;
  return Reopen();
}

void CUSBCamra::GetCurrentResolution(int* width, int* height) {
  *width = width_;
  *height = height_;
}

std::unique_ptr<platform::IV4l2Device> CUSBCamra::OpenForQuestion(const std::string& id1, const std::string& id2,
                                                                  int deviceIndex, platform::IV4l2Device** device) {
  *device = nullptr;
  const bool own = Lower(id1) == Lower(vendor_) && Lower(id2) == Lower(product_) && deviceIndex == deviceIndex_;
  if (own && device_) {
    *device = device_.get();
    return nullptr;
  }
  if (own && questionDevice_) {
    *device = questionDevice_.get();
    return nullptr;
  }
  std::optional<platform::VideoCaptureDevice> found = FindByIds(id1, id2, deviceIndex);
  if (!found) return nullptr;
  int error = 0;
  std::unique_ptr<platform::IV4l2Device> opened = backend_->OpenNode(found->node.devicePath, &error);
  if (!opened) return nullptr;
  // A source that has no device yet adopts the one it was asked about.
  if (vendor_.empty() && product_.empty() && !device_) {
    vendor_ = id1;
    product_ = id2;
    deviceIndex_ = deviceIndex;
    bound_ = std::move(found);
    questionDevice_ = std::move(opened);
    *device = questionDevice_.get();
    return nullptr;
  }
  *device = opened.get();
  return opened;
}

int CUSBCamra::GetDeviceResolutionCount(const std::string& id1, const std::string& id2, int deviceIndex) {
  platform::IV4l2Device* device = nullptr;
  const auto temporary = OpenForQuestion(id1, id2, deviceIndex, &device);
  if (device == nullptr) return 0;
  return static_cast<int>(ListSizes(*device, FourccOf(formatMode_)).size());
}

int CUSBCamra::GetDeviceResolution(const std::string& id1, const std::string& id2, int deviceIndex, int index,
                                   int* width, int* height) {
  platform::IV4l2Device* device = nullptr;
  const auto temporary = OpenForQuestion(id1, id2, deviceIndex, &device);
  if (device == nullptr) return -3;
  std::size_t all = 0;
  for (std::uint32_t fourcc : ListFourccs(*device)) all += ListSizes(*device, fourcc).size();
  if (all == 0) return -4;
  if (index < 0 || static_cast<std::size_t>(index) >= all) return -5;
  const auto sizes = ListSizes(*device, FourccOf(formatMode_));
  if (static_cast<std::size_t>(index) >= sizes.size()) return -6;
  *width = sizes[index].first;
  *height = sizes[index].second;
  return 0;
}

bool CUSBCamra::GetDeviceFormatList(const std::string& id1, const std::string& id2, int deviceIndex,
                                    std::vector<int>* formats) {
  formats->clear();
  platform::IV4l2Device* device = nullptr;
  const auto temporary = OpenForQuestion(id1, id2, deviceIndex, &device);
  if (device == nullptr) return false;
  const auto fourccs = ListFourccs(*device);
  if (std::find(fourccs.begin(), fourccs.end(), V4L2_PIX_FMT_YUYV) != fourccs.end()) formats->push_back(kFormatYUY2);
  if (std::find(fourccs.begin(), fourccs.end(), V4L2_PIX_FMT_MJPEG) != fourccs.end()) formats->push_back(kFormatMJPG);
  return true;
}

int CUSBCamra::GetResolutionCount() { return GetDeviceResolutionCount(vendor_, product_, deviceIndex_); }

int CUSBCamra::GetResolution(int index, int* width, int* height) {
  return GetDeviceResolution(vendor_, product_, deviceIndex_, index, width, height);
}

bool CUSBCamra::GetFormatList(std::vector<int>* formats) {
  return GetDeviceFormatList(vendor_, product_, deviceIndex_, formats);
}

bool CUSBCamra::HasStillPin(const std::string& id1, const std::string& id2, int deviceIndex) {
  const auto found = FindByIds(id1, id2, deviceIndex);
  if (!found) return false;
  int error = 0;
  const auto device = backend_->OpenNode(found->node.devicePath, &error);
  return device && device->StillPin() != nullptr;
}

int CUSBCamra::ProbeDevice(const std::string& id1, const std::string& id2) {
  if (id1.empty() || id2.empty()) return -1;
  int count = 0;
  for (const auto& device : Devices()) count += DevicePathMatches(device.devicePathText, id1, id2) ? 1 : 0;
  return count;
}

int CUSBCamra::CountMatchingDevices(const std::string& id1, const std::string& id2, const std::string& id3) {
  if (id1.empty() || id2.empty()) return -1;
  int count = 0;
  for (const auto& device : Devices()) {
    const std::string path = Lower(device.devicePathText);
    if (DevicePathMatches(path, id1, id2) && path.size() >= 34 && path.compare(34, id3.size(), Lower(id3)) == 0) ++count;
  }
  return count;
}

int CUSBCamra::CountDevicesByName(const std::string& name) {
  if (name.empty()) return -1;
  int count = 0;
  for (const auto& device : Devices()) count += device.friendlyName == name ? 1 : 0;
  return count;
}

bool CUSBCamra::GetDeviceFriendlyName(const std::string& id1, const std::string& id2, int index, std::string* name,
                                      std::size_t capacity) {
  name->clear();
  const auto found = FindByIds(id1, id2, index);
  if (!found || found->friendlyName.size() >= capacity) return false;
  *name = found->friendlyName;
  return true;
}

int CUSBCamra::GetDeviceList(std::span<char> buffer) {
  if (buffer.size() <= 8) return -2;
  std::fill(buffer.begin(), buffer.end(), '\0');
  const auto devices = Devices();
  if (devices.empty()) return -1;
  if (8 * devices.size() >= buffer.size()) return -2;
  std::size_t at = 0;
  for (const auto& device : devices) {
    const std::string path = device.devicePathText;
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::size_t vid = upper.find("VID");
    const std::size_t pid = upper.find("PID");
    if (vid == std::string::npos || pid == std::string::npos) continue;
    const std::string ids = upper.substr(vid + 4, 4) + upper.substr(pid + 4, 4);
    std::copy(ids.begin(), ids.end(), buffer.begin() + static_cast<std::ptrdiff_t>(at));
    at += ids.size();
  }
  return static_cast<int>(devices.size());
}

int CUSBCamra::FillDeviceCombo(QComboBox* combo) {
  if (combo == nullptr) return -1;
  const auto devices = Devices();
  if (devices.empty()) return -1;
  for (const auto& device : devices) combo->addItem(QString::fromStdString(device.friendlyName));
  return static_cast<int>(devices.size());
}

platform::IV4l2Device* CUSBCamra::ControlDevice() {
  if (device_) return device_.get();
  if (!questionDevice_ && !vendor_.empty() && !product_.empty()) {
    if (auto found = FindByIds(vendor_, product_, deviceIndex_)) {
      int error = 0;
      questionDevice_ = backend_->OpenNode(found->node.devicePath, &error);
      if (questionDevice_) bound_ = std::move(found);
    }
  }
  return questionDevice_.get();
}

int CUSBCamra::QueryRange(platform::IV4l2Device& device, std::uint32_t id, PropertyRange* range) {
  v4l2_queryctrl query{};
  query.id = id;
  if (id == 0 || device.Ioctl(VIDIOC_QUERYCTRL, &query) != 0 || (query.flags & V4L2_CTRL_FLAG_DISABLED) != 0) {
    return kFail;
  }
  range->minimum = query.minimum;
  range->maximum = query.maximum;
  range->step = std::max(query.step, 1);  // a step of 0 counts as 1
  range->defaultValue = query.default_value;
  range->flags = kPropertyManual;
  return kSuccess;
}

int CUSBCamra::ControlRange(const V4l2ControlMapping& mapping, PropertyRange* range) {
  platform::IV4l2Device* device = ControlDevice();
  if (device == nullptr) return kNullPointer;
  if (const int result = QueryRange(*device, mapping.value, range); result != kSuccess) return result;
  PropertyRange automatic;
  if (mapping.automatic != 0 && QueryRange(*device, mapping.automatic, &automatic) == kSuccess) {
    range->flags |= kPropertyAuto;
  }
  if (mapping.exposure) {
    range->minimum = ExposureToLog(range->minimum);
    range->maximum = ExposureToLog(range->maximum);
    range->defaultValue = ExposureToLog(range->defaultValue);
    range->step = 1;
  }
  return kSuccess;
}

int CUSBCamra::ReadControl(const V4l2ControlMapping& mapping, long* value, long* flags) {
  platform::IV4l2Device* device = ControlDevice();
  if (device == nullptr) return kNullPointer;
  v4l2_control control{};
  control.id = mapping.value;
  if (mapping.value == 0 || device->Ioctl(VIDIOC_G_CTRL, &control) != 0) return kFail;
  *value = mapping.exposure ? ExposureToLog(control.value) : control.value;
  *flags = kPropertyManual;
  v4l2_control automatic{};
  automatic.id = mapping.automatic;
  if (mapping.automatic != 0 && device->Ioctl(VIDIOC_G_CTRL, &automatic) == 0) {
    const bool on = mapping.automatic == V4L2_CID_EXPOSURE_AUTO ? automatic.value != V4L2_EXPOSURE_MANUAL
                                                                 : automatic.value != 0;
    if (on) *flags = kPropertyAuto;
  }
  return kSuccess;
}

int CUSBCamra::SetAuto(platform::IV4l2Device& device, const V4l2ControlMapping& mapping, bool automatic) {
  if (mapping.automatic == 0) return automatic ? kFail : kSuccess;
  v4l2_control control{};
  control.id = mapping.automatic;
  if (mapping.automatic == V4L2_CID_EXPOSURE_AUTO) {
    // EXPOSURE_AUTO is a menu with 1 for manual; the automatic mode is the one the camera offers.
    control.value = V4L2_EXPOSURE_MANUAL;
    if (automatic) {
      control.value = -1;
      for (int mode : {V4L2_EXPOSURE_APERTURE_PRIORITY, V4L2_EXPOSURE_AUTO, V4L2_EXPOSURE_SHUTTER_PRIORITY}) {
        v4l2_querymenu item{};
        item.id = V4L2_CID_EXPOSURE_AUTO;
        item.index = static_cast<std::uint32_t>(mode);
        if (device.Ioctl(VIDIOC_QUERYMENU, &item) == 0) {
          control.value = mode;
          break;
        }
      }
      if (control.value < 0) return kFail;
    }
  } else {
    control.value = automatic ? 1 : 0;
  }
  const int result = device.Ioctl(VIDIOC_S_CTRL, &control);
  return result == 0 ? kSuccess : ErrnoCode(result);
}

int CUSBCamra::WriteControl(const V4l2ControlMapping& mapping, long value, bool outOfRangeIsAuto) {
  platform::IV4l2Device* device = ControlDevice();
  if (device == nullptr) return kNullPointer;
  PropertyRange range;
  if (const int result = ControlRange(mapping, &range); result != kSuccess) return result;
  if (value < range.minimum || value > range.maximum) {
    if (outOfRangeIsAuto) return SetAuto(*device, mapping, true);
    value = range.defaultValue;
  }
  value = range.minimum + range.step * ((value - range.minimum) / range.step);
  if (const int result = SetAuto(*device, mapping, false); result != kSuccess) return result;
  v4l2_control control{};
  control.id = mapping.value;
  PropertyRange raw;
  QueryRange(*device, mapping.value, &raw);
  control.value = static_cast<std::int32_t>(
      mapping.exposure ? std::clamp(ExposureFromLog(value), raw.minimum, raw.maximum) : value);
  const int result = device->Ioctl(VIDIOC_S_CTRL, &control);
  return result == 0 ? kSuccess : ErrnoCode(result);
}

int CUSBCamra::GetProcAmpRange(long property, PropertyRange* range) {
  const V4l2ControlMapping* mapping = ProcAmpMapping(property);
  return mapping == nullptr ? kFail : ControlRange(*mapping, range);
}

int CUSBCamra::GetProcAmp(long property, long* value, long* flags) {
  const V4l2ControlMapping* mapping = ProcAmpMapping(property);
  return mapping == nullptr ? kFail : ReadControl(*mapping, value, flags);
}

int CUSBCamra::SetProcAmp(long property, long* value) {
  const V4l2ControlMapping* mapping = ProcAmpMapping(property);
  if (mapping == nullptr) return kFail;
  platform::IV4l2Device* device = ControlDevice();
  if (device == nullptr) return kNullPointer;
  PropertyRange range;
  if (const int result = ControlRange(*mapping, &range); result != kSuccess) return result;
  if (*value < range.minimum || *value > range.maximum) *value = range.defaultValue;
  *value = range.minimum + range.step * ((*value - range.minimum) / range.step);
  // The value is written and takes effect: the property goes to manual.
  return WriteControl(*mapping, *value, false);
}

int CUSBCamra::GetCameraControlRange(long property, PropertyRange* range) {
  const V4l2ControlMapping* mapping = CameraControlMapping(property);
  return mapping == nullptr ? kFail : ControlRange(*mapping, range);
}

int CUSBCamra::GetCameraControl(long property, long* value, long* flags) {
  const V4l2ControlMapping* mapping = CameraControlMapping(property);
  return mapping == nullptr ? kFail : ReadControl(*mapping, value, flags);
}

int CUSBCamra::SetCameraControl(long property, long value) {
  const V4l2ControlMapping* mapping = CameraControlMapping(property);
  return mapping == nullptr ? kFail : WriteControl(*mapping, value, true);
}

std::vector<FormatChoice> CUSBCamra::FormatChoices() {
  std::vector<FormatChoice> choices;
  if (!device_) return choices;
  const std::vector<std::uint32_t> offered = ListFourccs(*device_);
  for (int mode : {kFormatYUY2, kFormatMJPG}) {
    if (std::find(offered.begin(), offered.end(), FourccOf(mode)) == offered.end()) continue;
    for (const auto& [width, height] : ListSizes(*device_, FourccOf(mode))) choices.push_back({mode, width, height});
  }
  return choices;
}

int CUSBCamra::SetFormat(const FormatChoice& choice) {
  if (!device_) return kNullPointer;
  const bool running = state_ == kStateRunning;
  Stop();
  formatMode_ = choice.formatMode;
  width_ = choice.width;
  height_ = choice.height;
  const int result = Reopen();
  if (result == kSuccess && running) Start();
  return result;
}

void CUSBCamra::ShowFormatPage(QWidget* parent, int language) {
  const std::vector<FormatChoice> choices = FormatChoices();
  if (choices.empty()) return;
  const std::unique_ptr<QDialog> dialog = BuildFormatDialog(parent, choices, CurrentFormat(), language);
  if (dialog->exec() != QDialog::Accepted) return;
  const std::optional<FormatChoice> chosen = ChosenFormat(*dialog, choices);
  if (chosen && *chosen != CurrentFormat()) SetFormat(*chosen);
}

void CUSBCamra::ShowDevicePage(QWidget* parent, int language) {
  platform::IV4l2Device* device = ControlDevice();
  if (device == nullptr || !bound_) return;
  // The format page only for the open camera, whose stream it restarts.
  const bool own = device == device_.get();
  if (ShowDeviceControlsDialog(parent, *device, bound_->friendlyName, language, own) == kFormatPageWanted) {
    ShowFormatPage(parent, language);
  }
}

}  // namespace orvane
