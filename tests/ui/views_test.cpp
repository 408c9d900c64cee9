#include <linux/videodev2.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "station_fixture.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;

VirtualCameraIdentity Small(VirtualCameraIdentity identity) {
  identity.sizes = {{320, 240}};
  identity.stillWidth = 320;
  identity.stillHeight = 240;
  return identity;
}

VirtualCameraIdentity SmallDocument() {
  VirtualCameraIdentity identity;
  identity.productId = "A0C8";
  identity.sharpnessDefault = 28;
  identity.sharpnessMaximum = 6;
  return Small(identity);
}

// A station with the document camera and, as asked, the portrait and third cameras, its preview
// area 800 x 600 at (140, 10).
class ViewTest : public StationTest {
 protected:
  void StartWith(bool portrait, bool third, const std::string& settings = {}) {
    cameras_.push_back(std::make_unique<VirtualCamera>(SmallDocument()));
    if (portrait) cameras_.push_back(std::make_unique<VirtualCamera>(Small(VirtualPortraitIdentity())));
    if (third) cameras_.push_back(std::make_unique<VirtualCamera>(Small(VirtualThirdIdentity())));
    for (const auto& camera : cameras_) backend->Add(camera->Camera());
    WriteSettings(settings);
    ASSERT_EQ(Start(), StartUp::kRunning);
    window->resize(1158, 640);
    WaitFor([] { return false; }, std::chrono::milliseconds(50));
    ASSERT_EQ(window->PreviewRect(), (IntRect{140, 10, 940, 610}));
  }
  std::vector<std::unique_ptr<VirtualCamera>> cameras_;
};

struct Layout {
  int mode;
  bool pictureInPicture;
  std::optional<IntRect> document, portrait, third;
};

class LayoutTest : public ViewTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(LayoutTest, EachViewPutsItsCamerasWhereTheLayoutSays) {
  const Layout& expected = GetParam();
  StartWith(true, true, expected.pictureInPicture ? "[IMAGE]\n2IMAGEIN1=TRUE\n" : "");
  ASSERT_TRUE(window->SetViewMode(expected.mode));
  EXPECT_EQ(window->GetSysParam().viewMode, expected.mode);
  const StationCameras cameras = window->Cameras();
  EXPECT_EQ(Shown(cameras.document), expected.document);
  EXPECT_EQ(Shown(cameras.portrait), expected.portrait);
  EXPECT_EQ(Shown(cameras.third), expected.third);
  if (expected.pictureInPicture && (expected.mode == 3 || expected.mode == 4)) {
    EXPECT_NE(cameras.document->SecondarySource(), nullptr) << "the second camera is the inset";
  }
}

constexpr IntRect kWhole{140, 10, 940, 610};
constexpr IntRect kBelowBand{140, 150, 940, 610};
constexpr IntRect kTopRight{790, 10, 940, 149};
constexpr IntRect kTopLeft{140, 10, 290, 149};

INSTANTIATE_TEST_SUITE_P(
    Views, LayoutTest,
    ::testing::Values(Layout{0, false, kWhole, {}, {}}, Layout{1, false, {}, kWhole, {}},
                      Layout{2, false, {}, {}, kWhole}, Layout{3, false, kBelowBand, kTopRight, {}},
                      Layout{3, true, kWhole, {}, {}}, Layout{4, false, kBelowBand, {}, kTopRight},
                      Layout{4, true, kWhole, {}, {}},
                      // Half the width at 4:3, centred: 400 x 300 from 150 pixels down.
                      Layout{5, false, {}, IntRect{540, 160, 940, 461}, IntRect{141, 161, 539, 459}},
                      Layout{6, false, kBelowBand, kTopRight, kTopLeft}));

TEST_F(ViewTest, SwitchingSkipsTheViewsThatCannotBeShown) {
  StartWith(true, false);
  std::vector<int> modes;
  for (int press = 0; press < 4; ++press) {
    window->OnCommand(ControlId::SwitchView);
    modes.push_back(window->GetSysParam().viewMode);
  }
  // Without a third camera: the portrait alone, the two together, then back to the document.
  EXPECT_EQ(modes, (std::vector<int>{1, 3, 0, 1}));
}

TEST_F(ViewTest, WithoutAPortraitCameraSwitchingDoesNothing) {
  StartWith(false, true);
  window->OnCommand(ControlId::SwitchView);
  EXPECT_EQ(window->GetSysParam().viewMode, 0);
  EXPECT_EQ(Shown(window->Cameras().document), kWhole);
}

TEST_F(ViewTest, TheCropButtonsFollowTheView) {
  StartWith(true, true, "[IMAGE]\nCUTPAGETYPE=1\n");
  auto radio = [this](ControlId id) { return static_cast<QRadioButton*>(window->Control(id)); };
  EXPECT_TRUE(radio(ControlId::CropAuto)->isChecked());
  const struct {
    int mode;
    bool noneEnabled, autoEnabled, noneChecked, autoChecked;
  } views[] = {{1, true, false, true, false}, {5, false, false, false, false}, {0, true, true, false, true}};
  for (const auto& view : views) {
    ASSERT_TRUE(window->SetViewMode(view.mode));
    window->UpdateCropButtons();
    EXPECT_EQ(radio(ControlId::CropNone)->isEnabled(), view.noneEnabled) << view.mode;
    EXPECT_EQ(radio(ControlId::CropAuto)->isEnabled(), view.autoEnabled) << view.mode;
    EXPECT_EQ(radio(ControlId::CropNone)->isChecked(), view.noneChecked) << view.mode;
    EXPECT_EQ(radio(ControlId::CropAuto)->isChecked(), view.autoChecked) << view.mode;
  }
  EXPECT_EQ(window->GetSysParam().cropMode, 1) << "the document camera still cuts its pages";
}

