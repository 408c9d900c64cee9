#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "camera/frame.h"
#include "imaging/jpeg_file.h"
#include "platform/file_io.h"
#include "platform/message_ids.h"
#include "station_fixture.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;

// The JFIF density of a JPEG file, in its own unit.
std::pair<int, int> JfifDensity(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char header[18] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  return {header[14] << 8 | header[15], header[16] << 8 | header[17]};
}

class CaptureTest : public StationTest {
 protected:
  void StartWithCamera(const std::string& image = {}, const std::string& naming = "0") {
    camera_ = std::make_unique<VirtualCamera>(SmallCamera());
    backend->Add(camera_->Camera());
    WriteSettings("[FILE]\nTypeofImageName=" + naming + "\nPREFIX=IMG\n[IMAGE]\n" + image);
    ASSERT_EQ(Start(), StartUp::kRunning);
    ASSERT_TRUE(WaitForPicture());
  }
  // The thumbnails' files in their order on screen, top to bottom.
  std::vector<std::string> StripOnScreen() const {
    std::vector<const CImageButton*> strip;
    for (const auto& thumbnail : window->Thumbnails()) strip.push_back(thumbnail.get());
    std::sort(strip.begin(), strip.end(), [](auto* a, auto* b) { return a->GetRect().top < b->GetRect().top; });
    std::vector<std::string> names;
    for (const CImageButton* thumbnail : strip) names.push_back(thumbnail->GetPath().filename().string());
    return names;
  }
  std::string IndexShown() const {
    return static_cast<QLineEdit*>(window->Control(ControlId::RunningIndex))->text().toStdString();
  }

  std::unique_ptr<VirtualCamera> camera_;
};

enum class Trigger { kButton, kSpace, kCtrlE, kCameraButton, kContinuousShootWithoutItsWindow, kContinuousShoot };

class TriggerTest : public CaptureTest, public ::testing::WithParamInterface<std::pair<Trigger, int>> {};

TEST_P(TriggerTest, EachTriggerSavesOnePictureAtTheConfiguredSizeAndShowsIt) {
  StartWithCamera();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  const auto [trigger, expectedFiles] = GetParam();
  switch (trigger) {
    case Trigger::kButton:
      QTest::mouseClick(static_cast<QPushButton*>(window->Control(ControlId::Capture)), Qt::LeftButton);
      break;
    case Trigger::kSpace: QTest::keyClick(window.get(), Qt::Key_Space); break;
    case Trigger::kCtrlE: QTest::keyClick(window.get(), Qt::Key_E, Qt::ControlModifier); break;
    case Trigger::kCameraButton: platform::Post(window->Target(), ids::kSnapshotButton); break;
    case Trigger::kContinuousShootWithoutItsWindow:
      platform::Post(window->Target(), ids::kContinuousShoot, ids::kContinuousCaptureNow);
      break;
    case Trigger::kContinuousShoot:
      window->OnCommand(ControlId::ContinuousShoot);
      platform::Post(window->Target(), ids::kContinuousShoot, ids::kContinuousCaptureNow);
      break;
  }
  WaitFor([&] { return static_cast<int>(Pictures().size()) >= expectedFiles && !window->Busy(); },
          std::chrono::seconds(expectedFiles > 0 ? 10 : 1));
  const std::vector<fs::path> files = Pictures();
  ASSERT_EQ(static_cast<int>(files.size()), expectedFiles);
  if (expectedFiles == 0) {
    EXPECT_EQ(IndexShown(), "0");
    return;
  }
  EXPECT_EQ(files[0].filename(), "IMG00000.jpg");
  const cv::Mat picture = cv::imread(files[0].string());
  EXPECT_EQ(picture.cols, 1600);
  EXPECT_EQ(picture.rows, 1200);
  EXPECT_EQ(JfifDensity(files[0]), std::make_pair(130, 130));
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), files[0]);
  EXPECT_TRUE(window->Thumbnails()[0]->HasPicture());
  EXPECT_EQ(sounds.size(), 1u);
  EXPECT_EQ(IndexShown(), "1");
  window->close();
  EXPECT_EQ(Setting("IMAGE", "INDEX"), "1");
}

