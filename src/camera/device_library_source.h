// The source for a document camera served by the maker's device library instead of V4L2. The
// library is loaded at run time; the camera is named by its address text. A poll thread fetches
// JPEG frames into a one-frame mailbox and hands each to the display's frame slot; a decode
// thread decodes the mailbox into the latest frame that IGrabData reads.
//
// Thread-bound to the UI thread, except GetFrame and CopyFrameTo, which any thread may call.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/video_source.h"
#include "platform/device_library.h"

namespace orvane {

// What the station relies on of the device library's calls and records.
namespace rnx {

// Device information record filled by the scan: the address text sits in 20 bytes at offset 24.
inline constexpr std::size_t kInfoRecordSize = 256;
inline constexpr std::size_t kInfoAddressOffset = 24;
inline constexpr std::size_t kAddressBytes = 20;

// Frame record: int32 byte count at offset 24, the JPEG data from offset 28.
inline constexpr std::size_t kFrameCountOffset = 24;
inline constexpr std::size_t kFrameDataOffset = 28;

// Size table: 4 groups of 100 bytes, each an int32 valid flag and 12 entries of 8 bytes
// (u16 height, u16 width, 4 unread bytes).
inline constexpr int kSizeGroups = 4;
inline constexpr int kSizeGroupBytes = 100;
inline constexpr int kSizeEntries = 12;

// Poll results and events.
inline constexpr int kPollTimeout = -2;
inline constexpr int kPollConnectionLost = -6;
inline constexpr int kEventFrame = 0x01;
inline constexpr int kEventParamChange = 0x10;

struct VideoControlRecord {
  std::int32_t valid = 0;
  std::int32_t minimum = 0;
  std::int32_t current = 0;
  std::int32_t maximum = 0;
  std::int32_t step = 0;
  std::int32_t defaultValue = 0;
  std::int32_t flags = 0;
};

using ScanInitFn = int(int mode);
using ScanGetDeviceInfoFn = int(void* information, int* count);
using ScanUnInitFn = int();
using ConnectDeviceFn = int(int* handle, const char* address, const char* key);
using HandleFn = int(int handle);  // Video_Begin, Serial_Begin, Video_End, Disconnect
using PollFn = int(int handle, int* events, int timeoutMs);
using RequestVideoDataFn = int(int handle, void** record);
using ReleaseVideoDataFn = int(int handle, void* record);
using GetAbilityFn = int(int handle, void* table);
using SetResoluFn = int(int handle, std::uint32_t packed);
using GetResoluFn = int(int handle, std::uint32_t* packed);
using VideoCtrlFn = int(int handle, int controlId, VideoControlRecord* record);
using ParamChangeTypeFn = int(int handle, int* type);

// The exports, in the order they are resolved.
enum class Export : int {
  ScanDeviceInit, ScanGetDeviceInfo, ScanDeviceUnInit, ConnectDevice, VideoBegin, SerialBegin, Poll,
  RequestVideoData, ReleaseVideoData, VideoEnd, Disconnect, GetAbility, SetResolu, GetResolu,
  SetVideoCtrl, GetVideoCtrl, GpioSetAll, GpioGetAll, GpioSetStatus, GetParamChangeType, Count
};
inline constexpr int kExportCount = static_cast<int>(Export::Count);
const char* ExportName(Export which);

// The address text from an information record: at most 19 bytes, whatever the record holds.
std::string AddressFromInfoRecord(const std::uint8_t* record);

}  // namespace rnx

class CRNXStreamerData : public CVideoBaseClass, public IGrabData {
 public:
  // Loads the library from platform::DeviceLibraryPath().
  CRNXStreamerData();
  explicit CRNXStreamerData(const std::filesystem::path& library);
  ~CRNXStreamerData() override;
  CRNXStreamerData(const CRNXStreamerData&) = delete;
  CRNXStreamerData& operator=(const CRNXStreamerData&) = delete;

  // True when the library and all 20 exports were found; else the first missing one is named.
  bool LoadDeviceLibrary(const std::filesystem::path& library);
  void FreeDeviceLibrary();
  bool LibraryLoaded() const { return loaded_; }

  int SetCameraControl(long property, long value) override;
  int GetCameraControl(long property, long* value, long* flags) override;
  int GetCameraControlRange(long property, PropertyRange* range) override;
  // id1: the address. 1 when the library is not loaded or id1 is empty; nothing is connected.
  int Open(const std::string& id1, const std::string& id2, const std::string& id3,
           platform::TargetHandle notifyWindow, bool stillPin, int deviceIndex) override;
  // Live frames go to the slot as MJPG, as the USB source hands them over; null detaches.
  void SetFrameSink(CFrameSlot* slot) override;
  bool Start() override;
  bool Stop() override;
  int GetResolutionCount() override;
  int GetDeviceResolutionCount(const std::string& id1, const std::string& id2, int deviceIndex) override;
  int GetResolution(int index, int* width, int* height) override;
  int GetDeviceResolution(const std::string& id1, const std::string& id2, int deviceIndex, int index,
                          int* width, int* height) override;
  int ProbeDevice(const std::string& id1, const std::string& id2) override;
  int SetResolution(int width, int height) override;
  void GetCurrentResolution(int* width, int* height) override;
  int SetResolutionByIndex(int index) override;
  // DeviceLost after the connection was lost, StreamAborted after a frame request failed.
  bool PollEvent(SourceEvent* event, long* code) override;
  int GetState() override { return state_; }

  bool CopyFrameTo(CBasePR* sink) override;
  cv::Mat GetFrame() override;

  // Connects to `address`, reads the size list once and disconnects again. True when the device
  // reports at least one size.
  bool ConnectAndReadAbility(const std::string& address);

 private:
  template <class Function>
  Function* Fn(rnx::Export which) const {
    return reinterpret_cast<Function*>(exports_[static_cast<int>(which)]);
  }
  bool Connect(const std::string& address);
  void Disconnect();
  void Client2ServerThread() { PollLoop(); }
  void PollLoop();
  void ClientDecodeThd();
  void DecodeFrame(std::vector<std::uint8_t>& jpeg);
  void HandToSink(const std::uint8_t* jpeg, int length);
  // The frame's size when the stream can bring a frame of it.
  bool ReadFrameSize(const std::uint8_t* jpeg, int length, int& width, int& height) const;
  void AllowFrameSize(int width, int height);

  platform::SharedLibrary library_;
  std::array<void*, rnx::kExportCount> exports_{};
  bool loaded_ = false;

  int state_ = kStateClosed;
  std::string address_;  // at most 19 bytes of ANSI text
  int deviceHandle_ = 0;
  bool connected_ = false;  // deviceHandle_ is valid; only the UI thread changes it
  int pendingWidth_ = -1;
  int pendingHeight_ = -1;
  std::vector<std::pair<int, int>> sizes_;  // read from the library once
  // The largest frame the stream can bring: the largest size the device offers or was set to.
  // A frame that claims more is a bad frame and never decoded. Set by the UI thread, read by
  // the poll and decode threads.
  std::atomic<int> largestWidth_{0};
  std::atomic<int> largestHeight_{0};

  std::atomic<bool> stop_{false};
  std::atomic<int> lostEvent_{0};  // a SourceEvent value, set by the poll thread
  std::thread pollThread_;
  std::thread decodeThread_;

  std::mutex mailboxLock_;
  std::vector<std::uint8_t> mailbox_;  // one JPEG frame; empty when free

  mutable std::mutex frameLock_;
  cv::Mat latestFrame_;

  std::mutex sinkLock_;
  CFrameSlot* sink_ = nullptr;
};

}  // namespace orvane