TEST_F(ViewTest, GrowingTheWindowMovesThePanelOnceAndBack) {
  StartWith(false, false);
  QWidget* capture = window->Control(ControlId::Capture);
  const QRect before = capture->geometry();
  for (int twice = 0; twice < 2; ++twice) window->resize(1158 + 200, 640 + 100);
  EXPECT_EQ(capture->geometry(), before.translated(200, 0));
  EXPECT_EQ(window->PreviewRect(), (IntRect{140, 10, 1140, 710}));
  EXPECT_EQ(Shown(window->Cameras().document), (IntRect{140, 10, 1140, 710})) << "the view is laid out again";
  for (int twice = 0; twice < 2; ++twice) window->resize(1158, 640);
  EXPECT_EQ(capture->geometry(), before);
}

TEST_F(ViewTest, TurningLeftThreeTimesSwapsThePicturesSides) {
  StartWith(false, false);
  ASSERT_TRUE(WaitForPicture());
  CVideoController* camera = window->Cameras().document;
  for (const cv::Size size : {cv::Size(240, 320), cv::Size(320, 240), cv::Size(240, 320)}) {
    window->OnCommand(ControlId::RotateLeft);
    EXPECT_TRUE(WaitFor([&] { return camera->GetPicture().size() == size; })) << size;
  }
}

TEST_F(ViewTest, EachColourModeSavesItsKindOfPicture) {
  StartWith(false, false, "[FILE]\nTypeofImageName=0\n");
  ASSERT_TRUE(WaitForPicture());
  const struct {
    ControlId radio;
    int channels;
  } modes[] = {{ControlId::Colour, 3}, {ControlId::Grey, 1}, {ControlId::BlackAndWhite, 1}, {ControlId::Negative, 3}};
  std::vector<cv::Mat> saved;
  for (const auto& mode : modes) {
    static_cast<QRadioButton*>(window->Control(mode.radio))->click();
    const std::size_t before = Pictures().size();
    window->OnCommand(ControlId::Capture);
    ASSERT_EQ(Pictures().size(), before + 1);
    const fs::path file = Pictures().back();
    saved.push_back(cv::imread(file.string(), cv::IMREAD_UNCHANGED));
    EXPECT_EQ(saved.back().channels(), mode.channels) << file;
  }
  EXPECT_EQ(Pictures()[2].extension(), ".tif");
  const cv::Mat notBinary = (saved[2] != 0) & (saved[2] != 255);
  EXPECT_EQ(cv::countNonZero(notBinary), 0) << "black and white holds only 0 and 255";
  const double colour = cv::mean(saved[0])[0];
  const double negative = cv::mean(saved[3])[0];
  EXPECT_NEAR(colour + negative, 255.0, 8.0) << "the negative inverts the picture";
}

TEST_F(ViewTest, ExposureStepsAndAutomaticExposureReachTheCamera) {
  StartWith(false, false, "[Camera]\nAutoExposure=false\nExposure=-5\n");
  const auto& camera = cameras_.front()->Camera();
  EXPECT_EQ(camera->ControlValue(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
  auto* slider = static_cast<QSlider*>(window->Control(ControlId::ExposureSlider));
  ASSERT_EQ(slider->value(), -5);
  slider->setValue(-1);
  EXPECT_EQ(slider->value(), -4) << "one step towards the slider per move";
  EXPECT_EQ(window->GetSysParam().exposure, -4);
  EXPECT_EQ(camera->ControlValue(V4L2_CID_EXPOSURE_ABSOLUTE), 625);  // 2^-4 s in 100 µs
  static_cast<QCheckBox*>(window->Control(ControlId::AutoExposure))->click();
  EXPECT_FALSE(slider->isEnabled());
  EXPECT_TRUE(window->GetSysParam().autoExposure);
  EXPECT_NE(camera->ControlValue(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
}

// The property page opened and closed untouched leaves the exposure where it was, in the camera
// and in the window, with automatic exposure on (true) or off.
class PropertyPageTest : public ViewTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PropertyPageTest, OpenedAndClosedItKeepsTheExposure) {
  const bool automatic = GetParam();
  StartWith(false, false, std::string("[Camera]\nAutoExposure=") + (automatic ? "true" : "false") + "\nExposure=-3\n");
  const auto& camera = cameras_.front()->Camera();
  auto* slider = static_cast<QSlider*>(window->Control(ControlId::ExposureSlider));
  NextModalDialog page([](QDialog&) {});
  window->OnCommand(ControlId::VideoParams);
  ASSERT_TRUE(page.Seen());
  EXPECT_EQ(slider->value(), -3);
  EXPECT_EQ(window->GetSysParam().exposure, -3);
  EXPECT_EQ(window->GetSysParam().autoExposure, automatic);
  EXPECT_EQ(camera->ControlValue(V4L2_CID_EXPOSURE_AUTO) != V4L2_EXPOSURE_MANUAL, automatic);
  EXPECT_EQ(camera->ControlValue(V4L2_CID_EXPOSURE_ABSOLUTE), 1250);  // 2^-3 s in 100 µs
}

INSTANTIATE_TEST_SUITE_P(AutomaticOrManual, PropertyPageTest, ::testing::Bool());

}  // namespace
}  // namespace orvane::ui::testing
