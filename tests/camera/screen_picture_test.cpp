#include "camera/screen_picture.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace orvane {
namespace {

struct ShrinkCase {
  cv::Size source;
  cv::Size destination;
  int channels;
};

class ShrinkByAreaAverageTest : public ::testing::TestWithParam<ShrinkCase> {};

// A picture with edges, gradients and fine detail, so a wrong weight or an off-by-one source
// index shows against OpenCV's own area shrink.
cv::Mat Pattern(cv::Size size, int channels) {
  cv::Mat picture(size, CV_8UC(channels));
  cv::randu(picture, 0, 256);
  cv::rectangle(picture, {size.width / 5, size.height / 4}, {size.width / 2, size.height * 3 / 4},
                cv::Scalar::all(255), cv::FILLED);
  for (int y = 0; y < size.height; y += 7) picture.row(y).setTo(cv::Scalar::all(0));
  return picture;
}

TEST_P(ShrinkByAreaAverageTest, MatchesOpenCvAreaShrinkWithinOneLevel) {
  const ShrinkCase c = GetParam();
  // A view inside a larger picture, so the row stride differs from the row length.
  const cv::Mat whole = Pattern(c.source + cv::Size(13, 5), c.channels);
  const cv::Mat source = whole(cv::Rect(cv::Point(7, 3), c.source));
  cv::Mat expected, shrunk;
  cv::resize(source, expected, c.destination, 0, 0, cv::INTER_AREA);
  ShrinkByAreaAverage(source, shrunk, c.destination);
  ASSERT_EQ(shrunk.size(), c.destination);
  ASSERT_EQ(shrunk.type(), source.type());
  cv::Mat difference;
  cv::absdiff(shrunk, expected, difference);
  double largest = 0;
  cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
  EXPECT_LE(largest, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ShrinkByAreaAverageTest,
                         ::testing::Values(ShrinkCase{{2080, 1560}, {1280, 960}, 3},  // a live frame fitted
                                           ShrinkCase{{640, 480}, {320, 240}, 3},     // exactly half
                                           ShrinkCase{{101, 77}, {33, 50}, 3},        // odd, unequal ratios
                                           ShrinkCase{{300, 200}, {300, 199}, 1},     // barely shrunk
                                           ShrinkCase{{1040, 780}, {175, 131}, 3},    // nearly six to one
                                           ShrinkCase{{97, 61}, {1, 1}, 4},           // to one pixel
                                           ShrinkCase{{64, 48}, {64, 48}, 3}));       // the same size

TEST(ShrinkByAreaAverageTest, AFlatPictureStaysFlat) {
  // The weights of every destination pixel add up to one: no row or column drifts brighter.
  const cv::Mat grey(1560, 2080, CV_8UC3, cv::Scalar(200, 17, 255));
  cv::Mat shrunk;
  ShrinkByAreaAverage(grey, shrunk, {1277, 953});
  cv::Mat difference;
  cv::absdiff(shrunk, cv::Scalar(200, 17, 255), difference);
  EXPECT_EQ(cv::countNonZero(difference.reshape(1)), 0);
}

// A picture of its own (no view inside a larger one) shrunk by less than two, with rows that end
// between vector blocks: the last row's taps reach no row past the picture.
TEST(ShrinkByAreaAverageTest, ReadsNoRowPastAPicture) {
  for (int channels : {1, 3}) {
    const cv::Mat source = Pattern({301, 200}, channels);
    cv::Mat expected, shrunk;
    cv::resize(source, expected, {211, 199}, 0, 0, cv::INTER_AREA);
    ShrinkByAreaAverage(source, shrunk, {211, 199});
    cv::Mat difference;
    cv::absdiff(shrunk, expected, difference);
    double largest = 0;
    cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
    EXPECT_LE(largest, 1.0) << channels << " channels";
  }
}

// Into a view of a larger frame, as the live view composes: exactly the two-step result, and
// nothing written round the view.
TEST(ShrinkIntoBgraTest, MatchesTheShrinkThenTheConversion) {
  const struct {
    cv::Size source, destination;
  } cases[] = {{{2080, 1560}, {1280, 960}},  // a live frame fitted
               {{640, 480}, {320, 240}},     // exactly half
               {{101, 77}, {33, 50}},        // odd, unequal ratios, a partial last block
               {{300, 200}, {299, 199}},     // barely shrunk
               {{1040, 780}, {175, 131}}};   // beyond a factor of two: the general path
  for (const auto& c : cases) {
    const cv::Mat whole = Pattern(c.source + cv::Size(13, 5), 3);
    const cv::Mat source = whole(cv::Rect(cv::Point(7, 3), c.source));
    cv::Mat shrunk, expected;
    ShrinkByAreaAverage(source, shrunk, c.destination);
    ConvertBgrToBgra(shrunk, expected);
    const cv::Scalar untouched(1, 2, 3, 4);
    cv::Mat frame(c.destination + cv::Size(10, 6), CV_8UC4, untouched);
    const cv::Rect place(cv::Point(4, 2), c.destination);
    cv::Mat target = frame(place);
    ShrinkIntoBgra(source, target);
    EXPECT_EQ(cv::norm(frame(place), expected, cv::NORM_INF), 0) << c.source << " to " << c.destination;
    frame(place).setTo(untouched);
    const cv::Mat unwritten(frame.size(), frame.type(), untouched);
    EXPECT_EQ(cv::norm(frame, unwritten, cv::NORM_INF), 0) << c.source << " to " << c.destination;
  }
}

// Fed a band of rows at a time, as a decoder gives them, the shrink writes the very pixels of the
// whole one; after a change to the source, refreshing over the changed area gives the whole
// shrink of the changed source.
TEST(StreamedShrinkTest, BandsAndRefreshesGiveTheWholeShrink) {
  const struct {
    cv::Size source, destination;
    int outChannels;
    int band;
  } cases[] = {{{2080, 1560}, {1280, 960}, 4, 16},  // a live frame fitted, into the screen's layout
               {{1000, 750}, {640, 480}, 3, 16},    // within a factor of two, three channels
               {{1040, 780}, {175, 131}, 3, 5},     // beyond a factor of two: eight rows at a time
               {{1040, 780}, {175, 131}, 4, 16},
               {{101, 77}, {33, 50}, 4, 3},         // odd, unequal ratios
               {{320, 240}, {320, 240}, 4, 7}};     // the same size: copied
  for (const auto& c : cases) {
    const cv::Mat picture = Pattern(c.source, 3);
    cv::Mat expected;
    const auto wholeShrink = [&](const cv::Mat& source) {
      if (c.outChannels == 4) {
        expected.create(c.destination, CV_8UC4);
        ShrinkIntoBgra(source, expected);
      } else {
        ShrinkByAreaAverage(source, expected, c.destination);
      }
      return expected.clone();
    };
    // Rows not announced yet are zeros: a shrink that read them would show it.
    cv::Mat arriving = cv::Mat::zeros(c.source, CV_8UC3);
    cv::Mat frame(c.destination + cv::Size(6, 4), CV_8UC(c.outChannels), cv::Scalar::all(7));
    const cv::Rect place(cv::Point(3, 2), c.destination);
    StreamedShrink shrink;
    ASSERT_TRUE(shrink.Start(c.source, CV_8UC3, frame(place))) << c.source;
    for (int rows = 0; rows < c.source.height;) {
      const int next = std::min(rows + c.band, c.source.height);
      picture.rowRange(rows, next).copyTo(arriving.rowRange(rows, next));
      rows = next;
      shrink.AddRows(arriving, rows);
    }
    ASSERT_TRUE(shrink.Done()) << c.source;
    EXPECT_EQ(cv::norm(frame(place), wholeShrink(picture), cv::NORM_INF), 0) << c.source << " to " << c.destination;
    // A thick slanted line and single pixels drawn in (a run of them, so some are the first and
    // some the last a result pixel reads): the parts of the result over them written again.
    cv::Mat changed = picture.clone();
    const cv::Point a(c.source.width / 7, c.source.height / 5), b(c.source.width * 4 / 5, c.source.height / 3);
    cv::line(changed, a, b, cv::Scalar(255, 0, 0), 5, cv::LINE_8);
    shrink.Refresh(changed, cv::Rect(a - cv::Point(4, 4), b + cv::Point(5, 5)));
    for (int k = 0; k < 12; ++k) {
      const cv::Point at(c.source.width - 1 - k, c.source.height - 1 - k);
      changed.at<cv::Vec3b>(at) = cv::Vec3b(1, 2, 3);
      shrink.Refresh(changed, cv::Rect(at, cv::Size(1, 1)));
    }
    EXPECT_EQ(cv::norm(frame(place), wholeShrink(changed), cv::NORM_INF), 0) << c.source << " refreshed";
    // Nothing written round the place.
    frame(place).setTo(cv::Scalar::all(7));
    EXPECT_EQ(cv::norm(frame, cv::Mat(frame.size(), frame.type(), cv::Scalar::all(7)), cv::NORM_INF), 0) << c.source;
  }
  StreamedShrink tooFar;
  cv::Mat small(10, 10, CV_8UC4);
  EXPECT_FALSE(tooFar.Start({100, 100}, CV_8UC3, small));  // ten times: not by these weights
}

TEST(ConvertBgrToBgraTest, MatchesOpenCvOnAViewWithAnUnevenWidth) {
  // 37 columns: two vector blocks and a tail of five pixels, in rows with a longer stride.
  cv::Mat whole(9, 45, CV_8UC3);
  cv::randu(whole, 0, 256);
  const cv::Mat view = whole(cv::Rect(3, 2, 37, 6));
  cv::Mat expected, converted;
  cv::cvtColor(view, expected, cv::COLOR_BGR2BGRA);
  ConvertBgrToBgra(view, converted);
  ASSERT_EQ(converted.type(), CV_8UC4);
  EXPECT_EQ(cv::norm(converted, expected, cv::NORM_INF), 0);
}

}  // namespace
}  // namespace orvane
