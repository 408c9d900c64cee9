#include "camera/video_controller.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <chrono>
#include <future>
#include <thread>

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include "temp_folder.h"

#include "camera/frame.h"
#include "camera/grey_rows.h"
#include "camera/notice_probe.h"
#include "camera/patient_stills.h"
#include "camera/usb_camera.h"
#include "camera/virtual_camera.h"
#include "platform/qt_message_bridge.h"
#include "platform/simulated_v4l2.h"

namespace orvane {
namespace {

using Log = std::vector<std::string>;

class FakeSource : public CVideoBaseClass {
 public:
  FakeSource(std::shared_ptr<Log> log, int number, std::vector<int>* openResults)
      : log_(std::move(log)), name_("source " + std::to_string(number)), openResults_(openResults) {}
  ~FakeSource() override { log_->push_back(name_ + " deleted"); }
  int Open(const std::string&, const std::string&, const std::string&, platform::TargetHandle, bool, int) override {
    log_->push_back(name_ + " open");
    int result = 0;
    if (!openResults_->empty()) {
      result = openResults_->front();
      openResults_->erase(openResults_->begin());
    }
    if (result >= 0) state_ = kStateOpened;
    return result;
  }
  void SetFrameSink(CFrameSlot* slot) override { log_->push_back(name_ + (slot ? " attached" : " detached")); }
  bool Start() override {
    state_ = kStateRunning;
    return true;
  }
  bool Stop() override {
    if (state_ == kStateRunning) state_ = kStateOpened;
    return true;
  }
  int GetState() override { return state_; }
  int ProbeDevice(const std::string&, const std::string&) override { return 1; }
  void SetRotation(int angle) override { log_->push_back(name_ + " rotation " + std::to_string(angle)); }

 private:
  std::shared_ptr<Log> log_;
  std::string name_;
  std::vector<int>* openResults_;
  int state_ = kStateClosed;
};

class FakeDisplay : public CShowVideoPro {
 public:
  FakeDisplay(std::shared_ptr<Log> log, int number) : log_(std::move(log)), name_("display " + std::to_string(number)) {}
  ~FakeDisplay() override { log_->push_back(name_ + " deleted"); }
  QWidget* GetHWnd() const override { return nullptr; }
  bool Create(QWidget*, const IntRect&, platform::TargetHandle) override { return true; }
  void ApplyMargins(IntRect&) const override {}
  bool SetRotation(int angle) override {
    log_->push_back(name_ + " rotation " + std::to_string(angle));
    return true;
  }
  bool SetTrimMargins(int, int, int, int) override {
    log_->push_back(name_ + " margins");
    return true;
  }
  void SetAutoCrop(bool, bool, float) override {}
  platform::MessageResult EnableTrackRect(bool) override { return 0; }
  bool GetTrackRect(IntRect*) override { return false; }
  bool Show(bool) override { return true; }
  cv::Mat GetPicture() override { return cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(1)); }
  int ShownRotation() const override { return 0; }
  std::vector<cv::Mat> GetCroppedPictures() override { return {}; }
  bool CreateSubImageBox(const IntRect&) override {
    log_->push_back(name_ + " box");
    return true;
  }
  void DeleteSubImageBox() override {}
  bool GetRecordingPicture(cv::Mat*) override { return false; }
  cv::Mat GetShownPicture() override { return {}; }
  CFrameSlot* RawSlot(int index) override { return &slots_[index]; }
  void SetRecording(bool on) override {
    recording_ = on;
    log_->push_back(name_ + (on ? " recording on" : " recording off"));
  }
  bool IsRecording() const override { return recording_; }
  void SetFrameRateLimit(int) override {}

