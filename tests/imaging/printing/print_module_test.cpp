#include "imaging/printing/print_module.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QPrinter>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "imaging/image_file.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;

TEST(PlacePicture, FitsOrKeepsThePicturesOwnSizeCentred) {
  struct Case {
    const char* name;
    QSize picture, page;
    bool fit;
    QSize printerDpi, pictureDpi;
    QRect expected;
  } cases[] = {
      {"fit, wide picture", {1000, 500}, {4000, 6000}, true, {600, 600}, {96, 96}, {0, 2000, 4000, 2000}},
      {"fit, tall picture", {500, 1000}, {4000, 6000}, true, {600, 600}, {96, 96}, {500, 0, 3000, 6000}},
      {"one to one at 600 dpi", {1000, 500}, {4000, 6000}, false, {600, 600}, {96, 96},
       {-1125, 1437, 6250, 3125}},
      {"one to one, own dpi pair", {300, 200}, {4000, 6000}, false, {600, 600}, {300, 200},
       {1700, 2700, 600, 600}},
      {"one to one without a dpi is fitted", {1000, 500}, {4000, 6000}, false, {600, 600}, {0, 96},
       {0, 2000, 4000, 2000}},
      {"empty picture", {0, 0}, {4000, 6000}, true, {600, 600}, {96, 96}, {}},
      {"empty page", {10, 10}, {0, 6000}, false, {600, 600}, {96, 96}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlacePicture(c.picture, c.page, c.fit, c.printerDpi, c.pictureDpi), c.expected) << c.name;
  }
}

class FakeChooser : public PrinterChooser {
 public:
  std::unique_ptr<QPrinter> ChoosePrinter(const std::string& documentName) override {
    asked.push_back(documentName);
    if (output.empty()) return nullptr;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(output.string()));
    printer->setCopyCount(copies);
    return printer;
  }
  void ShowPrintFailure(const std::string& text) override { failures.push_back(text); }

  fs::path output;  // empty: the user cancels
  int copies = 1;
  std::vector<std::string> asked;
  std::vector<std::string> failures;
};

class PrintJob : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "printing_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
  }
  void SetUp() override {
    previous_ = fs::current_path();
    fs::current_path(folder_.path());  // the job's log lands in the current folder
  }
  void TearDown() override { fs::current_path(previous_); }

  static int PageCount(const fs::path& pdf) {
    std::string text = platform::ReadWholeFile(pdf).value_or("");
    int pages = 0;
    for (std::size_t at = text.find("/Type /Page"); at != std::string::npos;
         at = text.find("/Type /Page", at + 1)) {
      if (text.compare(at, 12, "/Type /Pages") != 0) ++pages;
    }
    return pages;
  }

  testing::TempFolder folder_;
  fs::path previous_;
};

TEST_F(PrintJob, PrintsOnePagePerCopyAndLogsTheJob) {
  const fs::path picture = folder_ / "page.png";
  ASSERT_TRUE(SaveMatByExtension(picture, cv::Mat(50, 100, CV_8UC3, cv::Scalar(0, 0, 255))));
  FakeChooser chooser;
  chooser.output = folder_ / "printed.pdf";
  chooser.copies = 3;
  platform::WriteFileAtomically("log.log", "an earlier job\n");
  CPrintModule job(2, chooser);
  job.settings.printMode = 1;
  ASSERT_TRUE(job.PrintImage(picture));
  EXPECT_EQ(PageCount(chooser.output), 3);
  EXPECT_EQ(chooser.asked, std::vector<std::string>{picture.string()});
  EXPECT_TRUE(chooser.failures.empty());
  const std::string log = platform::ReadWholeFile("log.log").value_or("");
  EXPECT_EQ(log.find("an earlier job"), std::string::npos);
  EXPECT_NE(log.find("Print模块pPpPicture:H=50,W=100"), std::string::npos);
  EXPECT_NE(log.find("开始打印任务状态：1"), std::string::npos);
  EXPECT_NE(log.find("打印任务结束"), std::string::npos);
}

TEST_F(PrintJob, CancelOrUnreadablePictureReportsFailure) {
  const fs::path picture = folder_ / "page.png";
  ASSERT_TRUE(SaveMatByExtension(picture, cv::Mat(5, 5, CV_8UC3)));
  FakeChooser cancelling;
  CPrintModule cancelled(2, cancelling);
  EXPECT_FALSE(cancelled.PrintImage(picture));
  EXPECT_EQ(cancelling.failures, std::vector<std::string>{"Print failure"});

  FakeChooser chooser;
  chooser.output = folder_ / "printed.pdf";
  CPrintModule job(0, chooser);
  EXPECT_FALSE(job.PrintImage(folder_ / "missing.png"));
  EXPECT_EQ(chooser.failures, std::vector<std::string>{"打印失败"});
  EXPECT_FALSE(fs::exists(chooser.output));
}

TEST_F(PrintJob, ConvertImageToPdfWritesBesideThePicture) {
  const fs::path picture = folder_ / "scan.v2.png";
  ASSERT_TRUE(SaveMatByExtension(picture, cv::Mat(7, 9, CV_8UC3, cv::Scalar::all(40))));
  FakeChooser chooser;
  CPrintModule job(1, chooser);
  EXPECT_EQ(job.failureText(), "列印失敗");
  fs::path pdf;
  ASSERT_TRUE(job.ConvertImageToPdf(picture, &pdf));
  EXPECT_EQ(pdf, folder_ / "scan.v2.pdf");
  EXPECT_EQ(PageCount(pdf), 1);
  // A PDF of that name from an earlier capture stays.
  ASSERT_TRUE(job.ConvertImageToPdf(picture, &pdf));
  EXPECT_EQ(pdf, folder_ / "scan.v2-2.pdf");
  EXPECT_EQ(PageCount(folder_ / "scan.v2.pdf"), 1);
  EXPECT_FALSE(job.ConvertImageToPdf(folder_ / "missing.png"));
}

}  // namespace
}  // namespace orvane::imaging
