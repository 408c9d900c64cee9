#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "imaging/synthetic_pages.h"
#include "platform/message_ids.h"
#include "station_fixture.h"
#include "ui/continuous_shoot_dialog.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;
using Control = CContinuousShootDlg::Control;

class ContinuousShootTest : public StationTest {
 protected:
  // Filming at 1600 x 1200 its scene, or the pictures of `folder` in turn. Its frames come as
  // JPEG: YUY2 frames of that size would be converted on OpenCV's thread pool, whose hand-overs
  // ThreadSanitizer cannot see.
  void StartStation(const fs::path& folder = {}, const std::string& other = {}) {
    camera_ = std::make_unique<VirtualCamera>(ConfiguredSizeCamera({{1600, 1200}}), folder);
    backend->Add(camera_->Camera());
    WriteSettings("[FILE]\nTypeofImageName=0\nPREFIX=IMG\n[OTHER]\nMJPGMODE=TRUE\n" + other);
    ASSERT_EQ(Start(), StartUp::kRunning);
    ASSERT_TRUE(WaitForPicture());
  }
  CContinuousShootDlg& Open() {
    window->OnCommand(ControlId::ContinuousShoot);
    CContinuousShootDlg* dialog = window->ContinuousShootDialog();
    EXPECT_NE(dialog, nullptr);
    return *dialog;
  }
  // Starts the timing mode with `interval` typed in; its clock is the test's.
  void StartTiming(CContinuousShootDlg& dialog, const char* interval) {
    static_cast<QRadioButton*>(dialog.Widget(Control::kTiming))->click();
    static_cast<QLineEdit*>(dialog.Widget(Control::kInterval))->setText(QString::fromUtf8(interval));
    dialog.SetTickPeriod(std::chrono::hours(1));
    Press(dialog, Control::kStart);
  }
  static void Press(CContinuousShootDlg& dialog, Control id) { static_cast<QPushButton*>(dialog.Widget(id))->click(); }
  // One tick of the clock, and the capture it asks the station for, if any.
  static void Tick(CContinuousShootDlg& dialog) {
    platform::Send(dialog.Target(), ids::kTimer, CContinuousShootDlg::kTickTimer);
    platform::DispatchPendingMessages();
  }
  int Captured() const { return static_cast<int>(Pictures().size()); }

  std::unique_ptr<VirtualCamera> camera_;
};

TEST_F(ContinuousShootTest, TheTimingModeCapturesOnTheTickTheIntervalRoundsUpTo) {
  StartStation();
  const struct {
    const char* interval;
    const char* firstStatus;
    std::vector<int> capturingTicks;
  } cases[] = {
      {"5.0", "5.0秒后拍摄下一张图像", {5}},
      {"2.5", "2.5秒后拍摄下一张图像", {3, 6}},
      {"0.5", "0.5秒后拍摄下一张图像", {1, 2, 3, 4, 5, 6}},
      // Any number: shorter than the clock's second, and longer than an hour.
      {"0.2", "0.2秒后拍摄下一张图像", {1, 2, 3, 4, 5, 6}},
      {"7200", "7200.0秒后拍摄下一张图像", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.interval);
    CContinuousShootDlg& dialog = Open();
    StartTiming(dialog, c.interval);
    EXPECT_EQ(dialog.StatusLabel().Text(), c.firstStatus);
    std::vector<int> capturing;
    for (int tick = 1; tick <= 6; ++tick) {
      const int before = Captured();
      Tick(dialog);
      if (Captured() > before) capturing.push_back(tick);
    }
    EXPECT_EQ(capturing, c.capturingTicks);
    // Stop tells the station, which closes the dialog.
    Press(dialog, Control::kStop);
    platform::DispatchPendingMessages();
    EXPECT_EQ(window->ContinuousShootDialog(), nullptr);
  }
  EXPECT_EQ(Captured(), 15);
  EXPECT_EQ(window->GetSysParam().runningIndex, 15);
}

TEST_F(ContinuousShootTest, PauseAndStartAgainKeepTheCount) {
  StartStation();
  CContinuousShootDlg& dialog = Open();
  StartTiming(dialog, "0.5");
  Tick(dialog);
  Press(dialog, Control::kPause);
  EXPECT_EQ(dialog.StatusLabel().Text(), "请单击开始连拍");
  EXPECT_TRUE(dialog.Widget(Control::kStart)->isEnabled());
  Tick(dialog);  // a paused clock does not tick
  EXPECT_EQ(Captured(), 1);
  Press(dialog, Control::kStart);
  Tick(dialog);
  EXPECT_EQ(Captured(), 2);
  EXPECT_EQ(dialog.CountLabel().Text(), "当前已经拍摄2张图像");
}