 private:
  std::shared_ptr<Log> log_;
  std::string name_;
  CFrameSlot slots_[2];
  bool recording_ = false;
};

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest()
      : controller(CVideoController::Factories{
            [this](int) -> std::unique_ptr<CVideoBaseClass> {
              ++sourcesMade;
              return std::make_unique<FakeSource>(log, sourcesMade, &openResults);
            },
            [this] { return std::make_unique<FakeDisplay>(log, ++displaysMade); },
            // No microphone: the tests do not depend on the machine's sound card.
            [] { return std::make_unique<CVideoRecorder>([] { return std::unique_ptr<platform::IAudioSource>(); }); }}) {
    controller.Init(true, 0);
  }
  int Open() { return controller.OpenAndShow(nullptr, {}, "0000", "0000", "", 0, 0, 640, 480, false, 0); }
  // Whether `first` appears in the log before `second`.
  bool Before(const std::string& first, const std::string& second) const {
    const auto a = std::find(log->begin(), log->end(), first);
    const auto b = std::find(log->begin(), log->end(), second);
    return a != log->end() && b != log->end() && a < b;
  }

  std::shared_ptr<Log> log = std::make_shared<Log>();
  std::vector<int> openResults;
  int sourcesMade = 0;
  int displaysMade = 0;
  CVideoController controller;
};

TEST_F(ControllerTest, SourcesAreDetachedBeforeTheirDisplayGoes) {
  ASSERT_EQ(Open(), 0);
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(sourcesMade, 1) << "re-opening keeps the source object";
  EXPECT_EQ(displaysMade, 2);
  EXPECT_TRUE(Before("source 1 detached", "display 1 deleted"));
  controller.CloseAll();
  const Log& l = *log;
  const auto lastDetach = std::find(l.rbegin(), l.rend(), "source 1 detached");
  const auto displayGone = std::find(l.rbegin(), l.rend(), "display 2 deleted");
  ASSERT_NE(lastDetach, l.rend());
  ASSERT_NE(displayGone, l.rend());
  EXPECT_GT(lastDetach - l.rbegin(), displayGone - l.rbegin()) << "detached before the display was deleted";
  EXPECT_TRUE(Before("source 1 deleted", "display 2 deleted"));
  EXPECT_EQ(controller.Display(), nullptr);
  EXPECT_EQ(controller.MainSource(), nullptr);
}

TEST_F(ControllerTest, RotationIsNormalisedForDisplayAndSource) {
  ASSERT_EQ(Open(), 0);
  const std::pair<int, int> cases[] = {{90, 90}, {450, 90}, {-90, 270}, {180, 180}, {-450, 270}, {0, 0}, {720, 0}};
  for (const auto& [angle, expected] : cases) {
    log->clear();
    controller.SetRotation(angle);
    EXPECT_EQ(*log, (Log{"display 1 rotation " + std::to_string(expected), "source 1 rotation " + std::to_string(expected)}))
        << angle;
  }
  log->clear();
  controller.SetRotation(45);
  EXPECT_TRUE(log->empty());
}

TEST_F(ControllerTest, OpenSecondaryBeforeAnyOpenFails) {
  EXPECT_EQ(controller.OpenSecondary("1111", "2222", {0, 0, 100, 80}), kFail);
  EXPECT_EQ(sourcesMade, 0);
  EXPECT_EQ(controller.SecondarySource(), nullptr);
}

TEST_F(ControllerTest, ProbeDeviceLeavesNoTrace) {
  EXPECT_EQ(controller.ProbeDevice("1111", "2222"), 1);
  EXPECT_EQ(controller.MainSource(), nullptr);
  EXPECT_EQ(*log, (Log{"source 1 deleted"}));
  EXPECT_FALSE(controller.Start()) << "still without a source";
}

TEST_F(ControllerTest, AFailedMainOpenKeepsTheDisplayAndTheSecondary) {
  ASSERT_EQ(Open(), 0);
  ASSERT_EQ(controller.OpenSecondary("1111", "2222", {100, 80, 0, 0}), 0);
  EXPECT_TRUE(Before("source 2 open", "display 1 box"));
  CShowVideoPro* display = controller.Display();
  CVideoBaseClass* secondary = controller.SecondarySource();
  openResults = {kFail};
  EXPECT_EQ(Open(), kFail);
  EXPECT_EQ(controller.MainSource(), nullptr);
  EXPECT_EQ(controller.Display(), display);
  EXPECT_EQ(controller.SecondarySource(), secondary);
  EXPECT_EQ(std::count(log->begin(), log->end(), "display 1 deleted"), 0);
  EXPECT_EQ(std::count(log->begin(), log->end(), "source 2 deleted"), 0);
  EXPECT_EQ(std::count(log->begin(), log->end(), "source 1 deleted"), 1);
}

