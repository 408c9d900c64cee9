#include "ocr/doc_ocr.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace orvane::ocr {
namespace {

TextLineRecord Line(std::string text, int x, int y, int width, int height) {
  return {std::move(text), x, y, width, height};
}

std::string Join(std::vector<TextLineRecord> records) {
  RecordList<TextLineRecord> lines;
  for (TextLineRecord& r : records) lines.Append(std::move(r));
  std::string text;
  return CDocOCR::JoinLines(lines, &text) ? text : "<no lines>";
}

TEST(JoinLines, LinesBelowEachOtherBreakAndLinesSideBySideAreSpaced) {
  struct Case {
    const char* name;
    std::vector<TextLineRecord> lines;
    std::string text;
  } cases[] = {
      {"none", {}, "<no lines>"},
      {"below", {Line("b", 0, 100, 300, 40), Line("a", 0, 0, 300, 40)}, "a\r\nb"},
      {"beside", {Line("r", 400, 2, 300, 40), Line("l", 0, 0, 300, 40)}, "l      r"},
      {"touching", {Line("a", 0, 0, 300, 40), Line("b", 0, 20, 300, 40)}, "a\r\nb"},
      {"grid",
       {Line("d", 400, 100, 300, 40), Line("c", 0, 100, 300, 40), Line("b", 400, 0, 300, 40), Line("a", 0, 0, 300, 40)},
       "a      b\r\nc      d"},
  };
  for (Case& c : cases) EXPECT_EQ(Join(std::move(c.lines)), c.text) << c.name;
}

// A goes before C by height, C before B and B before A by their centres across: no strict order.
// The list sort of A B C splits into A B and C, so C B A; a split into A and B C would give A C B.
TEST(JoinLines, ACyclicSetOfLinesFollowsTheListSort) {
  EXPECT_EQ(Join({Line("A", 200, 0, 10, 100), Line("B", 95, 30, 10, 60), Line("C", 0, 60, 10, 40)}),
            "C      B      A");
}

TEST(JoinLines, LinesAtTheSamePlaceKeepTheirOrder) {
  EXPECT_EQ(Join({Line("1", 0, 0, 10, 10), Line("2", 0, 0, 10, 10), Line("3", 0, 0, 10, 10)}),
            "1      2      3");
}

cv::Mat Page(int width, int height, const std::vector<cv::Rect>& ink) {
  cv::Mat page(height, width, CV_8UC1, cv::Scalar(255));
  for (const cv::Rect& r : ink) page(r).setTo(0);
  return page;
}

// A blob is smeared one width to either side: 11 x 31 in the open becomes 33 x 31 = 1023 pixels,
// 16 x 32 at the left edge becomes 32 x 32 = 1024.
TEST(AnalyzeLayout, KeepsBlobsOfAtLeast1024PixelsOfBox) {
  EXPECT_TRUE(CDocOCR::AnalyzeLayout(Page(300, 200, {{100, 50, 11, 31}}), Page(300, 200, {{100, 50, 11, 31}})).empty());
  const cv::Mat page = Page(300, 200, {{0, 50, 16, 32}});
  const std::vector<LayoutLine> lines = CDocOCR::AnalyzeLayout(page, page);
  ASSERT_EQ(lines.size(), 1u);
  // Grown by one pixel and clipped at the left edge.
  EXPECT_EQ(lines[0].box, cv::Rect(0, 49, 33, 34));
  EXPECT_EQ(lines[0].image.size(), lines[0].box.size());
  EXPECT_EQ(cv::countNonZero(lines[0].image), 16 * 32);
}

TEST(AnalyzeLayout, ABlobAtEveryEdgeIsClippedNotThrown) {
  const cv::Mat page = Page(200, 120, {{0, 0, 40, 40}, {170, 90, 30, 30}});
  std::vector<LayoutLine> lines;
  ASSERT_NO_THROW(lines = CDocOCR::AnalyzeLayout(page, page));
  ASSERT_EQ(lines.size(), 2u);
  for (const LayoutLine& line : lines) {
    EXPECT_EQ(line.box & cv::Rect(0, 0, 200, 120), line.box);
    EXPECT_EQ(line.image.size(), line.box.size());
  }
}

TEST(AnalyzeLayout, CharactersOfALineJoinAndLinesBelowStayApart) {
  std::vector<cv::Rect> ink;
  for (int i = 0; i < 5; ++i) {
    ink.push_back({20 + 40 * i, 20, 30, 30});
    ink.push_back({20 + 40 * i, 100, 30, 30});
  }
  const cv::Mat page = Page(260, 160, ink);
  const std::vector<LayoutLine> lines = CDocOCR::AnalyzeLayout(page, page);
  ASSERT_EQ(lines.size(), 2u);
  for (const LayoutLine& line : lines) {
    EXPECT_EQ(line.box.height, 32);
    EXPECT_EQ(cv::countNonZero(line.image), 5 * 30 * 30);
  }
}

// Thresholding can part a character's top from its bottom; two such characters alone on a line
// (a short heading) must still give one line, not a line of tops above a line of bottoms.
TEST(AnalyzeLayout, ACharacterSplitInTwoStaysOnOneLine) {
  std::vector<cv::Rect> ink;
  for (int i = 0; i < 6; ++i) ink.push_back({20 + 40 * i, 20, 30, 30});  // a line of whole characters
  for (int i = 0; i < 2; ++i) {
    ink.push_back({20 + 40 * i, 100, 30, 13});  // tops
    ink.push_back({20 + 40 * i, 117, 30, 13});  // bottoms, 4 rows below
  }
  const cv::Mat page = Page(300, 170, ink);
  const std::vector<LayoutLine> lines = CDocOCR::AnalyzeLayout(page, page);
  ASSERT_EQ(lines.size(), 2u);
  const LayoutLine& heading = lines[0].box.y > lines[1].box.y ? lines[0] : lines[1];
  EXPECT_EQ(heading.box.y, 99);
  EXPECT_EQ(heading.box.height, 32);
  EXPECT_EQ(cv::countNonZero(heading.image), 4 * 30 * 13);
}

TEST(VerticalJoins, JoinsOnlyWhatFitsInOneCharacter) {
  struct Case {
    const char* name;
    cv::Rect upper, lower;
    bool joined;
  } cases[] = {
      {"halves", {0, 0, 30, 13}, {2, 17, 28, 13}, true},
      {"gap too wide", {0, 0, 30, 10}, {0, 16, 30, 10}, false},  // 6 > 0.15 x 30
      {"taller than a character", {0, 0, 30, 20}, {0, 22, 30, 20}, false},
      {"side by side", {0, 0, 30, 13}, {20, 17, 30, 13}, false},  // overlap 10 < 15
      {"rows shared", {0, 0, 30, 13}, {0, 10, 30, 13}, false},
  };
  for (const Case& c : cases) {
    const std::vector<cv::Rect> joins = CDocOCR::VerticalJoins({c.upper, c.lower}, 30);
    EXPECT_EQ(joins.size(), c.joined ? 1u : 0u) << c.name;
    if (c.joined && !joins.empty()) {
      EXPECT_EQ(joins[0], c.upper | c.lower) << c.name;
    }
  }
}

// After normalisation to 64 x 64 these pairs are one shape: the box's height and place in the line
// (here 40 rows high, characters 36 high) decide.
TEST(ChooseByPlace, LookAlikesAreToldApartByTheirPlace) {
  struct Case {
    const char* name;
    std::vector<std::string> readings;
    cv::Rect box;
    int chosen;
    std::string twin;
  } cases[] = {
      {"comma low", {"，"}, {0, 28, 8, 10}, 0, ""},
      {"comma high is a quote", {"，"}, {0, 2, 8, 10}, -1, "’"},
      {"quote low is a comma", {"’"}, {0, 28, 8, 10}, -1, "，"},
      {"full stop in the middle is a dot", {"．"}, {0, 17, 6, 6}, -1, "·"},
      {"dot on a Latin word's baseline is a full stop", {"·"}, {0, 26, 5, 5}, -1, "．"},
      {"one as wide as a character", {"一"}, {0, 18, 34, 4}, 0, ""},
      {"one wider than an em is a dash", {"一"}, {0, 18, 44, 4}, -1, "—"},
      {"dash narrower is one", {"—"}, {0, 18, 34, 4}, -1, "一"},
      {"tall circle is the next reading", {"。", "Ｏ"}, {0, 6, 24, 28}, 1, ""},
      {"small circle low", {"。", "Ｏ"}, {0, 26, 10, 10}, 0, ""},
      {"small letter as tall as a capital", {"ｃ"}, {0, 4, 20, 30}, -1, "Ｃ"},
      {"capital as small as a small letter", {"Ｘ"}, {0, 16, 18, 18}, -1, "ｘ"},
      {"capital beside Chinese characters", {"Ｖ"}, {0, 10, 22, 26}, 0, ""},
      {"small letter beside capitals", {"Ｖ"}, {0, 12, 26, 24}, -1, "ｖ"},
      {"characters have no place", {"国"}, {0, 0, 10, 10}, 0, ""},
      {"nothing fits", {"，", "、"}, {0, 0, 30, 30}, -1, ""},
      // Faces for Taiwan set the full stop and the comma in the middle of the line.
      {"full stop in the middle", {"。"}, {0, 12, 11, 11}, 0, ""},
      {"comma in the middle", {"，"}, {0, 12, 7, 12}, 0, ""},
      {"small o as small as a full stop", {"ｏ"}, {0, 26, 11, 11}, -1, "。"},
      {"small o", {"ｏ"}, {0, 16, 18, 18}, 0, ""},
      {"capital as small as a mark is the next reading", {"Ｎ", "、"}, {0, 26, 10, 10}, 1, ""},
      {"digit as small as a mark is the next reading", {"１", "，"}, {0, 28, 6, 10}, 1, ""},
      {"the sun is taller than wide", {"曰"}, {0, 2, 24, 34}, -1, "日"},
      {"the word to say is wider than tall", {"日"}, {0, 8, 34, 26}, -1, "曰"},
  };
  for (const Case& c : cases) {
    std::string twin = "stale";
    EXPECT_EQ(CDocOCR::ChooseByPlace(c.readings, c.box, 40, 36, &twin), c.chosen) << c.name;
    EXPECT_EQ(twin, c.twin) << c.name;
  }
}

// Paper lit from one side (180 to 230), as a camera sees it: thick strokes keep 45 % of the light,
// thin ones 70 % (60 levels below paper at 200). The paper becomes white, thick ink black, and thin
// ink lies as far below the paper as thick ink did before.
TEST(NormalizeContrast, UnevenPaperBecomesWhiteAndFaintInkBlack) {
  cv::Mat grey(200, 400, CV_8UC1);
  for (int c = 0; c < grey.cols; ++c) grey.col(c).setTo(180 + 50 * c / grey.cols);
  for (int x = 20; x < 380; x += 20) {
    const bool thick = x % 40 == 20;
    cv::Mat stroke = grey(cv::Rect(x, 40, thick ? 4 : 1, 120));
    stroke.convertTo(stroke, CV_8U, thick ? 0.45 : 0.7);
  }
  const cv::Mat normalized = CDocOCR::NormalizeContrast(grey);
  ASSERT_EQ(normalized.size(), grey.size());
  for (int x : {10, 390}) EXPECT_GE(normalized.at<std::uint8_t>(20, x), 235) << x;
  for (int x : {22, 342}) EXPECT_LE(normalized.at<std::uint8_t>(100, x), 10) << x;
  for (int x : {40, 360}) EXPECT_LE(normalized.at<std::uint8_t>(100, x), 255 - 100) << x;
  // A blank picture is only made white.
  EXPECT_EQ(cv::norm(CDocOCR::NormalizeContrast(cv::Mat(50, 50, CV_8UC1, cv::Scalar(200))), cv::NORM_INF), 255);
  EXPECT_TRUE(CDocOCR::NormalizeContrast(cv::Mat()).empty());
}

// The line image holds only the coarse picture's ink inside the blob found in the fine one.
TEST(AnalyzeLayout, LineImageIsTheCoarseInkInsideTheFineBlob) {
  const cv::Mat fine = Page(200, 100, {{50, 30, 40, 40}});
  const cv::Mat coarse = Page(200, 100, {{50, 30, 40, 40}, {0, 0, 200, 10}, {60, 40, 5, 5}});
  const std::vector<LayoutLine> lines = CDocOCR::AnalyzeLayout(fine, coarse);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(cv::countNonZero(lines[0].image), 40 * 40);
}

// Chinese characters break into many small blobs: the height is taken among the blobs of at least
// half the tallest's height, an eighth down from the tallest of those, so the dots and strokes do
// not make it small however many there are.
TEST(EstimateCharHeight, TakesTheEighthFromTheTallestOfCharacterSize) {
  int height = 0;
  EXPECT_FALSE(CDocOCR::EstimateCharHeight(cv::Mat::zeros(40, 40, CV_8UC1), &height));

  cv::Mat one = cv::Mat::zeros(40, 40, CV_8UC1);
  one(cv::Rect(5, 3, 10, 17)).setTo(255);
  ASSERT_TRUE(CDocOCR::EstimateCharHeight(one, &height));
  EXPECT_EQ(height, 17);

  cv::Mat eight = cv::Mat::zeros(40, 200, CV_8UC1);
  for (int i = 0; i < 8; ++i) eight(cv::Rect(5 + 24 * i, 2, 10, 24 - i)).setTo(255);
  ASSERT_TRUE(CDocOCR::EstimateCharHeight(eight, &height));
  EXPECT_EQ(height, 23);

  // Eighty dots, one stroke 36 high and eight of 30: an eighth of all blobs down would be a dot.
  cv::Mat dotted = cv::Mat::zeros(40, 1800, CV_8UC1);
  for (int i = 0; i < 80; ++i) dotted(cv::Rect(5 + 20 * i, 10, 4, 4)).setTo(255);
  dotted(cv::Rect(1610, 1, 3, 36)).setTo(255);
  for (int i = 0; i < 8; ++i) dotted(cv::Rect(1620 + 10 * i, 2, 3, 30)).setTo(255);
  ASSERT_TRUE(CDocOCR::EstimateCharHeight(dotted, &height));
  EXPECT_EQ(height, 30);
}

TEST(PageCharHeight, ManyPiecesDoNotMakeItSmall) {
  std::vector<cv::Rect> boxes(900, cv::Rect(0, 0, 6, 12));
  boxes.insert(boxes.end(), 100, cv::Rect(0, 0, 40, 44));
  boxes.push_back({0, 0, 3, 2000});  // a rule
  EXPECT_EQ(CDocOCR::PageCharHeight(boxes), 44);
  EXPECT_EQ(CDocOCR::PageCharHeight({}), 0);
}

// A table: rules around and between cells of text 30 high. The rules go, the characters stay, and
// each cell's characters are a line of their own.
TEST(AnalyzeLayout, TheRulesOfATableAreNoLine) {
  cv::Mat page(260, 620, CV_8UC1, cv::Scalar(255));
  for (int y : {20, 80, 140}) page(cv::Rect(20, y, 580, 3)).setTo(0);
  for (int x : {20, 220, 420, 597}) page(cv::Rect(x, 20, 3, 123)).setTo(0);
  std::vector<cv::Rect> characters;
  for (int row = 0; row < 2; ++row)
    for (int cell = 0; cell < 3; ++cell)
      for (int i = 0; i < 3; ++i) characters.push_back({40 + 200 * cell + 40 * i, 35 + 60 * row, 30, 30});
  for (const cv::Rect& c : characters) page(c).setTo(0);
  const std::vector<LayoutLine> lines = CDocOCR::AnalyzeLayout(page, page);
  ASSERT_EQ(lines.size(), 6u);
  for (const LayoutLine& line : lines) {
    EXPECT_EQ(line.box.height, 32);
    EXPECT_EQ(cv::countNonZero(line.image), 3 * 30 * 30);
  }
}

TEST(RemoveSpecks, SpecksGoAndDotsStay) {
  cv::Mat text = cv::Mat::zeros(100, 100, CV_8UC1);
  text(cv::Rect(10, 10, 2, 2)).setTo(255);  // a speck
  text(cv::Rect(40, 40, 5, 5)).setTo(255);  // a dot of a character 40 high
  text(cv::Rect(60, 20, 4, 40)).setTo(255);
  CDocOCR::RemoveSpecks(text, 40);
  EXPECT_EQ(cv::countNonZero(text(cv::Rect(0, 0, 20, 20))), 0);
  EXPECT_EQ(cv::countNonZero(text), 25 + 160);
}

// Blobs that touch only at corners, or whose arms meet rows below where they start, count whole:
// what is left is what whole-picture labelling keeps.
TEST(RemoveSpecks, KeepsWhatLabellingThePictureKeeps) {
  cv::Mat text(300, 260, CV_8UC1);
  cv::randu(text, 0, 256);
  text = text > 150;
  cv::Mat labels;
  cv::Mat stats;
  cv::Mat centroids;
  cv::connectedComponentsWithStats(text, labels, stats, centroids, 8, CV_32S);
  const int least = 40 * 40 / CDocOCR::kSpeckShare;
  cv::Mat expected = text.clone();
  for (int r = 0; r < text.rows; ++r)
    for (int c = 0; c < text.cols; ++c)
      if (stats.at<int>(labels.at<int>(r, c), cv::CC_STAT_AREA) < least) expected.at<std::uint8_t>(r, c) = 0;
  ASSERT_GT(cv::countNonZero(expected), 0);
  ASSERT_LT(cv::countNonZero(expected), cv::countNonZero(text));
  CDocOCR::RemoveSpecks(text, 40);
  EXPECT_EQ(cv::norm(text, expected, cv::NORM_INF), 0);
}

// The lines a grey page gives, as the recognition of a page finds them; their boxes go to `boxes`.
std::vector<LayoutLine> LinesOfGreyPage(const cv::Mat& grey, ::testing::Message& boxes) {
  cv::Mat coarse;
  cv::Mat fine;
  CDocOCR::Binarize(grey, &coarse, &fine);
  std::vector<LayoutLine> lines = CDocOCR::AnalyzeLayout(fine, coarse, grey);
  for (const LayoutLine& line : lines) boxes << line.box << " ";
  return lines;
}

// A photograph (a smooth grey face on a lit ground) and a QR code beside lines of text: the
// photograph is found as a picture, the text is not; the layout then finds the lines of text only.
TEST(FindPictures, PhotographsAndCodesAreFoundAndTextIsNot) {
  cv::Mat grey(760, 1100, CV_8UC1, cv::Scalar(255));
  for (int line = 0; line < 12; ++line)
    for (int i = 0; i < 10; ++i) {
      cv::Mat character = grey(cv::Rect(20 + 40 * i, 20 + 60 * line, 30, 30));
      for (int stroke = 0; stroke < 30; stroke += 10) character.row(stroke).setTo(0), character.col(stroke).setTo(0);
    }
  const cv::Rect photo(480, 20, 180, 240);
  cv::Mat face = grey(photo);
  for (int r = 0; r < face.rows; ++r) face.row(r).setTo(170 - r / 4);
  cv::ellipse(face, {90, 100}, {50, 70}, 0, 0, 360, cv::Scalar(120), cv::FILLED);
  const cv::Rect code(700, 20, 180, 180);
  cv::RNG random(5);
  for (int r = 0; r < 18; ++r)
    for (int c = 0; c < 18; ++c)
      if (random.uniform(0, 2)) grey(cv::Rect(code.x + 10 * c, code.y + 10 * r, 10, 10)).setTo(0);
  const cv::Mat pictures = CDocOCR::FindPictures(grey, 30);
  EXPECT_EQ(cv::countNonZero(pictures(cv::Rect(20, 20, 400, 710))), 0);
  EXPECT_GT(cv::countNonZero(pictures(photo)), photo.area() * 9 / 10);

  ::testing::Message boxes;
  const std::vector<LayoutLine> lines = LinesOfGreyPage(grey, boxes);
  ASSERT_EQ(lines.size(), 12u) << boxes;
  // The code, one blob far taller than a line, is no line either.
  for (const LayoutLine& line : lines) EXPECT_LT(line.box.x + line.box.width, photo.x) << line.box;
}

// Small print photographed out of focus: the blur greys the paper between the characters of a line
// until the line is one grey band, but the paper between the lines stays. No picture there.
TEST(FindPictures, BlurredSmallPrintIsNoPicture) {
  cv::Mat grey(400, 600, CV_8UC1, cv::Scalar(255));
  for (int line = 0; line < 8; ++line) grey(cv::Rect(20, 20 + 40 * line, 560, 30)).setTo(200);
  EXPECT_EQ(cv::countNonZero(CDocOCR::FindPictures(grey, 30)), 0);
}

// A form's corner as printed at 300 DPI: lines of characters 40 high (more of them than of the
// code's pieces, which would pass for the page's characters) beside a code of 8-pixel
// modules (half of them ink, finder squares at three corners), a photograph of a shaded head with
// grain, and a rule across. The code's modules are wider than strokes and its ink is about half of
// it: it must go whole, not leave pieces that pass for characters; nothing but the lines of text
// is a line, and each of those is still found.
TEST(AnalyzeLayout, ACodeAPhotographAndARuleGiveNoLine) {
  cv::Mat grey(640, 1240, CV_8UC1, cv::Scalar(255));
  std::vector<cv::Rect> textLines;
  for (int line = 0; line < 9; ++line) {
    const int y = 20 + 56 * line;
    for (int i = 0; i < 8; ++i) {
      cv::Mat character = grey(cv::Rect(20 + 52 * i, y, 40, 40));
      for (int stroke = 0; stroke < 40; stroke += 12) {
        character(cv::Rect(0, stroke, 40, 4)).setTo(0);
        character(cv::Rect(stroke, 0, 4, 40)).setTo(0);
      }
    }
    textLines.push_back({20, y, 8 * 52, 40});
  }
  const cv::Rect below(20, 570, 8 * 52, 40);  // a line under the rule
  for (int i = 0; i < 8; ++i) grey(cv::Rect(below.x + 52 * i, below.y, 40, 40)).setTo(0);
  for (int i = 0; i < 8; ++i) grey(cv::Rect(below.x + 52 * i + 8, below.y + 8, 24, 24)).setTo(255);
  textLines.push_back(below);

  const int modules = 29;
  const cv::Rect code(500, 30, modules * 8, modules * 8);
  cv::RNG random(31);
  for (int r = 0; r < modules; ++r)
    for (int c = 0; c < modules; ++c)
      if (random.uniform(0, 2)) grey(cv::Rect(code.x + 8 * c, code.y + 8 * r, 8, 8)).setTo(0);
  for (const cv::Point corner : {cv::Point(0, 0), cv::Point(modules - 7, 0), cv::Point(0, modules - 7)}) {
    const cv::Point at = code.tl() + 8 * corner;
    for (int ring = 0; ring < 3; ++ring)
      grey(cv::Rect(at.x + 8 * ring, at.y + 8 * ring, 8 * (7 - 2 * ring), 8 * (7 - 2 * ring)))
          .setTo(ring % 2 ? 255 : 0);
  }

  const cv::Rect photo(860, 30, 280, 360);
  cv::Mat face = grey(photo);
  for (int r = 0; r < face.rows; ++r) face.row(r).setTo(60 + r / 3);
  cv::ellipse(face, {140, 150}, {60, 90}, 0, 0, 360, cv::Scalar(150), cv::FILLED);
  cv::ellipse(face, {140, 360}, {140, 90}, 0, 0, 360, cv::Scalar(40), cv::FILLED);
  cv::Mat grain(face.size(), CV_8SC1);
  random.fill(grain, cv::RNG::NORMAL, 0, 25);
  cv::add(face, grain, face, cv::noArray(), CV_8U);

  const cv::Rect rule(20, 535, 1120, 4);
  grey(rule).setTo(0);

  ::testing::Message boxes;
  const std::vector<LayoutLine> lines = LinesOfGreyPage(grey, boxes);
  EXPECT_EQ(lines.size(), textLines.size()) << boxes;
  for (const LayoutLine& line : lines) {
    for (const cv::Rect& other : {code, photo, rule})
      EXPECT_EQ((line.box & other).area(), 0) << line.box << " on " << other;
  }
  for (const cv::Rect& text : textLines) {
    const bool found = std::any_of(lines.begin(), lines.end(),
                                   [&](const LayoutLine& line) { return (line.box & text) == text; });
    EXPECT_TRUE(found) << text << " in " << boxes;
  }
}

// A line 50 rows high of characters 45 high: a quote mark touching a character, the other mark of
// its pair apart beside it, is parted from the character; a character's own stroke without such a
// pair, the bar of a T, the top of a % and a mark beside a letter are not.
TEST(PartQuoteMarks, AMarkTouchingACharacterGetsARunOfItsOwn) {
  using Runs = std::vector<std::pair<int, int>>;
  const cv::Rect pair(2, 3, 5, 15);
  struct Case {
    const char* name;
    std::vector<cv::Rect> ink;
    Runs in;
    Runs out;
  } cases[] = {
      {"opening mark", {pair, {10, 3, 6, 15}, {16, 2, 45, 45}}, {{2, 6}, {10, 60}}, {{2, 6}, {10, 15}, {16, 60}}},
      {"closing mark", {{10, 2, 45, 45}, {55, 3, 6, 15}, {64, 3, 5, 15}}, {{10, 60}, {64, 68}},
       {{10, 54}, {55, 60}, {64, 68}}},
      {"blurred mark reaching lower", {{2, 5, 5, 17}, {10, 5, 6, 17}, {16, 2, 45, 45}}, {{2, 6}, {10, 60}},
       {{2, 6}, {10, 15}, {16, 60}}},
      {"no pair", {{10, 3, 6, 15}, {16, 2, 45, 45}}, {{10, 60}}, {{10, 60}}},
      {"bar of a T", {pair, {10, 2, 51, 4}, {33, 2, 5, 45}}, {{2, 6}, {10, 60}}, {{2, 6}, {10, 60}}},
      {"sliver of a %", {pair, {10, 3, 2, 15}, {12, 2, 49, 45}}, {{2, 6}, {10, 60}}, {{2, 6}, {10, 60}}},
      {"mark beside a letter", {pair, {10, 3, 6, 15}, {16, 2, 20, 45}}, {{2, 6}, {10, 35}}, {{2, 6}, {10, 35}}},
  };
  for (const Case& c : cases) {
    cv::Mat line = cv::Mat::zeros(50, 80, CV_8UC1);
    for (const cv::Rect& r : c.ink) line(r).setTo(255);
    std::vector<ColumnRun> in;
    for (const auto& [start, end] : c.in) in.push_back({start, end});
    Runs parted;
    for (const ColumnRun& run : CDocOCR::PartQuoteMarks(line, in, 45)) parted.emplace_back(run.start, run.end);
    EXPECT_EQ(parted, c.out) << c.name;
  }
}

TEST(ReadNumbersAsDigits, LettersOfADigitsShapeInANumber) {
  // Characters 20 wide with gaps of 4; a gap of 30 parts words (line 40 high).
  auto decode = [](const std::vector<std::string>& texts, int wordAfter = -1) {
    std::vector<DecodedCharacter> characters;
    int x = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      characters.push_back({texts[i], x, 20});
      x += static_cast<int>(i) == wordAfter ? 50 : 24;
    }
    CDocOCR::ReadNumbersAsDigits(characters, 40);
    std::string text;
    for (const DecodedCharacter& c : characters) text += c.text;
    return text;
  };
  struct Case {
    const char* name;
    std::vector<std::string> read;
    int wordAfter;
    std::string text;
  } cases[] = {
      {"one in a number", {"３", "ｌ", "８"}, -1, "３１８"},
      {"one leading a number", {"Ｉ", "２", "９"}, -1, "１２９"},
      {"zero in a year", {"２", "Ｏ", "２", "４"}, -1, "２０２４"},
      {"decimal point", {"０", "·", "１", "５"}, -1, "０．１５"},
      {"a letter beside a letter stays", {"Ｔ", "ｅ", "ｌ", "８"}, -1, "Ｔｅｌ８"},
      {"a word apart stays", {"Ｉ", "８"}, 0, "Ｉ８"},
      {"a dot after a number stays", {"８", "·"}, -1, "８·"},
      {"one between Chinese characters", {"年", "ｌ", "月"}, -1, "年１月"},
      {"Chinese on one side is no digit", {"年", "ｌ", "ａ"}, -1, "年ｌａ"},
      {"a zero between Chinese characters stays", {"年", "ｏ", "月"}, -1, "年ｏ月"},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(c.read, c.wordAfter), c.text) << c.name;

