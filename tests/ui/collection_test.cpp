#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include <tiffio.h>

#include <fstream>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pdf_reader.h"
#include "platform/file_io.h"
#include "file_calls.h"
#include "station_fixture.h"
#include "ui/multi_page_dialog.h"
#include "ui/show_image_dialog.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;

constexpr const char* kPdfInProgress = "正在把图像合并为多页PDF文件";
constexpr const char* kTiffInProgress = "正在把图像合并为多页TIF文件";
constexpr const char* kMergeInProgress = "正在进行图像合并";

class CollectionTest : public StationTest {
 protected:
  // Numbered names "IMG00000", ... unless `naming` says otherwise; `more` is added to Sys.ini.
  void StartStation(const std::string& more = {}, const std::string& naming = "0", const fs::path& scene = {}) {
    camera_ = std::make_unique<VirtualCamera>(SmallCamera(), scene);
    backend->Add(camera_->Camera());
    WriteSettings("[FILE]\nTypeofImageName=" + naming + "\nPREFIX=IMG\n" + more);
    ASSERT_EQ(Start(), StartUp::kRunning);
    ASSERT_TRUE(WaitForPicture());
  }
  QCheckBox& Box(ControlId id) const { return *static_cast<QCheckBox*>(window->Control(id)); }
  void Click(ControlId id) const { static_cast<QAbstractButton*>(window->Control(id))->click(); }
  // Which of 1035, 1036, 1037 are ticked, as "1035", "1036", "1037" or "".
  std::string TickedBoxes() const {
    std::string ticked;
    for (ControlId id : {ControlId::TwoInOne, ControlId::OnePdf, ControlId::MultipageTiff})
      if (Box(id).isChecked()) ticked += std::to_string(static_cast<int>(id));
    return ticked;
  }
  std::vector<std::string> Shown() const {
    std::vector<std::string> texts;
    for (const auto& shown : presenter.shown) texts.push_back(shown.text);
    return texts;
  }
  fs::path StorageFolder() const { return window->GetSysParam().currentStorageFolder; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const fs::path& file : Pictures()) names.push_back(file.filename().string());
    return names;
  }
  // The messages the dialogs post, handled as the program's loop would.
  static void Settle() { WaitFor([] { return false; }, std::chrono::milliseconds(50)); }

  std::unique_ptr<VirtualCamera> camera_;
};

// ---- The three boxes ----

struct BoxCase {
  const char* name;
  ControlId first;     // ticked first (ControlId::Preview: none)
  bool capture;        // and a capture made, which opens its window
  ControlId click;
  const char* ticked;  // afterwards
  const char* shown;   // the message, or nullptr
};

