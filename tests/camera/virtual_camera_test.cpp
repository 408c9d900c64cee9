#include "camera/virtual_camera.h"

#include <linux/videodev2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QSlider>
#include <chrono>
#include <thread>

#include <algorithm>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera/device_page.h"
#include "camera/frame.h"
#include "camera/grey_rows.h"
#include "camera/message_probe.h"
#include "camera/notice_probe.h"
#include "camera/patient_stills.h"
#include "camera/usb_camera.h"
#include "platform/message_ids.h"
#include "temp_folder.h"

namespace orvane {
namespace {

using platform::message_ids::kSnapshotButton;

// Small sizes keep the scene quick to draw under the sanitizers.
VirtualCameraIdentity SmallIdentity() {
  VirtualCameraIdentity identity;
  identity.sizes = {{320, 240}, {640, 480}};
  identity.stillWidth = 640;
  identity.stillHeight = 480;
  return identity;
}

class VirtualCameraTest : public ::testing::Test {
 protected:
  VirtualCameraTest() { backend->Add(virtualCamera.Camera()); }

  VirtualCamera virtualCamera{SmallIdentity()};
  std::shared_ptr<platform::SimulatedV4l2Backend> backend = std::make_shared<platform::SimulatedV4l2Backend>();
};

// A busy machine may take seconds to draw and encode a full-size frame: waited for generously.
bool WaitFilled(const CFrameSlot& slot) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (slot.State() != CFrameSlot::kFilled && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return slot.State() == CFrameSlot::kFilled;
}

TEST_F(VirtualCameraTest, IdentifiesAsItsModel) {
  CUSBCamra camera(backend);
  EXPECT_EQ(camera.ProbeDevice("3C4D", "B514"), 1);
  ASSERT_EQ(camera.GetDeviceResolutionCount("3C4D", "B514", 0), 2);
  PropertyRange sharpness, gain;
  ASSERT_EQ(camera.GetProcAmpRange(4, &sharpness), 0);
  EXPECT_EQ(sharpness.defaultValue, 10);
  EXPECT_EQ(camera.GetProcAmpRange(9, &gain), 0);
  EXPECT_TRUE(camera.HasStillPin("3C4D", "B514", 0));
  std::vector<int> formats;
  ASSERT_TRUE(camera.GetDeviceFormatList("3C4D", "B514", 0, &formats));
  EXPECT_EQ(formats, (std::vector<int>{kFormatYUY2, kFormatMJPG}));
  PropertyRange exposure;
  EXPECT_EQ(camera.GetCameraControlRange(4, &exposure), 0);
  EXPECT_EQ(camera.GetCameraControlRange(6, &exposure), 0);
}

// A page on a desk: bright in the middle, dark in the corners, in both formats.
TEST_F(VirtualCameraTest, StreamsTheSceneInBothFormats) {
  for (int mode : {kFormatYUY2, kFormatMJPG}) {
    CUSBCamra camera(backend);
    CFrameSlot raw, converted;
    camera.SetFrameSink(&raw);
    camera.SetFormatMode(mode);
    camera.SetResolution(320, 240);
    ASSERT_EQ(camera.Open("3C4D", "B514", "", {}, false, 0), 0);
    ASSERT_TRUE(camera.Start());
    ASSERT_TRUE(WaitFilled(raw)) << mode;
    FrameConverter converter;
    ASSERT_TRUE(converter.Convert(raw, converted)) << mode;
    const cv::Mat bgr(240, 320, CV_8UC3, const_cast<std::uint8_t*>(converted.Data()));
    cv::Mat grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    EXPECT_GT(cv::mean(grey(cv::Rect(140, 100, 40, 40)))[0], 150) << mode;  // page (text is sparse)
    EXPECT_LT(cv::mean(grey(cv::Rect(0, 0, 20, 20)))[0], 90) << mode;       // desk
    camera.SetFrameSink(nullptr);
    camera.Stop();
  }
}

TEST_F(VirtualCameraTest, StillPinAndSnapshotButton) {
  testing::MessageProbe window;
  CUSBCamra camera(backend);
  camera.SetResolution(320, 240);
  ASSERT_EQ(camera.Open("3C4D", "B514", "", window.Handle(), true, 0), 0);
  ASSERT_TRUE(camera.Start());
  const cv::Mat still = camera.GrabStill();
  ASSERT_EQ(still.cols, 640);  // the still pin's size, not the preview's
  EXPECT_EQ(still.rows, 480);
  EXPECT_EQ(window.Count(kSnapshotButton), 0);
  virtualCamera.PressButton();
  EXPECT_TRUE(window.WaitFor(kSnapshotButton, 1, std::chrono::seconds(60)));
  EXPECT_EQ(window.Count(kSnapshotButton), 1);
}

// A camera short of bus bandwidth ends some frames and stills halfway: a still is then taken from
// the next one that came whole, from the still pin (asked again) or from the live stream; when
// every one is cut, the still times out as any late still does.
TEST_F(VirtualCameraTest, StillsComeFromFramesThatCameWhole) {
  struct Case {
    const char* name;
    bool stillPin;
    int cutPeriod;
    bool whole;
  };
  const Case cases[] = {
      {"still pin, every other still cut", true, 2, true},
      {"live frames, every other one cut", false, 2, true},
      {"still pin, every still cut", true, 1, false},
  };
  for (const Case& c : cases) {
    testing::NoticeProbe notices;
    CUSBCamra camera(backend);
    camera.SetFormatMode(kFormatMJPG);
    camera.SetResolution(640, 480);
    ASSERT_EQ(camera.Open("3C4D", "B514", "", {}, c.stillPin, 0), 0) << c.name;
    ASSERT_TRUE(camera.Start()) << c.name;
    virtualCamera.Camera()->EndFramesEarly(c.cutPeriod);
    // Where nothing whole is coming, the time-out itself is what is tested.
    const testing::StillTimeoutFor wait(c.whole ? testing::kPatientStillTimeout : std::chrono::seconds(2));
    // Several stills, so that a live one lands on a cut frame at least once.
    for (int i = 0; i < (c.whole ? 8 : 1); ++i) {
      const cv::Mat still = camera.GrabStill();
      if (!c.whole) {
        EXPECT_TRUE(still.empty()) << c.name;
        continue;
      }
      ASSERT_EQ(still.size(), cv::Size(640, 480)) << c.name << " " << i;
      EXPECT_FALSE(testing::EndsInGreyRows(still)) << c.name << " " << i;
    }
    EXPECT_EQ(notices.Texts(), c.whole ? std::vector<std::string>{} : std::vector<std::string>{"Time Out"}) << c.name;
    virtualCamera.Camera()->EndFramesEarly(0);
    camera.Stop();
  }
}

TEST(VirtualCameraFolder, ShowsTheFolderPictures) {
  testing::TempFolder folder;
  cv::Mat red(60, 80, CV_8UC3, cv::Scalar(0, 0, 255));
  ASSERT_TRUE(cv::imwrite((folder / "a.png").string(), red));
  VirtualCamera virtualCamera(SmallIdentity(), folder.path());
  auto backend = std::make_shared<platform::SimulatedV4l2Backend>();
  backend->Add(virtualCamera.Camera());
  CUSBCamra camera(backend);
  CFrameSlot raw, converted;
  camera.SetFrameSink(&raw);
  camera.SetResolution(320, 240);
  ASSERT_EQ(camera.Open("3C4D", "B514", "", {}, false, 0), 0);
  ASSERT_TRUE(camera.Start());
  ASSERT_TRUE(WaitFilled(raw));
  FrameConverter converter;
  ASSERT_TRUE(converter.Convert(raw, converted));
  const std::uint8_t* centre = converted.Data() + (120 * 320 + 160) * 3;
  EXPECT_LT(centre[0], 40);
  EXPECT_GT(centre[2], 200);
  camera.SetFrameSink(nullptr);
}

TEST_F(VirtualCameraTest, ControlsDialogDrivesTheCamera) {
  int argc = 1;
  char name[] = "camera_tests";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  auto device = virtualCamera.Camera()->Open();
  const auto dialog = BuildDeviceControlsDialog(nullptr, *device, "Virtual Document Camera", 2);
  auto* sharpness = dialog->findChild<QSlider*>(QString::number(V4L2_CID_SHARPNESS));
  ASSERT_NE(sharpness, nullptr);
  EXPECT_EQ(sharpness->value(), 10);
  sharpness->setValue(3);
  EXPECT_EQ(virtualCamera.Camera()->ControlValue(V4L2_CID_SHARPNESS), 3);
  auto* focusAuto = dialog->findChild<QCheckBox*>(QString::number(V4L2_CID_FOCUS_AUTO));
  ASSERT_NE(focusAuto, nullptr);
  focusAuto->setChecked(false);
  EXPECT_EQ(virtualCamera.Camera()->ControlValue(V4L2_CID_FOCUS_AUTO), 0);
  auto* exposure = dialog->findChild<QComboBox*>(QString::number(V4L2_CID_EXPOSURE_AUTO));
  ASSERT_NE(exposure, nullptr);
  ASSERT_EQ(exposure->count(), 2);  // manual and aperture priority
  exposure->setCurrentIndex(0);
  EXPECT_EQ(virtualCamera.Camera()->ControlValue(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
}

// A frame of a sensor's full size comes smoothed, as a camera's noise reduction smooths it, drawn
// and encoded a band at a time without a seam between the bands, and costs about what a camera's
// MJPG frame of its size costs (1 to 1.5 MB at 13 megapixels).
TEST(VirtualCameraFrames, AFullSizeFrameIsTheSceneSmoothedWithoutSeams) {
  VirtualCameraIdentity identity;
  identity.sizes = {{2048, 1536}};
  VirtualCamera virtualCamera(identity);
  auto backend = std::make_shared<platform::SimulatedV4l2Backend>();
  backend->Add(virtualCamera.Camera());
  CUSBCamra camera(backend);
  CFrameSlot raw;
  camera.SetFrameSink(&raw);
  camera.SetFormatMode(kFormatMJPG);
  camera.SetResolution(2048, 1536);
  ASSERT_EQ(camera.Open("3C4D", "B514", "", {}, false, 0), 0);
  ASSERT_TRUE(camera.Start());
  ASSERT_TRUE(WaitFilled(raw));
  const std::vector<std::uint8_t> jpeg(raw.Data(), raw.Data() + raw.Length());
  camera.SetFrameSink(nullptr);
  camera.Stop();
  const double bytesPerPixel = static_cast<double>(jpeg.size()) / (2048.0 * 1536.0);
  EXPECT_GT(bytesPerPixel, 1.0e6 / 13e6);
  EXPECT_LT(bytesPerPixel, 1.5e6 / 13e6);
  const cv::Mat frame = cv::imdecode(jpeg, cv::IMREAD_COLOR);
  ASSERT_EQ(frame.size(), cv::Size(2048, 1536));
  // Either noise variant: on a busy machine the first frame taken may be a later one.
  double worstRow = 1e9;
  for (const int variant : {0, 1}) {
    cv::Mat expected;
    cv::GaussianBlur(RenderVirtualScene(2048, 1536, variant), expected, cv::Size(3, 3), 0);
    cv::Mat difference;
    cv::absdiff(frame, expected, difference);
    cv::Mat rows;
    cv::reduce(difference.reshape(1, difference.rows), rows, 1, cv::REDUCE_AVG, CV_32F);
    double worst = 0;
    cv::minMaxLoc(rows, nullptr, &worst);
    worstRow = std::min(worstRow, worst);
  }
  EXPECT_LT(worstRow, 3.0) << "a row differs by more than the compression's error";
}

// Frames of a YUYV stream alternate between two noise variants, at this size kept in a file
// rather than in memory and read back for each frame: both come out whole and as the scene.
TEST(VirtualCameraFrames, AFullSizeYuyvStreamAlternatesTwoWholeVariants) {
  constexpr int kWidth = 2048, kHeight = 1536;
  VirtualCameraIdentity identity;
  identity.sizes = {{kWidth, kHeight}};
  VirtualCamera virtualCamera(identity);
  std::unique_ptr<platform::IV4l2Device> device = virtualCamera.Camera()->Open();
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  format.fmt.pix.width = kWidth;
  format.fmt.pix.height = kHeight;
  format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
  ASSERT_EQ(device->Ioctl(VIDIOC_S_FMT, &format), 0);
  v4l2_requestbuffers request{};
  request.count = 4;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  ASSERT_EQ(device->Ioctl(VIDIOC_REQBUFS, &request), 0);
  std::vector<const std::uint8_t*> mapped;
  for (std::uint32_t index = 0; index < request.count; ++index) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    ASSERT_EQ(device->Ioctl(VIDIOC_QUERYBUF, &buffer), 0);
    mapped.push_back(static_cast<const std::uint8_t*>(device->Map(buffer.length, buffer.m.offset)));
    ASSERT_EQ(device->Ioctl(VIDIOC_QBUF, &buffer), 0);
  }
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  ASSERT_EQ(device->Ioctl(VIDIOC_STREAMON, &type), 0);
  std::vector<std::vector<std::uint8_t>> seen;  // the distinct frames
  for (int frames = 0, waits = 0; frames < 6 && waits < 600; ++waits) {
    if (device->WaitForFrame(100) <= 0) continue;
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    ASSERT_EQ(device->Ioctl(VIDIOC_DQBUF, &buffer), 0);
    ASSERT_EQ(buffer.bytesused, static_cast<std::uint32_t>(kWidth * kHeight * 2));
    std::vector<std::uint8_t> frame(mapped[buffer.index], mapped[buffer.index] + buffer.bytesused);
    ASSERT_EQ(device->Ioctl(VIDIOC_QBUF, &buffer), 0);
    if (std::find(seen.begin(), seen.end(), frame) == seen.end()) seen.push_back(std::move(frame));
    ++frames;
  }
  device.reset();
  ASSERT_EQ(seen.size(), 2u);
  cv::Mat scene;
  cv::GaussianBlur(RenderVirtualScene(kWidth, kHeight, 0), scene, cv::Size(3, 3), 0);
  for (const std::vector<std::uint8_t>& frame : seen) {
    cv::Mat picture(kHeight, kWidth, CV_8UC3);
    ASSERT_TRUE(ConvertYUY2ToBGR24(frame.data(), static_cast<int>(frame.size()), kWidth, kHeight, picture.data));
    cv::Mat difference;
    cv::absdiff(picture, scene, difference);
    cv::Mat rows;
    cv::reduce(difference.reshape(1, difference.rows), rows, 1, cv::REDUCE_AVG, CV_32F);
    double worstRow = 0;
    cv::minMaxLoc(rows, nullptr, &worstRow);
    EXPECT_LT(worstRow, 3.0) << "a row differs by more than the noise and the YUYV rounding";
  }
}

TEST(VirtualCameraFrames, AFrameKeptAsItsDifferencesComesBackExactly) {
  struct Case {
    std::vector<std::uint8_t> base, frame;
    bool packs;
  };
  const Case cases[] = {
      {{10, 20, 30, 40}, {10, 20, 30, 40}, true},
      {{100, 100, 100, 100}, {92, 107, 100, 93}, true},  // -8 and 7 at either end of the range
      {{250, 3, 128}, {255, 0, 135}, true},              // an odd length, near the ends of a byte
      {{100, 100}, {108, 100}, false},
      {{100, 100}, {100, 91}, false},
      {{1, 2, 3}, {1, 2}, false},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> packed = PackDifference(c.base, c.frame);
    ASSERT_EQ(!packed.empty(), c.packs);
    if (!c.packs) continue;
    EXPECT_EQ(packed.size(), (c.frame.size() + 1) / 2);
    for (std::size_t length : {c.frame.size(), c.frame.size() - 1}) {
      std::vector<std::uint8_t> into(c.frame.size() + 1, 0xEE);
      UnpackDifference(c.base.data(), packed.data(), into.data(), length);
      EXPECT_TRUE(std::equal(c.frame.begin(), c.frame.begin() + static_cast<std::ptrdiff_t>(length), into.begin()));
      EXPECT_EQ(into[length], 0xEE) << "written past the length";
    }
  }
}

// A person's test pulls the virtual document camera out and plugs it in again through a FIFO.
TEST(VirtualCameraPlug, TheFifosLinesPullTheDocumentCameraOutAndPlugANewOneIn) {
  testing::TempFolder folder;
  const std::filesystem::path control = folder / "plug";
  ASSERT_EQ(mkfifo(control.c_str(), 0600), 0);
  const std::shared_ptr<platform::IV4l2Backend> backend = MakeVirtualCameraBackend("document,portrait");
  const std::unique_ptr<platform::IDeviceEventSource> events = MakeVirtualPlugEvents(backend, control);
  ASSERT_NE(events, nullptr);
  const auto products = [&] {
    std::vector<std::string> ids;
    for (const platform::VideoNodeInfo& node : backend->ListNodes()) ids.push_back(node.productId);
    std::sort(ids.begin(), ids.end());
    return ids;
  };
  const auto send = [&](const std::string& lines) {
    ASSERT_EQ(write(events->Descriptor(), lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  };
  using Action = platform::DeviceChange::Action;
  const struct {
    std::string lines;
    std::vector<platform::DeviceChange> told;
    std::vector<std::string> products;
  } steps[] = {
      {"out\n", {{Action::Removal, "3C4D", "B514"}}, {"0109"}},
      {"out\nnonsense\n", {}, {"0109"}},  // out already; a line that is no command
      {"in\nout\nin\n", {{Action::Arrival, "3C4D", "B514"}, {Action::Removal, "3C4D", "B514"},
                            {Action::Arrival, "3C4D", "B514"}}, {"0109", "B514"}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.lines);
    send(step.lines);
    std::vector<platform::DeviceChange> told;
    while (std::optional<platform::DeviceChange> change = events->Receive()) told.push_back(*change);
    EXPECT_EQ(told, step.told);
    EXPECT_EQ(products(), step.products);
  }
  EXPECT_EQ(MakeVirtualPlugEvents(backend, folder / "no such fifo"), nullptr);
  EXPECT_EQ(MakeVirtualPlugEvents(std::make_shared<platform::SimulatedV4l2Backend>(), control), nullptr);
}

}  // namespace
}  // namespace orvane