  // A one is narrow in its digit's width: its gaps to its neighbours are wider than a word's gap.
  std::vector<DecodedCharacter> narrow{{"３", 0, 20}, {"ｌ", 31, 6}, {"８", 48, 20}};
  CDocOCR::ReadNumbersAsDigits(narrow, 40);
  EXPECT_EQ(narrow[1].text, "１");
}

// The stroke filter pixel by pixel, as a reference for the whole-picture passes.
cv::Mat NaiveStrokeFilter(const cv::Mat& grey, int window) {
  const cv::Mat inv = 255 - grey;
  cv::Mat response = cv::Mat::zeros(grey.size(), CV_8UC1);
  const int directions[4][2] = {{1, 0}, {1, -1}, {0, -1}, {-1, -1}};
  auto inside = [&](int r, int c) { return r >= 0 && r < grey.rows && c >= 0 && c < grey.cols; };
  for (int r = 1; r + 1 < grey.rows; ++r) {
    for (int c = 1; c + 1 < grey.cols; ++c) {
      int best = 0;
      for (const auto& d : directions) {
        int m = 255;
        for (int k = 0; k < window; ++k) {
          const int r1 = r + (k - (window - 1)) * d[1], c1 = c + (k - (window - 1)) * d[0];
          const int r2 = r + (k + 1) * d[1], c2 = c + (k + 1) * d[0];
          if (inside(r1, c1) && inside(r2, c2))
            m = std::min(m, std::max<int>(inv.at<std::uint8_t>(r1, c1), inv.at<std::uint8_t>(r2, c2)));
        }
        best = std::max(best, inv.at<std::uint8_t>(r, c) - m);
      }
      response.at<std::uint8_t>(r, c) = static_cast<std::uint8_t>(best);
    }
  }
  return 255 - response;
}