class BoxTest : public CollectionTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(BoxTest, ABoxIsRefusedWhileAnotherBoxsWindowCollects) {
  const BoxCase& c = GetParam();
  StartStation();
  if (c.first != ControlId::Preview) Click(c.first);
  if (c.capture) window->OnCommand(ControlId::Capture);
  Click(c.click);
  EXPECT_EQ(TickedBoxes(), c.ticked);
  EXPECT_EQ(Shown(), c.shown ? std::vector<std::string>{c.shown} : std::vector<std::string>{});
  const CSysParam settings = window->GetSysParam();
  const std::string ticked = c.ticked;
  EXPECT_EQ(settings.merge, ticked == "1035");
  EXPECT_EQ(settings.multipageKind, ticked == "1036" ? 2 : ticked == "1037" ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, BoxTest,
    ::testing::Values(
        BoxCase{"OnePdfAlone", ControlId::Preview, false, ControlId::OnePdf, "1036", nullptr},
        BoxCase{"OnePdfWhileMerging", ControlId::TwoInOne, true, ControlId::OnePdf, "1035", kMergeInProgress},
        BoxCase{"OnePdfAfterAnIdleTwoInOne", ControlId::TwoInOne, false, ControlId::OnePdf, "1036", nullptr},
        BoxCase{"TiffWhileMerging", ControlId::TwoInOne, true, ControlId::MultipageTiff, "1035", kMergeInProgress},
        BoxCase{"TwoInOneWhileCollectingPdf", ControlId::OnePdf, true, ControlId::TwoInOne, "1036", kPdfInProgress},
        BoxCase{"TwoInOneWhileCollectingTiff", ControlId::MultipageTiff, true, ControlId::TwoInOne, "1037",
                kTiffInProgress},
        BoxCase{"TiffWhileCollectingPdf", ControlId::OnePdf, true, ControlId::MultipageTiff, "1036", kPdfInProgress},
        BoxCase{"OnePdfWhileCollectingTiff", ControlId::MultipageTiff, true, ControlId::OnePdf, "1037",
                kTiffInProgress},
        BoxCase{"TwoInOneAfterAnIdleTiff", ControlId::MultipageTiff, false, ControlId::TwoInOne, "1035", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CollectionTest, StartUpTicksTheBoxesTheSettingsKeep) {
  const struct {
    const char* settings;
    const char* ticked;
    const char* kept;  // PDFORTIF as the station leaves it
  } cases[] = {
      {"[IMAGE]\nPDFORTIF=1\n", "1037", "1"},
      {"[IMAGE]\nPDFORTIF=2\n", "1036", "2"},
      {"[IMAGE]\nPDFORTIF=2\n[OTHER]\nMERGE=TRUE\n", "1035", "0"},
  };
  for (const auto& c : cases) {
    window.reset();
    backend = std::make_shared<platform::SimulatedV4l2Backend>();
    StartStation(c.settings);
    EXPECT_EQ(TickedBoxes(), c.ticked) << c.settings;
    window->close();
    EXPECT_EQ(Setting("IMAGE", "PDFORTIF"), c.kept) << c.settings;
  }
}

// ---- The multipage composer ----

TEST_F(CollectionTest, OnePdfCollectsThreeCapturesAndCombinesThemIntoOnePdf) {
  StartStation("[OTHER]\nSRC=FALSE\n");
  Click(ControlId::OnePdf);
  for (int i = 0; i < 3; ++i) window->OnCommand(ControlId::Capture);
  CMultiPageDlg* composer = window->Composer();
  ASSERT_NE(composer, nullptr);
  EXPECT_TRUE(composer->isVisible());
  ASSERT_EQ(composer->Pages().size(), 3u);
  // The strip shows the file to come, with its first page as its picture, and nothing else.
  const fs::path pdf = StorageFolder() / "IMG00000.pdf";
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), pdf);
  EXPECT_TRUE(window->Thumbnails()[0]->HasPicture());
  EXPECT_TRUE(window->Thumbnails()[1]->GetPath().empty());
  EXPECT_EQ(window->GetSysParam().runningIndex, 3);

  const std::vector<fs::path> pages = composer->Pages();
  composer->Button(CMultiPageDlg::Control::kCombine)->click();
  Settle();
  EXPECT_EQ(window->Composer(), nullptr);
  // 1600 x 1200 pixels at the camera's 130 DPI: pages of 886 x 665 points.
  EXPECT_EQ(ReadPdf(pdf), (std::vector<PdfPage>(3, PdfPage{886, 665, 130, 130})));
  for (const fs::path& page : pages) EXPECT_FALSE(fs::exists(page)) << page;
  EXPECT_EQ(Names(), std::vector<std::string>{"IMG00000.pdf"});
}

TEST_F(CollectionTest, MultipageTiffOfGreyAndBlackAndWhiteCapturesHasGreyJpegPages) {
  StartStation();
  Click(ControlId::MultipageTiff);
  Click(ControlId::Grey);
  window->OnCommand(ControlId::Capture);
  Click(ControlId::BlackAndWhite);
  window->OnCommand(ControlId::Capture);
  ASSERT_NE(window->Composer(), nullptr);
  window->Composer()->Button(CMultiPageDlg::Control::kCombine)->click();
  Settle();
  const fs::path tif = StorageFolder() / "IMG00000.tif";
  TIFF* tiff = TIFFOpen(tif.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  int directories = 0;
  do {
    std::uint16_t compression = 0, samples = 0;
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    EXPECT_EQ(compression, COMPRESSION_JPEG);
    EXPECT_EQ(samples, 1);
    float xDpi = 0, yDpi = 0;
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xDpi);
    TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &yDpi);
    EXPECT_EQ(std::pair(xDpi, yDpi), std::pair(130.f, 130.f)) << "the DPI the pages were captured at";
    ++directories;
  } while (TIFFReadDirectory(tiff));
  TIFFClose(tiff);
  EXPECT_EQ(directories, 2);
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), tif);
}

