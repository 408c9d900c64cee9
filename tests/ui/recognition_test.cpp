#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "app/oem_data.h"
#include "camera/display_core.h"
#include "camera/show_video.h"
#include "ocr/docx_reader.h"
#include "ocr/english_page.h"
#include "platform/file_io.h"
#include "platform/message_ids.h"
#include "station_fixture.h"
#include "ui/ocr_progress_dlg.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;
using orvane::testing::ReadDocx;

const fs::path kFixtures = ORVANE_RECOGNITION_FIXTURES;
const char* const kTemplate = "OCR_RLDA_LN_Gra.tpl";

// The lines of the fixture page's text.
std::vector<std::string> PageLines() {
  const std::string text = platform::ReadWholeFile(kFixtures / "page.txt").value_or("");
  const std::size_t split = text.find("\r\n");
  return {text.substr(0, split), text.substr(split + 2)};
}

class RecognitionTest : public StationTest {
 protected:
  void WithTemplate() { fs::copy_file(kFixtures / kTemplate, programFolder / kTemplate); }
  // `naming`: 0 numbered names, 2 a free name asked each time.
  void StartFilming(const char* picture, const std::string& settings, const char* naming = "0") {
    fs::create_directories(folder / "scene");
    fs::copy_file(kFixtures / picture, folder / "scene" / picture);
    camera_ = std::make_unique<VirtualCamera>(SmallCamera(), folder / "scene");
    backend->Add(camera_->Camera());
    WriteSettings(std::string("[FILE]\nTypeofImageName=") + naming + "\nPREFIX=IMG\n" + settings);
    ASSERT_EQ(Start(), StartUp::kRunning);
    ASSERT_TRUE(WaitForPicture());
  }
  std::unique_ptr<COCRProgressDlg> Dialog(int language, const cv::Mat& picture, bool english = false) {
    auto dialog = std::make_unique<COCRProgressDlg>(nullptr, language, english, presenter, programFolder);
    dialog->SetImage(picture);
    dialog->SetOutputPath(folder / "page.docx");
    return dialog;
  }
  static bool Ended(COCRProgressDlg& dialog) { return dialog.OkButton().isEnabled(); }
  // The recognition command, its window closed with OK once the run has ended; whether it ended.
  bool Recognise() {
    bool ended = false;
    QTimer::singleShot(0, window.get(), [&] {
      auto* dialog = window->findChild<COCRProgressDlg*>();
      if (dialog == nullptr) return;
      ended = WaitFor([&] { return Ended(*dialog); }, std::chrono::seconds(120));
      dialog->OkButton().click();
    });
    window->OnCommand(ControlId::Recognise);
    return ended;
  }
  int Rotation() const {
    return static_cast<CShowVideoThread*>(window->Cameras().document->Display())->Core().Rotation();
  }

  std::unique_ptr<VirtualCamera> camera_;
};

