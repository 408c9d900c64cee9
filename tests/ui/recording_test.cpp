#include <QPushButton>
#include <QTimer>

#include <fstream>

#include <gtest/gtest.h>

#include "platform/media_probe.h"
#include "small_disk.h"
#include "station_fixture.h"
#include "ui/presenter.h"
#include "ui/video_to_file_dialog.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;
using Control = CCVideoToFile::Control;

constexpr const char* kNoSound = "没有可以使用的录音设备，本次录像没有声音";

TEST(RecordingFrameRateTest, LargerPicturesGetFewerFramesAndNoSizeNone) {
  const struct {
    int width, height, fps;
  } cases[] = {{640, 480, 33}, {1280, 960, 9}, {2592, 1944, 2}, {4160, 3120, 1}, {0, 480, 0}, {640, -1, 0}};
  for (const auto& c : cases) EXPECT_EQ(RecordingFrameRate(c.width, c.height), c.fps) << c.width << " x " << c.height;
}

TEST(RecordsOneSourceTest, OneCameraOrADocumentWithItsInset) {
  // By view mode 0 to 6: without and with picture-in-picture.
  const bool expected[7][2] = {{true, true}, {true, true}, {true, true}, {false, true},
                               {false, true}, {false, false}, {false, false}};
  for (int mode = 0; mode < 7; ++mode) {
    for (bool inset : {false, true}) EXPECT_EQ(RecordsOneSource(mode, inset), expected[mode][inset]) << mode << inset;
  }
}

// Sound of a steady tone, as a microphone would give it.
class ToneSource : public platform::IAudioSource {
 public:
  int SampleRate() const override { return 22050; }
  int Channels() const override { return 1; }
  bool Read(std::vector<std::int16_t>* samples, int timeoutMs) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 20)));
    const auto due = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_)
                         .count() * SampleRate() / 1'000'000;
    for (; delivered_ < due; ++delivered_) samples->push_back(static_cast<std::int16_t>((delivered_ % 50) * 300));
    return true;
  }

 private:
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::int64_t delivered_ = 0;
};

class RecordingTest : public StationTest {
 protected:
  // Recordings are made at the configured size, 1600 x 1200, whatever the camera films.
  void StartStation(const std::string& settings, CVideoController::Factories* factories = nullptr,
                    const fs::path& storage = {}) {
    camera_ = std::make_unique<VirtualCamera>(ConfiguredSizeCamera({{640, 480}}));
    backend->Add(camera_->Camera());
    const std::string folder = storage.empty() ? std::string() : "FOLDPATH=" + storage.string() + "\n";
    WriteSettings("[FILE]\nTypeofImageName=0\nPREFIX=VID\n" + folder + "[IMAGE]\n" + settings);
    StationEnvironment environment = Environment();
    if (factories != nullptr) environment.controllers.recorder = factories->recorder;
    window = std::make_unique<COrvaneDlg>(std::move(environment));
    ASSERT_EQ(window->OnInitDialog(), StartUp::kRunning);
    window->show();
    ASSERT_TRUE(WaitForPicture());
  }

  // Runs the recording command; `inDialog` is called while the dialog runs, until it returns
  // true or the dialog has ended.
  void Record(std::function<bool(CCVideoToFile&)> inDialog) {
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (CCVideoToFile* dialog = window->RecordingDialog(); dialog != nullptr && dialog->isVisible()) {
        if (inDialog(*dialog)) driver.stop();
      }
    });
    driver.start(20);
    window->OnCommand(ControlId::Record);
  }

  QRect PreviewOnScreen() const {
    const QRect area = window->Control(ControlId::Preview)->geometry();
    return {window->mapToGlobal(area.topLeft()), area.size()};
  }

  std::unique_ptr<VirtualCamera> camera_;
};

