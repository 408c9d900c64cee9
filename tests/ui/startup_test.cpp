#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "camera/simulator_control.h"
#include "failing_reads.h"
#include "station_fixture.h"

namespace orvane::ui::testing {
namespace {

std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

VirtualCameraIdentity Identity(const char* product, int sharpnessDefault, int sharpnessMaximum,
                               std::vector<std::pair<int, int>> sizes) {
  VirtualCameraIdentity identity;
  identity.productId = product;
  identity.sharpnessDefault = sharpnessDefault;
  identity.sharpnessMaximum = sharpnessMaximum;
  identity.sizes = std::move(sizes);
  identity.stillWidth = 640;
  identity.stillHeight = 480;
  return identity;
}

using StartUpTest = StationTest;

TEST_F(StartUpTest, WithoutACameraTheUserIsToldAndTheStationEnds) {
  EXPECT_EQ(Start(), StartUp::kEnd);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "没有找到高拍仪设备，请检查高拍仪设备是否连接正确");
  EXPECT_EQ(window->Cameras().document, nullptr);
}

TEST_F(StartUpTest, TheNotConnectedTextFollowsTheLanguage) {
  WriteSettings("[Language]\nCurrent=EN\n");
  EXPECT_EQ(Start(), StartUp::kEnd);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "Please check whether the device is properly connected");
}

TEST_F(StartUpTest, AnUnreadableBrandingFileEndsTheStationSilentlyAndTouchesNothing) {
  backend->Add(std::make_shared<platform::SimulatedV4l2Camera>(CameraModel(VirtualCameraIdentity{})));
  std::filesystem::remove(programFolder / "data.dat");
  const std::string before = "[IMAGE]\nINDEX=41\n";
  WriteSettings(before);
  EXPECT_EQ(Start(), StartUp::kEnd);
  window.reset();
  EXPECT_TRUE(presenter.shown.empty());
  EXPECT_EQ(FileText(settingsFile), before);
  EXPECT_FALSE(std::filesystem::exists(picturesFolder / "Calvest")) << "not even the storage folder is made";
}

TEST_F(StartUpTest, ACameraThatOpensOnlyWithoutItsStillPinComesUpWithStillCaptureOff) {
  // A model whose profile allows still capture, but whose still pin cannot be opened.
  backend->Add(std::make_shared<platform::SimulatedV4l2Camera>(
      CameraModel(Identity("B514", 28, 6, {{640, 480}, {1280, 960}}), /*stillPin=*/false)));
  WriteSettings("[Camera]\nStillCapture=true\n[IMAGE]\nCHANNELS=true\nDocCamWidth=640\nDocCamHeight=480\nXDPI=200\nYDPI=200\n");
  ASSERT_EQ(Start(), StartUp::kRunning);
  EXPECT_TRUE(presenter.shown.empty());
  EXPECT_FALSE(window->GetSysParam().stillCapture);
  EXPECT_FALSE(window->GetSysParam().channelFlag);
  window->close();
  EXPECT_EQ(Setting("Camera", "StillCapture"), "false");
  EXPECT_EQ(Setting("IMAGE", "CHANNELS"), "false");
}

TEST_F(StartUpTest, StillCaptureOpensThePreviewAt1280By960) {
  auto camera = std::make_shared<platform::SimulatedV4l2Camera>(
      CameraModel(Identity("B514", 28, 6, {{640, 480}, {1280, 960}, {2592, 1944}})));
  backend->Add(camera);
  WriteSettings("[Camera]\nStillCapture=true\n[IMAGE]\nDocCamWidth=2592\nDocCamHeight=1944\n");
  ASSERT_EQ(Start(), StartUp::kRunning);
  EXPECT_TRUE(window->GetSysParam().stillCapture);
  EXPECT_EQ(camera->CurrentFormat().width, 1280u);
  EXPECT_EQ(camera->CurrentFormat().height, 960u);
}

// Discovery gives both models 4608 x 3456; only the kinds that cannot stream it are opened lower.
struct OpenedSize {
  const char* product;
  int sharpnessDefault;
  int sharpnessMaximum;
  int kind;
  int width;
  int height;
};

class OpenedSizeTest : public StationTest, public ::testing::WithParamInterface<OpenedSize> {};