TEST_F(RecognitionTest, APageIsReadIntoABoldDocumentThatIsOpenedAtTheEnd) {
  WithTemplate();
  auto dialog = Dialog(2, cv::imread((kFixtures / "page.png").string()));
  dialog->show();
  ASSERT_TRUE(WaitFor([&] { return Ended(*dialog); }, std::chrono::seconds(60)));
  EXPECT_EQ(dialog->Status().text().toStdString(), "OCR is completed");
  EXPECT_EQ(dialog->Progress().value(), 100);
  EXPECT_FALSE(dialog->StopButton().isEnabled());
  EXPECT_EQ(dialog->GetResult(), 2);
  EXPECT_EQ(dialog->GetOutputPath(), folder / "page.docx");
  const auto document = ReadDocx(folder / "page.docx");
  EXPECT_EQ(document.paragraphs, PageLines());
  EXPECT_TRUE(document.allBold);
  EXPECT_EQ(presenter.opened, std::vector<std::string>{(folder / "page.docx").string()});
  dialog->OkButton().click();
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(RecognitionTest, ARunThatCannotStartSaysWhyAtOnceAndWritesNothing) {
  const struct {
    bool withTemplate;
    int language;
    bool picture;
    const char* status;
  } cases[] = {
      {true, 2, false, "No images for OCR"},
      {false, 2, true, "OCR library files are missing"},
      {false, 1, true, "OCR 庫文件丟失"},
      {false, 0, true, "OCR 库文件丢失"},
  };
  for (const auto& c : cases) {
    std::error_code ignored;
    fs::remove(programFolder / kTemplate, ignored);
    if (c.withTemplate) WithTemplate();
    auto dialog = Dialog(c.language, c.picture ? cv::imread((kFixtures / "page.png").string()) : cv::Mat());
    if (c.language == 1) dialog->SetImage(cv::Mat());  // Traditional Chinese never reads
    dialog->show();
    if (c.language == 1) {
      // Recognition is not offered in Traditional Chinese: the notice, and only Stop ends it.
      EXPECT_EQ(dialog->Status().text().toStdString(), "目前版本不支持文本識別功能");
      EXPECT_FALSE(dialog->WorkerRunning());
      EXPECT_FALSE(dialog->OkButton().isEnabled());
      EXPECT_EQ(dialog->StopButton().text().toStdString(), "停止");
      dialog->StopButton().click();
      EXPECT_EQ(dialog->GetResult(), 3);
      continue;
    }
    ASSERT_TRUE(WaitFor([&] { return Ended(*dialog); })) << c.status;
    EXPECT_EQ(dialog->Status().text().toStdString(), c.status);
    EXPECT_FALSE(dialog->StopButton().isEnabled());
    EXPECT_NE(dialog->GetResult(), 2);
    EXPECT_FALSE(fs::exists(folder / "page.docx"));
    EXPECT_TRUE(presenter.opened.empty());
  }
}

// Stop while the template loads and while the lines are read: the run stops, nothing is written,
// and the window waits for its worker before it goes.
TEST_F(RecognitionTest, StopEndsTheRunWithoutAFileAndTheWorkerIsJoined) {
  WithTemplate();
  cv::Mat page = cv::imread((kFixtures / "page.png").string());
  cv::Mat tall;
  cv::vconcat(std::vector<cv::Mat>(8, page), tall);  // sixteen lines: the run takes a while
  for (bool duringRecognition : {false, true}) {
    auto dialog = Dialog(0, tall);
    dialog->show();
    ASSERT_TRUE(dialog->WorkerRunning());
    if (duringRecognition) {
      ASSERT_TRUE(WaitFor([&] { return dialog->Progress().value() >= 5; }, std::chrono::seconds(60)));
      ASSERT_FALSE(Ended(*dialog));
    }
    dialog->StopButton().click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->WorkerRunning());
    EXPECT_EQ(dialog->GetResult(), 3) << duringRecognition;
    EXPECT_FALSE(fs::exists(folder / "page.docx")) << duringRecognition;
    // The run's last word, handled after the window closed, reports the stop.
    ASSERT_TRUE(WaitFor([&] { return Ended(*dialog); }));
    EXPECT_EQ(dialog->Status().text().toStdString(), "OCR 失败或者被停止");
  }
  EXPECT_TRUE(presenter.opened.empty());
}

// English: Tesseract is told of the stop between words, so the window is not held for the page.
TEST_F(RecognitionTest, StopEndsAnEnglishRunWithoutAFile) {
  auto dialog = Dialog(2, orvane::testing::LongEnglishPage(60), true);
  dialog->show();
  ASSERT_TRUE(WaitFor([&] { return dialog->Progress().value() >= 30; }, std::chrono::seconds(60)));
  ASSERT_FALSE(Ended(*dialog));
  dialog->StopButton().click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_FALSE(dialog->WorkerRunning());
  EXPECT_EQ(dialog->GetResult(), 3);
  EXPECT_FALSE(fs::exists(folder / "page.docx")) << "the page read to its end was written all the same";
  EXPECT_TRUE(presenter.opened.empty());
}

