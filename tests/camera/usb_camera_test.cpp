#include "camera/usb_camera.h"

#include <linux/videodev2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/log_file.h"
#include "camera/frame.h"
#include "platform/file_io.h"
#include "platform/simulated_v4l2.h"
#include "temp_folder.h"
#include "thread_start_failure.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using platform::SimulatedControl;
using platform::SimulatedV4l2Camera;

platform::SimulatedCameraModel Model(const std::string& bus, const std::string& vendor = "3C4D",
                                     const std::string& product = "1A2B") {
  platform::SimulatedCameraModel model;
  static int nextNode = 0;
  model.node.nodeNumber = nextNode++;
  model.node.devicePath = "/dev/video" + std::to_string(model.node.nodeNumber);
  model.node.vendorId = vendor;
  model.node.productId = product;
  model.node.busPosition = bus;
  model.card = "Doc Camera";
  model.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}, {1280, 720}, {1600, 1200}}, {}},
                   {V4L2_PIX_FMT_MJPEG, {{1280, 720}, {1920, 1080}}, {}}};
  model.controls = {
      SimulatedControl{V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 3, 1, 3, {1, 3}},
      SimulatedControl{V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure", V4L2_CTRL_TYPE_INTEGER, 1, 5000, 1, 156, {}},
      SimulatedControl{V4L2_CID_AUTO_WHITE_BALANCE, "WB Auto", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, {}},
      SimulatedControl{V4L2_CID_WHITE_BALANCE_TEMPERATURE, "WB", V4L2_CTRL_TYPE_INTEGER, 2800, 6500, 10, 4600, {}},
      SimulatedControl{V4L2_CID_SHARPNESS, "Sharpness", V4L2_CTRL_TYPE_INTEGER, 0, 15, 0, 10, {}},
      SimulatedControl{V4L2_CID_FOCUS_AUTO, "Focus Auto", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, {}},
      SimulatedControl{V4L2_CID_FOCUS_ABSOLUTE, "Focus", V4L2_CTRL_TYPE_INTEGER, 0, 1000, 5, 100, {}},
  };
  return model;
}

// Two identical cameras on different ports, each with its metadata node, and another model.
class UsbCameraTest : public ::testing::Test {
 protected:
  UsbCameraTest() {
    first = std::make_shared<SimulatedV4l2Camera>(Model("1-2"));
    auto firstMeta = Model("1-2");
    firstMeta.deviceCaps = V4L2_CAP_META_CAPTURE;
    second = std::make_shared<SimulatedV4l2Camera>(Model("1-3"));
    auto secondMeta = Model("1-3");
    secondMeta.deviceCaps = V4L2_CAP_META_CAPTURE;
    other = std::make_shared<SimulatedV4l2Camera>(Model("1-4", "1E4E", "A0C8"));
    for (const auto& camera : {first, std::make_shared<SimulatedV4l2Camera>(firstMeta), second,
                               std::make_shared<SimulatedV4l2Camera>(secondMeta), other}) {
      backend->Add(camera);
    }
  }

  std::shared_ptr<platform::SimulatedV4l2Backend> backend = std::make_shared<platform::SimulatedV4l2Backend>();
  std::shared_ptr<SimulatedV4l2Camera> first, second, other;
};

TEST_F(UsbCameraTest, EnumeratesCaptureNodesAndTellsIdenticalCamerasApart) {
  CUSBCamra camera(backend);
  EXPECT_EQ(camera.ProbeDevice("3c4d", "1a2b"), 2);
  EXPECT_EQ(camera.ProbeDevice("3C4D", ""), -1);
  EXPECT_EQ(camera.CountDevicesByName("Doc Camera"), 3);
  EXPECT_EQ(camera.CountMatchingDevices("3C4D", "1A2B", "1-3"), 1);
  std::string name;
  EXPECT_TRUE(camera.GetDeviceFriendlyName("3C4D", "1A2B", 1, &name, 64));
  EXPECT_EQ(name, "Doc Camera");
  EXPECT_FALSE(camera.GetDeviceFriendlyName("3C4D", "1A2B", 2, &name, 64));
  EXPECT_FALSE(camera.GetDeviceFriendlyName("3C4D", "1A2B", 0, &name, 10));  // does not fit

  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 1), 0);
  EXPECT_TRUE(camera.Start());
  EXPECT_TRUE(second->Streaming());
  EXPECT_FALSE(first->Streaming());
  EXPECT_EQ(camera.Open("3C4D", "FFFF", "", {}, false, 0), 1);
  EXPECT_EQ(camera.GetState(), kStateClosed);
  EXPECT_FALSE(second->Streaming());
}

