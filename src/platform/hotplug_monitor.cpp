#include "platform/hotplug_monitor.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

namespace orvane::platform {

namespace {

std::string UpperHex4(std::string text) {
  if (text.empty() || text.size() > 4) return {};
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
  }
  text.insert(0, 4 - text.size(), '0');
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class UdevEventSource : public IDeviceEventSource {
 public:
  UdevEventSource(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}
  ~UdevEventSource() override {
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
  }
  UdevEventSource(const UdevEventSource&) = delete;
  UdevEventSource& operator=(const UdevEventSource&) = delete;

  int Descriptor() override { return udev_monitor_get_fd(monitor_); }

  std::optional<DeviceChange> Receive() override {
    // Skips what is of no interest until a camera event or nothing is left.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
      std::optional<DeviceChange> change = Describe(device);
      udev_device_unref(device);
      if (change) return change;
    }
    return std::nullopt;
  }

 private:
  static std::optional<DeviceChange> Describe(udev_device* device) {
    const char* action = udev_device_get_action(device);
    if (action == nullptr) return std::nullopt;
    DeviceChange change;
    if (std::string_view(action) == "add") change.action = DeviceChange::Action::Arrival;
    else if (std::string_view(action) == "remove") change.action = DeviceChange::Action::Removal;
    else return std::nullopt;
    // The event carries its properties, so they can be read even for a device already gone.
    const auto property = [&](const char* name) {
      const char* value = udev_device_get_property_value(device, name);
      return std::string(value != nullptr ? value : "");
    };
    change.vendorId = UpperHex4(property("ID_VENDOR_ID"));
    change.productId = UpperHex4(property("ID_MODEL_ID"));
    if (change.vendorId.empty() || change.productId.empty()) {
      if (auto ids = ParseUsbProductProperty(property("PRODUCT"))) {
        change.vendorId = ids->first;
        change.productId = ids->second;
      }
    }
    return change;
  }

  udev* udev_;
  udev_monitor* monitor_;
};

}  // namespace

std::optional<std::pair<std::string, std::string>> ParseUsbProductProperty(const std::string& product) {
  const std::size_t first = product.find('/');
  if (first == std::string::npos) return std::nullopt;
  const std::size_t second = product.find('/', first + 1);
  std::string vendor = UpperHex4(product.substr(0, first));
  std::string model = UpperHex4(product.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                                     : second - first - 1));
  if (vendor.empty() || model.empty()) return std::nullopt;
  return std::make_pair(std::move(vendor), std::move(model));
}

std::unique_ptr<IDeviceEventSource> MakeUdevEventSource() {
  udev* context = udev_new();
  if (context == nullptr) return nullptr;
  udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
  if (monitor == nullptr) {
    udev_unref(context);
    return nullptr;
  }
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "video4linux", nullptr) < 0 ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device") < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    udev_monitor_unref(monitor);
    udev_unref(context);
    return nullptr;
  }
  return std::make_unique<UdevEventSource>(context, monitor);
}

HotplugMonitor::HotplugMonitor(std::unique_ptr<IDeviceEventSource> source, TargetHandle window,
                               std::chrono::milliseconds quiet)
    : source_(std::move(source)), window_(window), quiet_(quiet) {}

HotplugMonitor::~HotplugMonitor() { Stop(); }

bool HotplugMonitor::Start() {
  if (thread_.joinable()) return true;
  if (!source_) return false;
  wakeDescriptor_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeDescriptor_ < 0) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void HotplugMonitor::Stop() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeDescriptor_, &one, sizeof one);
    thread_.join();
  }
  if (wakeDescriptor_ >= 0) close(wakeDescriptor_);
  wakeDescriptor_ = -1;
}

void HotplugMonitor::Run() {
  using Clock = std::chrono::steady_clock;
  std::vector<DeviceChange> burst;  // one entry per device and action, in the order first seen
  Clock::time_point lastEvent;
  for (;;) {
    int timeoutMs = -1;
    if (!burst.empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lastEvent + quiet_ - Clock::now());
      timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    pollfd descriptors[2] = {{wakeDescriptor_, POLLIN, 0}, {source_->Descriptor(), POLLIN, 0}};
    const int ready = poll(descriptors, 2, timeoutMs);
    if (ready < 0 && errno != EINTR) return;
    if ((descriptors[0].revents & POLLIN) != 0) return;
    if ((descriptors[1].revents & POLLIN) != 0) {
      while (std::optional<DeviceChange> change = source_->Receive()) {
        if (std::find(burst.begin(), burst.end(), *change) == burst.end()) burst.push_back(std::move(*change));
        lastEvent = Clock::now();
      }
    }
    if (!burst.empty() && Clock::now() >= lastEvent + quiet_) {
      for (DeviceChange& change : burst) {
        const WParam kind = change.action == DeviceChange::Action::Arrival ? message_ids::kDeviceArrival
                                                                           : message_ids::kDeviceRemoval;
        Post(window_, Message{message_ids::kDeviceChange, kind, 0, std::move(change)});
      }
      burst.clear();
    }
  }
}

}  // namespace orvane::platform
