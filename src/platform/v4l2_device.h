// The small device interface the USB camera source drives: an open video node answers
// ioctl-like calls, maps its buffers and waits for frames. The real implementation is the Linux
// V4L2 node; tests and the virtual camera provide their own behind the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orvane::platform {

// A camera's still pin: V4L2 has none, so only devices that model one (the virtual camera)
// return it. Stills arrive on the streaming thread beside the preview frames.
class IStillPin {
 public:
  virtual ~IStillPin() = default;
  // Asks for one still at the pin's largest size.
  virtual void Trigger() = 0;
  // Takes a still that has arrived (requested or from the camera's own button).
  virtual bool TakeStill(std::vector<std::uint8_t>* bytes, std::uint32_t* pixelFormat, int* width,
                         int* height) = 0;
  // The still format's size.
  virtual void GetSize(int* width, int* height) const = 0;
};

class IV4l2Device {
 public:
  virtual ~IV4l2Device() = default;
  // An ioctl on the node: 0, or a negative errno.
  virtual int Ioctl(unsigned long request, void* argument) = 0;
  // Maps `length` bytes of driver buffer memory at `offset` (from VIDIOC_QUERYBUF); null on failure.
  virtual void* Map(std::size_t length, std::uint32_t offset) = 0;
  virtual void Unmap(void* address, std::size_t length) = 0;
  // Waits for a buffer to dequeue: 1 ready, 0 timed out, a negative errno (-ENODEV: unplugged).
  virtual int WaitForFrame(int timeoutMs) = 0;
  virtual IStillPin* StillPin() { return nullptr; }
};

// One video node as sysfs describes it.
struct VideoNodeInfo {
  std::string devicePath;  // /dev/videoN
  int nodeNumber = -1;
  std::string name;        // the node's name attribute (the card name)
  std::string vendorId;    // USB parent's idVendor, four upper-case hex digits; empty if not USB
  std::string productId;
  std::string busPosition;      // the USB parent's sysfs name, "1-2.3"
  int interfaceNumber = 0;      // the USB interface the node belongs to
  std::vector<std::string> inputEvents;  // /dev/input/eventN of the same USB device (buttons)
};

// Where nodes come from and how they are opened.
class IV4l2Backend {
 public:
  virtual ~IV4l2Backend() = default;
  // In node-number order.
  virtual std::vector<VideoNodeInfo> ListNodes() = 0;
  // Null with *error set to a positive errno on failure.
  virtual std::unique_ptr<IV4l2Device> OpenNode(const std::string& devicePath, int* error) = 0;
};

// The kernel's devices: nodes from <sysRoot>/class/video4linux, opened under /dev.
std::unique_ptr<IV4l2Backend> MakeLinuxV4l2Backend(std::filesystem::path sysRoot = "/sys",
                                                   std::filesystem::path devRoot = "/dev");

// Reads the sysfs tree only (no device is opened), sorted by node number.
std::vector<VideoNodeInfo> ReadVideoNodes(const std::filesystem::path& sysRoot,
                                          const std::filesystem::path& devRoot);

// A node that captures video, as the camera source names it.
struct VideoCaptureDevice {
  VideoNodeInfo node;
  std::string friendlyName;  // the card name
  // A device-path text in the form "\\?\usb#vid_3c4d&pid_1a2b&mi_00#0&<bus position>#videoN":
  // the ids follow "vid_" and "pid_", and the instance (the bus position, which keeps two
  // identical cameras apart) starts at character 34 as the three-id match expects.
  std::string devicePathText;
};

// The nodes whose device capabilities include VIDEO_CAPTURE (a UVC camera also exposes a
// metadata node, which is skipped), in node order. Each node is opened only for QUERYCAP.
std::vector<VideoCaptureDevice> EnumerateCaptureDevices(IV4l2Backend& backend);

std::string MakeDevicePathText(const VideoNodeInfo& node);

}  // namespace orvane::platform