TEST_F(UsbCameraTest, DeviceListNeedsRoomBeyondTheIds) {
  CUSBCamra camera(backend);
  char exact[24];  // three devices need 24 characters and a terminator
  EXPECT_EQ(camera.GetDeviceList(exact), -2);
  char room[25];
  ASSERT_EQ(camera.GetDeviceList(room), 3);
  EXPECT_STREQ(room, "3C4D1A2B3C4D1A2B1E4EA0C8");
  char tiny[8];
  EXPECT_EQ(camera.GetDeviceList(tiny), -2);
}

TEST_F(UsbCameraTest, NegotiatesTheNearestSizeFormatAndFrameRate) {
  CUSBCamra camera(backend);
  camera.SetResolution(1280, 960);  // not offered: 1280 x 720 is nearest by pixel count
  camera.SetFrameRate(15);
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  int width = 0, height = 0;
  camera.GetCurrentResolution(&width, &height);
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 720);
  EXPECT_EQ(first->CurrentFormat().pixelformat, V4L2_PIX_FMT_YUYV);
  EXPECT_EQ(first->FrameRate(), 15);
  EXPECT_EQ(camera.GetResolutionCount(), 3);
  std::vector<int> formats;
  ASSERT_TRUE(camera.GetFormatList(&formats));
  EXPECT_EQ(formats, (std::vector<int>{kFormatYUY2, kFormatMJPG}));

  camera.SetFormatMode(kFormatMJPG);
  EXPECT_EQ(camera.SetResolution(1920, 1080), 0);  // rebuilt, not running
  EXPECT_EQ(first->CurrentFormat().pixelformat, V4L2_PIX_FMT_MJPEG);
  EXPECT_EQ(first->CurrentFormat().width, 1920u);
  EXPECT_EQ(camera.GetState(), kStateOpened);
  EXPECT_EQ(camera.GetResolution(1, &width, &height), 0);
  EXPECT_EQ(width, 1920);
  EXPECT_EQ(camera.GetResolution(2, &width, &height), -6);  // MJPG has two sizes
  EXPECT_EQ(camera.GetResolution(5, &width, &height), -5);  // five sizes in all
  EXPECT_EQ(camera.GetDeviceResolution("3C4D", "9999", 0, 0, &width, &height), -3);
}

TEST_F(UsbCameraTest, StepwiseSizesBecomeAList) {
  auto model = Model("2-1", "3C4D", "2B1A");
  model.formats = {{V4L2_PIX_FMT_YUYV, {}, {320, 1920, 16, 240, 1080, 8}}};
  backend->Add(std::make_shared<SimulatedV4l2Camera>(model));
  CUSBCamra camera(backend);
  ASSERT_EQ(camera.GetDeviceResolutionCount("3C4D", "2B1A", 0), 6);  // 640x480 ... 1920x1080
  int width = 0, height = 0;
  ASSERT_EQ(camera.GetDeviceResolution("3C4D", "2B1A", 0, 5, &width, &height), 0);
  EXPECT_EQ(width, 1920);
  EXPECT_EQ(height, 1080);
}

TEST_F(UsbCameraTest, ACameraHeldByAnotherProgramFailsAtOpen) {
  first->SetHeldElsewhere(true);
  CUSBCamra camera(backend);
  EXPECT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), kDeviceBusy);
  EXPECT_EQ(camera.GetState(), kStateClosed);
  first->SetHeldElsewhere(false);
  // And one program's open camera is busy for the next.
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  CUSBCamra rival(backend);
  EXPECT_EQ(rival.Open("3C4D", "1A2B", "", {}, false, 0), kDeviceBusy);
}

