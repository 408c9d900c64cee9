#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "platform/v4l2_device.h"
#include "temp_folder.h"

namespace orvane::platform {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

// A sysfs tree as the kernel lays it out for UVC cameras: each camera is a USB device folder with
// its ids, one interface folder holding a capture node, a metadata node and an input device.
class FakeSysfs {
 public:
  explicit FakeSysfs(const fs::path& root) : root_(root) {}

  void AddCamera(const std::string& bus, const std::string& vendor, const std::string& product,
                 const std::vector<int>& nodes, const std::string& name) {
    const fs::path usb = root_ / "devices/pci0000:00/usb1" / bus;
    WriteText(usb / "idVendor", vendor);
    WriteText(usb / "idProduct", product);
    const fs::path interface = usb / (bus + ":1.0");
    WriteText(interface / "bInterfaceNumber", "00");
    WriteText(interface / "input/input7" / ("event" + std::to_string(nodes.front() + 20)) / "dev", "13:85");
    for (int n : nodes) {
      const fs::path node = interface / "video4linux" / ("video" + std::to_string(n));
      WriteText(node / "name", name);
      fs::create_directory_symlink("../..", node / "device");
      fs::create_directories(root_ / "class/video4linux");
      fs::create_directory_symlink(node, root_ / "class/video4linux" / ("video" + std::to_string(n)));
    }
  }
  // A node without a USB parent (a loopback device).
  void AddVirtualNode(int n, const std::string& name) {
    const fs::path node = root_ / "devices/virtual/video4linux" / ("video" + std::to_string(n));
    WriteText(node / "name", name);
    fs::create_directories(root_ / "class/video4linux");
    fs::create_directory_symlink(node, root_ / "class/video4linux" / ("video" + std::to_string(n)));
  }

 private:
  fs::path root_;
};

TEST(ReadVideoNodes, TakesIdsBusAndButtonsFromTheUsbParent) {
  testing::TempFolder folder;
  FakeSysfs sysfs(folder.path());
  sysfs.AddCamera("1-2", "3c4d", "1a2b", {10, 11}, "Doc Camera");
  sysfs.AddVirtualNode(2, "Loopback");
  const auto nodes = ReadVideoNodes(folder.path(), "/dev");
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[0].nodeNumber, 2);  // by number, not by name: video10 sorts after video2
  EXPECT_EQ(nodes[0].vendorId, "");
  EXPECT_EQ(nodes[1].devicePath, "/dev/video10");
  EXPECT_EQ(nodes[1].name, "Doc Camera");
  EXPECT_EQ(nodes[1].vendorId, "3C4D");
  EXPECT_EQ(nodes[1].productId, "1A2B");
  EXPECT_EQ(nodes[1].busPosition, "1-2");
  EXPECT_EQ(nodes[1].inputEvents, std::vector<std::string>{"/dev/input/event30"});
}

TEST(ReadVideoNodes, MissingTreeGivesNothing) {
  testing::TempFolder folder;
  EXPECT_TRUE(ReadVideoNodes(folder / "absent", "/dev").empty());
}

// Nodes answering QUERYCAP only: enough for enumeration.
class CapsOnlyDevice final : public IV4l2Device {
 public:
  CapsOnlyDevice(std::uint32_t caps, std::string card) : caps_(caps), card_(std::move(card)) {}
  int Ioctl(unsigned long request, void* argument) override {
    if (request != VIDIOC_QUERYCAP) return -ENOTTY;
    auto* capability = static_cast<v4l2_capability*>(argument);
    capability->capabilities = caps_ | V4L2_CAP_DEVICE_CAPS | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE;
    capability->device_caps = caps_;
    std::strncpy(reinterpret_cast<char*>(capability->card), card_.c_str(), sizeof capability->card - 1);
    return 0;
  }
  void* Map(std::size_t, std::uint32_t) override { return nullptr; }
  void Unmap(void*, std::size_t) override {}
  int WaitForFrame(int) override { return 0; }

 private:
  std::uint32_t caps_;
  std::string card_;
};

class CapsBackend final : public IV4l2Backend {
 public:
  std::vector<VideoNodeInfo> nodes;
  std::map<std::string, std::uint32_t> caps;  // missing: the node cannot be opened
  std::vector<VideoNodeInfo> ListNodes() override { return nodes; }
  std::unique_ptr<IV4l2Device> OpenNode(const std::string& path, int* error) override {
    if (!caps.count(path)) {
      *error = EACCES;
      return nullptr;
    }
    return std::make_unique<CapsOnlyDevice>(caps[path], "Card " + path);
  }
};

VideoNodeInfo Node(int number, const std::string& bus) {
  VideoNodeInfo node;
  node.nodeNumber = number;
  node.devicePath = "/dev/video" + std::to_string(number);
  node.vendorId = "3C4D";
  node.productId = "1A2B";
  node.busPosition = bus;
  return node;
}

TEST(EnumerateCaptureDevices, KeepsCaptureNodesOfIdenticalCamerasApart) {
  CapsBackend backend;
  backend.nodes = {Node(0, "1-2"), Node(1, "1-2"), Node(2, "1-3"), Node(3, "1-3"), Node(4, "1-4")};
  backend.caps = {{"/dev/video0", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING},
                  {"/dev/video1", V4L2_CAP_META_CAPTURE},
                  {"/dev/video2", V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING},
                  {"/dev/video3", V4L2_CAP_META_CAPTURE}};  // video4 cannot be opened
  const auto devices = EnumerateCaptureDevices(backend);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].node.devicePath, "/dev/video0");
  EXPECT_EQ(devices[1].node.devicePath, "/dev/video2");
  EXPECT_EQ(devices[0].friendlyName, "Card /dev/video0");
  EXPECT_NE(devices[0].devicePathText, devices[1].devicePathText);
}

TEST(MakeDevicePathText, CarriesIdsAndTheInstanceAtItsFixedPlace) {
  const std::string text = MakeDevicePathText(Node(5, "3-1.4"));
  EXPECT_EQ(text.substr(text.find("vid_") + 4, 4), "3c4d");
  EXPECT_EQ(text.substr(text.find("pid_") + 4, 4), "1a2b");
  EXPECT_EQ(text.substr(34, 5), "3-1.4");
}

}  // namespace
}  // namespace orvane::platform