INSTANTIATE_TEST_SUITE_P(Triggers, TriggerTest,
                         ::testing::Values(std::pair{Trigger::kButton, 1}, std::pair{Trigger::kSpace, 1},
                                           std::pair{Trigger::kCtrlE, 1}, std::pair{Trigger::kCameraButton, 1},
                                           std::pair{Trigger::kContinuousShootWithoutItsWindow, 0},
                                           std::pair{Trigger::kContinuousShoot, 1}));

class SideFileTest : public CaptureTest, public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(SideFileTest, TheStripShowsTheFileItselfAndAJpegOfTheSameNameIsKept) {
  const auto [format, extension] = GetParam();
  StartWithCamera("IMG_FORMAT=" + std::to_string(format) + "\n");
  window->OnCommand(ControlId::Capture);
  const std::vector<fs::path> files = Pictures();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].extension(), extension);
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), files[0]);
  EXPECT_TRUE(window->Thumbnails()[0]->HasPicture());

  // The user's own picture of the next capture's name is no part of that capture.
  const fs::path unrelated = fs::path(files[0]).replace_filename("IMG00001.jpg");
  ASSERT_TRUE(platform::WriteFileAtomically(unrelated, "unrelated"));
  window->OnCommand(ControlId::Capture);
  EXPECT_EQ(platform::ReadWholeFile(unrelated), "unrelated");
  EXPECT_EQ(Pictures().size(), 3u);
  EXPECT_TRUE(window->Thumbnails()[1]->HasPicture());
}

INSTANTIATE_TEST_SUITE_P(Formats, SideFileTest,
                         ::testing::Values(std::pair{6, ".tga"}, std::pair{7, ".ras"}));

TEST_F(CaptureTest, SixCapturesFillTheFourSlotsAndKeepTheNewestLast) {
  StartWithCamera();
  for (int i = 0; i < 6; ++i) window->OnCommand(ControlId::Capture);
  ASSERT_EQ(Pictures().size(), 6u);
  EXPECT_EQ(StripOnScreen(),
            (std::vector<std::string>{"IMG00002.jpg", "IMG00003.jpg", "IMG00004.jpg", "IMG00005.jpg"}));
  // The fifth picture went into the slot of the first, the sixth into that of the second.
  EXPECT_EQ(window->Thumbnails()[0]->GetPath().filename(), "IMG00004.jpg");
  EXPECT_EQ(window->Thumbnails()[1]->GetPath().filename(), "IMG00005.jpg");
  EXPECT_EQ(IndexShown(), "6");
}

// Where the station could not move into its data folder, the working folder is wherever it was
// started: files there are the user's.
TEST_F(CaptureTest, TheUsersFilesInTheWorkingFolderSurviveACapture) {
  StartWithCamera();
  fs::create_directories(folder / "started-here");
  fs::current_path(folder / "started-here");
  for (const char* name : {"tmp.bmp", "tmp.jpg"}) std::ofstream(folder / "started-here" / name) << "mine";
  window->OnCommand(ControlId::Capture);
  ASSERT_EQ(Pictures().size(), 1u);
  for (const char* name : {"tmp.bmp", "tmp.jpg"}) {
    EXPECT_EQ(platform::ReadWholeFile(folder / "started-here" / name).value_or(""), "mine") << name;
  }
}

TEST_F(CaptureTest, ACancelledFreeNameSavesNothingAndKeepsTheNumber) {
  StartWithCamera({}, "2");
  presenter.freeNames = {std::nullopt, std::string("page one")};
  window->OnCommand(ControlId::Capture);
  EXPECT_TRUE(Pictures().empty());
  window->OnCommand(ControlId::Capture);
  const std::vector<fs::path> files = Pictures();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename(), "page one.jpg");
  EXPECT_EQ(window->GetSysParam().runningIndex, 1);
}

