#include "ui/grab_per_view.h"

#include <gtest/gtest.h>

#include "camera/frame.h"
#include "camera/video_controller.h"
#include "station_fixture.h"

namespace orvane::ui::testing {
namespace {

// What a camera hands the grab: its frames, its selection and its current resolution.
struct CameraState {
  cv::Mat picture;
  cv::Mat still;
  std::vector<cv::Mat> cropped;
  IntRect selection;
  bool hasSelection = false;
  int width = 0;
  int height = 0;
};

class FakeSource : public CVideoBaseClass {
 public:
  explicit FakeSource(const CameraState& state) : state_(state) {}
  int Open(const std::string&, const std::string&, const std::string&, platform::TargetHandle, bool, int) override {
    return kSuccess;
  }
  cv::Mat GrabStill() override { return state_.still.clone(); }
  void GetCurrentResolution(int* width, int* height) override {
    *width = state_.width;
    *height = state_.height;
  }

 private:
  const CameraState& state_;
};

class FakeDisplay : public CShowVideoPro {
 public:
  explicit FakeDisplay(const CameraState& state) : state_(state) {}
  QWidget* GetHWnd() const override { return nullptr; }
  bool Create(QWidget*, const IntRect&, platform::TargetHandle) override { return true; }
  void ApplyMargins(IntRect&) const override {}
  bool SetRotation(int) override { return true; }
  bool SetTrimMargins(int, int, int, int) override { return true; }
  void SetAutoCrop(bool, bool, float) override {}
  platform::MessageResult EnableTrackRect(bool) override { return 0; }
  bool GetTrackRect(IntRect* rect) override {
    *rect = state_.selection;
    return state_.hasSelection;
  }
  bool Show(bool) override { return true; }
  cv::Mat GetPicture() override { return state_.picture.clone(); }
  int ShownRotation() const override { return 0; }
  std::vector<cv::Mat> GetCroppedPictures() override { return state_.cropped; }
  bool CreateSubImageBox(const IntRect&) override { return true; }
  void DeleteSubImageBox() override {}
  bool GetRecordingPicture(cv::Mat*) override { return false; }
  cv::Mat GetShownPicture() override { return state_.picture.clone(); }
  CFrameSlot* RawSlot(int index) override { return &slots_[index]; }
  void SetRecording(bool) override {}
  bool IsRecording() const override { return false; }
  void SetFrameRateLimit(int) override {}

 private:
  const CameraState& state_;
  CFrameSlot slots_[2];
};

class GrabTest : public ::testing::Test {
 protected:
  GrabTest() {
    for (int i = 0; i < 3; ++i) {
      CVideoController::Factories factories;
      factories.source = [this, i](int) { return std::make_unique<FakeSource>(states[i]); };
      factories.display = [this, i] { return std::make_unique<FakeDisplay>(states[i]); };
      controllers[i] = std::make_unique<CVideoController>(factories);
      controllers[i]->Init(true, 0);
      controllers[i]->OpenAndShow(nullptr, {}, "0000", "0000", "", 0, 0, 100, 100, false, 0);
    }
    settings.cropMode = 0;
    settings.xDpi = 300;
    settings.yDpi = 300;
    settings.referenceDpi = -1.0f;
  }
  StationCameras All() const { return {controllers[0].get(), controllers[1].get(), controllers[2].get()}; }
  static cv::Mat Frame(int width, int height) { return cv::Mat(height, width, CV_8UC3, cv::Scalar(40, 90, 160)); }

