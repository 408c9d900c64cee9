// The USB camera source over V4L2. Thread-bound to the UI thread; its streaming thread hands
// each buffer to the preview grabber and, when a still is awaited, to the still grabber.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "camera/format_page.h"
#include "camera/grabbers.h"
#include "camera/video_source.h"
#include "platform/v4l2_device.h"

namespace orvane {

namespace platform {
class IDeviceEventSource;
class SnapshotButtonReader;
}

struct V4l2ControlMapping;

class CUSBCamra : public CVideoBaseClass {
 public:
  // Devices come from `backend`; the default is DefaultVideoBackend().
  explicit CUSBCamra(std::shared_ptr<platform::IV4l2Backend> backend = nullptr);
  ~CUSBCamra() override;
  CUSBCamra(const CUSBCamra&) = delete;
  CUSBCamra& operator=(const CUSBCamra&) = delete;

  int GetDeviceList(std::span<char> buffer) override;
  int FillDeviceCombo(QComboBox* combo) override;
  // The capture format and size in a dialog; a new choice restarts the stream with it.
  void ShowFormatPage(QWidget* parent, int language) override;
  void ShowDevicePage(QWidget* parent, int language) override;
  // Every format and size the open camera offers, and the one it streams now.
  std::vector<FormatChoice> FormatChoices();
  FormatChoice CurrentFormat() const { return {formatMode_, width_, height_}; }
  // Reopens the camera with the choice, streaming again when it was; the open's result.
  int SetFormat(const FormatChoice& choice);
  int SetProcAmp(long property, long* value) override;
  int GetProcAmp(long property, long* value, long* flags) override;
  int GetProcAmpRange(long property, PropertyRange* range) override;
  int SetCameraControl(long property, long value) override;
  int GetCameraControl(long property, long* value, long* flags) override;
  int GetCameraControlRange(long property, PropertyRange* range) override;
  // 0 opened; 1 no matching device; E_POINTER without ids; kDeviceBusy when another program
  // holds the camera; another negative code when negotiation fails. Not yet streaming.
  int Open(const std::string& id1, const std::string& id2, const std::string& id3,
           platform::TargetHandle notifyWindow, bool stillPin, int deviceIndex) override;
  void SetFrameSink(CFrameSlot* slot) override;
  // Both idempotent: Start on a running source and Stop on a stopped one succeed.
  bool Start() override;
  bool Stop() override;
  int GetResolutionCount() override;
  int GetDeviceResolutionCount(const std::string& id1, const std::string& id2, int deviceIndex) override;
  bool GetFormatList(std::vector<int>* formats) override;
  bool GetDeviceFormatList(const std::string& id1, const std::string& id2, int deviceIndex,
                           std::vector<int>* formats) override;
  int GetResolution(int index, int* width, int* height) override;
  int GetDeviceResolution(const std::string& id1, const std::string& id2, int deviceIndex, int index,
                          int* width, int* height) override;
  int CountMatchingDevices(const std::string& id1, const std::string& id2, const std::string& id3) override;
  int ProbeDevice(const std::string& id1, const std::string& id2) override;
  int CountDevicesByName(const std::string& name) override;
  bool GetDeviceFriendlyName(const std::string& id1, const std::string& id2, int index, std::string* name,
                             std::size_t capacity) override;
  // From the still pin when the camera has one and it was asked for at Open, else the next live
  // frame. Waits up to 8 s, handling this thread's messages meanwhile.
  cv::Mat GrabStill() override;
  int SetResolution(int width, int height) override;
  void GetCurrentResolution(int* width, int* height) override;
  int SetResolutionByIndex(int index) override;
  bool PollEvent(SourceEvent* event, long* code) override;
  void SetFormatMode(int mode) override { formatMode_ = mode; }
  void SetDoubleParam(double value) override { doubleParam_ = value; }
  int GetState() override { return state_; }
  void SetRotation(int angle) override { still_.SetAngle(angle); }
  bool HasStillPin(const std::string& id1, const std::string& id2, int deviceIndex) override;
  void SetFrameRate(int framesPerSecond) override { frameRate_ = framesPerSecond; }

 private:
  struct MappedBuffer {
    void* address = nullptr;
    std::size_t length = 0;
  };

  void CloseDevice();
  std::vector<platform::VideoCaptureDevice> Devices();
  std::optional<platform::VideoCaptureDevice> FindByIds(const std::string& vendor, const std::string& product,
                                                         int index);
  // A device for a question: the open one when it is the one named, else a temporary handle.
  std::unique_ptr<platform::IV4l2Device> OpenForQuestion(const std::string& id1, const std::string& id2,
                                                         int deviceIndex, platform::IV4l2Device** device);
  platform::IV4l2Device* ControlDevice();
  int RequestBuffers();
  void ReleaseBuffers();
  void StreamLoop();
  void FeedStill(const std::uint8_t* bytes, int length);
  int Reopen();

  int QueryRange(platform::IV4l2Device& device, std::uint32_t id, PropertyRange* range);
  int ReadControl(const V4l2ControlMapping& mapping, long* value, long* flags);
  int SetAuto(platform::IV4l2Device& device, const V4l2ControlMapping& mapping, bool automatic);
  int WriteControl(const V4l2ControlMapping& mapping, long value, bool outOfRangeIsAuto);
  int ControlRange(const V4l2ControlMapping& mapping, PropertyRange* range);

  std::shared_ptr<platform::IV4l2Backend> backend_;
  std::unique_ptr<platform::IV4l2Device> device_;
  std::unique_ptr<platform::IV4l2Device> questionDevice_;  // bound by a question, not opened
  std::optional<platform::VideoCaptureDevice> bound_;
  std::string vendor_;
  std::string product_;
  int deviceIndex_ = 0;
  int width_ = -1;
  int height_ = -1;
  int sizeIndex_ = 0;
  int frameRate_ = -1;
  int formatMode_ = kFormatYUY2;
  double doubleParam_ = 0.0;
  int state_ = kStateClosed;
  platform::TargetHandle notifyWindow_;
  bool stillPinFlag_ = false;
  CFrameSlot* sink_ = nullptr;
  CSampleGrabberCB preview_;
  CSampleGrabberCallback still_;
  std::vector<MappedBuffer> buffers_;
  std::thread streaming_;
  std::atomic<bool> stopStreaming_{false};
  std::atomic<bool> liveStillWanted_{false};
  std::atomic<bool> deviceLost_{false};
  bool lostReported_ = false;
  std::unique_ptr<platform::SnapshotButtonReader> button_;
};

// The backend the program uses: the virtual camera when ORVANE_VIRTUAL_CAMERA is set, else
// the kernel's V4L2 nodes. One for the process, made on first use.
std::shared_ptr<platform::IV4l2Backend> DefaultVideoBackend();
// Where the program hears of cameras plugged in and pulled out: udev, or with the virtual camera
// the FIFO that ORVANE_VIRTUAL_PLUG names (see MakeVirtualPlugEvents).
std::unique_ptr<platform::IDeviceEventSource> DefaultDeviceEvents();

// Device ids as the sources match them: the four characters four after the first "vid"/"pid"
// of the lower-cased device path, compared ignoring case.
bool DevicePathMatches(const std::string& devicePath, const std::string& vendor, const std::string& product);

}  // namespace orvane