TEST_F(UsbCameraTest, StartAndStopAreIdempotentAndStopReleasesTheBuffers) {
  CUSBCamra camera(backend);
  EXPECT_FALSE(camera.Start());  // nothing open
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  EXPECT_TRUE(camera.Start());
  EXPECT_TRUE(camera.Start());
  EXPECT_EQ(camera.GetState(), kStateRunning);
  EXPECT_TRUE(camera.Stop());
  EXPECT_TRUE(camera.Stop());
  EXPECT_FALSE(first->Streaming());
  CUSBCamra rival(backend);  // the buffers are free: another source can take the camera
  EXPECT_EQ(rival.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  rival.Stop();
  rival.Open("FFFF", "FFFF", "", {}, false, 0);  // closes
  EXPECT_TRUE(camera.Start());  // requests its buffers again
  EXPECT_TRUE(first->Streaming());
}

TEST_F(UsbCameraTest, AnOpenedCameraGivesUpItsBuffersWhenStopped) {
  CUSBCamra camera(backend);
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  CUSBCamra inset(backend);
  EXPECT_NE(inset.Open("3C4D", "1A2B", "", {}, false, 0), 0) << "the opened camera holds its buffers";
  EXPECT_TRUE(camera.Stop());
  EXPECT_EQ(inset.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  EXPECT_TRUE(inset.Start());
}

TEST_F(UsbCameraTest, TheFormatPageOffersEveryFormatAndRestartsTheStreamWithTheChoice) {
  CUSBCamra camera(backend);
  camera.SetResolution(640, 480);
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  ASSERT_TRUE(camera.Start());
  const std::vector<FormatChoice> choices = camera.FormatChoices();
  const FormatChoice mjpg{kFormatMJPG, 1920, 1080};
  EXPECT_NE(std::find(choices.begin(), choices.end(), mjpg), choices.end());
  EXPECT_NE(std::find(choices.begin(), choices.end(), camera.CurrentFormat()), choices.end());
  EXPECT_EQ(camera.SetFormat(mjpg), kSuccess);
  EXPECT_EQ(camera.CurrentFormat(), mjpg);
  EXPECT_EQ(first->CurrentFormat().pixelformat, static_cast<std::uint32_t>(V4L2_PIX_FMT_MJPEG));
  EXPECT_EQ(first->CurrentFormat().width, 1920u);
  EXPECT_TRUE(first->Streaming()) << "streaming again with the new format";
}

// A camera whose snapshot button is read from `button` (a FIFO stands in for its input device).
class UsbCameraButtonTest : public UsbCameraTest {
 protected:
  void SetUp() override {
    // Open to everyone, so an ordinary user's part of a test finds its files.
    fs::permissions(folder.path(), fs::perms::all);
    ASSERT_EQ(::mkfifo(button.c_str(), 0600), 0);
    auto model = Model("2-1", "ABCD", "0001");
    model.node.inputEvents = {button.string()};
    withButton = std::make_shared<SimulatedV4l2Camera>(model);
    backend->Add(withButton);
  }
  testing::TempFolder folder;
  fs::path button = folder / "event7";
  std::shared_ptr<SimulatedV4l2Camera> withButton;
};

// The camera starts its streaming thread and then its button reader. When either cannot start,
// nothing is left running (a joinable thread would end the program with the camera) and the
// start fails; the next one works.
TEST_F(UsbCameraButtonTest, AThreadThatCannotStartFailsTheStartCleanly) {
  CUSBCamra camera(backend);
  ASSERT_EQ(camera.Open("ABCD", "0001", "", {}, false, 0), 0);
  for (const int failing : {1, 2}) {
    SCOPED_TRACE(failing);
    testing::FailThreadStart(failing);
    EXPECT_FALSE(camera.Start());
    testing::FailThreadStart(0);
    EXPECT_NE(camera.GetState(), kStateRunning);
    EXPECT_FALSE(withButton->Streaming());
    ASSERT_TRUE(camera.Start());
    EXPECT_TRUE(camera.Stop());
  }
}

// Runs as an ordinary user for its life where the tests run as root, so that a file only its
// owner may read cannot be opened, as a camera's input device cannot by most users.
class OrdinaryUser {
 public:
  OrdinaryUser() : wasRoot_(::geteuid() == 0) {
    if (wasRoot_) {
      EXPECT_EQ(::seteuid(65534), 0);
    }
  }
  ~OrdinaryUser() {
    if (wasRoot_) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  }

 private:
  bool wasRoot_;
};

TEST_F(UsbCameraButtonTest, AButtonThatCannotBeReadIsSaidOnceInTheLog) {
  CUSBCamra camera(backend);
  CDebugLog::Instance().SetFileName(folder / "QVCam.log");
  ASSERT_EQ(camera.Open("ABCD", "0001", "", {}, false, 0), 0);
  fs::permissions(folder / "QVCam.log", fs::perms::all);  // the ordinary user writes to it too
  for (int start = 0; start < 2; ++start) {
    {
      OrdinaryUser user;
      ASSERT_TRUE(camera.Start());  // the camera works without its button
    }
    EXPECT_TRUE(camera.Stop());
  }
  const std::string log = platform::ReadWholeFile(folder / "QVCam.log").value_or("");
  const std::string line = "the snapshot button is not read: no permission to open " + button.string();
  const std::size_t first = log.find(line);
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(line, first + 1), std::string::npos) << "said once";
}

// True once `done` holds, within a limit generous enough for a machine whose every core is busy.
bool Eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool WaitForState(const CFrameSlot& slot, int state) {
  return Eventually([&] { return slot.State() == state; });
}

TEST_F(UsbCameraTest, StreamsBuffersIntoTheFrameSlotWithTheirOwnLength) {
  CUSBCamra camera(backend);
  CFrameSlot slot;
  camera.SetFrameSink(&slot);
  camera.SetFormatMode(kFormatMJPG);
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  ASSERT_TRUE(camera.Start());
  std::vector<std::uint8_t> frame(5000, 7);
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(first->DeliverFrame(frame.data(), frame.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(slot.State(), CFrameSlot::kFree);  // the first two MJPG frames are dropped
  std::vector<std::uint8_t> third(3000, 9);
  ASSERT_TRUE(Eventually([&] { return first->DeliverFrame(third.data(), third.size()); }));
  ASSERT_TRUE(WaitForState(slot, CFrameSlot::kFilled));
  EXPECT_EQ(slot.Length(), 3000);
  EXPECT_EQ(slot.Width(), 1280);
  EXPECT_EQ(slot.Subtype(), FrameSubtype::MJPG);
  camera.SetFrameSink(nullptr);
}

TEST_F(UsbCameraTest, StillFromTheLiveFrameWithoutAStillPin) {
  CUSBCamra camera(backend);
  EXPECT_FALSE(camera.HasStillPin("3C4D", "1A2B", 0));
  EXPECT_LT(camera.Open("3C4D", "1A2B", "", {}, true, 0), 0);  // a still pin was asked for
  camera.SetResolution(640, 480);
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  camera.SetRotation(90);
  ASSERT_TRUE(camera.Start());
  std::atomic<bool> stop{false};
  std::thread feeder([&] {
    std::vector<std::uint8_t> frame(640 * 480 * 2, 128);
    while (!stop) {
      first->DeliverFrame(frame.data(), frame.size());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const cv::Mat still = camera.GrabStill();
  stop = true;
  feeder.join();
  ASSERT_FALSE(still.empty());
  EXPECT_EQ(still.cols, 480);
  EXPECT_EQ(still.rows, 640);
  EXPECT_EQ(still.at<cv::Vec3b>(0, 0), cv::Vec3b(130, 130, 130));
}

TEST_F(UsbCameraTest, ALostDeviceIsReportedOnce) {
  CUSBCamra camera(backend);
  SourceEvent event = SourceEvent::OtherDevice;
  long code = 0;
  EXPECT_FALSE(camera.PollEvent(&event, &code));
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  ASSERT_TRUE(camera.Start());
  ASSERT_TRUE(camera.PollEvent(&event, &code));
  EXPECT_EQ(event, SourceEvent::None);
  first->Unplug();
  EXPECT_TRUE(Eventually([&] { return camera.PollEvent(&event, &code) && event == SourceEvent::DeviceLost; }));
  ASSERT_TRUE(camera.PollEvent(&event, &code));
  EXPECT_EQ(event, SourceEvent::None);
  EXPECT_TRUE(camera.Stop());  // a lost camera still stops cleanly
}

TEST_F(UsbCameraTest, ExposureIsPresentedInLog2Seconds) {
  CUSBCamra camera(backend);
  PropertyRange range;
  EXPECT_EQ(camera.GetCameraControlRange(4, &range), kNullPointer);  // nothing bound yet
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  ASSERT_EQ(camera.GetCameraControlRange(4, &range), 0);
  EXPECT_EQ(range.minimum, -13);  // 100 µs
  EXPECT_EQ(range.maximum, -1);   // 0.5 s
  EXPECT_EQ(range.defaultValue, -6);
  EXPECT_EQ(range.flags, kPropertyAuto | kPropertyManual);
  long value = 0, flags = 0;
  ASSERT_EQ(camera.GetCameraControl(4, &value, &flags), 0);
  EXPECT_EQ(flags, kPropertyAuto);

  ASSERT_EQ(camera.SetCameraControl(4, -3), 0);  // 1/8 s
  EXPECT_EQ(first->ControlValue(V4L2_CID_EXPOSURE_ABSOLUTE), 1250);
  EXPECT_EQ(first->ControlValue(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
  ASSERT_EQ(camera.GetCameraControl(4, &value, &flags), 0);
  EXPECT_EQ(value, -3);
  EXPECT_EQ(flags, kPropertyManual);

  ASSERT_EQ(camera.SetCameraControl(4, 0), 0);  // above the range: automatic
  EXPECT_EQ(first->ControlValue(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_APERTURE_PRIORITY);
  EXPECT_EQ(first->ControlValue(V4L2_CID_EXPOSURE_ABSOLUTE), 1250);
}

TEST_F(UsbCameraTest, CameraControlsSnapToTheStepAndSwitchAuto) {
  CUSBCamra camera(backend);
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  ASSERT_EQ(camera.SetCameraControl(6, 123), 0);  // focus, step 5
  EXPECT_EQ(first->ControlValue(V4L2_CID_FOCUS_ABSOLUTE), 120);
  EXPECT_EQ(first->ControlValue(V4L2_CID_FOCUS_AUTO), 0);
  ASSERT_EQ(camera.SetCameraControl(6, -1), 0);
  EXPECT_EQ(first->ControlValue(V4L2_CID_FOCUS_AUTO), 1);
  PropertyRange range;
  EXPECT_EQ(camera.GetCameraControlRange(2, &range), kFail);  // roll has no V4L2 control
  EXPECT_EQ(camera.GetCameraControlRange(0, &range), kFail);  // this camera has no pan
  EXPECT_EQ(camera.SetCameraControl(0, 1), kFail);
}

TEST_F(UsbCameraTest, ProcAmpSetsInRangeValuesManually) {
  CUSBCamra camera(backend);
  ASSERT_EQ(camera.Open("3C4D", "1A2B", "", {}, false, 0), 0);
  struct Case {
    long value;
    long stored;  // written back and set
  };
  for (const Case c : {Case{4605, 4600}, Case{2800, 2800}, Case{9000, 4600}, Case{100, 4600}}) {
    long value = c.value;
    ASSERT_EQ(camera.SetProcAmp(7, &value), 0) << c.value;
    EXPECT_EQ(value, c.stored) << c.value;
    EXPECT_EQ(first->ControlValue(V4L2_CID_WHITE_BALANCE_TEMPERATURE), c.stored) << c.value;
    EXPECT_EQ(first->ControlValue(V4L2_CID_AUTO_WHITE_BALANCE), 0) << c.value;
  }
  PropertyRange range;
  ASSERT_EQ(camera.GetProcAmpRange(4, &range), 0);  // sharpness reports a step of 0
  EXPECT_EQ(range.step, 1);
  EXPECT_EQ(range.defaultValue, 10);
  EXPECT_EQ(range.maximum, 15);
  EXPECT_EQ(range.flags, kPropertyManual);
  long value = 7;
  EXPECT_EQ(camera.SetProcAmp(4, &value), 0);
  EXPECT_EQ(first->ControlValue(V4L2_CID_SHARPNESS), 7);
  EXPECT_EQ(camera.GetProcAmpRange(6, &range), kFail);  // colour enable
  EXPECT_EQ(camera.GetProcAmpRange(10, &range), kFail);
}

TEST_F(UsbCameraTest, DeviceQuestionsAdoptTheDeviceForControls) {
  // Discovery asks a fresh source about a camera and then reads its property range.
  CUSBCamra camera(backend);
  EXPECT_EQ(camera.GetDeviceResolutionCount("1E4E", "A0C8", 0), 3);
  PropertyRange range;
  ASSERT_EQ(camera.GetProcAmpRange(4, &range), 0);
  EXPECT_EQ(range.defaultValue, 10);
}

}  // namespace
}  // namespace orvane
