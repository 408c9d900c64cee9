#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "imaging/image_file.h"
#include "pdf_reader.h"
#include "platform/file_io.h"
#include "platform/message_ids.h"
#include "station_fixture.h"
#include "ui/message_texts.h"
#include "ui/show_image_dialog.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;
using Control = CShowImageDlg::Control;

// A merge dialog over a red 100 x 80 and a blue 120 x 60 picture, its owner a target that counts
// 0x435.
class MergeDialogTest : public ::testing::Test {
 protected:
  MergeDialogTest() {
    EnsureApplication();
    owner_ = platform::CreateTarget([this](const platform::Message& message) {
      if (message.id == ids::kMergeDone) ++done_;
      return 0;
    });
    EXPECT_TRUE(imaging::SaveMatByExtension(red_, cv::Mat(80, 100, CV_8UC3, cv::Scalar(0, 0, 255))));
    EXPECT_TRUE(imaging::SaveMatByExtension(blue_, cv::Mat(60, 120, CV_8UC3, cv::Scalar(255, 0, 0))));
  }
  ~MergeDialogTest() override {
    dialog_.reset();
    platform::DestroyTarget(owner_);
  }
  // `before`, when given, is offered ahead of the two pictures.
  CShowImageDlg& Make(int colourMode, bool keepOriginals, const fs::path& output, int pictures = 2,
                      const fs::path& before = {}) {
    dialog_ = std::make_unique<CShowImageDlg>(
        1, owner_, [this](const fs::path& merged) { told_.push_back(merged); }, language_, presenter_);
    CSysParam settings;
    settings.colorMode = colourMode;
    settings.keepMergeSources = keepOriginals;
    dialog_->SetSettings(settings);
    dialog_->SetOutputPath(output);
    if (!before.empty()) dialog_->LoadPreview(before);
    dialog_->LoadPreview(red_);
    if (pictures > 1) dialog_->LoadPreview(blue_);
    dialog_->OnInitDialog();
    dialog_->show();
    return *dialog_;
  }
  void Press(Control id) { dialog_->Button(id)->click(); }

  ::orvane::testing::TempFolder folder_;
  const fs::path red_ = folder_ / "red.png";
  const fs::path blue_ = folder_ / "blue.png";
  ScriptedPresenter presenter_;
  platform::TargetHandle owner_;
  int language_ = 0;
  int done_ = 0;
  std::vector<fs::path> told_;
  std::unique_ptr<CShowImageDlg> dialog_;
};

