// Telling a window that a camera was plugged in or pulled out. Device events come from an event
// source (udev in the program, a fake in tests); the monitor's thread gathers the burst of
// events one plug produces (the USB device, its interfaces, its video nodes) and posts one
// device-change message per device and action once the burst has gone quiet.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/message_ids.h"
#include "platform/messages.h"

namespace orvane::platform {

// Posted to the window as message_ids::kDeviceChange.
struct DeviceChange {
  enum class Action { Arrival, Removal };
  Action action = Action::Arrival;
  std::string vendorId;   // four upper-case hexadecimal digits; empty when the event had none
  std::string productId;
  friend bool operator==(const DeviceChange&, const DeviceChange&) = default;
};

// Where device events come from. Called on the monitor's thread only.
class IDeviceEventSource {
 public:
  virtual ~IDeviceEventSource() = default;
  // A descriptor that polls readable while events are waiting.
  virtual int Descriptor() = 0;
  // The next waiting event of interest, without blocking; nothing when none is waiting (events
  // of no interest are consumed and skipped).
  virtual std::optional<DeviceChange> Receive() = 0;
};

// udev's video4linux nodes and USB devices; null when udev cannot be reached.
std::unique_ptr<IDeviceEventSource> MakeUdevEventSource();

// The ids in a USB device's PRODUCT property ("3c4d/1a2b/100"), padded and upper-cased.
std::optional<std::pair<std::string, std::string>> ParseUsbProductProperty(const std::string& product);

class HotplugMonitor {
 public:
  // `quiet`: how long no new event must arrive before a burst is reported.
  HotplugMonitor(std::unique_ptr<IDeviceEventSource> source, TargetHandle window,
                 std::chrono::milliseconds quiet = std::chrono::milliseconds(300));
  ~HotplugMonitor();  // stops and joins the thread
  HotplugMonitor(const HotplugMonitor&) = delete;
  HotplugMonitor& operator=(const HotplugMonitor&) = delete;

  // False without a source or when the thread cannot be woken later.
  bool Start();
  // Events of a burst not yet reported are dropped.
  void Stop();

 private:
  void Run();

  std::unique_ptr<IDeviceEventSource> source_;
  TargetHandle window_;
  std::chrono::milliseconds quiet_;
  int wakeDescriptor_ = -1;  // an eventfd that ends the thread
  std::thread thread_;
};

}  // namespace orvane::platform
