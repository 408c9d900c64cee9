// The one abstract camera source. Every operation has a default body, so a source overrides
// only what it supports. Thread-bound: all operations are called on the UI thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/messages.h"

class QComboBox;
class QWidget;

namespace orvane {

class CFrameSlot;

// Result codes in the HRESULT style the callers compare against.
inline constexpr int kSuccess = 0;
inline constexpr int kFail = static_cast<int>(0x80004005);      // E_FAIL
inline constexpr int kNullPointer = static_cast<int>(0x80004003);  // E_POINTER
inline constexpr int kDeviceBusy = static_cast<int>(0x800700AA);   // in use by another program

// Source states as GetState reports them.
inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpened = 1;
inline constexpr int kStateRunning = 2;

// Format modes.
inline constexpr int kFormatYUY2 = 0;
inline constexpr int kFormatMJPG = 1;

// How long a still, or a frame that decoded whole, is waited for before the user is told.
inline constexpr int kStillTimeoutMs = 8000;
// The wait in force: kStillTimeoutMs unless changed. Tests run on a machine whose every core is
// busy lengthen it, so that a still that comes late is not taken for one that never comes.
std::chrono::milliseconds StillTimeout();
void SetStillTimeout(std::chrono::milliseconds timeout);
// Tells the user ("Time Out") that no still or whole frame came in time. GUI thread only.
void NoticeTimeOut();

// PollEvent codes.
enum class SourceEvent : int { None = 0, DeviceLost = 1, StreamAborted = 2, OtherDevice = 3 };

// Property flags of the proc-amp and camera-control operations.
inline constexpr long kPropertyAuto = 1;
inline constexpr long kPropertyManual = 2;

// Receives a bottom-up 24-bit BGR frame, rows exactly width x 3 bytes, and copies it.
class CBasePR {
 public:
  virtual ~CBasePR() = default;
  virtual void CopyFrame(const std::uint8_t* buffer, int width, int height) = 0;
};

struct PropertyRange {
  long minimum = 0;
  long maximum = 0;
  long step = 0;
  long defaultValue = 0;
  long flags = 0;
};

class CVideoBaseClass {
 public:
  virtual ~CVideoBaseClass() = default;

  // Vendor and product ids of every device, eight characters each, NUL-terminated.
  virtual int GetDeviceList(std::span<char> /*buffer*/) { return -1; }
  virtual int FillDeviceCombo(QComboBox* /*combo*/) { return 0; }
  // The camera's own pages, their texts in `language` (0 Simplified Chinese, 1 Traditional
  // Chinese, 2 English).
  virtual void ShowFormatPage(QWidget* /*parent*/, int /*language*/) {}
  virtual void ShowDevicePage(QWidget* /*parent*/, int /*language*/) {}
  virtual int SetProcAmp(long /*property*/, long* /*value*/) { return kFail; }
  virtual int GetProcAmp(long /*property*/, long* /*value*/, long* /*flags*/) { return kFail; }
  virtual int GetProcAmpRange(long /*property*/, PropertyRange* /*range*/) { return kFail; }
  virtual int SetCameraControl(long /*property*/, long /*value*/) { return kFail; }
  virtual int GetCameraControl(long /*property*/, long* /*value*/, long* /*flags*/) { return kFail; }
  virtual int GetCameraControlRange(long /*property*/, PropertyRange* /*range*/) { return kFail; }
  // id1, id2: vendor and product id; id3: a friendly name or a part of the device path.
  virtual int Open(const std::string& /*id1*/, const std::string& /*id2*/, const std::string& /*id3*/,
                   platform::TargetHandle /*notifyWindow*/, bool /*stillPin*/, int /*deviceIndex*/) {
    return kFail;
  }
  virtual void SetFrameSink(CFrameSlot* /*slot*/) {}
  virtual bool Start() { return false; }
  virtual bool Stop() { return false; }
  virtual int GetResolutionCount() { return 0; }
  virtual int GetDeviceResolutionCount(const std::string& /*id1*/, const std::string& /*id2*/, int /*deviceIndex*/) {
    return 0;
  }
  virtual bool GetFormatList(std::vector<int>* /*formats*/) { return false; }
  virtual bool GetDeviceFormatList(const std::string& /*id1*/, const std::string& /*id2*/, int /*deviceIndex*/,
                                   std::vector<int>* /*formats*/) {
    return false;
  }
  virtual int GetResolution(int /*index*/, int* /*width*/, int* /*height*/) { return -1; }
  virtual int GetDeviceResolution(const std::string& /*id1*/, const std::string& /*id2*/, int /*deviceIndex*/,
                                  int /*index*/, int* /*width*/, int* /*height*/) {
    return -1;
  }
  virtual int CountMatchingDevices(const std::string& /*id1*/, const std::string& /*id2*/, const std::string& /*id3*/) {
    return 0;
  }
  virtual int ProbeDevice(const std::string& /*id1*/, const std::string& /*id2*/) { return 0; }
  virtual int CountDevicesByName(const std::string& /*name*/) { return 0; }
  virtual bool GetDeviceFriendlyName(const std::string& /*id1*/, const std::string& /*id2*/, int /*index*/,
                                     std::string* /*name*/, std::size_t /*capacity*/) {
    return false;
  }
  virtual cv::Mat GrabStill() { return {}; }
  virtual int SetResolution(int /*width*/, int /*height*/) { return kFail; }
  virtual void GetCurrentResolution(int* width, int* height) {
    *width = 0;
    *height = 0;
  }
  virtual int SetResolutionByIndex(int /*index*/) { return kFail; }
  virtual void SpareOperation(int /*value*/) {}
  virtual bool PollEvent(SourceEvent* /*event*/, long* /*code*/) { return false; }
  virtual void SetFormatMode(int /*mode*/) {}
  virtual void SetDoubleParam(double /*value*/) {}
  virtual int GetState() { return kStateClosed; }
  virtual void SetRotation(int /*angle*/) {}
  virtual bool HasStillPin(const std::string& /*id1*/, const std::string& /*id2*/, int /*deviceIndex*/) {
    return false;
  }
  virtual void SetFrameRate(int /*framesPerSecond*/) {}
};

// The device-library source's second interface: pulling its latest frame.
class IGrabData {
 public:
  virtual ~IGrabData() = default;
  virtual bool CopyFrameTo(CBasePR* sink) = 0;
  virtual cv::Mat GetFrame() = 0;
};

}  // namespace orvane