TEST_F(CollectionTest, UntickingWhilePagesAreCollectedAsksBeforeTheyAreDropped) {
  StartStation("[OTHER]\nSRC=FALSE\n");
  Click(ControlId::OnePdf);
  window->OnCommand(ControlId::Capture);
  window->OnCommand(ControlId::Capture);
  const std::vector<fs::path> pages = window->Composer()->Pages();
  const std::string question = "已收集的2页还没有合并，要放弃这些页面吗？这些页面的文件将被删除。";

  presenter.answers = {MessageAnswer::kNo};
  Click(ControlId::OnePdf);
  EXPECT_EQ(Shown(), std::vector<std::string>{question});
  EXPECT_EQ(TickedBoxes(), "1036");
  ASSERT_NE(window->Composer(), nullptr);
  EXPECT_EQ(window->Composer()->Pages(), pages);
  EXPECT_EQ(window->GetSysParam().multipageKind, 2);

  presenter.answers = {MessageAnswer::kYes};
  Click(ControlId::OnePdf);
  EXPECT_EQ(TickedBoxes(), "");
  EXPECT_EQ(window->Composer(), nullptr);
  for (const fs::path& page : pages) EXPECT_FALSE(fs::exists(page));
  // No file will come of them: the strip no longer promises one.
  EXPECT_TRUE(window->Thumbnails()[0]->GetPath().empty());
  EXPECT_EQ(window->GetSysParam().multipageKind, 0);
}

// Closing asks about collected pages as unticking their box does; "no" keeps the station open.
TEST_F(CollectionTest, ClosingTheStationWithPagesCollectedAsksAsUntickingDoes) {
  StartStation("[OTHER]\nSRC=FALSE\n");
  Click(ControlId::MultipageTiff);
  window->OnCommand(ControlId::Capture);
  const std::vector<fs::path> pages = window->Composer()->Pages();
  ASSERT_EQ(pages.size(), 1u);
  const std::string question = "已收集的1页还没有合并，要放弃这些页面吗？这些页面的文件将被删除。";

  presenter.answers = {MessageAnswer::kNo};
  window->close();
  EXPECT_EQ(Shown(), std::vector<std::string>{question});
  EXPECT_TRUE(window->isVisible());
  ASSERT_NE(window->Composer(), nullptr);
  EXPECT_EQ(window->Composer()->Pages(), pages);
  EXPECT_TRUE(fs::exists(pages[0]));

  presenter.answers = {MessageAnswer::kYes};
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(fs::exists(pages[0]));
  EXPECT_EQ(window->Cameras().document, nullptr);
}

// Nobody can be asked on SIGTERM: the pages stay, and the next start offers them back.
TEST_F(CollectionTest, ClosingOnASignalKeepsThePagesAndTheNextStartOffersThemBack) {
  StartStation("[OTHER]\nSRC=FALSE\n");
  Click(ControlId::OnePdf);
  window->OnCommand(ControlId::Capture);
  window->OnCommand(ControlId::Capture);
  const std::vector<fs::path> pages = window->Composer()->Pages();
  ASSERT_EQ(pages.size(), 2u);
  window->CloseOnSignal();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(presenter.shown.empty());
  for (const fs::path& page : pages) EXPECT_TRUE(fs::exists(page)) << page;

  window.reset();
  presenter.answers = {MessageAnswer::kYes};
  ASSERT_EQ(Start(), StartUp::kRunning);
  ASSERT_TRUE(WaitFor([&] { return window->Composer() != nullptr; }));
  EXPECT_EQ(Shown(), std::vector<std::string>{"上次关闭程序时，已收集的2页还没有合并，它们保存在：" +
                                              pages[0].parent_path().string() + "\n要重新打开这些页面吗？"});
  EXPECT_EQ(window->Composer()->Pages(), pages);
  EXPECT_EQ(TickedBoxes(), "1036");

  // Offered once: a start after it asks nothing.
  presenter.answers = {MessageAnswer::kYes};
  window->Composer()->Button(CMultiPageDlg::Control::kCombine)->click();
  Settle();
  window->close();
  window.reset();
  presenter.shown.clear();
  ASSERT_EQ(Start(), StartUp::kRunning);
  Settle();
  EXPECT_TRUE(presenter.shown.empty());
}

// ---- The merge dialog ----