  CameraState states[3];
  std::unique_ptr<CVideoController> controllers[3];
  CSysParam settings;
};

TEST(GrabFactors, DpiFactorsApplyOnlyWithAReferenceOfTenOrMore) {
  CSysParam settings;
  settings.xDpi = 300;
  settings.yDpi = 150;
  const struct {
    float reference;
    ScaleFactors expected;
  } cases[] = {{200.0f, {1.5 * 1.2, 0.75 * 1.2}}, {-1.0f, {1.2, 1.2}}, {0.0f, {1.2, 1.2}}, {5.0f, {1.2, 1.2}}};
  for (const auto& c : cases) {
    settings.referenceDpi = c.reference;
    const ScaleFactors factors = DpiFactors(settings, 1.2, 1.2);
    EXPECT_DOUBLE_EQ(factors.x, c.expected.x) << c.reference;
    EXPECT_DOUBLE_EQ(factors.y, c.expected.y) << c.reference;
  }
}

TEST(GrabFactors, SizesThatAreNoSizesGiveNoRescale) {
  EXPECT_DOUBLE_EQ(SizeRatio(3264, 2592), 3264.0 / 2592.0);
  EXPECT_DOUBLE_EQ(SizeRatio(0, 2592), 1.0);
  EXPECT_DOUBLE_EQ(SizeRatio(-1, 2592), 1.0);
  EXPECT_DOUBLE_EQ(SizeRatio(2592, 0), 1.0);
  EXPECT_FALSE(IsOff(0.999));
  EXPECT_FALSE(IsOff(1.001));
  EXPECT_TRUE(IsOff(0.9989));
  EXPECT_TRUE(IsOff(1.0011));
  EXPECT_EQ(ScaleRect({10, 20, 31, 41}, {1.5, 0.5}), (IntRect{15, 10, 46, 20}));
}

// The live frame of the document camera: the picture and the selection scaled alike.
struct LiveCase {
  const char* name;
  int configuredWidth;
  int frameWidth;
  int frameHeight;
  float referenceDpi;
  int expectedWidth;
  int expectedHeight;
};

class LiveGrabTest : public GrabTest, public ::testing::WithParamInterface<LiveCase> {};

TEST_P(LiveGrabTest, TheManualCutIsTakenWhereTheUserDrewIt) {
  const LiveCase& c = GetParam();
  states[0].picture = Frame(c.frameWidth, c.frameHeight);
  states[0].width = c.frameWidth;
  states[0].height = c.frameHeight;
  states[0].selection = {30, 20, 150, 100};
  states[0].hasSelection = true;
  settings.documentCamera.width = c.configuredWidth;
  settings.referenceDpi = c.referenceDpi;
  settings.cropMode = 2;
  const std::vector<cv::Mat> pictures = GrabProcessedImages(settings, All());
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].cols, c.expectedWidth);
  EXPECT_EQ(pictures[0].rows, c.expectedHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, LiveGrabTest,
    ::testing::Values(LiveCase{"same size", 300, 300, 200, -1.0f, 120, 80},
                      LiveCase{"size ratio", 400, 300, 200, -1.0f, 160, 107},
                      // 300 DPI against a reference of 200 doubles the ratio: the cut follows.
                      LiveCase{"through the reference dpi", 400, 300, 200, 200.0f, 240, 160},
                      // The DPI factors count only when the size changes.
                      LiveCase{"reference dpi without a size change", 300, 300, 200, 200.0f, 120, 80},
                      LiveCase{"no configured size", -1, 300, 200, 200.0f, 120, 80}),
    [](const auto& info) {
      std::string name = info.param.name;
      std::replace(name.begin(), name.end(), ' ', '_');
      return name;
    });

TEST_F(GrabTest, AStillsLongerSideGoesToTheConfiguredWidth) {
  settings.stillCapture = true;
  settings.documentCamera.width = 400;
  states[0].still = Frame(200, 300);  // turned
  states[0].width = 1280;
  states[0].height = 960;
  const std::vector<cv::Mat> pictures = GrabProcessedImages(settings, All());
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].rows, 400);
  EXPECT_EQ(pictures[0].cols, 267);
}

TEST_F(GrabTest, AnEmptyGrabGivesNothing) {
  states[0].width = 300;
  EXPECT_TRUE(GrabProcessedImages(settings, All()).empty());
  states[0].picture = Frame(300, 200);
  settings.viewMode = 7;
  EXPECT_TRUE(GrabProcessedImages(settings, All()).empty());
  settings.viewMode = 1;
  EXPECT_TRUE(GrabProcessedImages(settings, {controllers[0].get(), nullptr, nullptr}).empty());
}

TEST_F(GrabTest, PictureInPictureScalesATurnedFrameByTheCamerasOwnSides) {
  settings.viewMode = 3;
  settings.pictureInPicture = true;
  settings.documentCamera.width = 400;
  settings.documentCamera.height = 400;
  states[0].picture = Frame(150, 300);  // turned by 90 degrees
  states[0].width = 300;                // the camera's own width and height
  states[0].height = 200;
  const std::vector<cv::Mat> pictures = GrabProcessedImages(settings, All());
  ASSERT_EQ(pictures.size(), 1u);
  // Across by 400 / 200, down by 400 / 300.
  EXPECT_EQ(pictures[0].cols, 300);
  EXPECT_EQ(pictures[0].rows, 400);
}

TEST_F(GrabTest, ThePortraitSitsAboveThePageAndADeadSecondCameraGivesNothing) {
  settings.viewMode = 3;
  settings.pictureInPicture = false;
  states[0].picture = Frame(300, 200);
  states[0].width = 300;
  settings.documentCamera.width = 300;
  states[1].width = 100;
  states[1].height = 80;
  settings.portraitCamera.width = 100;
  settings.portraitCamera.height = 80;
  EXPECT_TRUE(GrabProcessedImages(settings, All()).empty()) << "the portrait display has no picture";
  states[1].cropped = {Frame(100, 80)};
  const std::vector<cv::Mat> pictures = GrabProcessedImages(settings, All());
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].cols, 300);
  EXPECT_EQ(pictures[0].rows, 280);
}

}  // namespace
}  // namespace orvane::ui::testing
