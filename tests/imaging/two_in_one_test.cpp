#include "imaging/two_in_one.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/capture_pipeline.h"
#include "imaging/image_file.h"
#include "temp_folder.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;

bool AllWhite(const cv::Mat& region) {
  cv::Mat grey = region.channels() == 1 ? region : cv::Mat();
  if (grey.empty()) cv::extractChannel(region, grey, 0);
  return cv::countNonZero(grey != 255) == 0;
}

class Merge2in1 : public ::testing::Test {
 protected:
  void SetUp() override {
    // Dark pictures, so white on the canvas can only be the canvas.
    ASSERT_TRUE(SaveMatByExtension(folder / "a.png", cv::Mat(80, 100, CV_8UC3, cv::Scalar(10, 20, 200))));
    ASSERT_TRUE(SaveMatByExtension(folder / "b.png", cv::Mat(60, 120, CV_8UC3, cv::Scalar(30, 30, 30))));
  }
  testing::TempFolder folder;
};

TEST_F(Merge2in1, GeometryOfBothArrangements) {
  struct Case {
    bool vertical;
    int gap;
    cv::Size size;
    cv::Rect white;  // a region that must stay white
  } cases[] = {
      {true, 0, {120, 140}, {100, 0, 20, 80}},
      {true, -5, {120, 140}, {100, 0, 20, 80}},
      {true, 10, {120, 150}, {0, 80, 120, 10}},
      {false, 10, {230, 80}, {100, 0, 10, 80}},
      {false, -3, {220, 80}, {100, 60, 120, 20}},
  };
  CCaptureImageHelper helper(2);
  CSysParam settings;
  settings.jpegQuality = 100;  // so the JPEG keeps the white next to the pictures white
  helper.SetSettings(settings);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "vertical " << c.vertical << ", gap " << c.gap);
    fs::remove(folder / "m.jpg");  // each merge is a new file of that name
    fs::path out = helper.Merge2in1(folder / "a.png", folder / "b.png", folder / "m", c.vertical, c.gap);
    ASSERT_EQ(out, folder / "m.jpg");
    cv::Mat merged = cv::imread(out.string(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(merged.size(), c.size);
    EXPECT_EQ(merged.channels(), 3);
    cv::Mat white;
    cv::threshold(merged(c.white), white, 200, 255, cv::THRESH_BINARY);
    EXPECT_TRUE(AllWhite(white));
    EXPECT_GT(merged.at<cv::Vec3b>(5, 5)[2], 150);  // the first picture keeps its red
  }
}

TEST_F(Merge2in1, MergeKindChoosesTheFile) {
  CCaptureImageHelper helper(2);
  EXPECT_EQ(helper.MergeTopBottom(folder / "a.png", folder / "b.png", folder / "bw", 2, 0), folder / "bw.tif");
  EXPECT_EQ(cv::imread((folder / "bw.tif").string(), cv::IMREAD_UNCHANGED).size(), cv::Size(120, 140));
  cv::Mat grey = cv::imread(helper.MergeSideBySide(folder / "a.png", folder / "b.png", folder / "g", 1, 0).string(),
                            cv::IMREAD_UNCHANGED);
  EXPECT_EQ(grey.channels(), 1);
  // Kind 3 (negative) merges in plain colour.
  cv::Mat colour = cv::imread(helper.MergeSideBySide(folder / "a.png", folder / "b.png", folder / "n", 3, 0).string());
  EXPECT_GT(colour.at<cv::Vec3b>(5, 5)[2], 150);
}

TEST_F(Merge2in1, MissingPictureGivesNothing) {
  CCaptureImageHelper helper(2);
  EXPECT_TRUE(helper.Merge2in1(folder / "a.png", folder / "missing.png", folder / "m", true, 0).empty());
  EXPECT_TRUE(helper.Merge2in1(folder / "a.png", folder / "b.png", {}, true, 0).empty());
  EXPECT_FALSE(fs::exists(folder / "m.jpg"));
}

TEST(MergeImages, JoinsOfTheCameraPictures) {
  cv::Mat page(300, 400, CV_8UC3, cv::Scalar(0, 0, 0));
  cv::Mat portrait(150, 200, CV_8UC3, cv::Scalar(0, 0, 100));
  cv::Mat third(120, 160, CV_8UC1, cv::Scalar(50));  // a grey picture among colour ones

  cv::Mat v = MergeImagesV(page, portrait, kJoinColor);
  ASSERT_EQ(v.size(), cv::Size(400, 450));
  EXPECT_EQ(v.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 100));
  EXPECT_TRUE(AllWhite(v(cv::Rect(200, 0, 200, 150))));
  EXPECT_EQ(v.at<cv::Vec3b>(449, 399), cv::Vec3b(0, 0, 0));

  cv::Mat h = MergeImagesH(page, portrait, third, kJoinColor);
  ASSERT_EQ(h.size(), cv::Size(400, 450));
  EXPECT_EQ(h.at<cv::Vec3b>(149, 199), cv::Vec3b(0, 0, 100));
  EXPECT_EQ(h.at<cv::Vec3b>(30, 200), cv::Vec3b(50, 50, 50));
  EXPECT_TRUE(AllWhite(h(cv::Rect(200, 0, 160, 30))));
  EXPECT_TRUE(AllWhite(h(cv::Rect(360, 0, 40, 150))));
  EXPECT_EQ(h.at<cv::Vec3b>(150, 0), cv::Vec3b(0, 0, 0));

  cv::Mat grey = MergeImagesV(page, portrait, kJoinGrey);
  EXPECT_EQ(grey.type(), CV_8UC1);
  EXPECT_EQ(grey.at<unsigned char>(0, 0), 30);  // red 100 through the BGR luminance
  EXPECT_TRUE(MergeImagesH(page, cv::Mat(), third, kJoinGrey).empty());
}

}  // namespace
}  // namespace orvane::imaging
