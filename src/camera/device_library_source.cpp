#include "camera/device_library_source.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "camera/frame.h"
#include "imaging/jpeg_file.h"

namespace orvane {

namespace rnx {

namespace {

constexpr std::array<const char*, kExportCount> kExportNames = {
    "RNX_WMP_ScanDevice_Init",     "RNX_WMP_Scan_GetDeviceInfo",   "RNX_WMP_ScanDevice_UnInit",
    "RNX_WMP_ConnectDevice",       "RNX_WMP_Video_Begin",          "RNX_WMP_Serial_Begin",
    "RNX_WMP_Poll",                "RNX_WMP_Video_RequestVideoData", "RNX_WMP_Video_ReleaseVideoData",
    "RNX_WMP_Video_End",           "RNX_WMP_Disconnect",           "RNX_WMP_Video_GetAbility",
    "RNX_WMP_Video_SetResolu",     "RNX_WMP_Video_GetResolu",      "RNX_WMP_Video_SetVideoCtrl",
    "RNX_WMP_Video_GetVideoCtrl",  "RNX_WMP_Gpio_SetAll",          "RNX_WMP_Gpio_GetAll",
    "RNX_WMP_Gpio_SetStatus",      "RNX_WMP_GetParamChangeType"};

}  // namespace

const char* ExportName(Export which) { return kExportNames[static_cast<int>(which)]; }

std::string AddressFromInfoRecord(const std::uint8_t* record) {
  const char* text = reinterpret_cast<const char*>(record + kInfoAddressOffset);
  return std::string(text, strnlen(text, kAddressBytes - 1));
}

}  // namespace rnx

namespace {

constexpr int kPollTimeoutMs = 500;
constexpr int kTimeoutsBeforeLost = 50;
constexpr char kConnectKey[] = "vemto";

// Camera-control keys to device control ids; only exposure (4) is served.
constexpr std::pair<long, int> kControlIds[] = {{0, -1}, {1, -1}, {2, -1}, {3, -1}, {4, 9}, {5, -1}, {6, -1}};

int ControlIdOf(long key) {
  for (const auto& [tableKey, id] : kControlIds) {
    if (tableKey == key) return id;
  }
  return -1;
}

std::uint32_t PackSize(int width, int height) {
  return (static_cast<std::uint32_t>(width) << 16) | (static_cast<std::uint32_t>(height) & 0xFFFF);
}

// The address as the library takes it: the ANSI form, bounded to 19 bytes.
std::string AddressText(const std::string& id1) {
  std::string ansi = WideStringToAnsi(id1);
  if (ansi.size() > rnx::kAddressBytes - 1) ansi.resize(rnx::kAddressBytes - 1);
  return ansi;
}

}  // namespace

CRNXStreamerData::CRNXStreamerData() : CRNXStreamerData(platform::DeviceLibraryPath()) {}

CRNXStreamerData::CRNXStreamerData(const std::filesystem::path& library) { LoadDeviceLibrary(library); }

CRNXStreamerData::~CRNXStreamerData() {
  Stop();
  FreeDeviceLibrary();
}

bool CRNXStreamerData::LoadDeviceLibrary(const std::filesystem::path& library) {
  FreeDeviceLibrary();
  if (!library_.Load(library)) return false;
  for (int i = 0; i < rnx::kExportCount; ++i) {
    const auto which = static_cast<rnx::Export>(i);
    exports_[i] = library_.Symbol(rnx::ExportName(which));
    if (exports_[i] == nullptr) {
      // The first line names the export itself; the others keep the library's old prefix.
      if (i == 0) std::printf("Dashel, Get RNX_WMP_ScanDevice_Init() failed\n");
      else std::printf("Dashel, Get QV_%s() failed\n", rnx::ExportName(which) + std::strlen("RNX_WMP_"));
      FreeDeviceLibrary();
      return false;
    }
  }
  loaded_ = true;
  return true;
}

void CRNXStreamerData::FreeDeviceLibrary() {
  Stop();
  if (connected_) Disconnect();
  exports_.fill(nullptr);
  loaded_ = false;
  library_.Free();
}

int CRNXStreamerData::Open(const std::string& id1, const std::string& /*id2*/, const std::string& /*id3*/,
                           platform::TargetHandle /*notifyWindow*/, bool /*stillPin*/, int /*deviceIndex*/) {
  if (!loaded_ || id1.empty()) return 1;
  Stop();
  address_ = AddressText(id1);
  stop_ = false;
  state_ = kStateOpened;
  return kSuccess;
}

void CRNXStreamerData::SetFrameSink(CFrameSlot* slot) {
  std::lock_guard guard(sinkLock_);
  sink_ = slot;
}

bool CRNXStreamerData::Connect(const std::string& address) {
  int handle = 0;
  const int result = Fn<rnx::ConnectDeviceFn>(rnx::Export::ConnectDevice)(&handle, address.c_str(), kConnectKey);
  if (result != 0) {
    std::printf("connect fail, error code:%d\n", result);
    return false;
  }
  deviceHandle_ = handle;
  connected_ = true;
  return true;
}

void CRNXStreamerData::Disconnect() {
  Fn<rnx::HandleFn>(rnx::Export::Disconnect)(deviceHandle_);
  connected_ = false;
  deviceHandle_ = 0;
}

bool CRNXStreamerData::Start() {
  if (pollThread_.joinable()) return state_ == kStateRunning;
  if (state_ != kStateOpened || !loaded_) return false;
  if (!Connect(address_)) return false;
  if (const int result = Fn<rnx::HandleFn>(rnx::Export::VideoBegin)(deviceHandle_); result != 0) {
    std::printf("open video stream fail, error code:%d\n", result);
    // Not left connected: the next Start connects again.
    Disconnect();
    return false;
  }
  if (pendingWidth_ > 0 && pendingHeight_ > 0) SetResolution(pendingWidth_, pendingHeight_);
  largestWidth_ = 0;
  largestHeight_ = 0;
  GetResolutionCount();
  for (const auto& [width, height] : sizes_) AllowFrameSize(width, height);
  int width = 0, height = 0;
  GetCurrentResolution(&width, &height);
  AllowFrameSize(width, height);
  stop_ = false;
  lostEvent_ = 0;
  {
    std::lock_guard guard(mailboxLock_);
    mailbox_.clear();
  }
  pollThread_ = std::thread([this] { Client2ServerThread(); });
  decodeThread_ = std::thread([this] { ClientDecodeThd(); });
  state_ = kStateRunning;
  return true;
}

bool CRNXStreamerData::Stop() {
  if (!pollThread_.joinable() || state_ != kStateRunning) return true;
  stop_ = true;
  decodeThread_.join();
  pollThread_.join();
  // The poll thread ended the stream and disconnected on its way out.
  connected_ = false;
  deviceHandle_ = 0;
  state_ = kStateOpened;
  pendingWidth_ = -1;
  pendingHeight_ = -1;
  std::printf("CRNXStreamerData::Stop\n");
  return true;
}

bool CRNXStreamerData::PollEvent(SourceEvent* event, long* code) {
  if (address_.empty()) return false;
  const int lost = lostEvent_.load();
  *event = static_cast<SourceEvent>(lost);
  if (code != nullptr) *code = lost;
  return true;
}

int CRNXStreamerData::GetResolutionCount() {
  if (exports_[static_cast<int>(rnx::Export::GetAbility)] == nullptr) return -1;
  if (!sizes_.empty()) return static_cast<int>(sizes_.size());
  // The table can only be read over a connection.
  if (!connected_) return 0;
  std::array<std::uint8_t, rnx::kSizeGroups * rnx::kSizeGroupBytes> table{};
  if (const int result = Fn<rnx::GetAbilityFn>(rnx::Export::GetAbility)(deviceHandle_, table.data()); result != 0) {
    return result;
  }
  for (int group = 0; group < rnx::kSizeGroups; ++group) {
    const std::uint8_t* base = table.data() + group * rnx::kSizeGroupBytes;
    std::int32_t valid = 0;
    std::memcpy(&valid, base, 4);
    if (valid == 0) continue;
    for (int i = 0; i < rnx::kSizeEntries; ++i) {
      const std::uint8_t* entry = base + 4 + i * 8;
      const int height = entry[0] | (entry[1] << 8);
      const int width = entry[2] | (entry[3] << 8);
      if (width == 0 || height == 0) continue;
      sizes_.emplace_back(width, height);
      std::printf("Dashel, Resolution: %d * %d, i = %d\n", width, height, i);
    }
  }
  return static_cast<int>(sizes_.size());
}

bool CRNXStreamerData::ConnectAndReadAbility(const std::string& address) {
  if (!loaded_) return false;
  // A running source already holds the connection the library allows.
  if (connected_) return GetResolutionCount() > 0;
  if (!Connect(AddressText(address))) return false;
  const int count = GetResolutionCount();
  Disconnect();
  return count > 0;
}

int CRNXStreamerData::GetDeviceResolutionCount(const std::string& id1, const std::string& /*id2*/,
                                               int /*deviceIndex*/) {
  if (exports_[static_cast<int>(rnx::Export::ConnectDevice)] == nullptr || !ConnectAndReadAbility(id1)) return -1;
  return static_cast<int>(sizes_.size());
}

int CRNXStreamerData::ProbeDevice(const std::string& id1, const std::string& /*id2*/) {
  return ConnectAndReadAbility(id1) ? 1 : 0;
}

int CRNXStreamerData::GetDeviceResolution(const std::string& id1, const std::string& /*id2*/, int /*deviceIndex*/,
                                          int index, int* width, int* height) {
  if (!ConnectAndReadAbility(id1) || index < 0 || index >= static_cast<int>(sizes_.size())) return -1;
  *width = sizes_[index].first;
  *height = sizes_[index].second;
  return 0;
}

int CRNXStreamerData::GetResolution(int index, int* width, int* height) {
  const int count = GetResolutionCount();
  if (count <= 0 || index < 0 || index >= static_cast<int>(sizes_.size())) return -1;
  *width = sizes_[index].first;
  *height = sizes_[index].second;
  return 0;
}

int CRNXStreamerData::SetResolution(int width, int height) {
  if (exports_[static_cast<int>(rnx::Export::SetResolu)] == nullptr) return 1;
  if (connected_) {
    if (Fn<rnx::SetResoluFn>(rnx::Export::SetResolu)(deviceHandle_, PackSize(width, height)) == 0) {
      AllowFrameSize(width, height);
    }
  } else {
    pendingWidth_ = width;
    pendingHeight_ = height;
  }
  return kSuccess;
}

void CRNXStreamerData::GetCurrentResolution(int* width, int* height) {
  *width = 0;
  *height = 0;
  std::uint32_t packed = 0;
  if (exports_[static_cast<int>(rnx::Export::GetResolu)] == nullptr || !connected_) return;
  if (Fn<rnx::GetResoluFn>(rnx::Export::GetResolu)(deviceHandle_, &packed) != 0) return;
  *width = static_cast<int>(packed >> 16);
  *height = static_cast<int>(packed & 0xFFFF);
}

int CRNXStreamerData::SetResolutionByIndex(int index) {
  const int count = GetResolutionCount();
  if (count <= 0 || index < 0 || index >= static_cast<int>(sizes_.size())) return 1;
  SetResolution(sizes_[index].first, sizes_[index].second);
  return kSuccess;
}

int CRNXStreamerData::GetCameraControl(long property, long* value, long* flags) {
  const int id = ControlIdOf(property);
  if (exports_[static_cast<int>(rnx::Export::GetVideoCtrl)] == nullptr || id < 0) return kFail;
  rnx::VideoControlRecord record;
  if (!connected_ || Fn<rnx::VideoCtrlFn>(rnx::Export::GetVideoCtrl)(deviceHandle_, id, &record) != 0) return 1;
  *value = record.current;
  *flags = record.flags;
  std::printf("Dashel, ---ret = %d, val_valid = %d, curval = %d\n", 0, record.valid, record.current);
  return kSuccess;
}

int CRNXStreamerData::GetCameraControlRange(long property, PropertyRange* range) {
  const int id = ControlIdOf(property);
  if (exports_[static_cast<int>(rnx::Export::GetVideoCtrl)] == nullptr || id < 0) return kFail;
  rnx::VideoControlRecord record;
  if (!connected_ || Fn<rnx::VideoCtrlFn>(rnx::Export::GetVideoCtrl)(deviceHandle_, id, &record) != 0) return 1;
  range->minimum = record.minimum;
  range->maximum = record.maximum;
  range->step = record.step;
  range->defaultValue = record.defaultValue;
  range->flags = record.flags;
  return kSuccess;
}

int CRNXStreamerData::SetCameraControl(long property, long value) {
  if (exports_[static_cast<int>(rnx::Export::GetVideoCtrl)] == nullptr ||
      exports_[static_cast<int>(rnx::Export::SetVideoCtrl)] == nullptr) {
    return 1;
  }
  const int id = ControlIdOf(property);
  if (id < 0) return kFail;
  rnx::VideoControlRecord record;
  if (!connected_ || Fn<rnx::VideoCtrlFn>(rnx::Export::GetVideoCtrl)(deviceHandle_, id, &record) != 0) return 1;
  std::printf("Dashel, ---ret = %d, val_valid = %d, curval = %d\n", 0, record.valid, record.current);
  record.current = static_cast<std::int32_t>(value);
  Fn<rnx::VideoCtrlFn>(rnx::Export::SetVideoCtrl)(deviceHandle_, id, &record);
  return kSuccess;
}

void CRNXStreamerData::AllowFrameSize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  largestWidth_ = std::max(largestWidth_.load(), width);
  largestHeight_ = std::max(largestHeight_.load(), height);
}