TEST_F(RecordingTest, TwoSecondsBecomeAVideoWithSoundShownInTheStripByItsFirstFrame) {
  CVideoController::Factories factories;
  factories.recorder = [] { return std::make_unique<CVideoRecorder>([] { return std::make_unique<ToneSource>(); }); };
  StartStation("VDO_FORMAT=1\n", &factories);
  // The times around Start and Cancel bound the video's length, however late a busy machine
  // lets either take effect.
  std::chrono::steady_clock::time_point starting, started, cancelling, cancelled;
  std::string runningText;
  QRect placed;
  Record([&](CCVideoToFile& dialog) {
    if (!dialog.IsRecording()) {
      placed = dialog.frameGeometry();
      starting = std::chrono::steady_clock::now();
      dialog.Button(Control::kStart)->click();
      started = std::chrono::steady_clock::now();
      return false;
    }
    if (std::chrono::steady_clock::now() - started < std::chrono::seconds(2)) return false;
    runningText = dialog.Status().Text();
    cancelling = std::chrono::steady_clock::now();
    dialog.Button(Control::kCancel)->click();
    cancelled = std::chrono::steady_clock::now();
    return true;
  });
  const auto seconds = [](std::chrono::steady_clock::duration length) {
    return std::chrono::duration<double>(length).count();
  };

  const QRect preview = PreviewOnScreen();
  EXPECT_EQ(placed.bottom(), preview.bottom());
  EXPECT_LE(std::abs(placed.center().x() - preview.center().x()), 1);
  EXPECT_EQ(runningText.rfind("视频录制中，录制时长：", 0), 0u) << runningText;

  // The video alone: the first frame's picture is gone.
  const std::vector<fs::path> files = Pictures();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename(), "VID00000.avi");
  const ::orvane::testing::ProbedFile probed = ::orvane::testing::ProbeMediaFile(files[0]);
  ASSERT_TRUE(probed.opened);
  EXPECT_EQ(probed.container, "asf");
  const auto* video = probed.Find("wmv2");
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->width, 1600);
  EXPECT_EQ(video->height, 1200);
  EXPECT_NEAR(video->frameRate, RecordingFrameRate(1600, 1200), 0.5);
  EXPECT_GE(video->seconds, seconds(cancelling - started) - 0.7);
  EXPECT_LE(video->seconds, seconds(cancelled - starting) + 0.7);
  EXPECT_NE(probed.Find("wmav2"), nullptr);

  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), files[0]);
  EXPECT_TRUE(window->Thumbnails()[0]->HasPicture());
  EXPECT_EQ(window->GetSysParam().runningIndex, 1);
  EXPECT_TRUE(presenter.shown.empty());
}

// A disk that fills while recording ends the recording at once, keeps what came before and says
// so; the video is shown in the strip under the name it was kept under.
TEST_F(RecordingTest, ADiskThatFillsEndsTheRecordingAndKeepsWhatCameBefore) {
  ::orvane::testing::SmallDisk disk(1 << 20);
  ORVANE_REQUIRE_SMALL_DISK(disk);
  StartStation("DATEFOLDER=0\n", nullptr, disk.path());
  std::chrono::steady_clock::time_point started;
  bool stoppedByHand = false;
  Record([&](CCVideoToFile& dialog) {
    if (!dialog.IsRecording()) {
      dialog.Button(Control::kStart)->click();
      started = std::chrono::steady_clock::now();
      return false;
    }
    // The full disk ends it; the user's Stop only if it never does.
    if (std::chrono::steady_clock::now() - started < std::chrono::minutes(3)) return false;
    stoppedByHand = true;
    dialog.Button(Control::kCancel)->click();
    return true;
  });
  EXPECT_FALSE(stoppedByHand) << "the recording went on counting on a full disk";
  std::vector<fs::path> kept;
  for (const auto& entry : fs::directory_iterator(disk.path()))
    if (entry.path().extension() == ".asf") kept.push_back(entry.path());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].filename(), "VID00000-incomplete.asf");
  const ::orvane::testing::ProbedFile probed = ::orvane::testing::ProbeMediaFile(kept[0]);
  ASSERT_TRUE(probed.opened);
  ASSERT_NE(probed.Find("wmv2"), nullptr);
  EXPECT_GT(probed.Find("wmv2")->packets, 0);
  // The fixture's recorder has no microphone, which the dialog says first.
  ASSERT_EQ(presenter.shown.size(), 2u);
  EXPECT_EQ(presenter.shown[0].text, kNoSound);
  EXPECT_EQ(presenter.shown[1].text,
            "录像文件无法继续写入（磁盘已满或写入出错），录像已停止。已录制的部分保存在：" + kept[0].string());
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), kept[0]);
}