TEST(RemoveNoise, MatchesThePixelByPixelFilterOnAView) {
  cv::Mat big(70, 90, CV_8UC1);
  cv::randu(big, 0, 256);
  cv::rectangle(big, {20, 20, 30, 20}, cv::Scalar(10), cv::FILLED);
  const cv::Mat view = big(cv::Rect(7, 5, 61, 47));
  for (int window : {5, 9}) EXPECT_EQ(cv::norm(CDocOCR::RemoveNoise(view, window), NaiveStrokeFilter(view, window), cv::NORM_INF), 0) << window;
}

TEST(RemoveNoise, KeepsStrokesNarrowerThanItsWindowAndFlattensWiderOnes) {
  const cv::Mat page = Page(120, 60, {{10, 5, 2, 50}, {30, 5, 8, 50}, {60, 5, 40, 50}});
  const cv::Mat filtered = CDocOCR::RemoveNoise(page);
  EXPECT_EQ(filtered.at<std::uint8_t>(30, 10), 0);  // a thin stroke
  EXPECT_EQ(filtered.at<std::uint8_t>(30, 34), 0);  // an eight-pixel stroke of large print
  EXPECT_EQ(filtered.at<std::uint8_t>(30, 80), 255);  // inside the block
  EXPECT_EQ(filtered.at<std::uint8_t>(30, 20), 255);  // paper
  EXPECT_EQ(filtered.at<std::uint8_t>(0, 10), 255);  // outermost row
  EXPECT_EQ(CDocOCR::RemoveNoise(page, 5).at<std::uint8_t>(30, 34), 255);  // what five pixels lose
}

