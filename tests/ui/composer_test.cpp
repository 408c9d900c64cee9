#include <QPushButton>
#include <QTest>

#include <tiffio.h>

#include <array>
#include <fstream>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "imaging/image_file.h"
#include "imaging/tiff_writer.h"
#include "platform/message_ids.h"
#include "station_fixture.h"
#include "ui/message_texts.h"
#include "ui/multi_page_dialog.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;
using Control = CMultiPageDlg::Control;

// A composer over page files made by the test, its owner a target that counts 0x431.
class ComposerTest : public ::testing::Test {
 protected:
  ComposerTest() {
    EnsureApplication();
    owner_ = platform::CreateTarget([this](const platform::Message& message) {
      if (message.id == ids::kMultiPageClosed) ++closed_;
      return 0;
    });
  }
  ~ComposerTest() override {
    composer_.reset();
    platform::DestroyTarget(owner_);
  }
  CMultiPageDlg& Make(int mode, bool keepOriginals = false, int language = 0) {
    composer_ = std::make_unique<CMultiPageDlg>(owner_, mode, language, presenter_);
    CSysParam settings;
    settings.keepMergeSources = keepOriginals;
    composer_->SetSettings(settings);
    composer_->SetOutputPath(folder_ / (mode == CMultiPageDlg::kPdf ? "book.pdf" : "book.tif"));
    composer_->OnInitDialog();
    composer_->show();
    return *composer_;
  }
  fs::path Page(const std::string& name, const cv::Mat& picture) {
    const fs::path path = folder_ / name;
    EXPECT_TRUE(imaging::SaveMatByExtension(path, picture));
    return path;
  }
  fs::path Pages(int count) {
    for (int i = 1; i <= count; ++i) composer_->AddPage(Page("p" + std::to_string(i) + ".png", cv::Mat(40, 30, CV_8UC3, cv::Scalar::all(i * 20))));
    return folder_ / "p1.png";
  }
  // The pages the slots show, by their numbers (1 for the first page), 0 for the placeholder.
  std::vector<int> Shown() const {
    std::vector<int> shown;
    for (int i = 0; i < CMultiPageDlg::kSlots; ++i) shown.push_back(composer_->SlotPage(i) + 1);
    return shown;
  }
  // The pages in order, by the number of their file ("p3.png" is 3).
  std::vector<int> Order() const {
    std::vector<int> order;
    for (const fs::path& page : composer_->Pages()) order.push_back(std::stoi(page.stem().string().substr(1)));
    return order;
  }
  void Press(Control id) { composer_->Button(id)->click(); }
  // A right click on slot `slot` opens its page menu.
  void RightClick(int slot) {
    const IntRect rect = composer_->Slot(slot).GetRect();
    QTest::mouseClick(composer_.get(), Qt::RightButton, {}, QPoint(rect.left + 20, rect.top + 20));
    ASSERT_TRUE(WaitFor([this] { return composer_->PageMenu()->isVisible(); }));
  }
  QAction* MenuEntry(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions())
      if (action->text() == text) return action;
    return nullptr;
  }

  ::orvane::testing::TempFolder folder_;
  ScriptedPresenter presenter_;
  platform::TargetHandle owner_;
  int closed_ = 0;
  std::unique_ptr<CMultiPageDlg> composer_;
};

TEST_F(ComposerTest, TheFourButtonsBrowseTenPagesFourAtATime) {
  Make(CMultiPageDlg::kPdf);
  Pages(10);
  EXPECT_EQ(Shown(), (std::vector<int>{7, 8, 9, 10}));
  const struct {
    Control button;
    std::vector<int> shown;
  } steps[] = {
      {Control::kNext, {7, 8, 9, 10}},          // the last page is shown already
      {Control::kPreviousGroup, {3, 4, 5, 6}},  //
      {Control::kPreviousGroup, {1, 2, 3, 4}},  // not below the first page
      {Control::kPrevious, {1, 2, 3, 4}},       //
      {Control::kNext, {2, 3, 4, 5}},           //
      {Control::kPrevious, {1, 2, 3, 4}},       //
      {Control::kNextGroup, {5, 6, 7, 8}},      //
      {Control::kNextGroup, {7, 8, 9, 10}},     // not past the last four
      {Control::kNextGroup, {7, 8, 9, 10}},     //
  };
  for (const auto& step : steps) {
    Press(step.button);
    EXPECT_EQ(Shown(), step.shown) << static_cast<int>(step.button);
  }
  // Each slot that shows a page draws its number.
  EXPECT_TRUE(composer_->Slot(0).HasPicture());
}