// No sound device: the recording goes on in silence and the dialog says so once, at its start.
TEST_F(RecordingTest, WithoutASoundDeviceTheDialogSaysOnceThatItRecordsWithoutSound) {
  StartStation("");
  std::chrono::steady_clock::time_point started;
  std::size_t saidAtStart = 0;
  Record([&](CCVideoToFile& dialog) {
    if (!dialog.IsRecording()) {
      dialog.Button(Control::kStart)->click();
      saidAtStart = presenter.shown.size();
      started = std::chrono::steady_clock::now();
      return false;
    }
    if (std::chrono::steady_clock::now() - started < std::chrono::seconds(1)) return false;
    dialog.Button(Control::kCancel)->click();
    return true;
  });
  EXPECT_EQ(saidAtStart, 1u);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, kNoSound);
  EXPECT_EQ(presenter.shown[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(presenter.shown[0].caption, "Orvane");
  const std::vector<fs::path> files = Pictures();
  ASSERT_EQ(files.size(), 1u);
  const ::orvane::testing::ProbedFile probed = ::orvane::testing::ProbeMediaFile(files[0]);
  ASSERT_TRUE(probed.opened);
  EXPECT_NE(probed.Find("wmv2"), nullptr);
  EXPECT_EQ(probed.Find("wmav2"), nullptr);
}

TEST_F(RecordingTest, CancelBeforeStartLeavesNoFileAndNothingInTheStrip) {
  StartStation("");
  Record([](CCVideoToFile& dialog) {
    dialog.Button(Control::kCancel)->click();
    return true;
  });
  EXPECT_TRUE(Pictures().empty());
  EXPECT_TRUE(window->Thumbnails()[0]->GetPath().empty());
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(RecordingTest, ARecorderThatCannotStartIsSaidAndStartStaysAvailable) {
  CVideoController::Factories factories;
  factories.recorder = [] { return std::unique_ptr<CVideoRecorder>(); };
  StartStation("", &factories);
  bool startAgain = false;
  Record([&](CCVideoToFile& dialog) {
    dialog.Button(Control::kStart)->click();
    startAgain = dialog.Button(Control::kStart)->isEnabled() && !dialog.IsRecording();
    dialog.Button(Control::kCancel)->click();
    return true;
  });
  EXPECT_TRUE(startAgain);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "无法开始录像，请检查存储文件夹和视频设备");
  EXPECT_TRUE(Pictures().empty());
}

TEST_F(RecordingTest, ClosingTheStationFinishesARunningRecording) {
  StartStation("");
  std::chrono::steady_clock::time_point started;
  Record([&](CCVideoToFile& dialog) {
    if (!dialog.IsRecording()) {
      dialog.Button(Control::kStart)->click();
      started = std::chrono::steady_clock::now();
      return false;
    }
    if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(500)) return false;
    // As SIGTERM does.
    window->close();
    return true;
  });
  ASSERT_TRUE(WaitFor([&] { return !window->isVisible(); }));
  const std::vector<fs::path> files = Pictures();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(::orvane::testing::ProbeMediaFile(files[0]).opened);
  EXPECT_EQ(Setting("IMAGE", "INDEX"), "1");
}

TEST(SoundSettingsTest, TheDesktopsPanelOpensOrTheUserIsTold) {
  EnsureApplication();
  ::orvane::testing::TempFolder folder;
  const fs::path said = folder / "said";
  {
    std::ofstream script(folder / "gnome-control-center");
    script << "#!/bin/sh\necho \"$@\" > '" << said.string() << "'\n";
  }
  fs::permissions(folder / "gnome-control-center", fs::perms::owner_all);
  ScriptedPresenter presenter;
  CCVideoToFile dialog(nullptr, 640, 480, 2, presenter);
  {
    ::orvane::testing::ScopedEnvironment path("PATH", folder.path().string());
    dialog.Button(Control::kSoundSettings)->click();
    ASSERT_TRUE(WaitFor([&] { return fs::exists(said) && fs::file_size(said) > 0; }));
    std::ifstream in(said);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "sound");
    EXPECT_TRUE(presenter.shown.empty());
  }
  ::orvane::testing::ScopedEnvironment empty("PATH", (folder / "none").string());
  dialog.Button(Control::kSoundSettings)->click();
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "No sound settings program was found (pavucontrol, GNOME or KDE sound settings)");
}

}  // namespace
}  // namespace orvane::ui::testing