// A camera whose still arrives only after a while, as a real camera's still pin may.
class SlowStill {
 public:
  explicit SlowStill(std::shared_ptr<platform::SimulatedV4l2Camera> camera, std::function<void()> onFirstTrigger)
      : camera_(std::move(camera)), onFirstTrigger_(std::move(onFirstTrigger)), thread_([this] { Run(); }) {}
  ~SlowStill() {
    stop_ = true;
    thread_.join();
  }
  int Delivered() const { return delivered_; }

 private:
  void Run() {
    const cv::Mat picture = RenderVirtualScene(640, 480, 0);
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", picture, jpeg);
    while (!stop_) {
      if (!camera_->TakeStillTrigger()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      if (delivered_ == 0) onFirstTrigger_();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      camera_->DeliverStill(jpeg, V4L2_PIX_FMT_MJPEG, 640, 480);
      ++delivered_;
    }
  }
  std::shared_ptr<platform::SimulatedV4l2Camera> camera_;
  std::function<void()> onFirstTrigger_;
  std::atomic<bool> stop_{false};
  std::atomic<int> delivered_{0};
  std::thread thread_;
};

class StillTest : public StationTest {
 protected:
  // A still-capture model (its profile allows the still pin) of a size of its own, whose stills
  // nobody delivers but the test.
  void StartWithStillCamera() {
    VirtualCameraIdentity identity = SmallCamera();
    identity.productId = "B514";
    identity.sizes = {{640, 480}, {1280, 960}};
    camera = std::make_shared<platform::SimulatedV4l2Camera>(CameraModel(identity));
    backend->Add(camera);
    WriteSettings("[Camera]\nStillCapture=true\n[IMAGE]\nDocCamWidth=640\nDocCamHeight=480\nXDPI=200\nYDPI=200\n");
    ASSERT_EQ(Start(), StartUp::kRunning);
    ASSERT_TRUE(window->GetSysParam().stillCapture);
  }
  std::shared_ptr<platform::SimulatedV4l2Camera> camera;
};

TEST_F(StillTest, ATriggerDuringASlowStillWaitRunsAfterIt) {
  StartWithStillCamera();
  SlowStill still(camera, [this] { platform::Post(window->Target(), ids::kSnapshotButton); });
  window->OnCommand(ControlId::Capture);
  ASSERT_TRUE(WaitFor([&] { return Pictures().size() == 2 && !window->Busy(); }));
  EXPECT_EQ(still.Delivered(), 2);
  const std::vector<fs::path> files = Pictures();
  EXPECT_NE(files[0], files[1]);
  for (const fs::path& file : files) {
    const cv::Mat picture = cv::imread(file.string());
    EXPECT_EQ(picture.cols, 640) << file;
    EXPECT_EQ(picture.rows, 480) << file;
  }
  EXPECT_EQ(window->GetSysParam().runningIndex, 2);
}

TEST_F(StillTest, ClosingDuringAStillWaitClosesAfterTheCapture) {
  StartWithStillCamera();
  SlowStill still(camera, [] {});
  QMetaObject::invokeMethod(window.get(), [this] { window->OnCommand(ControlId::Capture); }, Qt::QueuedConnection);
  // The close arrives through Qt while the still is awaited.
  QTimer::singleShot(100, window.get(), [this] { window->close(); });
  ASSERT_TRUE(WaitFor([&] { return !window->isVisible(); }));
  EXPECT_EQ(Pictures().size(), 1u);
  EXPECT_EQ(window->Cameras().document, nullptr);
  EXPECT_EQ(Setting("IMAGE", "INDEX"), "1");
}

}  // namespace
}  // namespace orvane::ui::testing