TEST_F(ComposerTest, ThreePagesFillThreeSlotsAndTheButtonsDoNothing) {
  Make(CMultiPageDlg::kPdf);
  const fs::path first = Pages(3);
  composer_->AddPage(first);  // the same file once only
  EXPECT_EQ(composer_->Pages().size(), 3u);
  for (Control button : {Control::kNext, Control::kNextGroup, Control::kPrevious, Control::kPreviousGroup}) {
    Press(button);
    EXPECT_EQ(Shown(), (std::vector<int>{1, 2, 3, 0}));
  }
  EXPECT_TRUE(composer_->Slot(3).HasPicture()) << "the placeholder";
  EXPECT_TRUE(composer_->Slot(3).GetPath().empty());
}

TEST_F(ComposerTest, ThePageMenuMovesAPageBeforeAnotherAndDeletesOne) {
  Make(CMultiPageDlg::kPdf);
  Pages(4);
  RightClick(1);  // page 2
  QMenu* insert = MenuEntry(*composer_->PageMenu(), QString::fromUtf8("插入"))->menu();
  ASSERT_NE(insert, nullptr);
  ASSERT_EQ(insert->actions().size(), 4);
  EXPECT_EQ(insert->actions()[0]->text(), QString::fromUtf8("1之前"));
  MenuEntry(*insert, QString::fromUtf8("4之前"))->trigger();
  composer_->PageMenu()->hide();
  EXPECT_EQ(Order(), (std::vector<int>{1, 3, 4, 2}));

  RightClick(2);  // page 3 of the new order: p4
  MenuEntry(*composer_->PageMenu(), QString::fromUtf8("删除"))->trigger();
  composer_->PageMenu()->hide();
  EXPECT_EQ(Order(), (std::vector<int>{1, 3, 2}));
  EXPECT_FALSE(fs::exists(folder_ / "p4.png"));
  EXPECT_EQ(Shown(), (std::vector<int>{1, 2, 3, 0}));
}

struct PageMenuTexts {
  int language;
  const char* remove;
  const char* move;
  const char* beforeTwo;
  const char* cannotOpen;
};

class ComposerLanguageTest : public ComposerTest, public ::testing::WithParamInterface<PageMenuTexts> {};

TEST_P(ComposerLanguageTest, ThePageMenuReadsInTheLanguage) {
  const PageMenuTexts& expected = GetParam();
  Make(CMultiPageDlg::kPdf, false, expected.language);
  Pages(2);
  RightClick(0);
  const QList<QAction*> entries = composer_->PageMenu()->actions();
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0]->text().toStdString(), expected.remove);
  EXPECT_EQ(entries[1]->text().toStdString(), expected.move);
  ASSERT_NE(entries[1]->menu(), nullptr);
  EXPECT_EQ(entries[1]->menu()->actions().back()->text().toStdString(), expected.beforeTwo);
  composer_->PageMenu()->hide();
}

// A page clicked open when the desktop has no program for it: said in the language, with the file.
TEST_P(ComposerLanguageTest, APageNoProgramOpensIsSaidInTheLanguage) {
  const PageMenuTexts& expected = GetParam();
  Make(CMultiPageDlg::kPdf, false, expected.language);
  Pages(2);
  presenter_.openFails = true;
  const IntRect rect = composer_->Slot(0).GetRect();
  QTest::mouseClick(composer_.get(), Qt::LeftButton, {}, QPoint(rect.left + 20, rect.top + 20));
  ASSERT_EQ(presenter_.shown.size(), 1u);
  EXPECT_EQ(presenter_.shown[0].text, expected.cannotOpen + composer_->Slot(0).GetPath().string());
  EXPECT_EQ(presenter_.shown[0].caption, StationCaption());
}

INSTANTIATE_TEST_SUITE_P(
    Languages, ComposerLanguageTest,
    ::testing::Values(PageMenuTexts{0, "删除", "插入", "2之前", "没有可以打开此文件的程序，请为这种文件指定一个打开程序："},
                      PageMenuTexts{1, "刪除", "插入", "2之前", "沒有可以開啟此檔案的程式，請為這種檔案指定一個開啟程式："},
                      PageMenuTexts{2, "Delete", "Move", "Before 2",
                                    "No program is set up to open this file; please choose one for files of this kind: "}),
    [](const ::testing::TestParamInfo<PageMenuTexts>& info) { return "Language" + std::to_string(info.param.language); });