TEST_F(CollectionTest, TwoInOneMergesTwoCapturesIntoThePictureTheStripThenShows) {
  StartStation();
  Click(ControlId::TwoInOne);
  window->OnCommand(ControlId::Capture);
  window->OnCommand(ControlId::Capture);
  CShowImageDlg* dialog = window->MergeDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->Slot(0).GetPath().empty());
  EXPECT_FALSE(dialog->Slot(1).GetPath().empty());
  for (const auto& thumbnail : window->Thumbnails()) EXPECT_TRUE(thumbnail->GetPath().empty());

  dialog->Button(CShowImageDlg::Control::kOk)->click();
  Settle();
  EXPECT_EQ(window->MergeDialog(), nullptr);
  const fs::path merged = StorageFolder() / "IMG00000.jpg";
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), merged);
  EXPECT_EQ(cv::imread(merged.string()).size(), cv::Size(1600, 2400));
  // The pictures merged are kept by default.
  EXPECT_EQ(Pictures().size(), 3u);
}

TEST_F(CollectionTest, AFileNamedByABarcodeNeverReplacesTheOneBeforeIt) {
  const struct {
    ControlId box;
    int captures;
    const char* taken;
    const char* written;
  } cases[] = {
      {ControlId::OnePdf, 1, "ORVANE-DOC-0387.pdf", "ORVANE-DOC-0387-2.pdf"},
      {ControlId::TwoInOne, 2, "ORVANE-DOC-0387.jpg", "ORVANE-DOC-0387-2.jpg"},
  };
  for (const auto& c : cases) {
    window.reset();
    backend = std::make_shared<platform::SimulatedV4l2Backend>();
    StartStation("[OTHER]\nRECOGNIZE=TRUE\n");
    Click(c.box);
    ASSERT_TRUE(platform::WriteFile(StorageFolder() / c.taken, "earlier", platform::FilePlacement::NewFile()));
    for (int i = 0; i < c.captures; ++i) window->OnCommand(ControlId::Capture);
    if (c.box == ControlId::OnePdf) {
      ASSERT_NE(window->Composer(), nullptr);
      window->Composer()->Button(CMultiPageDlg::Control::kCombine)->click();
    } else {
      ASSERT_NE(window->MergeDialog(), nullptr);
      window->MergeDialog()->Button(CShowImageDlg::Control::kOk)->click();
    }
    Settle();
    EXPECT_EQ(platform::ReadWholeFile(StorageFolder() / c.taken), "earlier") << c.taken;
    EXPECT_TRUE(fs::exists(StorageFolder() / c.written)) << c.written;
    EXPECT_EQ(window->Thumbnails()[0]->GetPath(), StorageFolder() / c.written);
    EXPECT_TRUE(presenter.shown.empty());
  }
}

// ---- Capture to PDF and copy ----

TEST_F(CollectionTest, CaptureToPdfKeepsThePdfAloneAndTheFormatChosen) {
  StartStation("[IMAGE]\nIMG_FORMAT=3\n");
  window->OnCommand(ControlId::CaptureToPdfKey);
  EXPECT_EQ(Names(), std::vector<std::string>{"IMG00000.pdf"});
  EXPECT_EQ(ReadPdf(StorageFolder() / "IMG00000.pdf"), (std::vector<PdfPage>{PdfPage{886, 665, 130, 130}}));
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), StorageFolder() / "IMG00000.pdf");
  EXPECT_TRUE(window->Thumbnails()[0]->HasPicture());
  EXPECT_EQ(window->GetSysParam().imageFormat, 3);
  EXPECT_EQ(window->GetSysParam().runningIndex, 1);
}

// The picture goes only once its PDF is on the disk under its name.
TEST_F(CollectionTest, CaptureToPdfRemovesThePictureOnlyAfterThePdfAndItsNameAreSynced) {
  StartStation("[IMAGE]\nIMG_FORMAT=3\n");
  std::vector<std::string> log;
  {
    const ::orvane::testing::FileCalls calls(StorageFolder());
    window->OnCommand(ControlId::CaptureToPdf);
    log = calls.Log();
  }
  ASSERT_EQ(Names(), std::vector<std::string>{"IMG00000.pdf"});
  const auto named = std::find(log.begin(), log.end(), "rename .temporary IMG00000.pdf");
  ASSERT_NE(named, log.end()) << ::testing::PrintToString(log);
  ASSERT_NE(named, log.begin());
  EXPECT_EQ(*(named - 1), "fsync .temporary");
  ASSERT_NE(named + 1, log.end());
  EXPECT_EQ(*(named + 1), "fsync .");
  const auto removed = std::find_if(log.begin(), log.end(), [](const std::string& call) { return call.rfind("remove IMG00000.", 0) == 0; });
  ASSERT_NE(removed, log.end()) << ::testing::PrintToString(log);
  EXPECT_GT(removed, named + 1) << ::testing::PrintToString(log);
}

