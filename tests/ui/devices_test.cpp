#include <sys/eventfd.h>
#include <unistd.h>

#include <QRadioButton>
#include <QPushButton>
#include <QTest>

#include <deque>
#include <mutex>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/hotplug_monitor.h"
#include "ui/continuous_shoot_dialog.h"
#include "station_fixture.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;
using Action = platform::DeviceChange::Action;

VirtualCameraIdentity Document(std::vector<std::pair<int, int>> sizes) {
  VirtualCameraIdentity identity;
  identity.productId = "A0C8";  // configured 1600 x 1200
  identity.sharpnessDefault = 28;
  identity.sharpnessMaximum = 6;
  identity.sizes = std::move(sizes);
  identity.stillWidth = identity.sizes.front().first;
  identity.stillHeight = identity.sizes.front().second;
  return identity;
}

class CalibrationTest : public StationTest {
 protected:
  // The document camera films a picture of the test's own: a dark desk, with the card when asked.
  void StartFilming(bool withCard) {
    cv::Mat desk(1200, 1600, CV_8UC3, cv::Scalar(52, 60, 70));
    cv::randn(desk, cv::Scalar(52, 60, 70), cv::Scalar(6, 6, 6));
    if (withCard) {
      // An ID-1 card, 85.6 x 54 mm at 300 DPI, in the middle of the plate.
      cv::rectangle(desk, cv::Rect(295, 281, 1011, 638), cv::Scalar(235, 238, 240), cv::FILLED);
    }
    fs::create_directories(folder / "scene");
    cv::imwrite((folder / "scene" / "plate.png").string(), desk);
    camera_ = std::make_unique<VirtualCamera>(Document({{1600, 1200}}), folder / "scene");
    backend->Add(camera_->Camera());
    ASSERT_EQ(Start(), StartUp::kRunning);
    ASSERT_TRUE(WaitForPicture());
  }
  std::unique_ptr<VirtualCamera> camera_;
};

TEST_F(CalibrationTest, AnIdCardGivesTheReferenceDpi) {
  StartFilming(true);
  EXPECT_EQ(platform::Send(window->Target(), platform::message_ids::kCalibrateDpi), 1);
  EXPECT_NEAR(window->CalibratedDpi(), 300.0f, 4.5f);
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(CalibrationTest, AnEmptyPlateFailsAndKeepsTheDpi) {
  StartFilming(false);
  EXPECT_EQ(window->CalibrateDpi(), 0);
  EXPECT_FLOAT_EQ(window->CalibratedDpi(), -1.0f);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "DPI校准失败，请重试");
}

// Device events pushed by the test; the eventfd is readable while some are queued.
class FakeDeviceEvents : public platform::IDeviceEventSource {
 public:
  struct Queue {
    std::mutex lock;
    std::deque<platform::DeviceChange> changes;
    int descriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ~Queue() { close(descriptor); }
    void Push(platform::DeviceChange change) {
      std::lock_guard guard(lock);
      changes.push_back(std::move(change));
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t written = write(descriptor, &one, sizeof one);
    }
  };
  explicit FakeDeviceEvents(std::shared_ptr<Queue> queue) : queue_(std::move(queue)) {}
  int Descriptor() override { return queue_->descriptor; }
  std::optional<platform::DeviceChange> Receive() override {
    std::lock_guard guard(queue_->lock);
    if (queue_->changes.empty()) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = read(queue_->descriptor, &count, sizeof count);
      return std::nullopt;
    }
    platform::DeviceChange change = queue_->changes.front();
    queue_->changes.pop_front();
    return change;
  }

 private:
  std::shared_ptr<Queue> queue_;
};

class HotplugTest : public StationTest {
 protected:
  StationEnvironment Environment() {
    StationEnvironment environment = StationTest::Environment();
    environment.deviceEvents = [queue = events] { return std::make_unique<FakeDeviceEvents>(queue); };
    environment.deviceEventQuiet = std::chrono::milliseconds(20);
    return environment;
  }
  StartUp StartHere() {
    window = std::make_unique<COrvaneDlg>(Environment());
    const StartUp result = window->OnInitDialog();
    if (result == StartUp::kRunning) window->show();
    return result;
  }
  void Plug(Action action, const char* product = "A0C8") {
    const std::size_t shownBefore = presenter.shown.size();
    events->Push({action, "3C4D", product});
    // The monitor reports the burst once it has gone quiet; the window then probes the camera.
    WaitFor([&] { return presenter.shown.size() != shownBefore; }, std::chrono::milliseconds(400));
  }

  std::shared_ptr<FakeDeviceEvents::Queue> events = std::make_shared<FakeDeviceEvents::Queue>();
};