// Compression, samples per pixel and bits per sample of every directory.
std::vector<std::array<int, 3>> TiffPages(const fs::path& path) {
  std::vector<std::array<int, 3>> pages;
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return pages;
  do {
    std::uint16_t compression = 0, samples = 0, bits = 0;
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    pages.push_back({compression, samples, bits});
  } while (TIFFReadDirectory(tiff));
  TIFFClose(tiff);
  return pages;
}

TEST_F(ComposerTest, TheTiffsPagesTakeTheirKindFromWhatThePagesHold) {
  cv::Mat colour(30, 40, CV_8UC3, cv::Scalar(30, 90, 200));
  cv::Mat grey(30, 40, CV_8UC1, cv::Scalar(128));
  cv::Mat ink(30, 40, CV_8UC1, cv::Scalar(255));
  ink(cv::Rect(5, 5, 10, 10)).setTo(0);
  const std::array<int, 3> colourJpeg{COMPRESSION_JPEG, 3, 8};
  const std::array<int, 3> greyJpeg{COMPRESSION_JPEG, 1, 8};
  const std::array<int, 3> group4{COMPRESSION_CCITTFAX4, 1, 1};
  const struct {
    const char* name;
    std::vector<std::string> kinds;
    std::array<int, 3> page;
  } cases[] = {
      {"any colour page", {"grey", "colour", "bw"}, colourJpeg},
      {"grey and black and white", {"bw", "grey"}, greyJpeg},
      {"black and white only", {"bw", "bw"}, group4},
  };
  for (const auto& c : cases) {
    Make(CMultiPageDlg::kTiff);
    int n = 0;
    for (const std::string& kind : c.kinds) {
      const std::string name = c.name + std::to_string(++n);
      if (kind == "colour") composer_->AddPage(Page(name + ".jpg", colour));
      if (kind == "grey") composer_->AddPage(Page(name + ".jpg", grey));
      if (kind == "bw") {
        // As a black-and-white capture saves it: a 1-bit TIFF.
        imaging::CBilevelTiff bilevel;
        bilevel.SetFileName(folder_ / (name + ".tif"));
        ASSERT_EQ(bilevel.AddPage(ink), 0);
        composer_->AddPage(folder_ / (name + ".tif"));
      }
    }
    Press(Control::kCombine);
    ASSERT_TRUE(composer_->Finished()) << c.name;
    const fs::path written = composer_->WrittenPath();
    EXPECT_EQ(TiffPages(written), (std::vector<std::array<int, 3>>(c.kinds.size(), c.page))) << c.name;
    fs::remove(written);
  }
}

TEST_F(ComposerTest, APdfThatCannotBeWrittenKeepsEveryPageAndTheComposer) {
  Make(CMultiPageDlg::kPdf);
  Pages(2);
  // A file in place of the folder: nothing can be written under it.
  std::ofstream(folder_ / "not-a-folder") << "x";
  composer_->SetOutputPath(folder_ / "not-a-folder" / "book.pdf");
  Press(Control::kCombine);
  EXPECT_FALSE(composer_->Finished());
  EXPECT_TRUE(composer_->isVisible());
  EXPECT_EQ(composer_->Pages().size(), 2u);
  EXPECT_TRUE(fs::exists(folder_ / "p1.png") && fs::exists(folder_ / "p2.png"));
  ASSERT_EQ(presenter_.shown.size(), 1u);
  EXPECT_NE(presenter_.shown[0].text.find("无法写入多页文件"), std::string::npos);
  EXPECT_EQ(presenter_.shown[0].icon, MessageIcon::kError);
  EXPECT_EQ(closed_, 0);
}

TEST_F(ComposerTest, CancelDropsThePagesAndKeepsTheirFilesOnlyWhenOriginalsAreKept) {
  for (const bool keep : {false, true}) {
    Make(CMultiPageDlg::kTiff, keep);
    const fs::path first = Pages(2);
    Press(Control::kCancel);
    EXPECT_TRUE(composer_->Finished());
    EXPECT_TRUE(composer_->WrittenPath().empty());
    EXPECT_EQ(fs::exists(first), keep);
    EXPECT_FALSE(fs::exists(folder_ / "book.tif"));
  }
  platform::DispatchPendingMessages();
  EXPECT_EQ(closed_, 2);
}

TEST_F(ComposerTest, AComposerDeletedWithoutCancelLeavesItsPages) {
  Make(CMultiPageDlg::kPdf);
  const fs::path first = Pages(2);
  composer_.reset();  // the program closing
  EXPECT_TRUE(fs::exists(first));
}

}  // namespace
}  // namespace orvane::ui::testing
