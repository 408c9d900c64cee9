#include "imaging/conversions.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvane::imaging {
namespace {

TEST(ToGrey, EachConversionWeighsTheStoredChannelsItsOwnWay) {
  struct Case {
    cv::Vec3b bgr;
    GreyConversion conversion;
    int grey;
  };
  const Case cases[] = {
      {{255, 0, 0}, GreyConversion::kRgbToGreyOnBgr, 76},
      {{0, 0, 255}, GreyConversion::kRgbToGreyOnBgr, 29},
      {{255, 0, 0}, GreyConversion::kBgrToGrey, 29},
      {{0, 0, 255}, GreyConversion::kBgrToGrey, 76},
      {{0, 255, 0}, GreyConversion::kBgrToGrey, 150},
  };
  for (const Case& c : cases) {
    const cv::Mat grey = ToGrey(cv::Mat(2, 3, CV_8UC3, cv::Scalar(c.bgr)), c.conversion);
    ASSERT_EQ(grey.type(), CV_8UC1);
    EXPECT_EQ(grey.at<uchar>(1, 2), c.grey) << cv::Scalar(c.bgr);
  }
  EXPECT_TRUE(ToGrey(cv::Mat(), GreyConversion::kBgrToGrey).empty());
}

TEST(WideToAnsi, WritesTheFileNameBytesWithTheirTerminator) {
  char buffer[16];
  EXPECT_EQ(WideToAnsi(u"\u00C4b.jpg", buffer, sizeof buffer), 8u);
  EXPECT_STREQ(buffer, "\xC3\x84" "b.jpg");
  EXPECT_EQ(WideToAnsi(u"0123456789abcdef", buffer, sizeof buffer), 0u) << "no room for the end";
  EXPECT_EQ(WideToAnsi(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b") << "a lone surrogate is replaced";
  EXPECT_EQ(WideToAnsi(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(AnsiToAnsiCopy, KeepsValidTextAndReplacesInvalidBytes) {
  EXPECT_EQ(AnsiToAnsiCopy("IMG-\xE4\xB8\xAD"), "IMG-\xE4\xB8\xAD");
  EXPECT_EQ(AnsiToAnsiCopy("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(AnsiToAnsiCopy("\xD6\xD0", "GBK"), "\xE4\xB8\xAD");
}

TEST(ImageToMat, ConvertsEachDepthWithoutItsPalette) {
  const std::array<std::uint8_t, 4> oneBit = {0xA0, 0x00, 0xFF, 0xFF};
  const cv::Mat bits = ImageToMat({oneBit.data(), 8, 2, 1, 2});
  ASSERT_EQ(bits.size(), cv::Size(8, 2));
  const std::vector<uchar> firstRow(bits.ptr(0), bits.ptr(0) + 8);
  EXPECT_EQ(firstRow, (std::vector<uchar>{255, 0, 255, 0, 0, 0, 0, 0}));

  const std::array<std::uint8_t, 4> indices = {3, 7, 250, 1};
  const cv::Mat eight = ImageToMat({indices.data(), 3, 1, 8, 4});
  EXPECT_EQ(eight.at<uchar>(0, 1), 7);

  const std::array<std::uint8_t, 8> four = {};
  EXPECT_TRUE(ImageToMat({four.data(), 2, 1, 32, 8}).empty());
  EXPECT_TRUE(ImageToMat({nullptr, 2, 1, 24, 8}).empty());
}

TEST(ImageToMat, ABottomUpBitmapComesOutTopRowFirst) {
  // Stored bottom row first, with padded rows of 8 bytes: the top row is the last one in memory.
  std::array<std::uint8_t, 16> stored = {};
  stored[0] = 11;  // bottom row, blue of its first pixel
  stored[8] = 22;  // top row
  const cv::Mat picture = ImageToMat({stored.data() + 8, 2, 2, 24, -8});
  ASSERT_EQ(picture.type(), CV_8UC3);
  EXPECT_EQ(picture.at<cv::Vec3b>(0, 0)[0], 22);
  EXPECT_EQ(picture.at<cv::Vec3b>(1, 0)[0], 11);
}

TEST(SplitBarList, StopsAtTheFirstEmptyPiece) {
  struct Case {
    const char* text;
    bool result;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"IMG|TXT|JPG", true, {"IMG", "TXT", "JPG"}},
      {"IMG||JPG", false, {"IMG"}},
      {"", false, {}},
      {"IMG|", false, {"IMG"}},
      {"|IMG", false, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> pieces;
    EXPECT_EQ(SplitBarList(c.text, pieces), c.result) << c.text;
    EXPECT_EQ(pieces, c.pieces) << c.text;
  }
}

}  // namespace
}  // namespace orvane::imaging