TEST_F(HotplugTest, PullingTheCameraOutTellsOnceAndPluggingItInAgainReopensIt) {
  auto camera = std::make_unique<VirtualCamera>(Document({{320, 240}}));
  backend->Add(camera->Camera());
  WriteSettings("[IMAGE]\nCUTPAGETYPE=1\n");
  ASSERT_EQ(StartHere(), StartUp::kRunning);
  ASSERT_TRUE(WaitForPicture());

  // Some other device comes and goes: nothing changes.
  CVideoController* before = window->Cameras().document;
  Plug(Action::Arrival, "FFFF");
  EXPECT_EQ(window->Cameras().document, before);
  EXPECT_TRUE(presenter.shown.empty());

  camera->Camera()->Unplug();
  backend->Remove(camera->Camera());
  Plug(Action::Removal);
  Plug(Action::Removal);
  EXPECT_EQ(window->Cameras().document, nullptr);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "高拍仪设备被拔出或接触不良，请检查！");
  window->OnCommand(ControlId::Capture);  // commands without their camera do nothing
  EXPECT_TRUE(Pictures().empty());

  camera = std::make_unique<VirtualCamera>(Document({{320, 240}}));
  backend->Add(camera->Camera());
  Plug(Action::Arrival);
  ASSERT_NE(window->Cameras().document, nullptr);
  EXPECT_EQ(presenter.shown.size(), 1u) << "no message when it comes back";
  EXPECT_TRUE(WaitForPicture());
  EXPECT_EQ(window->GetSysParam().cropMode, 0);
  EXPECT_TRUE(static_cast<QRadioButton*>(window->Control(ControlId::CropNone))->isChecked());
  window->OnCommand(ControlId::Capture);
  EXPECT_EQ(Pictures().size(), 1u);
}

TEST_F(HotplugTest, PullingTheCameraOutStopsWhatReadsItFirst) {
  // The orientation check with the tests' small template, and the continuous-shooting page watch,
  // both looking at the document camera when it goes.
  fs::copy_file(fs::path(ORVANE_RECOGNITION_FIXTURES) / "OCR_RLDA_LN_Gra.tpl", programFolder / "OCR_RLDA_LN_Gra.tpl");
  auto camera = std::make_unique<VirtualCamera>(Document({{640, 480}}));
  backend->Add(camera->Camera());
  WriteSettings("[IMAGE]\nDOCCHECK=TRUE\n[OTHER]\nMJPGMODE=TRUE\n");
  ASSERT_EQ(StartHere(), StartUp::kRunning);
  ASSERT_TRUE(WaitForPicture());
  ASSERT_TRUE(window->OrientationRunning());
  window->OnCommand(ControlId::ContinuousShoot);
  CContinuousShootDlg* watch = window->ContinuousShootDialog();
  ASSERT_NE(watch, nullptr);
  static_cast<QPushButton*>(watch->Widget(CContinuousShootDlg::Control::kStart))->click();
  ASSERT_TRUE(watch->IsWatching());
  WaitFor([] { return false; }, std::chrono::milliseconds(700));  // both look at the camera a few times

  camera->Camera()->Unplug();
  backend->Remove(camera->Camera());
  Plug(Action::Removal);
  EXPECT_EQ(window->Cameras().document, nullptr);
  EXPECT_FALSE(window->OrientationRunning());
  EXPECT_EQ(window->ContinuousShootDialog(), nullptr);

  camera = std::make_unique<VirtualCamera>(Document({{640, 480}}));
  backend->Add(camera->Camera());
  Plug(Action::Arrival);
  ASSERT_NE(window->Cameras().document, nullptr);
  EXPECT_TRUE(window->OrientationRunning()) << "the check goes on with the camera that came back";
}

// The document camera pulled out and plugged in again in each view mode, with a trim on its left.
class ReplugTest : public HotplugTest, public ::testing::WithParamInterface<int> {};

TEST_P(ReplugTest, TheCameraComesBackAloneAtItsTrimsWithEveryCropOffered) {
  const int mode = GetParam();
  const auto small = [](VirtualCameraIdentity identity) {
    identity.sizes = {{320, 240}};
    identity.stillWidth = 320;
    identity.stillHeight = 240;
    return identity;
  };
  auto document = std::make_unique<VirtualCamera>(Document({{320, 240}}));
  const VirtualCamera portrait(small(VirtualPortraitIdentity()));
  const VirtualCamera third(small(VirtualThirdIdentity()));
  for (const auto& camera : {document->Camera(), portrait.Camera(), third.Camera()}) backend->Add(camera);
  WriteSettings("[IMAGE]\nCutLeft=16\n");
  ASSERT_EQ(StartHere(), StartUp::kRunning);
  ASSERT_TRUE(WaitForPicture());
  // As the view button leaves it: in the view of the two front cameras no crop is offered.
  ASSERT_TRUE(window->SetViewMode(mode));
  window->UpdateCropButtons();

  document->Camera()->Unplug();
  backend->Remove(document->Camera());
  events->Push({Action::Removal, "3C4D", "A0C8"});
  ASSERT_TRUE(WaitFor([&] { return window->Cameras().document == nullptr; }, std::chrono::seconds(30)));
  document = std::make_unique<VirtualCamera>(Document({{320, 240}}));
  backend->Add(document->Camera());
  events->Push({Action::Arrival, "3C4D", "A0C8"});
  ASSERT_TRUE(WaitFor([&] { return window->Cameras().document != nullptr; }, std::chrono::seconds(30)));

  const StationCameras cameras = window->Cameras();
  EXPECT_EQ(window->GetSysParam().viewMode, 0);
  EXPECT_EQ(Shown(cameras.document), window->PreviewRect());
  EXPECT_EQ(Shown(cameras.portrait), std::nullopt);
  EXPECT_EQ(Shown(cameras.third), std::nullopt);
  for (ControlId radio : {ControlId::CropNone, ControlId::CropAuto, ControlId::CropCustom}) {
    EXPECT_TRUE(window->Control(radio)->isEnabled()) << static_cast<int>(radio);
  }
  EXPECT_TRUE(static_cast<QRadioButton*>(window->Control(ControlId::CropNone))->isChecked());
  EXPECT_TRUE(WaitFor([&] { return cameras.document->GetPicture().size() == cv::Size(320 - 16, 240); }))
      << "the trim on the left";
}