TEST_P(OpenedSizeTest, TheDocumentCameraOpensAtItsModelsSize) {
  const OpenedSize& expected = GetParam();
  auto camera = std::make_shared<platform::SimulatedV4l2Camera>(CameraModel(
      Identity(expected.product, expected.sharpnessDefault, expected.sharpnessMaximum,
               {{640, 480}, {4160, 3120}, {4608, 3456}})));
  backend->Add(camera);
  WriteSettings("[IMAGE]\nXDPI=-1\nYDPI=-1\n");
  ASSERT_EQ(Start(), StartUp::kRunning);
  const CSysParam settings = window->GetSysParam();
  EXPECT_EQ(settings.documentCamera.kind, expected.kind);
  EXPECT_EQ(settings.documentCamera.width, 4608);
  EXPECT_EQ(static_cast<int>(camera->CurrentFormat().width), expected.width);
  EXPECT_EQ(static_cast<int>(camera->CurrentFormat().height), expected.height);
  // The stored DPI of -1 became the model's.
  EXPECT_EQ(settings.xDpi, 382);
  EXPECT_EQ(settings.yDpi, 382);
}

INSTANTIATE_TEST_SUITE_P(Models, OpenedSizeTest,
                         ::testing::Values(OpenedSize{"B640", 10, 15, 5, 4160, 3120},
                                           OpenedSize{"A640", 4, 6, 4, 4608, 3456}));

TEST_F(StartUpTest, ADeviceLibraryCameraWithoutAUsbCameraIsLive) {
  ::orvane::testing::SimulatorControl simulator;
  ASSERT_EQ(Start(), StartUp::kRunning);
  EXPECT_TRUE(presenter.shown.empty());
  EXPECT_EQ(window->GetSysParam().documentCamera.kind, kDeviceLibraryModel);
  EXPECT_TRUE(WaitForPicture());
}

TEST_F(StartUpTest, ClosingSavesTheSettingsOnce) {
  backend->Add(std::make_shared<platform::SimulatedV4l2Camera>(CameraModel(Identity("A0C8", 28, 6, {{640, 480}}))));
  WriteSettings("[IMAGE]\nINDEX=7\n[FILE]\nTypeofImageName=0\n");
  ASSERT_EQ(Start(), StartUp::kRunning);
  WriteSettings("");  // a change by hand while the station runs is overwritten at close
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->Cameras().document, nullptr) << "the cameras are closed";
  EXPECT_EQ(Setting("IMAGE", "INDEX"), "7");
  EXPECT_EQ(Setting("FILE", "TypeofImageName"), "0");
}

TEST_F(StartUpTest, ASettingsFileThatCannotBeReadIsSaidOnceAndLeftAsItWas) {
  backend->Add(std::make_shared<platform::SimulatedV4l2Camera>(CameraModel(Identity("A0C8", 28, 6, {{640, 480}}))));
  const std::string kept = "[FILE]\nFOLDPATH=/srv/scans\nPREFIX=DOC\n[IMAGE]\nINDEX=41\n[Language]\nCurrent=EN\n";
  WriteSettings(kept);
  {
    // A bad sector: the file is there, but its bytes cannot be had.
    ::orvane::testing::FailingReads failing(settingsFile);
    ASSERT_EQ(Start(), StartUp::kRunning);
  }
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, window->MessageTexts().settingsUnreadable + settingsFile.string());
  EXPECT_NE(window->GetSysParam().prefix, "DOC") << "the station runs on its defaults";
  window->OnCommand(ControlId::Capture);
  window->close();
  EXPECT_EQ(presenter.shown.size(), 1u) << "said once";
  EXPECT_EQ(FileText(settingsFile), kept) << "neither the capture nor the close wrote over it";
}

}  // namespace
}  // namespace orvane::ui::testing

namespace orvane::ui::testing {
namespace {

TEST_F(StartUpTest, ADeviceLibraryCameraThatCannotStartIsSaidToBeBusy) {
  ::orvane::testing::SimulatorControl simulator;
  simulator.Fail("RNX_WMP_Video_Begin", -1);
  EXPECT_EQ(Start(), StartUp::kEnd);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "高拍仪设备可能被其他程序占用，请检查");
  EXPECT_EQ(presenter.shown[0].icon, MessageIcon::kError);
}

TEST_F(StartUpTest, ACameraHeldByAnotherProgramIsReported) {
  auto camera = std::make_shared<platform::SimulatedV4l2Camera>(CameraModel(VirtualCameraIdentity{}));
  camera->SetHeldElsewhere(true);
  backend->Add(camera);
  EXPECT_EQ(Start(), StartUp::kEnd);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "没有找到高拍仪设备，请检查高拍仪设备是否连接正确");
}

}  // namespace
}  // namespace orvane::ui::testing
