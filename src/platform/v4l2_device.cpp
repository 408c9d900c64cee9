#include "platform/v4l2_device.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace orvane::platform {

namespace fs = std::filesystem;

namespace {

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

std::string UpperHex4(const std::string& text) {
  if (text.size() != 4 || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); })) {
    return {};
  }
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// "video12" gives 12; anything else -1.
int NodeNumber(const std::string& name) {
  if (name.rfind("video", 0) != 0 || name.size() == 5) return -1;
  int number = 0;
  for (std::size_t i = 5; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i])) || number > 100000) return -1;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

void ReadUsbParent(const fs::path& interfaceFolder, const fs::path& devRoot, VideoNodeInfo& node) {
  std::error_code error;
  const std::string interfaceNumber = ReadAttribute(interfaceFolder / "bInterfaceNumber");
  if (!interfaceNumber.empty()) node.interfaceNumber = static_cast<int>(std::strtol(interfaceNumber.c_str(), nullptr, 16));
  // The USB device is the nearest ancestor that carries the ids.
  fs::path usbDevice;
  for (fs::path folder = interfaceFolder; !folder.empty() && folder != folder.root_path(); folder = folder.parent_path()) {
    if (fs::exists(folder / "idVendor", error) && fs::exists(folder / "idProduct", error)) {
      usbDevice = folder;
      break;
    }
  }
  if (usbDevice.empty()) return;
  node.vendorId = UpperHex4(ReadAttribute(usbDevice / "idVendor"));
  node.productId = UpperHex4(ReadAttribute(usbDevice / "idProduct"));
  node.busPosition = usbDevice.filename().string();
  // Input devices of the camera (its snapshot button): <interface>/input/inputK/eventM.
  fs::recursive_directory_iterator walk(usbDevice, fs::directory_options::skip_permission_denied, error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (walk.depth() > 4) {
      walk.disable_recursion_pending();
      continue;
    }
    const fs::path& path = walk->path();
    if (path.filename().string().rfind("event", 0) == 0 && path.parent_path().parent_path().filename() == "input") {
      node.inputEvents.push_back((devRoot / "input" / path.filename()).string());
    }
  }
  std::sort(node.inputEvents.begin(), node.inputEvents.end());
}

class LinuxV4l2Device final : public IV4l2Device {
 public:
  explicit LinuxV4l2Device(int descriptor) : descriptor_(descriptor) {}
  ~LinuxV4l2Device() override { ::close(descriptor_); }
  LinuxV4l2Device(const LinuxV4l2Device&) = delete;
  LinuxV4l2Device& operator=(const LinuxV4l2Device&) = delete;

  int Ioctl(unsigned long request, void* argument) override {
    int result;
    do {
      result = ::ioctl(descriptor_, request, argument);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -errno : 0;
  }

  void* Map(std::size_t length, std::uint32_t offset) override {
    void* address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor_, offset);
    return address == MAP_FAILED ? nullptr : address;
  }

  void Unmap(void* address, std::size_t length) override {
    if (address != nullptr) ::munmap(address, length);
  }

  int WaitForFrame(int timeoutMs) override {
    pollfd entry{descriptor_, POLLIN | POLLPRI, 0};
    const int result = ::poll(&entry, 1, timeoutMs);
    if (result < 0) return errno == EINTR ? 0 : -errno;
    if (result == 0) return 0;
    // An unplugged UVC camera wakes every waiter with an error condition.
    if ((entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (entry.revents & POLLIN) == 0) return -ENODEV;
    return 1;
  }

 private:
  int descriptor_;
};

class LinuxV4l2Backend final : public IV4l2Backend {
 public:
  LinuxV4l2Backend(fs::path sysRoot, fs::path devRoot) : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

  std::vector<VideoNodeInfo> ListNodes() override { return ReadVideoNodes(sysRoot_, devRoot_); }

  std::unique_ptr<IV4l2Device> OpenNode(const std::string& devicePath, int* error) override {
    const int descriptor = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
      if (error != nullptr) *error = errno;
      return nullptr;
    }
    return std::make_unique<LinuxV4l2Device>(descriptor);
  }

 private:
  fs::path sysRoot_;
  fs::path devRoot_;
};

}  // namespace

std::unique_ptr<IV4l2Backend> MakeLinuxV4l2Backend(fs::path sysRoot, fs::path devRoot) {
  return std::make_unique<LinuxV4l2Backend>(std::move(sysRoot), std::move(devRoot));
}

std::vector<VideoNodeInfo> ReadVideoNodes(const fs::path& sysRoot, const fs::path& devRoot) {
  std::vector<VideoNodeInfo> nodes;
  std::error_code error;
  const fs::path classFolder = sysRoot / "class" / "video4linux";
  for (fs::directory_iterator it(classFolder, error), end; !error && it != end; it.increment(error)) {
    VideoNodeInfo node;
    const std::string name = it->path().filename().string();
    node.nodeNumber = NodeNumber(name);
    if (node.nodeNumber < 0) continue;
    node.devicePath = (devRoot / name).string();
    node.name = ReadAttribute(it->path() / "name");
    std::error_code linkError;
    const fs::path interfaceFolder = fs::canonical(it->path() / "device", linkError);
    if (!linkError) ReadUsbParent(interfaceFolder, devRoot, node);
    nodes.push_back(std::move(node));
  }
  std::sort(nodes.begin(), nodes.end(), [](const VideoNodeInfo& a, const VideoNodeInfo& b) { return a.nodeNumber < b.nodeNumber; });
  return nodes;
}

std::string MakeDevicePathText(const VideoNodeInfo& node) {
  char head[40];
  std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%.4s&pid_%.4s&mi_%02x#0&",
                node.vendorId.empty() ? "0000" : node.vendorId.c_str(),
                node.productId.empty() ? "0000" : node.productId.c_str(), node.interfaceNumber & 0xFF);
  std::string text = head;
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text + node.busPosition + "#video" + std::to_string(node.nodeNumber);
}

std::vector<VideoCaptureDevice> EnumerateCaptureDevices(IV4l2Backend& backend) {
  std::vector<VideoCaptureDevice> devices;
  for (VideoNodeInfo& node : backend.ListNodes()) {
    int error = 0;
    std::unique_ptr<IV4l2Device> device = backend.OpenNode(node.devicePath, &error);
    if (!device) continue;
    v4l2_capability capability{};
    if (device->Ioctl(VIDIOC_QUERYCAP, &capability) != 0) continue;
    const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? capability.device_caps
                                                                                    : capability.capabilities;
    if ((caps & V4L2_CAP_VIDEO_CAPTURE) == 0) continue;
    VideoCaptureDevice entry;
    const auto* card = reinterpret_cast<const char*>(capability.card);
    entry.friendlyName.assign(card, ::strnlen(card, sizeof capability.card));
    if (entry.friendlyName.empty()) entry.friendlyName = node.name;
    entry.devicePathText = MakeDevicePathText(node);
    entry.node = std::move(node);
    devices.push_back(std::move(entry));
  }
  return devices;
}

}  // namespace orvane::platform