// A page is thresholded in bands of rows: it must come out as the whole picture thresholded at once.
TEST(Binarize, ATallPictureComesOutAsThresholdedWhole) {
  cv::Mat grey(700, 230, CV_8UC1);
  cv::randu(grey, 0, 256);
  cv::GaussianBlur(grey, grey, {0, 0}, 2.0);
  for (int r = 0; r < grey.rows; r += 37) cv::rectangle(grey, {r % 200, r, 25, 12}, cv::Scalar(20), cv::FILLED);
  cv::Mat coarse;
  cv::Mat fine;
  CDocOCR::Binarize(grey, &coarse, &fine);
  cv::Mat wholeCoarse;
  cv::Mat wholeFine;
  cv::adaptiveThreshold(grey, wholeCoarse, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C, cv::THRESH_BINARY, CDocOCR::kCoarseBlock,
                        CDocOCR::kThresholdOffset);
  cv::adaptiveThreshold(NaiveStrokeFilter(grey, CDocOCR::kStrokeWindow), wholeFine, 255,
                        cv::ADAPTIVE_THRESH_GAUSSIAN_C, cv::THRESH_BINARY, CDocOCR::kFineBlock, CDocOCR::kThresholdOffset);
  EXPECT_EQ(cv::norm(coarse, wholeCoarse, cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(fine, wholeFine, cv::NORM_INF), 0);
}

TEST(CombineCandidateImage, GreyInkInsideTheWidenedStrokeMask) {
  cv::Mat lineCut = cv::Mat::zeros(7, 7, CV_8UC1);
  lineCut.at<std::uint8_t>(3, 3) = 255;
  const cv::Mat grey(7, 7, CV_8UC1, cv::Scalar(90));
  const cv::Mat image = CDocOCR::CombineCandidateImage(lineCut, grey);
  EXPECT_EQ(cv::countNonZero(image), 9);
  EXPECT_EQ(image.at<std::uint8_t>(2, 2), 90);
  EXPECT_EQ(image.at<std::uint8_t>(1, 1), 0);
  EXPECT_TRUE(CDocOCR::CombineCandidateImage(cv::Mat(), grey).empty());
}

TEST(CDocOCR, WithoutATemplateNothingIsRecognisedAndTheTextStays) {
  CDocOCR ocr;
  std::string text = "kept";
  int calls = 0;
  EXPECT_FALSE(ocr.Recognize(Page(100, 100, {{10, 10, 40, 40}}), &text, [&](double, const char*) { return ++calls, 0; },
                             false));
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(ocr.Initialize("/nonexistent/OCR_RLDA_LN_Gra.tpl"));
}

}  // namespace
}  // namespace orvane::ocr