// With barcodes read, a page without one is told in a box that waits for the user.
TEST_F(ContinuousShootTest, TicksWhileAMessageIsOpenLeaveOneCaptureForAfterIt) {
  const fs::path scene = folder / "no code";
  fs::create_directories(scene);
  using namespace imaging::testing;
  cv::imwrite((scene / "page.png").string(),
              DeskWithSheets({SheetCorners({800, 600}, {760, 1000}, 6)}, cv::Size(1600, 1200)));
  StartStation(scene, "RECOGNIZE=TRUE\n");
  CContinuousShootDlg& dialog = Open();
  StartTiming(dialog, "0.5");
  presenter.whileOpen = [&] {
    for (int tick = 0; tick < 10; ++tick) Tick(dialog);
  };
  Tick(dialog);
  ASSERT_FALSE(presenter.shown.empty());
  EXPECT_FALSE(window->Busy());
  EXPECT_EQ(Captured(), 2);
  EXPECT_EQ(presenter.shown.size(), 2u);
}

// A dialog of its own in the timing mode, its clock the test's, its owner a target that counts
// the captures asked for.
class IntervalTest : public ::testing::Test {
 protected:
  IntervalTest() {
    EnsureApplication();
    owner_ = platform::CreateTarget([this](const platform::Message& message) {
      if (message.id == ids::kContinuousShoot && message.wParam == ids::kContinuousCaptureNow) ++captures_;
      return 0;
    });
  }
  ~IntervalTest() override {
    dialog_.reset();
    platform::DestroyTarget(owner_);
  }
  CContinuousShootDlg& StartWith(int language, float interval, const char* typed) {
    dialog_ = std::make_unique<CContinuousShootDlg>(owner_, interval, language, presenter_);
    dialog_->SetCamera(nullptr, true);
    dialog_->OnInitDialog();
    dialog_->SetTickPeriod(std::chrono::hours(1));
    static_cast<QLineEdit*>(dialog_->Widget(Control::kInterval))->setText(QString::fromUtf8(typed));
    static_cast<QPushButton*>(dialog_->Widget(Control::kStart))->click();
    return *dialog_;
  }
  // Ticks until the first capture asked for; 0 when none came in `most`.
  int TicksToCapture(int most) {
    for (int tick = 1; tick <= most; ++tick) {
      platform::Send(dialog_->Target(), ids::kTimer, CContinuousShootDlg::kTickTimer);
      platform::DispatchPendingMessages();
      if (captures_ > 0) return tick;
    }
    return 0;
  }

  ScriptedPresenter presenter_;
  platform::TargetHandle owner_;
  int captures_ = 0;
  std::unique_ptr<CContinuousShootDlg> dialog_;
};