// The words of an English page, as Tesseract reads them, in the document's paragraphs.
bool HoldsWords(const orvane::testing::DocxContent& document, const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& paragraph : document.paragraphs) text += paragraph + "\n";
  return std::all_of(words.begin(), words.end(), [&](const std::string& word) { return text.find(word) != std::string::npos; });
}

const std::vector<std::string> kEnglishWords = {"quick", "brown", "fox", "lazy", "dog"};
// Tesseract took over four minutes for these two lines on a machine whose every core was busy.
constexpr std::chrono::minutes kEnglishPatience(15);
cv::Mat EnglishLines() { return orvane::testing::EnglishPage({"The quick brown fox jumps", "over the lazy dog."}); }

TEST_F(RecognitionTest, AnEnglishPageIsReadIntoADocumentThatIsOpenedAtTheEnd) {
  auto dialog = Dialog(2, EnglishLines(), true);
  dialog->show();
  ASSERT_TRUE(WaitFor([&] { return Ended(*dialog); }, kEnglishPatience));
  EXPECT_EQ(dialog->Status().text().toStdString(), "OCR is completed");
  EXPECT_EQ(dialog->Progress().value(), 100);
  EXPECT_FALSE(dialog->StopButton().isEnabled());
  EXPECT_EQ(dialog->GetResult(), 2);
  EXPECT_EQ(dialog->GetOutputPath(), folder / "page.docx");
  EXPECT_TRUE(HoldsWords(ReadDocx(folder / "page.docx"), kEnglishWords));
  EXPECT_EQ(presenter.opened, std::vector<std::string>{(folder / "page.docx").string()});
  EXPECT_TRUE(presenter.shown.empty());
}

// Closed once Tesseract has given its text: the window waits while the document is written, and
// the run counts as completed.
TEST_F(RecognitionTest, ClosingAnEnglishRunOnceItsTextIsReadWaitsForTheDocument) {
  auto dialog = Dialog(2, EnglishLines(), true);
  bool closedAtTheText = false;
  QObject::connect(&dialog->Progress(), &QProgressBar::valueChanged, dialog.get(), [&](int value) {
    if (value != 100 || closedAtTheText) return;
    closedAtTheText = !Ended(*dialog);
    dialog->close();
  });
  dialog->show();
  ASSERT_TRUE(WaitFor([&] { return !dialog->isVisible(); }, kEnglishPatience));
  EXPECT_TRUE(closedAtTheText);
  EXPECT_FALSE(dialog->WorkerRunning());
  EXPECT_EQ(dialog->GetResult(), 2);
  EXPECT_TRUE(HoldsWords(ReadDocx(folder / "page.docx"), kEnglishWords));
}

// The document is there, but the desktop has no program for it: the user is told where it is.
TEST_F(RecognitionTest, ADocumentNoProgramOpensIsSaidWithItsPlace) {
  WithTemplate();
  // The station reads its branding at start-up, long before it opens this window.
  ASSERT_NE(COemData::Instance().Load(programFolder / "data.dat"), -1);
  presenter.openFails = true;
  auto dialog = Dialog(2, cv::imread((kFixtures / "page.png").string()));
  dialog->show();
  ASSERT_TRUE(WaitFor([&] { return Ended(*dialog); }, std::chrono::seconds(60)));
  EXPECT_EQ(dialog->GetResult(), 2);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text,
            "No program is set up to open this file; please choose one for files of this kind: " +
                (folder / "page.docx").string());
  EXPECT_EQ(presenter.shown[0].caption, "Orvane");
}

TEST_F(RecognitionTest, TheCommandReadsTheCamerasPageIntoTheNextNameAndShowsTheDocument) {
  WithTemplate();
  StartFilming("page.png", "[IMAGE]\nINDEX=4\n");
  ASSERT_TRUE(Recognise());
  const std::vector<fs::path> files = Pictures();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename(), "IMG00004.docx");
  EXPECT_EQ(ReadDocx(files[0]).paragraphs, PageLines());
  EXPECT_EQ(window->Thumbnails()[0]->GetPath(), files[0]);
  EXPECT_EQ(window->Thumbnails()[0]->Picture(), ResourcePicture(kDocumentIcon));
  EXPECT_EQ(window->GetSysParam().runningIndex, 5);
  EXPECT_EQ(sounds.size(), 1u);
}

