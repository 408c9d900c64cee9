// The simulated device library. Every export the capture station calls behaves as the station
// expects of the real one; RNX_SIM_ exports let a test make any call fail or be slow, take the
// device away and count the calls. One device, one connection at a time; thread-safe.
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define RNX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kHandle = 7;
constexpr int kExposureId = 9;

struct Failure {
  int code = 0;
  int from = 0;   // first failing call, counted from 1
  int count = 0;  // number of failing calls; -1 = every later call
};

struct VideoControl {
  std::int32_t valid, minimum, current, maximum, step, defaultValue, flags;
};

struct State {
  std::mutex lock;
  bool devicePresent = true;
  std::string address = "192.168.1.20";
  bool connected = false;
  bool streaming = false;
  bool paramChanged = false;
  int width = 320;
  int height = 240;
  int colour = 0x4080C0;  // 0xRRGGBB of the filmed picture
  int lentRecords = 0;
  VideoControl exposure{1, -13, -5, 0, 1, -6, 2};
  std::map<std::string, int> calls;
  std::map<std::string, Failure> failures;
  std::map<std::string, int> delaysMs;
  std::vector<std::uint8_t> jpeg;  // the current frame, made again when size or colour change
  int jpegWidth = 0, jpegHeight = 0, jpegColour = -1;
  std::vector<std::uint8_t> givenFrame;  // a test's own frame, sent instead when not empty
};

State& Sim() {
  static State state;
  return state;
}

// Counts the call and answers the failure code a test set for it, or 0 to go on.
int Enter(const char* name) {
  State& sim = Sim();
  int delay = 0;
  int code = 0;
  {
    std::lock_guard guard(sim.lock);
    const int call = ++sim.calls[name];
    if (auto found = sim.delaysMs.find(name); found != sim.delaysMs.end()) delay = found->second;
    if (auto found = sim.failures.find(name); found != sim.failures.end()) {
      const Failure& failure = found->second;
      const bool inRange = call >= failure.from && (failure.count < 0 || call < failure.from + failure.count);
      if (inRange) code = failure.code;
    }
  }
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  return code;
}

// Under the lock.
[[maybe_unused]] const std::vector<std::uint8_t>& CurrentJpeg(State& sim) {
  if (sim.jpegWidth == sim.width && sim.jpegHeight == sim.height && sim.jpegColour == sim.colour) return sim.jpeg;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(sim.width) * sim.height * 3);
  // The upper half in the colour, the lower half white, so row order shows.
  const std::size_t half = pixels.size() / 2;
  for (std::size_t i = 0; i < pixels.size(); i += 3) {
    const int rgb = i < half ? sim.colour : 0xFFFFFF;
    pixels[i] = static_cast<std::uint8_t>(rgb >> 16);
    pixels[i + 1] = static_cast<std::uint8_t>(rgb >> 8);
    pixels[i + 2] = static_cast<std::uint8_t>(rgb);
  }
  tjhandle encoder = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(encoder, pixels.data(), sim.width, 0, sim.height, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0);
  sim.jpeg.assign(out, out + size);
  tjFree(out);
  tjDestroy(encoder);
  sim.jpegWidth = sim.width;
  sim.jpegHeight = sim.height;
  sim.jpegColour = sim.colour;
  return sim.jpeg;
}