TEST_F(MergeDialogTest, OkMergesThePairAsArrangedAndDeletesItOnlyThen) {
  const struct {
    const char* name;
    std::vector<Control> clicks;
    cv::Size size;
    cv::Point redAt, blueAt;
  } cases[] = {
      {"one above the other", {}, {120, 140}, {10, 10}, {10, 100}},
      {"side by side", {Control::kArrangement}, {220, 80}, {10, 10}, {150, 10}},
      {"swapped", {Control::kSwap}, {120, 140}, {10, 70}, {10, 10}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(imaging::SaveMatByExtension(red_, cv::Mat(80, 100, CV_8UC3, cv::Scalar(0, 0, 255)),
                                            platform::FilePlacement::Replacing()));
    ASSERT_TRUE(imaging::SaveMatByExtension(blue_, cv::Mat(60, 120, CV_8UC3, cv::Scalar(255, 0, 0)),
                                            platform::FilePlacement::Replacing()));
    told_.clear();
    Make(0, false, folder_ / c.name);
    for (Control click : c.clicks) Press(click);
    Press(Control::kOk);
    ASSERT_TRUE(dialog_->Finished()) << c.name;
    EXPECT_FALSE(dialog_->isVisible());
    const fs::path merged = folder_ / (std::string(c.name) + ".jpg");
    EXPECT_EQ(told_, std::vector<fs::path>{merged});
    const cv::Mat picture = cv::imread(merged.string());
    EXPECT_EQ(picture.size(), c.size) << c.name;
    if (picture.empty()) continue;
    const cv::Vec3b red = picture.at<cv::Vec3b>(c.redAt);
    const cv::Vec3b blue = picture.at<cv::Vec3b>(c.blueAt);
    EXPECT_GT(red[2], 200) << c.name;
    EXPECT_GT(blue[0], 200) << c.name;
    EXPECT_FALSE(fs::exists(red_) || fs::exists(blue_)) << c.name;
  }
  platform::DispatchPendingMessages();
  EXPECT_EQ(done_, 3);
}

TEST_F(MergeDialogTest, OnePictureIsNotAPair) {
  Make(0, false, folder_ / "merged", 1);
  for (Control button : {Control::kOk, Control::kPrint}) Press(button);
  ASSERT_EQ(presenter_.shown.size(), 2u);
  EXPECT_EQ(presenter_.shown[0].text, "需要2张图片才能合并");
  EXPECT_EQ(presenter_.shown[0].icon, MessageIcon::kWarning);
  EXPECT_FALSE(dialog_->Finished());
  EXPECT_TRUE(presenter_.printJobs.empty());
}

TEST_F(MergeDialogTest, TheHandShowsOverAPreviewOnly) {
  Make(0, false, folder_ / "merged");
  const IntRect first = dialog_->Slot(0).GetRect();
  const IntRect second = dialog_->Slot(1).GetRect();
  const struct {
    QPoint at;
    Qt::CursorShape cursor;
  } cases[] = {
      {{first.left + first.Width() / 2, first.top + first.Height() / 2}, Qt::PointingHandCursor},
      {{2, first.bottom + 3}, Qt::ArrowCursor},  // between the previews
      {{second.left + 5, second.bottom - 5}, Qt::PointingHandCursor},
      {{first.right + 3, first.top + 5}, Qt::ArrowCursor},
  };
  for (const auto& c : cases) {
    QTest::mouseMove(dialog_.get(), c.at);
    EXPECT_EQ(dialog_->cursor().shape(), c.cursor) << c.at.x() << ", " << c.at.y();
  }
}

// Opened from a preview's menu when the desktop has no program for it: said in the dialog's
// language, with the file.
TEST_F(MergeDialogTest, APictureNoProgramOpensIsSaidInTheDialogsLanguage) {
  language_ = 2;
  Make(0, false, folder_ / "merged");
  presenter_.openFails = true;
  const IntRect rect = dialog_->Slot(0).GetRect();
  QTest::mouseClick(dialog_.get(), Qt::RightButton, {}, QPoint(rect.left + 20, rect.top + 20));
  ASSERT_TRUE(WaitFor([this] { return dialog_->PreviewMenu()->isVisible(); }));
  dialog_->PreviewMenu()->actions()[0]->trigger();
  dialog_->PreviewMenu()->hide();
  ASSERT_EQ(presenter_.shown.size(), 1u);
  EXPECT_EQ(presenter_.shown[0].text,
            "No program is set up to open this file; please choose one for files of this kind: " +
                dialog_->Slot(0).GetPath().string());
  EXPECT_EQ(presenter_.shown[0].caption, StationCaption());
  EXPECT_TRUE(fs::exists(dialog_->Slot(0).GetPath()));
}

// A FIFO where a picture should be (another user's, in a shared folder) must not hold the window:
// it is refused at once and the next two pictures make the pair.
TEST_F(MergeDialogTest, AFifoAtAPicturesPathIsPassedOverWithoutWaiting) {
  const fs::path fifo = folder_ / "fifo.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> passed{false};
  std::atomic<bool> released{false};
  // Were the dialog to wait for a writer, this one lets it go on after a while: the test then
  // fails instead of hanging.
  std::thread writer([&] {
    for (int i = 0; i < 200 && !passed; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (passed) return;
    released = true;
    if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) ::close(fd);
  });
  Make(0, false, folder_ / "merged", 2, fifo);
  passed = true;
  writer.join();
  EXPECT_FALSE(released);
  Press(Control::kOk);
  EXPECT_TRUE(dialog_->Finished());
  EXPECT_TRUE(presenter_.shown.empty());
}

TEST_F(MergeDialogTest, AMergeThatCannotBeWrittenKeepsBothPicturesAndSaysSo) {
  std::ofstream(folder_ / "not-a-folder") << "x";
  Make(0, false, folder_ / "not-a-folder" / "merged");
  Press(Control::kOk);
  EXPECT_TRUE(fs::exists(red_) && fs::exists(blue_));
  EXPECT_FALSE(dialog_->Finished());
  EXPECT_TRUE(told_.empty());
  ASSERT_EQ(presenter_.shown.size(), 1u);
  EXPECT_EQ(presenter_.shown[0].text, "无法写入合并后的图像，两张原图都已保留");
}

TEST_F(MergeDialogTest, PrintPrintsThePairInColourAndTheMergeAfterItKeepsItsColourMode) {
  const fs::path previous = fs::current_path();
  fs::create_directories(folder_ / "work");
  fs::current_path(folder_ / "work");
  // A file of the user's in the working folder, and a temporary folder that must end as empty.
  std::ofstream(folder_ / "work" / "PTmp.jpg") << "mine";
  fs::create_directories(folder_ / "tmp");
  const ::orvane::testing::ScopedEnvironment temporary("TMPDIR", (folder_ / "tmp").string());
  presenter_.printFolder = folder_.path();
  Make(1, true, folder_ / "merged");
  Press(Control::kPrint);
  EXPECT_EQ(presenter_.printJobs.size(), 1u);
  EXPECT_EQ(ReadPdf(folder_ / "printed-1.pdf").size(), 1u);
  EXPECT_EQ(platform::ReadWholeFile(folder_ / "work" / "PTmp.jpg").value_or(""), "mine");
  EXPECT_TRUE(fs::is_empty(folder_ / "tmp"));
  EXPECT_TRUE(dialog_->isVisible());
  Press(Control::kOk);
  fs::current_path(previous);
  EXPECT_EQ(cv::imread((folder_ / "merged.jpg").string(), cv::IMREAD_UNCHANGED).channels(), 1);
  EXPECT_TRUE(fs::exists(red_) && fs::exists(blue_)) << "originals kept";
}

}  // namespace
}  // namespace orvane::ui::testing