bool CRNXStreamerData::ReadFrameSize(const std::uint8_t* jpeg, int length, int& width, int& height) const {
  if (!ReadMJPGSize(jpeg, length, &width, &height) || width <= 0 || height <= 0) return false;
  const int largestWidth = largestWidth_.load();
  const int largestHeight = largestHeight_.load();
  // A device that tells no sizes is held to the ceiling of every picture.
  if (largestWidth <= 0 || largestHeight <= 0) return imaging::WithinPictureCeiling(width, height);
  return width <= largestWidth && height <= largestHeight;
}

void CRNXStreamerData::HandToSink(const std::uint8_t* jpeg, int length) {
  std::lock_guard guard(sinkLock_);
  if (sink_ == nullptr || sink_->State() == CFrameSlot::kFilled) return;
  int width = 0;
  int height = 0;
  if (!ReadFrameSize(jpeg, length, width, height)) return;
  sink_->Store(length, FrameSubtype::MJPG, jpeg, width, height);
}

void CRNXStreamerData::PollLoop() {
  using rnx::Export;
  if (exports_[static_cast<int>(Export::Poll)] == nullptr ||
      exports_[static_cast<int>(Export::RequestVideoData)] == nullptr ||
      exports_[static_cast<int>(Export::ReleaseVideoData)] == nullptr ||
      exports_[static_cast<int>(Export::VideoEnd)] == nullptr ||
      exports_[static_cast<int>(Export::Disconnect)] == nullptr) {
    return;
  }
  const int handle = deviceHandle_;  // fixed while the thread runs
  int timeouts = 0;
  while (!stop_) {
    int events = 0;
    const int result = Fn<rnx::PollFn>(Export::Poll)(handle, &events, kPollTimeoutMs);
    if (result == rnx::kPollConnectionLost) {
      lostEvent_ = static_cast<int>(SourceEvent::DeviceLost);
      break;
    }
    if (result == rnx::kPollTimeout) {
      std::printf("RNX_RET_TIMEOUT \n");
      if (++timeouts >= kTimeoutsBeforeLost) {
        lostEvent_ = static_cast<int>(SourceEvent::DeviceLost);
        break;
      }
      continue;
    }
    if (result != 0) continue;
    timeouts = 0;
    if ((events & rnx::kEventParamChange) != 0) {
      int type = 0;
      Fn<rnx::ParamChangeTypeFn>(Export::GetParamChangeType)(handle, &type);
      std::printf("Dashel, -------------------------------para_change_type = 0x%x\n", type);
    }
    if ((events & rnx::kEventFrame) == 0) continue;
    void* record = nullptr;
    if (Fn<rnx::RequestVideoDataFn>(Export::RequestVideoData)(handle, &record) != 0 || record == nullptr) {
      // Reported, so the picture does not just freeze.
      lostEvent_ = static_cast<int>(SourceEvent::StreamAborted);
      break;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    std::int32_t length = 0;
    std::memcpy(&length, bytes + rnx::kFrameCountOffset, 4);
    if (length > 0) {
      const std::uint8_t* jpeg = bytes + rnx::kFrameDataOffset;
      HandToSink(jpeg, length);
      std::lock_guard guard(mailboxLock_);
      if (mailbox_.empty()) mailbox_.assign(jpeg, jpeg + length);  // a full mailbox drops the frame
    }
    Fn<rnx::ReleaseVideoDataFn>(Export::ReleaseVideoData)(handle, record);
  }
  Fn<rnx::HandleFn>(Export::VideoEnd)(handle);
  Fn<rnx::HandleFn>(Export::Disconnect)(handle);
  std::printf("Exit Client2ServerThread\n");
}

void CRNXStreamerData::ClientDecodeThd() {
  std::vector<std::uint8_t> jpeg;
  while (!stop_) {
    {
      std::lock_guard guard(mailboxLock_);
      jpeg.swap(mailbox_);  // the mailbox is free again once swapped out
    }
    if (jpeg.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    DecodeFrame(jpeg);
    jpeg.clear();
  }
  std::printf("Exit ClientDecodeThd\n");
}

void CRNXStreamerData::DecodeFrame(std::vector<std::uint8_t>& jpeg) {
  const int length = static_cast<int>(jpeg.size());
  int width = 0;
  int height = 0;
  if (!ReadFrameSize(jpeg.data(), length, width, height)) return;
  cv::Mat decoded;
  try {
    decoded.create(height, width, CV_8UC3);
  } catch (const cv::Exception&) {
    return;  // no memory for it now; the next frame may fare better
  }
  int rowStep = 0;
  bool damaged = false;
  // A frame with rows missing is never the one handed out: the last whole frame stays until the next.
  if (!DecodeMJPGToBGR24(jpeg.data(), length, decoded.data, decoded.total() * 3, &width, &height, &rowStep, 1,
                         &damaged) ||
      damaged)
    return;
  std::lock_guard guard(frameLock_);
  latestFrame_ = std::move(decoded);
}

cv::Mat CRNXStreamerData::GetFrame() {
  if (stop_) return {};
  std::lock_guard guard(frameLock_);
  return latestFrame_.clone();
}

bool CRNXStreamerData::CopyFrameTo(CBasePR* sink) {
  if (stop_ || sink == nullptr) return false;
  std::lock_guard guard(frameLock_);
  if (latestFrame_.empty()) return false;
  const int width = latestFrame_.cols;
  const int height = latestFrame_.rows;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint8_t> bottomUp(rowBytes * height);
  for (int row = 0; row < height; ++row) {
    std::memcpy(bottomUp.data() + rowBytes * (height - 1 - row), latestFrame_.ptr(row), rowBytes);
  }
  sink->CopyFrame(bottomUp.data(), width, height);
  return true;
}

}  // namespace orvane