TEST_F(IntervalTest, ZeroOrLessIsRefusedInTheUsersLanguageAndNothingStarts) {
  const struct {
    const char* typed;
    int language;
    const char* message;
  } cases[] = {
      {"0", 0, "拍摄间隔必须大于0秒"},
      {"-2.5", 1, "拍攝間隔必須大於0秒"},
      {"-0", 2, "The interval must be more than 0 seconds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    presenter_.shown.clear();
    CContinuousShootDlg& dialog = StartWith(c.language, 5.0f, c.typed);
    ASSERT_EQ(presenter_.shown.size(), 1u);
    EXPECT_EQ(presenter_.shown[0].text, c.message);
    EXPECT_EQ(presenter_.shown[0].icon, MessageIcon::kError);
    EXPECT_TRUE(dialog.Widget(Control::kStart)->isEnabled());
    EXPECT_FALSE(dialog.Widget(Control::kPause)->isEnabled());
    EXPECT_EQ(TicksToCapture(3), 0);
  }
}

// The interval handed over is cut to tenths: 2.57 runs as 2.5 seconds, capturing on the third tick.
TEST_F(IntervalTest, TextThatIsNoNumberIsSaidSoAndTheStartGoesOnWithThePreviousInterval) {
  const struct {
    const char* typed;
    int language;
    const char* message;
    const char* status;
  } cases[] = {
      {"five", 0, "请输入一个数字。", "2.5秒后拍摄下一张图像"},
      {"", 1, "請輸入一個數字。", "2.5秒后拍摄下一张图像"},
      {"nan", 2, "Please enter a number.", "Capture next pic in 2.5 seconds"},
      {"inf", 2, "Please enter a number.", "Capture next pic in 2.5 seconds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    presenter_.shown.clear();
    captures_ = 0;
    CContinuousShootDlg& dialog = StartWith(c.language, 2.57f, c.typed);
    ASSERT_EQ(presenter_.shown.size(), 1u);
    EXPECT_EQ(presenter_.shown[0].text, c.message);
    EXPECT_EQ(dialog.StatusLabel().Text(), c.status);
    EXPECT_EQ(static_cast<QLineEdit*>(dialog.Widget(Control::kInterval))->text().toStdString(), "2.5");
    EXPECT_FALSE(dialog.Widget(Control::kStart)->isEnabled());
    EXPECT_EQ(TicksToCapture(4), 3);
  }
}

TEST_F(ContinuousShootTest, TheButtonTwiceOpensOneDialogOverTheBottomOfThePicture) {
  StartStation();
  CContinuousShootDlg& dialog = Open();
  window->OnCommand(ControlId::ContinuousShoot);
  EXPECT_EQ(window->ContinuousShootDialog(), &dialog);
  int open = 0;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (dynamic_cast<CContinuousShootDlg*>(widget) != nullptr && widget->isVisible()) ++open;
  EXPECT_EQ(open, 1);

  const QRect area = window->Control(ControlId::Preview)->geometry();
  const QRect preview(window->mapToGlobal(area.topLeft()), area.size());
  const QRect placed = dialog.frameGeometry();
  EXPECT_EQ(placed.bottom(), preview.bottom());
  EXPECT_LE(std::abs(placed.center().x() - preview.center().x()), 1);
  // The document camera is watched for new pages from the start.
  EXPECT_TRUE(static_cast<QRadioButton*>(dialog.Widget(Control::kIntelligent))->isChecked());
}

TEST_F(ContinuousShootTest, ClosingTheStationEndsThePageWatchFirst) {
  StartStation();
  CContinuousShootDlg& dialog = Open();
  Press(dialog, Control::kStart);
  EXPECT_TRUE(dialog.IsWatching());
  EXPECT_EQ(dialog.StatusLabel().Text(), "检测文档图像");
  // Let it look at the camera once or twice before the camera goes.
  WaitFor([] { return false; }, std::chrono::milliseconds(1000));
  window->close();
  EXPECT_EQ(window->ContinuousShootDialog(), nullptr);
  EXPECT_EQ(window->Cameras().document, nullptr);
}

// The desk, page A laid down for four frames, the desk again, page B for four frames.
void WritePageSequence(const fs::path& folder) {
  using namespace imaging::testing;
  const cv::Size size(1600, 1200);
  const cv::Mat desk = TexturedDesk(size);
  const cv::Mat pageA = DeskWithSheets({SheetCorners({800, 600}, {760, 1000}, 6)}, size);
  const cv::Mat pageB = DeskWithSheets({SheetCorners({620, 640}, {1000, 700}, -12)}, size);
  const cv::Mat* sequence[] = {&desk, &pageA, &pageA, &pageA, &pageA, &desk, &pageB, &pageB, &pageB, &pageB};
  int index = 0;
  for (const cv::Mat* picture : sequence) {
    char name[16];
    std::snprintf(name, sizeof name, "%02d.png", index++);
    cv::imwrite((folder / name).string(), *picture);
  }
}

TEST_F(ContinuousShootTest, TheWatchCapturesEachNewPageOnceItLiesStill) {
  const fs::path sequence = folder / "sequence";
  fs::create_directories(sequence);
  WritePageSequence(sequence);
  StartStation(sequence);
  CContinuousShootDlg& dialog = Open();
  Press(dialog, Control::kStart);
  // The status lines in the order they came, each once however often it was repeated.
  std::vector<std::string> statuses;
  const auto seen = [&] {
    const std::string text = dialog.StatusLabel().Text();
    if (statuses.empty() || statuses.back() != text) statuses.push_back(text);
    // Until the second page has been taken and the sequence starts again with the desk.
    return dialog.Captures() == 2 && statuses.back() == "没有检测到新文档";
  };
  ASSERT_TRUE(WaitFor(seen, std::chrono::seconds(120)));
  Press(dialog, Control::kPause);
  platform::DispatchPendingMessages();
  EXPECT_EQ(Captured(), 2);
  if (statuses.size() > 1 && statuses[1] == "没有检测到新文档") statuses.erase(statuses.begin() + 1);
  EXPECT_EQ(statuses, (std::vector<std::string>{"检测文档图像", "检测到新文档，采集图像", "当前文档已扫描，请更换文档",
                                                "没有检测到新文档", "检测到新文档，采集图像",
                                                "当前文档已扫描，请更换文档", "没有检测到新文档"}));
}

}  // namespace
}  // namespace orvane::ui::testing