TEST_F(ControllerTest, ASecondaryThatCannotOpenIsDropped) {
  ASSERT_EQ(Open(), 0);
  CShowVideoPro* display = controller.Display();
  openResults = {kFail};
  EXPECT_EQ(controller.OpenSecondary("1111", "2222", {0, 0, 100, 80}), kFail);
  EXPECT_EQ(controller.SecondarySource(), nullptr);
  EXPECT_EQ(controller.Display(), display);
  EXPECT_EQ(std::count(log->begin(), log->end(), "display 1 box"), 0);
  EXPECT_TRUE(controller.Start()) << "the main camera is not affected";
}

TEST_F(ControllerTest, NegativeMarginsAreRefused) {
  ASSERT_EQ(Open(), 0);
  log->clear();
  EXPECT_FALSE(controller.SetTrimMargins(4, -1, 0, 0));
  EXPECT_TRUE(log->empty());
  EXPECT_TRUE(controller.SetTrimMargins(4, 4, 0, 0));
  EXPECT_EQ(*log, (Log{"display 1 margins"}));
}

// The real display and USB source over the virtual camera: frames arrive turned, and closing
// detaches and joins everything.
TEST_F(ControllerTest, RecordingNeedsADisplayAndStoppingNeedsARecording) {
  EXPECT_EQ(controller.StartRecording("/tmp/never.asf", 64, 48, 10, 100000), kNullPointer);
  EXPECT_EQ(controller.StopRecording(), kNullPointer);
}

TEST_F(ControllerTest, ARecorderThatCannotStartClearsTheRecordingFlag) {
  ASSERT_GE(Open(), 0);
  EXPECT_EQ(controller.StartRecording("/tmp/never.asf", 64, 48, 0, 100000), kInvalidArgument);
  EXPECT_FALSE(controller.Display()->IsRecording());
  EXPECT_TRUE(Before("display 1 recording on", "display 1 recording off"));
  EXPECT_EQ(controller.StopRecording(), kNullPointer);  // no recorder was kept
}

TEST_F(ControllerTest, RecordingRunsUntilStoppedAndEndsWithTheDisplay) {
  testing::TempFolder folder;
  ASSERT_GE(Open(), 0);
  ASSERT_EQ(controller.StartRecording(folder / "first.asf", 64, 48, 10, 100000), kSuccess);
  EXPECT_TRUE(controller.Display()->IsRecording());
  EXPECT_EQ(controller.StopRecording(), kSuccess);
  EXPECT_FALSE(controller.Display()->IsRecording());
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / "first.asf"));

  // Closing the camera finishes a recording still running before its display goes.
  ASSERT_EQ(controller.StartRecording(folder / "second.asf", 64, 48, 10, 100000), kSuccess);
  controller.CloseAll();
  EXPECT_TRUE(Before("display 1 recording off", "display 1 deleted"));
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / "second.asf"));
}

TEST(ControllerWithVirtualCamera, ShowsTheCameraTurnedAndClosesCleanly) {
  int argc = 1;
  char name[] = "camera_tests";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  platform::QtMessageBridge bridge;
  QWidget parent;
  parent.resize(400, 300);
  parent.show();
  VirtualCameraIdentity identity;
  identity.sizes = {{320, 240}};
  identity.stillWidth = 320;
  identity.stillHeight = 240;
  VirtualCamera virtualCamera(identity);
  auto backend = std::make_shared<platform::SimulatedV4l2Backend>();
  backend->Add(virtualCamera.Camera());
  CVideoController::Factories factories;
  factories.source = [backend](int) { return std::make_unique<CUSBCamra>(backend); };
  CVideoController controller(factories);
  controller.Init(true, 0);
  controller.SetResolution(320, 240);
  ASSERT_EQ(controller.OpenAndShow(&parent, {}, "3C4D", "B514", "", 0, 0, 320, 240, false, 0), 0);
  ASSERT_NE(controller.Display(), nullptr);
  ASSERT_TRUE(controller.Start());
  const auto pictureOfSize = [&](cv::Size size) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < deadline) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      if (controller.GetPicture().size() == size) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  };
  EXPECT_TRUE(pictureOfSize({320, 240}));
  controller.SetRotation(-90);
  EXPECT_TRUE(pictureOfSize({240, 320}));
  controller.CloseAll();
  EXPECT_EQ(controller.Display(), nullptr);
}

