#include "imaging/capture_pipeline.h"

#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "gui_application.h"
#include "synthetic_pages.h"

namespace orvane::imaging {
namespace {

using testing::DeskWithSheets;
using testing::SheetCorners;

CSysParam Settings(int cropMode, int colorMode = 0) {
  CSysParam settings;
  settings.cropMode = cropMode;
  settings.colorMode = colorMode;
  settings.noiseSize = 1;
  return settings;
}

std::vector<cv::Mat> Process(const CSysParam& settings, const cv::Mat& source,
                             const cv::Mat& work = cv::Mat()) {
  CCaptureImageHelper helper(2);
  helper.SetSettings(settings);
  std::vector<cv::Mat> pictures;
  EXPECT_EQ(helper.ProcessCapture(source, pictures, work), ProcessResult::kDone);
  return pictures;
}

int DifferentSamples(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat difference;
  cv::absdiff(a, b, difference);
  return cv::countNonZero(difference.reshape(1));
}

bool OnlyBlackAndWhite(const cv::Mat& picture) {
  return picture.type() == CV_8UC1 &&
         cv::countNonZero((picture != 0) & (picture != 255)) == 0;
}

TEST(ProcessCapture, AnEmptySourceDoesNothing) {
  CCaptureImageHelper helper(0);
  std::vector<cv::Mat> pictures;
  EXPECT_EQ(helper.ProcessCapture(cv::Mat(), pictures), ProcessResult::kEmptySource);
  EXPECT_TRUE(pictures.empty());
}

TEST(ProcessCapture, CropModes) {
  const cv::Mat desk = testing::TexturedDesk();
  const cv::Mat onePage = DeskWithSheets({SheetCorners({400, 300}, {420, 300}, 20)});
  const cv::Mat threePages = DeskWithSheets({SheetCorners({140, 300}, {200, 280}, 5),
                                             SheetCorners({400, 300}, {200, 280}, -5),
                                             SheetCorners({660, 300}, {200, 280}, 3)});
  struct Case {
    const char* name;
    int cropMode;
    bool keepEvery;
    bool repair;
    const cv::Mat& source;
    CropRect crop;
    std::vector<cv::Size> sizes;  // expected, within 25 pixels
  };
  const Case cases[] = {
      {"no cut", 0, false, false, onePage, {}, {{800, 600}}},
      {"no page", 1, false, false, desk, {}, {{800, 600}}},
      {"one page", 1, false, false, onePage, {}, {{420, 300}}},
      {"one page straightened", 1, false, true, onePage, {}, {{420, 300}}},
      {"every page", 1, true, false, threePages, {}, {{200, 280}, {200, 280}, {200, 280}}},
      {"every page, none there", 1, true, false, desk, {}, {{800, 600}}},
      {"manual, clamped", 2, false, false, desk, {700, -50, 900, 100}, {{100, 100}}},
      {"manual, outside", 2, false, false, desk, {900, 0, 1000, 100}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSysParam settings = Settings(c.cropMode);
    settings.keepEveryDocument = c.keepEvery;
    settings.deformationRepair = c.repair;
    settings.captureCrop = c.crop;
    const auto pictures = Process(settings, c.source);
    ASSERT_EQ(pictures.size(), c.sizes.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
      EXPECT_NEAR(pictures[i].cols, c.sizes[i].width, 25) << i;
      EXPECT_NEAR(pictures[i].rows, c.sizes[i].height, 25) << i;
    }
  }
}

// A turned page running off the right edge: where the straightened cut reaches beyond the
// picture it is white, as the plain cut is.
TEST(ProcessCapture, AStraightenedPageRunningOffThePictureIsWhiteBeyondIt) {
  const cv::Mat scene = DeskWithSheets({SheetCorners({620, 300}, {420, 300}, 10)});
  CSysParam settings = Settings(1);
  settings.deformationRepair = true;
  const auto pictures = Process(settings, scene);
  const auto cuts = FindPageCuts(scene, false, true);
  ASSERT_EQ(pictures.size(), 1u);
  ASSERT_EQ(cuts.size(), 1u);
  ASSERT_FALSE(cuts[0].transform.empty());
  ASSERT_EQ(pictures[0].size(), cuts[0].size);
  std::vector<cv::Point2f> cut;
  for (int y = 0; y < pictures[0].rows; ++y)
    for (int x = 0; x < pictures[0].cols; ++x) cut.emplace_back(x, y);
  std::vector<cv::Point2f> source;
  cv::perspectiveTransform(cut, source, cuts[0].transform.inv());
  int beyond = 0;
  int black = 0;
  for (std::size_t i = 0; i < cut.size(); ++i) {
    // A pixel beyond the picture by more than the interpolation's reach.
    if (source[i].x < scene.cols && source[i].y < scene.rows && source[i].x > -1 && source[i].y > -1) continue;
    ++beyond;
    black += pictures[0].at<cv::Vec3b>(cut[i]) != cv::Vec3b(255, 255, 255);
  }
  EXPECT_GT(beyond, 100);
  EXPECT_EQ(black, 0);
}

TEST(ProcessCapture, NegativeModeWorksOnACopyOfTheFrame) {
  const cv::Mat source = testing::TexturedDesk({200, 150});
  const cv::Mat before = source.clone();
  auto pictures = Process(Settings(0, 3), source);
  ASSERT_EQ(pictures.size(), 1u);
  cv::Mat sum = pictures[0] + source;
  EXPECT_EQ(cv::countNonZero(sum.reshape(1) != 255), 0) << "negative";
  EXPECT_EQ(DifferentSamples(source, before), 0) << "the caller's frame stays";
}

TEST(ProcessCapture, ColourModesPerPixel) {
  cv::Mat source(40, 40, CV_8UC3, cv::Scalar(200, 200, 200));
  source.at<cv::Vec3b>(0, 0) = {255, 0, 0};  // pure blue
  source.at<cv::Vec3b>(0, 1) = {0, 0, 255};  // pure red
  struct Case {
    int colorMode;
    cv::Scalar blue;
    cv::Scalar red;
  };
  const Case cases[] = {
      {0, {255, 0, 0}, {0, 0, 255}},
      {1, {76}, {29}},
      {3, {0, 255, 255}, {255, 255, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colorMode);
    const auto pictures = Process(Settings(0, c.colorMode), source);
    ASSERT_EQ(pictures.size(), 1u);
    const cv::Mat& p = pictures[0];
    ASSERT_EQ(p.channels(), c.colorMode == 1 ? 1 : 3);
    for (int k = 0; k < p.channels(); ++k) {
      EXPECT_EQ(p.ptr<uchar>(0)[k], c.blue[k]);
      EXPECT_EQ(p.ptr<uchar>(0)[p.channels() + k], c.red[k]);
    }
  }
  const auto bw = Process(Settings(0, 2), testing::DeskWithSheets({SheetCorners({400, 300}, {420, 300}, 0)}));
  ASSERT_EQ(bw.size(), 1u);
  EXPECT_TRUE(OnlyBlackAndWhite(bw[0]));
}

TEST(ProcessCapture, ShadowRemovalByColourMode) {
  cv::Mat page(200, 300, CV_8UC3);
  for (int x = 0; x < page.cols; ++x) page.col(x).setTo(cv::Scalar::all(150 + x / 4));
  cv::putText(page, "shadow", {30, 110}, cv::FONT_HERSHEY_SIMPLEX, 1.5, cv::Scalar::all(30), 3);
  CSysParam grey = Settings(0, 1);
  grey.shadowRemoval = true;
  const cv::Mat whitened = Process(grey, page).at(0);
  ASSERT_EQ(whitened.type(), CV_8UC1);
  EXPECT_NEAR(whitened.at<uchar>(20, 150), 245, 6) << "paper flattened to 245";

  CSysParam colour = Settings(0, 0);
  colour.shadowRemoval = true;
  const cv::Mat cleaned = Process(colour, page).at(0);
  EXPECT_EQ(cleaned.at<cv::Vec3b>(20, 150), cv::Vec3b(255, 255, 255));
  EXPECT_EQ(cleaned.at<cv::Vec3b>(100, 150)[0] < 100, page.at<cv::Vec3b>(100, 150)[0] < 100);
}

// The cut is taken from the picture as shown, inset included; with no page there is no cut, and
// the plain frame is kept.
TEST(ProcessCapture, PictureInPictureInsetOnlyOnACutPage) {
  const cv::Mat desk = testing::TexturedDesk();
  const cv::Mat page = DeskWithSheets({SheetCorners({400, 300}, {420, 300}, 0)});
  for (const bool everyDocument : {false, true}) {
    SCOPED_TRACE(everyDocument ? "every document" : "one document");
    CSysParam settings = Settings(1);
    settings.keepEveryDocument = everyDocument;
    for (const cv::Mat* source : {&desk, &page}) {
      cv::Mat shown = source->clone();
      const cv::Scalar green(0, 200, 0);
      shown(cv::Rect(300, 200, 80, 60)).setTo(green);  // the inset, inside the page
      const auto pictures = Process(settings, *source, shown);
      ASSERT_EQ(pictures.size(), 1u);
      if (source == &desk) {
        EXPECT_EQ(DifferentSamples(pictures[0], desk), 0);
      } else {
        EXPECT_GT(cv::countNonZero(pictures[0].reshape(1) == 200), 80 * 60 / 2);
      }
    }
  }
}

TEST(ProcessCapture, FailuresInsideAreReportedAndLeaveTheListAsItWas) {
  CCaptureImageHelper helper(2);
  helper.SetSettings(Settings(0, 1));
  std::vector<cv::Mat> pictures(1);
  EXPECT_EQ(helper.ProcessCapture(cv::Mat(20, 20, CV_8UC2), pictures), ProcessResult::kFailed);
  EXPECT_EQ(pictures.size(), 1u);
}

class PipelineWatermark : public ::testing::Test {
 protected:
  void SetUp() override { testing::EnsureGuiApplication(); }
  static CSysParam WithText(int cropMode, int colorMode) {
    CSysParam settings = Settings(cropMode, colorMode);
    settings.customWatermark = true;
    settings.watermarkText = "CONFIDENTIAL";
    settings.watermarkSize = 60;
    settings.watermarkColor = 0;
    settings.watermarkTransparency = 0;
    settings.watermarkPosition = 4;
    return settings;
  }
};

TEST_F(PipelineWatermark, BlackAndWhitePagesKeepOnlyBlackAndWhite) {
  const cv::Mat paper(300, 500, CV_8UC3, cv::Scalar::all(235));
  const auto pictures = Process(WithText(0, 2), paper);
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_TRUE(OnlyBlackAndWhite(pictures[0]));
  EXPECT_GT(cv::countNonZero(pictures[0] == 0), 300) << "the text was drawn before binarising";

  CCaptureImageHelper helper(2);
  CSysParam settings = WithText(0, 2);
  settings.watermarkTransparency = 50;
  helper.SetSettings(settings);
  const cv::Mat single = helper.ApplyColorMode(paper);
  EXPECT_TRUE(OnlyBlackAndWhite(single));
  EXPECT_TRUE(helper.ApplyColorMode(cv::Mat()).empty());
}

TEST_F(PipelineWatermark, GreyModeStampsAfterTheConversion) {
  CSysParam settings = WithText(0, 1);
  settings.watermarkColor = 0x0000FF;  // red becomes 29 through the grey conversion
  const auto pictures = Process(settings, cv::Mat(300, 500, CV_8UC3, cv::Scalar::all(235)));
  ASSERT_EQ(pictures.at(0).type(), CV_8UC1);
  EXPECT_GT(cv::countNonZero(pictures[0] == 29), 100);

  settings.watermarkPosition = 7;  // from a hand-edited file: refused, picture unstamped
  const auto unstamped = Process(settings, cv::Mat(300, 500, CV_8UC3, cv::Scalar::all(235)));
  EXPECT_EQ(cv::countNonZero(unstamped.at(0) != 235), 0);
}

TEST(SetWatermark, RefusesOutOfRangeSettings) {
  struct Case {
    int kind;
    int transparency;
    int position;
    int height;
    bool accepted;
    bool stored;
  };
  const Case cases[] = {
      {0, 50, 4, 20, true, true},  {-1, 50, 4, 20, true, false}, {0, 50, 7, 20, false, false},
      {0, 101, 0, 20, false, false}, {0, -1, 0, 20, false, false}, {1, 50, 0, 20, false, false},
      {2, 50, 0, 20, false, false}, {0, 50, 0, 0, false, false},
  };
  for (const Case& c : cases) {
    CCaptureImageHelper helper(0);
    EXPECT_EQ(helper.SetWatermark("text", c.kind, c.transparency, c.position, c.height, 0),
              c.accepted)
        << c.kind << " " << c.transparency << " " << c.position << " " << c.height;
    EXPECT_EQ(helper.Watermark().text.empty(), !c.stored);
  }
}

TEST(CCaptureImageHelper, MessagesFollowTheLanguage) {
  EXPECT_EQ(CCaptureImageHelper(2).NotRecognisedMessage(), "It does not recognize a barcode/QR-code");
  EXPECT_EQ(CCaptureImageHelper(0).SavedInMessage(), "条形码/二维码内容保存在");
  EXPECT_TRUE(CCaptureImageHelper(5).SpecialCharacterMessage().empty());
}

}  // namespace
}  // namespace orvane::imaging