[[maybe_unused]] void PutU16(std::uint8_t* at, int value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

// ---- Steering for tests ----

// Back to one present device at "192.168.1.20", nothing failing, counters cleared.
RNX_EXPORT void RNX_SIM_Reset() {
  State& sim = Sim();
  std::lock_guard guard(sim.lock);
  sim.devicePresent = true;
  sim.address = "192.168.1.20";
  sim.connected = sim.streaming = sim.paramChanged = false;
  sim.width = 320;
  sim.height = 240;
  sim.colour = 0x4080C0;
  sim.lentRecords = 0;
  sim.exposure = {1, -13, -5, 0, 1, -6, 2};
  sim.calls.clear();
  sim.failures.clear();
  sim.delaysMs.clear();
  sim.givenFrame.clear();
}

// Every frame from now on is these bytes (none: the filmed picture again).
RNX_EXPORT void RNX_SIM_SetFrame(const std::uint8_t* bytes, int length) {
  std::lock_guard guard(Sim().lock);
  Sim().givenFrame.assign(bytes, bytes + std::max(length, 0));
}

// Calls `from` to `from + count - 1` (from 1; count -1: all later ones) of `name` answer `code`.
RNX_EXPORT void RNX_SIM_Fail(const char* name, int code, int from, int count) {
  std::lock_guard guard(Sim().lock);
  Sim().failures[name] = Failure{code, from, count};
}

RNX_EXPORT void RNX_SIM_Delay(const char* name, int milliseconds) {
  std::lock_guard guard(Sim().lock);
  Sim().delaysMs[name] = milliseconds;
}

RNX_EXPORT void RNX_SIM_SetDevice(int present, const char* address) {
  std::lock_guard guard(Sim().lock);
  Sim().devicePresent = present != 0;
  Sim().address = address;
}

RNX_EXPORT void RNX_SIM_SetColour(int rgb) {
  std::lock_guard guard(Sim().lock);
  Sim().colour = rgb;
}

RNX_EXPORT void RNX_SIM_RaiseParamChange() {
  std::lock_guard guard(Sim().lock);
  Sim().paramChanged = true;
}

RNX_EXPORT int RNX_SIM_Calls(const char* name) {
  std::lock_guard guard(Sim().lock);
  auto found = Sim().calls.find(name);
  return found == Sim().calls.end() ? 0 : found->second;
}

// Connections open and frame records not given back.
RNX_EXPORT int RNX_SIM_Connected() {
  std::lock_guard guard(Sim().lock);
  return Sim().connected ? 1 : 0;
}
RNX_EXPORT int RNX_SIM_LentRecords() {
  std::lock_guard guard(Sim().lock);
  return Sim().lentRecords;
}

// ---- The library ----

RNX_EXPORT int RNX_WMP_ScanDevice_Init(int mode) {
  if (const int code = Enter(__func__)) return code;
  return mode == 1 ? 0 : -1;
}

RNX_EXPORT int RNX_WMP_Scan_GetDeviceInfo(void* information, int* count) {
  if (const int code = Enter(__func__)) {
    *count = 0;
    return code;
  }
  std::lock_guard guard(Sim().lock);
  *count = Sim().devicePresent ? 1 : 0;
  if (Sim().devicePresent) {
    // 20 bytes of address text from offset 24, terminated only when shorter.
    auto* bytes = static_cast<char*>(information);
    std::memset(bytes + 24, 0, 20);
    std::memcpy(bytes + 24, Sim().address.data(), std::min<std::size_t>(Sim().address.size(), 20));
  }
  return 0;
}

#ifndef RNX_SIMULATOR_PARTIAL

RNX_EXPORT int RNX_WMP_ScanDevice_UnInit() {
  Enter(__func__);
  return 0;
}

RNX_EXPORT int RNX_WMP_ConnectDevice(int* handle, const char* address, const char* key) {
  if (const int code = Enter(__func__)) return code;
  std::lock_guard guard(Sim().lock);
  if (!Sim().devicePresent || Sim().address != address || std::strcmp(key, "vemto") != 0) return -3;
  if (Sim().connected) return -4;  // one connection at a time
  Sim().connected = true;
  *handle = kHandle;
  return 0;
}

RNX_EXPORT int RNX_WMP_Video_Begin(int handle) {
  if (const int code = Enter(__func__)) return code;
  std::lock_guard guard(Sim().lock);
  if (handle != kHandle || !Sim().connected) return -5;
  Sim().streaming = true;
  return 0;
}

RNX_EXPORT int RNX_WMP_Serial_Begin(int) { return -1; }

RNX_EXPORT int RNX_WMP_Poll(int handle, int* events, int timeoutMs) {
  *events = 0;
  if (const int code = Enter(__func__)) return code;
  {
    std::lock_guard guard(Sim().lock);
    if (handle != kHandle || !Sim().connected) return -6;
  }
  // A frame every 10 ms, well inside any time-out the station passes.
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 10)));
  std::lock_guard guard(Sim().lock);
  if (Sim().streaming) *events |= 0x01;
  if (Sim().paramChanged) *events |= 0x10;
  return 0;
}