// The user said yes to replacing the free name's document: it is replaced, but never a read-only
// one, which keeps its bytes while the document takes the next name.
TEST_F(RecognitionTest, AFreeNamesDocumentIsReplacedWhenTheUserSaidSoButNeverAReadOnlyOne) {
  WithTemplate();
  StartFilming("page.png", "", "2");
  const fs::path storage = window->GetSysParam().currentStorageFolder;
  const struct {
    bool readOnly;
    const char* written;
  } cases[] = {{false, "page.docx"}, {true, "page-2.docx"}};
  for (std::size_t run = 0; run < std::size(cases); ++run) {
    const auto& c = cases[run];
    SCOPED_TRACE(c.readOnly);
    for (const fs::path& file : Pictures()) {
      fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
      fs::remove(file);
    }
    const fs::path earlier = storage / "page.docx";
    ASSERT_TRUE(platform::WriteFile(earlier, "earlier", platform::FilePlacement::NewFile()));
    if (c.readOnly) fs::permissions(earlier, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    presenter.freeNames = {std::string("page")};
    presenter.confirmReplace = true;
    ASSERT_TRUE(Recognise());
    const fs::path written = storage / c.written;
    EXPECT_EQ(ReadDocx(written).paragraphs, PageLines());
    EXPECT_EQ(window->Thumbnails()[run]->GetPath(), written);
    EXPECT_EQ(Pictures().size(), c.readOnly ? 2u : 1u) << "no temporary file left, nothing else written";
    if (c.readOnly) {
      EXPECT_EQ(platform::ReadWholeFile(earlier), "earlier");
    }
  }
}

TEST_F(RecognitionTest, TheOrientationCheckTurnsAPageLyingOnItsSideUpright) {
  WithTemplate();
  StartFilming("turned.png", "[IMAGE]\nDOCCHECK=TRUE\n");
  EXPECT_TRUE(window->OrientationRunning());
  ASSERT_TRUE(WaitFor([&] { return Rotation() == 270; }, std::chrono::seconds(90)));
  // Upright now: later detections leave it so.
  WaitFor([] { return false; }, std::chrono::milliseconds(1500));
  EXPECT_EQ(Rotation(), 270);
  EXPECT_TRUE(window->OrientationRunning());
  // Closing while the thread detects waits for it.
  window.reset();
}

// A busy machine shows a few more frames at the old rotation after a turn: the angles read from
// them arrive after the turn and must not turn the page again.
TEST_F(RecognitionTest, AnAngleReadBeforeTheLastTurnWasShownIsPassedOver) {
  StartFilming("turned.png", "");
  const auto angle = [&](int degrees, int shownAt) {
    platform::Message result;
    result.id = ids::kOrientationResult;
    result.wParam = ids::kOrientationAngle;
    result.lParam = degrees;
    result.payload = shownAt;
    platform::Post(window->Target(), std::move(result));
    platform::DispatchPendingMessages();
  };
  angle(90, 0);
  EXPECT_EQ(Rotation(), 270);
  angle(90, 0);  // from a frame shown before the turn
  EXPECT_EQ(Rotation(), 270);
  angle(180, 270);  // from one shown after it
  EXPECT_EQ(Rotation(), 90);
}

TEST_F(RecognitionTest, WithoutATemplateTheOrientationThreadEndsAndCanBeStartedAgain) {
  StartFilming("turned.png", "[IMAGE]\nDOCCHECK=TRUE\n");
  ASSERT_TRUE(WaitFor([&] { return !window->OrientationRunning(); }));
  EXPECT_EQ(Rotation(), 0);
  WithTemplate();
  window->StartOrientationThread();
  EXPECT_TRUE(window->OrientationRunning());
  ASSERT_TRUE(WaitFor([&] { return Rotation() == 270; }, std::chrono::seconds(90)));
}

}  // namespace
}  // namespace orvane::ui::testing