INSTANTIATE_TEST_SUITE_P(EveryView, ReplugTest, ::testing::Range(0, 7),
                         [](const ::testing::TestParamInfo<int>& info) { return "Mode" + std::to_string(info.param); });

}  // namespace
}  // namespace orvane::ui::testing

namespace orvane::ui::testing {
namespace {

class ThumbnailMenuTest : public StationTest {
 protected:
  void StartAndCapture(const std::string& settings = {}) {
    camera_ = std::make_unique<VirtualCamera>(Document({{320, 240}}));
    backend->Add(camera_->Camera());
    if (!settings.empty()) WriteSettings(settings);
    ASSERT_EQ(Start(), StartUp::kRunning);
    ASSERT_TRUE(WaitForPicture());
    window->OnCommand(ControlId::Capture);
    ASSERT_EQ(Pictures().size(), 1u);
  }
  // A right click on the first thumbnail and the menu's entry.
  void Choose(int entry) {
    const IntRect rect = window->Thumbnails()[0]->GetRect();
    QTest::mouseClick(window.get(), Qt::RightButton, {}, QPoint(rect.left + 20, rect.top + 20));
    ASSERT_TRUE(WaitFor([this] { return window->ThumbnailMenu() != nullptr && window->ThumbnailMenu()->isVisible(); }));
    EXPECT_EQ(window->SelectedThumbnail(), 0);
    window->ThumbnailMenu()->actions()[entry]->trigger();
    window->ThumbnailMenu()->hide();
  }
  std::unique_ptr<VirtualCamera> camera_;
};

TEST_F(ThumbnailMenuTest, OpenShowsTheFileAndDeleteEmptiesTheSlot) {
  StartAndCapture();
  const fs::path file = Pictures()[0];
  Choose(0);
  EXPECT_EQ(presenter.opened, std::vector<std::string>{file.string()});
  EXPECT_EQ(window->SelectedThumbnail(), -1);
  Choose(1);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(window->Thumbnails()[0]->GetPath().empty());
  EXPECT_TRUE(window->Thumbnails()[0]->HasPicture()) << "the empty slot's picture";
}

TEST_F(ThumbnailMenuTest, TheMenuReadsInTheLanguage) {
  StartAndCapture("[Language]\nCurrent=EN\n");
  Choose(0);
  const QList<QAction*> entries = window->ThumbnailMenu()->actions();
  EXPECT_EQ(entries[0]->text().toStdString(), "Open file");
  EXPECT_EQ(entries[1]->text().toStdString(), "Delete file");
}

// Opened from the menu and by a click: without a program for the file the user is told, in the
// window's language, under the station's caption.
TEST_F(ThumbnailMenuTest, AFileNoProgramOpensIsSaidInTheUsersLanguage) {
  presenter.openFails = true;
  StartAndCapture("[Language]\nCurrent=EN\n");
  const fs::path file = Pictures()[0];
  Choose(0);
  const IntRect rect = window->Thumbnails()[0]->GetRect();
  QTest::mouseClick(window.get(), Qt::LeftButton, {}, QPoint(rect.left + 20, rect.top + 20));
  ASSERT_EQ(presenter.shown.size(), 2u);
  for (const auto& shown : presenter.shown) {
    EXPECT_EQ(shown.text, "No program is set up to open this file; please choose one for files of this kind: " + file.string());
    EXPECT_EQ(shown.caption, "Orvane");
  }
  EXPECT_TRUE(fs::exists(file));
}

TEST_F(ThumbnailMenuTest, AFileThatCannotBeDeletedIsSaidSoAndKept) {
  StartAndCapture();
  const fs::path file = Pictures()[0];
  // A non-empty folder in the file's place cannot be removed as a file is, whoever runs the test.
  fs::remove(file);
  fs::create_directories(file / "inside");
  Choose(1);
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), file);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "文件无法删除，它可能正被其他程序使用，或没有删除它的权限");
}

}  // namespace
}  // namespace orvane::ui::testing