RNX_EXPORT int RNX_WMP_Video_RequestVideoData(int handle, void** record) {
  if (const int code = Enter(__func__)) return code;
  State& sim = Sim();
  std::lock_guard guard(sim.lock);
  if (handle != kHandle || !sim.streaming) return -7;
  const std::vector<std::uint8_t>& jpeg = sim.givenFrame.empty() ? CurrentJpeg(sim) : sim.givenFrame;
  auto* bytes = static_cast<std::uint8_t*>(std::calloc(28 + jpeg.size(), 1));
  const auto length = static_cast<std::int32_t>(jpeg.size());
  std::memcpy(bytes + 24, &length, 4);
  std::memcpy(bytes + 28, jpeg.data(), jpeg.size());
  ++sim.lentRecords;
  *record = bytes;
  return 0;
}

RNX_EXPORT int RNX_WMP_Video_ReleaseVideoData(int, void* record) {
  Enter(__func__);
  std::lock_guard guard(Sim().lock);
  if (record != nullptr) --Sim().lentRecords;
  std::free(record);
  return 0;
}

RNX_EXPORT int RNX_WMP_Video_End(int) {
  Enter(__func__);
  std::lock_guard guard(Sim().lock);
  Sim().streaming = false;
  return 0;
}

RNX_EXPORT int RNX_WMP_Disconnect(int) {
  Enter(__func__);
  std::lock_guard guard(Sim().lock);
  Sim().connected = false;
  Sim().streaming = false;
  return 0;
}

// Group 0: 320 x 240 and 640 x 480; group 1 not valid; group 2: 640 x 480 again, a 0 x 480
// entry and 160 x 120.
RNX_EXPORT int RNX_WMP_Video_GetAbility(int handle, void* table) {
  if (const int code = Enter(__func__)) return code;
  if (handle != kHandle) return -8;
  auto* bytes = static_cast<std::uint8_t*>(table);
  std::memset(bytes, 0, 400);
  const auto entry = [&](int group, int index, int width, int height) {
    std::uint8_t* at = bytes + group * 100 + 4 + index * 8;
    PutU16(at, height);
    PutU16(at + 2, width);
  };
  bytes[0] = 1;
  entry(0, 0, 320, 240);
  entry(0, 1, 640, 480);
  entry(1, 0, 1024, 768);
  bytes[200] = 1;
  entry(2, 0, 640, 480);
  entry(2, 1, 0, 480);
  entry(2, 2, 160, 120);
  return 0;
}

RNX_EXPORT int RNX_WMP_Video_SetResolu(int, std::uint32_t packed) {
  if (const int code = Enter(__func__)) return code;
  std::lock_guard guard(Sim().lock);
  Sim().width = static_cast<int>(packed >> 16);
  Sim().height = static_cast<int>(packed & 0xFFFF);
  return 0;
}

RNX_EXPORT int RNX_WMP_Video_GetResolu(int, std::uint32_t* packed) {
  if (const int code = Enter(__func__)) return code;
  std::lock_guard guard(Sim().lock);
  *packed = (static_cast<std::uint32_t>(Sim().width) << 16) | static_cast<std::uint32_t>(Sim().height);
  return 0;
}

RNX_EXPORT int RNX_WMP_Video_SetVideoCtrl(int, int id, const VideoControl* record) {
  if (const int code = Enter(__func__)) return code;
  if (id != kExposureId) return -9;
  std::lock_guard guard(Sim().lock);
  Sim().exposure.current = record->current;
  return 0;
}

RNX_EXPORT int RNX_WMP_Video_GetVideoCtrl(int, int id, VideoControl* record) {
  if (const int code = Enter(__func__)) return code;
  if (id != kExposureId) return -9;
  std::lock_guard guard(Sim().lock);
  *record = Sim().exposure;
  return 0;
}

RNX_EXPORT int RNX_WMP_Gpio_SetAll(int, int) { return -1; }
RNX_EXPORT int RNX_WMP_Gpio_GetAll(int, int*) { return -1; }
RNX_EXPORT int RNX_WMP_Gpio_SetStatus(int, int, int) { return -1; }

RNX_EXPORT int RNX_WMP_GetParamChangeType(int, int* type) {
  Enter(__func__);
  std::lock_guard guard(Sim().lock);
  Sim().paramChanged = false;
  *type = 0x2;
  return 0;
}

#endif