// A camera short of bus bandwidth ends frames halfway. A capture's pictures come only from frames
// that came whole; when none does, the capture gets nothing and the user is told as for a late
// still, on the GUI thread only (a worker asking at the same time is answered quietly).
TEST(ControllerWithVirtualCamera, CapturesComeFromFramesThatCameWhole) {
  int argc = 1;
  char name[] = "camera_tests";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  platform::QtMessageBridge bridge;
  QWidget parent;
  parent.resize(400, 300);
  parent.show();
  VirtualCameraIdentity identity;
  identity.sizes = {{320, 240}};
  VirtualCamera virtualCamera(identity);
  auto backend = std::make_shared<platform::SimulatedV4l2Backend>();
  backend->Add(virtualCamera.Camera());
  CVideoController::Factories factories;
  factories.source = [backend](int) { return std::make_unique<CUSBCamra>(backend); };
  CVideoController controller(factories);
  controller.Init(true, 0);
  controller.SetFormatMode(kFormatMJPG);
  controller.SetResolution(320, 240);
  ASSERT_EQ(controller.OpenAndShow(&parent, {}, "3C4D", "B514", "", 0, 0, 320, 240, false, 0), 0);
  ASSERT_TRUE(controller.Start());
  const auto until = [&](const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    // Asked once a round: a picture taken is not there to be asked about again.
    bool met = done();
    while (!met && std::chrono::steady_clock::now() < deadline) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      met = done();
    }
    return met;
  };
  ASSERT_TRUE(until([&] { return !controller.GetPicture().empty(); }));
  testing::NoticeProbe notices;
  virtualCamera.Camera()->EndFramesEarly(2);
  const std::pair<const char*, std::function<cv::Mat()>> getters[] = {
      {"GetPicture", [&] { return controller.GetPicture(); }},
      {"GetShownPicture", [&] { return controller.GetShownPicture(); }},
      {"GetCroppedPictures", [&] {
         const std::vector<cv::Mat> pages = controller.GetCroppedPictures();
         return pages.empty() ? cv::Mat() : pages.front();
       }},
  };
  // Several rounds, so that each getter meets a cut frame as the current one.
  for (int round = 0; round < 8; ++round) {
    for (const auto& [getter, get] : getters) {
      const cv::Mat picture = get();
      ASSERT_EQ(picture.size(), cv::Size(320, 240)) << getter << " " << round;
      EXPECT_FALSE(testing::EndsInGreyRows(picture)) << getter << " " << round;
    }
  }
  EXPECT_TRUE(notices.Texts().empty());

  virtualCamera.Camera()->EndFramesEarly(1);
  // Frames written before the change may still wait in the buffers, whole: once twice the buffers
  // have been written again, every frame the camera is read for was cut.
  const std::uint32_t cutFrom = virtualCamera.Camera()->FramesWritten();
  ASSERT_TRUE(until([&] { return virtualCamera.Camera()->FramesWritten() > cutFrom + 10; }));
  CShowVideoPro& display = *controller.Display();
  display.SetRecording(true);
  cv::Mat recorded;
  ASSERT_TRUE(until([&] { return display.GetRecordingPicture(&recorded) && testing::EndsInGreyRows(recorded); }));
  const testing::StillTimeoutFor waitNoLonger(std::chrono::seconds(2));  // nothing whole is coming
  std::future<cv::Mat> worker = std::async(std::launch::async, [&] { return controller.GetPicture(); });
  EXPECT_TRUE(controller.GetPicture().empty());
  EXPECT_TRUE(worker.get().empty());
  EXPECT_EQ(notices.Texts(), std::vector<std::string>{"Time Out"});
  display.SetRecording(false);
  controller.CloseAll();
}

}  // namespace
}  // namespace orvane