TEST_F(CollectionTest, APdfThatCannotBeWrittenLeavesThePictureShownAndSaysSo) {
  StartStation({}, "2");
  // The user said yes to replacing "scan.pdf", which cannot be replaced.
  const fs::path pdf = StorageFolder() / "scan.pdf";
  ASSERT_TRUE(platform::WriteFile(pdf, "earlier", platform::FilePlacement::NewFile()));
  fs::permissions(pdf, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  presenter.freeNames = {std::string("scan")};
  presenter.confirmReplace = true;
  window->OnCommand(ControlId::CaptureToPdf);
  const fs::path picture = StorageFolder() / "scan.jpg";
  EXPECT_TRUE(fs::exists(picture));
  EXPECT_EQ(platform::ReadWholeFile(pdf), "earlier");
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), picture);
  EXPECT_EQ(Shown(), std::vector<std::string>{"无法生成PDF文件，图像已保留：" + picture.string()});
}

// Two white pages on a dark desk, each a document of its own.
fs::path TwoPageScene(const fs::path& folder) {
  cv::Mat desk(480, 640, CV_8UC3, cv::Scalar(40, 45, 50));
  cv::rectangle(desk, cv::Rect(40, 80, 240, 320), cv::Scalar::all(235), cv::FILLED);
  cv::rectangle(desk, cv::Rect(360, 80, 240, 320), cv::Scalar::all(235), cv::FILLED);
  fs::create_directories(folder);
  cv::imwrite((folder / "desk.png").string(), desk);
  return folder;
}

TEST_F(CollectionTest, CopyPrintsEveryPageAndKeepsNothing) {
  StartStation("[IMAGE]\nCUTPAGETYPE=1\nISMUTICUTPAGE=TRUE\n", "0", TwoPageScene(folder / "scene"));
  fs::create_directories(folder / "printed");
  presenter.printFolder = folder / "printed";
  window->OnCommand(ControlId::Copy);
  ASSERT_EQ(presenter.printJobs.size(), 2u);
  for (int job = 1; job <= 2; ++job) {
    EXPECT_EQ(ReadPdf(folder / "printed" / ("printed-" + std::to_string(job) + ".pdf")).size(), 1u) << job;
  }
  EXPECT_TRUE(Pictures().empty());
  EXPECT_TRUE(window->Thumbnails()[0]->GetPath().empty());
  EXPECT_EQ(window->GetSysParam().runningIndex, 0);
}

// Printed to a file, each page of a copy is offered a PDF of its own in the storage folder (the
// second after the first took its name), and lands there.
TEST_F(CollectionTest, CopyPrintedToFilesLandsInTheStorageFolder) {
  StartStation("[IMAGE]\nCUTPAGETYPE=1\nISMUTICUTPAGE=TRUE\n", "0", TwoPageScene(folder / "scene"));
  presenter.printToOfferedFile = true;
  window->OnCommand(ControlId::Copy);
  ASSERT_EQ(presenter.offeredFiles.size(), 2u);
  const fs::path first = presenter.offeredFiles[0];
  EXPECT_EQ(first.parent_path(), StorageFolder());
  EXPECT_EQ(first.extension(), ".pdf");
  EXPECT_EQ(presenter.offeredFiles[1], first.parent_path() / (first.stem().string() + "-2.pdf"));
  for (const fs::path& file : presenter.offeredFiles) EXPECT_EQ(ReadPdf(file).size(), 1u) << file;
  std::vector<fs::path> printed = presenter.offeredFiles;
  std::sort(printed.begin(), printed.end());
  EXPECT_EQ(Pictures(), printed) << "no picture of the copy is left";
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(CollectionTest, ACopyWhosePrintIsCancelledSaysSoUnderTheStationsCaption) {
  StartStation();
  window->OnCommand(ControlId::Copy);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "打印失败");
  EXPECT_EQ(presenter.shown[0].caption, "Orvane");
  EXPECT_TRUE(Pictures().empty());
}

}  // namespace
}  // namespace orvane::ui::testing
