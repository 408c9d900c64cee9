#include "camera/display_core.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera/grey_rows.h"
#include "platform/file_io.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

// A camera behind the frame sink: stores a BGR picture as the bottom-up RGB24 the camera stack
// delivers, once the display has taken the previous frame.
bool Feed(CFrameSlot& slot, const cv::Mat& bgr) {
  if (slot.State() == CFrameSlot::kFilled) return false;
  cv::Mat bottomUp;
  cv::flip(bgr, bottomUp, 0);
  return slot.Store(static_cast<int>(bottomUp.total() * 3), FrameSubtype::RGB24, bottomUp.data, bgr.cols, bgr.rows);
}

// Feeds `bgr` until the display's current picture has `size`.
cv::Mat ShowUntil(CDisplayCore& core, const cv::Mat& bgr, cv::Size size) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    Feed(*core.RawSlot(CDisplayCore::kMainSlot), bgr);
    cv::Mat picture = core.GetPicture();
    if (picture.size() == size) return picture;
    std::this_thread::sleep_for(2ms);
  }
  return {};
}

cv::Mat Pattern(int width, int height) {
  cv::Mat picture(height, width, CV_8UC3);
  cv::randu(picture, 0, 256);
  return picture;
}

// A white page on a dark desk.
cv::Mat Page(cv::Size frame, cv::Rect page) {
  cv::Mat picture(frame, CV_8UC3, cv::Scalar::all(40));
  cv::rectangle(picture, page, cv::Scalar::all(235), cv::FILLED);
  return picture;
}

bool HasOutlineBlue(const cv::Mat& picture) {
  if (picture.empty()) return false;
  cv::Mat mask;
  if (picture.channels() == 4) {
    cv::Mat bgr;
    cv::cvtColor(picture, bgr, cv::COLOR_BGRA2BGR);
    return HasOutlineBlue(bgr);
  }
  cv::inRange(picture, cv::Scalar(255, 0, 0), cv::Scalar(255, 0, 0), mask);
  return cv::countNonZero(mask) > 0;
}

// Feeds the frame until one is shown with detection's outlines on it, at most 5 seconds.
bool ShowsOutlines(CDisplayCore& core, const cv::Mat& frame) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    Feed(*core.RawSlot(CDisplayCore::kMainSlot), frame);
    std::this_thread::sleep_for(2ms);
    if (HasOutlineBlue(core.TakeShownFrame().picture)) return true;
  }
  return false;
}

class DisplayCoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(core.Start({})); }
  CDisplayCore core;
};

// A compressed frame kept for the getters is decoded only within the ceiling of every picture:
// one claiming 65000 x 65000 pixels gives no picture (it once ended the program in OpenCV's
// allocation), one within it decodes.
TEST(DecodeTrimmedAndTurned, AFrameBeyondTheCeilingGivesNoPicture) {
  const auto huge = platform::ReadWholeFile(std::filesystem::path(__FILE__).parent_path().parent_path() /
                                            "imaging/fixtures/jpeg_claims_65000x65000.jpg");
  ASSERT_TRUE(huge);
  const std::vector<std::uint8_t> claimsTooMuch(huge->begin(), huge->end());
  EXPECT_TRUE(DecodeTrimmedAndTurned(claimsTooMuch, {0, 0, 65000, 65000}, 0).empty());
  EXPECT_TRUE(DecodeTrimmedAndTurned(claimsTooMuch, {0, 0, 64, 48}, 90).empty());
  std::vector<std::uint8_t> small;
  ASSERT_TRUE(cv::imencode(".jpg", Pattern(64, 48), small));
  EXPECT_EQ(DecodeTrimmedAndTurned(small, {0, 0, 64, 48}, 90).size(), cv::Size(48, 64));
}

TEST(CDisplayCoreMargins, RoundToFoursAndNeverTrimEverything) {
  struct Case {
    int margins[4];
    IntRect expected;
  };
  const Case cases[] = {
      {{5, 6, 1, 2}, {4, 8, 100, 76}},
      {{0, 0, 0, 0}, {0, 0, 100, 80}},
      {{52, 0, 48, 0}, {0, 0, 100, 80}},  // left + right = width: untrimmed
      {{8, 40, 8, 40}, {0, 0, 100, 80}},
  };
  for (const Case& c : cases) {
    CDisplayCore core;
    IntRect rect{0, 0, 100, 80};
    core.ApplyMargins(rect);
    EXPECT_EQ(rect, (IntRect{0, 0, 100, 80})) << "no margins set yet";
    core.SetTrimMargins(c.margins[0], c.margins[1], c.margins[2], c.margins[3]);
    core.ApplyMargins(rect);
    EXPECT_EQ(rect, c.expected) << c.margins[0] << " " << c.margins[1] << " " << c.margins[2] << " " << c.margins[3];
  }
}

TEST_F(DisplayCoreTest, GettersAreEmptyBeforeTheFirstFrame) {
  EXPECT_TRUE(core.GetPicture().empty());
  EXPECT_TRUE(core.GetShownPicture().empty());
  EXPECT_TRUE(core.GetCroppedPictures().empty());
}

TEST_F(DisplayCoreTest, TrimsThenTurnsEveryFrame) {
  const cv::Mat frame = Pattern(64, 48);
  core.SetTrimMargins(5, 6, 1, 2);  // 4, 8, 0, 4
  const cv::Mat trimmed = frame(cv::Rect(4, 8, 60, 36));
  cv::Mat picture = ShowUntil(core, frame, {60, 36});
  ASSERT_FALSE(picture.empty());
  EXPECT_EQ(cv::norm(picture, trimmed, cv::NORM_INF), 0);

  ASSERT_TRUE(core.SetRotation(-90));
  EXPECT_EQ(core.Rotation(), 270);
  picture = ShowUntil(core, frame, {36, 60});
  cv::Mat expected;
  cv::rotate(trimmed, expected, cv::ROTATE_90_COUNTERCLOCKWISE);
  ASSERT_FALSE(picture.empty());
  EXPECT_EQ(cv::norm(picture, expected, cv::NORM_INF), 0);

  // Every turn of a frame whose sides are not multiples of anything.
  const cv::Mat odd = Pattern(71, 45);
  core.SetTrimMargins(0, 0, 0, 0);
  const std::pair<int, int> turns[] = {{90, cv::ROTATE_90_CLOCKWISE}, {180, cv::ROTATE_180}, {270, cv::ROTATE_90_COUNTERCLOCKWISE}};
  for (const auto& [angle, code] : turns) {
    ASSERT_TRUE(core.SetRotation(angle));
    cv::rotate(odd, expected, code);
    picture = ShowUntil(core, odd, expected.size());
    // A 180 turn keeps the size: wait for the turned content rather than the size.
    for (int i = 0; i < 100 && !picture.empty() && cv::norm(picture, expected, cv::NORM_INF) != 0; ++i) {
      std::this_thread::sleep_for(5ms);
      picture = ShowUntil(core, odd, expected.size());
    }
    ASSERT_FALSE(picture.empty()) << angle;
    EXPECT_EQ(cv::norm(picture, expected, cv::NORM_INF), 0) << angle;
  }

  EXPECT_FALSE(core.SetRotation(45));
  EXPECT_EQ(core.Rotation(), 270);
  EXPECT_TRUE(core.SetRotation(450));
  EXPECT_EQ(core.Rotation(), 90);
}

TEST_F(DisplayCoreTest, OutlinesAreShownButNeverHandedOut) {
  const cv::Mat frame = Page({320, 240}, {60, 40, 200, 150});
  core.PostResize({320, 240});
  core.SetAutoCrop(true, false, 0.03f);
  ASSERT_FALSE(ShowUntil(core, frame, frame.size()).empty());
  EXPECT_TRUE(ShowsOutlines(core, frame));
  EXPECT_EQ(cv::norm(core.GetPicture(), frame, cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(core.GetShownPicture(), frame, cv::NORM_INF), 0);
  const std::vector<cv::Mat> pages = core.GetCroppedPictures();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_FALSE(HasOutlineBlue(pages[0]));
  EXPECT_NEAR(pages[0].cols, 200, 12);
  EXPECT_NEAR(pages[0].rows, 150, 12);
}

// The outlines of a turned page go into the frame itself; the getters still hand out the frame
// as the camera sent it, to the last pixel under the thick, slanted lines and their ends.
TEST_F(DisplayCoreTest, ATurnedPageOutlinedInTheFrameLeavesTheGettersClean) {
  cv::Mat frame(480, 640, CV_8UC3, cv::Scalar::all(40));
  cv::Point2f corners[4];
  cv::RotatedRect(cv::Point2f(320, 240), cv::Size2f(300, 200), 8).points(corners);
  std::vector<cv::Point> page(corners, corners + 4);
  cv::fillConvexPoly(frame, page, cv::Scalar::all(235), cv::LINE_AA);
  core.PostResize({640, 480});
  core.SetAutoCrop(true, false, 0.03f);
  ASSERT_FALSE(ShowUntil(core, frame, frame.size()).empty());
  ASSERT_TRUE(ShowsOutlines(core, frame));
  EXPECT_EQ(cv::norm(core.GetPicture(), frame, cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(core.GetShownPicture(), frame, cv::NORM_INF), 0);
}

// A BGR picture as a camera's YUY2 (studio-range BT.601), two pixels sharing their chroma.
std::vector<std::uint8_t> Yuy2Of(const cv::Mat& bgr) {
  std::vector<std::uint8_t> yuy2(bgr.total() * 2);
  const auto clamp = [](double v) { return static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0)); };
  for (int y = 0; y < bgr.rows; ++y) {
    for (int x = 0; x < bgr.cols; x += 2) {
      const cv::Vec3b p = bgr.at<cv::Vec3b>(y, x), q = bgr.at<cv::Vec3b>(y, x + 1);
      const auto luma = [](const cv::Vec3b& c) { return 16 + 0.257 * c[2] + 0.504 * c[1] + 0.098 * c[0]; };
      const double b = (p[0] + q[0]) / 2.0, g = (p[1] + q[1]) / 2.0, r = (p[2] + q[2]) / 2.0;
      std::uint8_t* out = &yuy2[(static_cast<std::size_t>(y) * bgr.cols + x) * 2];
      out[0] = clamp(luma(p));
      out[1] = clamp(128 - 0.148 * r - 0.291 * g + 0.439 * b);
      out[2] = clamp(luma(q));
      out[3] = clamp(128 + 0.439 * r - 0.368 * g - 0.071 * b);
    }
  }
  return yuy2;
}

// A view much smaller than the camera's frames: the live view is made reduced, yet every getter
// hands out the frame at full resolution, trimmed and turned, and the crop follows the page in
// full-resolution coordinates. Compressed frames and YUY2 frames alike; a YUY2 frame is recorded
// converted whole, as it always was.
TEST(CDisplayCoreReducedView, GettersStayAtFullResolution) {
  struct Case {
    cv::Size client;
    int rotation;
    int margins[4];
    int reduction;
  };
  const Case cases[] = {
      {{80, 60}, 0, {0, 0, 0, 0}, 4},
      {{160, 120}, 90, {8, 4, 12, 0}, 2},
      {{58, 79}, 270, {4, 0, 0, 8}, 4},  // 232 x 316 fits at 0.25
      {{150, 110}, 0, {8, 4, 12, 0}, 2},  // trimmed but not turned
  };
  const cv::Mat scene = Page({320, 240}, {60, 40, 200, 150});
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", scene, jpeg);
  const std::vector<std::uint8_t> yuy2 = Yuy2Of(scene);
  for (const FrameSubtype kind : {FrameSubtype::MJPG, FrameSubtype::YUY2}) {
    const std::vector<std::uint8_t>& bytes = kind == FrameSubtype::MJPG ? jpeg : yuy2;
    cv::Mat decoded(scene.size(), CV_8UC3);
    ASSERT_TRUE(ConvertToBGR24(kind, bytes.data(), static_cast<int>(bytes.size()), scene.cols, scene.rows, 1,
                               decoded.data, decoded.total() * 3));
    for (const Case& c : cases) {
      const std::string name = std::string(kind == FrameSubtype::MJPG ? "MJPG" : "YUY2") + " rotation " +
                               std::to_string(c.rotation) + " margin " + std::to_string(c.margins[0]);
      CDisplayCore core;
      ASSERT_TRUE(core.Start({}));
      core.PostResize(c.client);
      core.SetTrimMargins(c.margins[0], c.margins[1], c.margins[2], c.margins[3]);
      ASSERT_TRUE(core.SetRotation(c.rotation));
      core.SetAutoCrop(true, false, 0.03f);
      const auto deadline = std::chrono::steady_clock::now() + 30s;
      while (core.LiveReduction() != c.reduction && std::chrono::steady_clock::now() < deadline) {
        CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
        if (raw.State() != CFrameSlot::kFilled)
          raw.Store(static_cast<int>(bytes.size()), kind, bytes.data(), scene.cols, scene.rows);
        std::this_thread::sleep_for(2ms);
      }
      ASSERT_EQ(core.LiveReduction(), c.reduction) << name;
      const cv::Mat trimmed =
          decoded(cv::Rect(c.margins[0], c.margins[1], scene.cols - c.margins[0] - c.margins[2],
                           scene.rows - c.margins[1] - c.margins[3]));
      cv::Mat expected = trimmed;
      if (c.rotation == 90) cv::rotate(trimmed, expected, cv::ROTATE_90_CLOCKWISE);
      if (c.rotation == 270) cv::rotate(trimmed, expected, cv::ROTATE_90_COUNTERCLOCKWISE);
      const cv::Mat picture = core.GetPicture();
      ASSERT_EQ(picture.size(), expected.size()) << name;
      EXPECT_EQ(cv::norm(picture, expected, cv::NORM_INF), 0) << name;
      EXPECT_EQ(cv::norm(core.GetShownPicture(), expected, cv::NORM_INF), 0) << name;
      if (kind == FrameSubtype::YUY2) {
        core.SetRecording(true);
        cv::Mat recorded;
        ASSERT_TRUE(core.GetRecordingPictureAt(&recorded, c.client)) << name;
        ASSERT_EQ(recorded.size(), expected.size()) << name;
        EXPECT_EQ(cv::norm(recorded, expected, cv::NORM_INF), 0) << name;
      }
      const std::vector<cv::Mat> pages = core.GetCroppedPictures();
      ASSERT_EQ(pages.size(), 1u) << name;
      EXPECT_FALSE(HasOutlineBlue(pages[0]));
      const cv::Size page = c.rotation % 180 == 0 ? cv::Size(200, 150) : cv::Size(150, 200);
      EXPECT_NEAR(std::max(pages[0].cols, pages[0].rows), std::max(page.width, page.height), 16) << name;
      EXPECT_NEAR(std::min(pages[0].cols, pages[0].rows), std::min(page.width, page.height), 16) << name;
      // The page's middle, cut from the full-resolution picture, is the page's paper.
      const cv::Scalar middle =
          cv::mean(pages[0](cv::Rect(pages[0].cols / 4, pages[0].rows / 4, pages[0].cols / 2, pages[0].rows / 2)));
      EXPECT_GT(middle[0], 200) << name;
    }
  }
}

// A YUY2 stream keeps being shown while the frames shown are held for the getters: each frame
// is stored until the display's picture is that frame, then the next one comes.
TEST(CDisplayCoreReducedView, AYuy2StreamKeepsComing) {
  CDisplayCore core;
  ASSERT_TRUE(core.Start({}));
  core.PostResize({80, 60});
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  for (int level = 40; level <= 220; level += 15) {
    const std::vector<std::uint8_t> yuy2 = Yuy2Of(cv::Mat(240, 320, CV_8UC3, cv::Scalar::all(level)));
    double shown = -1;
    while (std::abs(shown - level) > 2 && std::chrono::steady_clock::now() < deadline) {
      CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
      if (raw.State() != CFrameSlot::kFilled)
        raw.Store(static_cast<int>(yuy2.size()), FrameSubtype::YUY2, yuy2.data(), 320, 240);
      std::this_thread::sleep_for(2ms);
      const cv::Mat picture = core.GetPicture();
      if (!picture.empty()) shown = cv::mean(picture)[1];
    }
    ASSERT_NEAR(shown, level, 2) << "the view stopped before the frame of level " << level;
  }
}

// The client area composed by the workers while a frame's rows came in, its outlines' strips
// shrunk again, is what the picture container composes from the outlined frame: for frames shown
// at full size and reduced, compressed or not, and a slanted page whose thick outlines cross many
// rows.
TEST(CDisplayCoreComposition, TheWorkersComposeWhatTheContainerWould) {
  cv::Mat scene(480, 640, CV_8UC3, cv::Scalar::all(40));
  cv::Point2f corners[4];
  cv::RotatedRect(cv::Point2f(330, 236), cv::Size2f(360, 250), 9).points(corners);
  std::vector<cv::Point> page(corners, corners + 4);
  cv::fillConvexPoly(scene, page, cv::Scalar(225, 235, 240), cv::LINE_AA);
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", scene, jpeg);
  const std::vector<std::uint8_t> yuy2 = Yuy2Of(scene);
  cv::Mat bottomUp;
  cv::flip(scene, bottomUp, 0);
  const std::vector<std::uint8_t> rgb(bottomUp.data, bottomUp.data + bottomUp.total() * 3);
  const struct {
    FrameSubtype kind;
    const std::vector<std::uint8_t>& bytes;
    cv::Size client;
    int reduction;
  } cases[] = {{FrameSubtype::RGB24, rgb, {400, 300}, 1},
               {FrameSubtype::MJPG, jpeg, {300, 200}, 2},
               {FrameSubtype::YUY2, yuy2, {150, 120}, 4}};
  for (const auto& c : cases) {
    CDisplayCore core;
    ASSERT_TRUE(core.Start({}));
    core.PostResize(c.client);
    core.SetAutoCrop(true, false, 0.03f);
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    cv::Mat byWorkers;
    while (std::chrono::steady_clock::now() < deadline) {
      CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
      if (raw.State() != CFrameSlot::kFilled)
        raw.Store(static_cast<int>(c.bytes.size()), c.kind, c.bytes.data(), scene.cols, scene.rows);
      std::this_thread::sleep_for(2ms);
      cv::Mat shown = core.TakeShownFrame().picture;
      if (core.LiveReduction() == c.reduction && shown.size() == c.client && HasOutlineBlue(shown)) {
        byWorkers = shown;
        break;
      }
    }
    ASSERT_FALSE(byWorkers.empty()) << c.reduction;
    // A resize to the same size makes the container compose the frame it holds.
    core.PostResize(c.client);
    cv::Mat byContainer;
    while (byContainer.empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(2ms);
      byContainer = core.TakeShownFrame().picture;
    }
    ASSERT_EQ(byContainer.size(), byWorkers.size()) << c.reduction;
    EXPECT_EQ(cv::norm(byContainer, byWorkers, cv::NORM_INF), 0) << c.reduction;
  }
}

TEST_F(DisplayCoreTest, WithoutAPageTheCropIsTheWholePicture) {
  const cv::Mat desk(240, 320, CV_8UC3, cv::Scalar::all(40));
  for (bool detection : {true, false}) {
    core.SetAutoCrop(detection, false, 0.03f);
    ASSERT_FALSE(ShowUntil(core, desk, desk.size()).empty());
    const std::vector<cv::Mat> pictures = core.GetCroppedPictures();
    ASSERT_EQ(pictures.size(), 1u) << "detection " << detection;
    EXPECT_EQ(pictures[0].size(), desk.size());
  }
}

TEST_F(DisplayCoreTest, TheSelectionCutsThePicture) {
  const cv::Mat frame = Pattern(320, 240);
  core.PostResize({320, 240});  // scale 1, the picture fills the view
  ASSERT_FALSE(ShowUntil(core, frame, frame.size()).empty());
  EXPECT_EQ(core.EnableTrackRect(true), 0);
  for (const MouseInput& input : {MouseInput{MouseAction::LeftDown, {10, 20}}, MouseInput{MouseAction::Move, {110, 120}},
                                  MouseInput{MouseAction::LeftUp, {110, 120}}})
    core.PostMouse(input);
  // Sends may overtake the posted mouse input: wait for it to be handled.
  IntRect rect;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while ((!core.GetTrackRect(&rect) || rect.Width() == 0) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(2ms);
  EXPECT_EQ(rect, (IntRect{10, 20, 110, 120}));
  const std::vector<cv::Mat> pictures = core.GetCroppedPictures();
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(cv::norm(pictures[0], frame(cv::Rect(10, 20, 100, 100)), cv::NORM_INF), 0);

  core.EnableTrackRect(false);
  EXPECT_FALSE(core.GetTrackRect(&rect));
}

TEST_F(DisplayCoreTest, TheRecordingFlagGatesItsGetter) {
  const cv::Mat frame = Pattern(32, 24);
  ASSERT_FALSE(ShowUntil(core, frame, frame.size()).empty());
  cv::Mat picture(5, 5, CV_8UC3, cv::Scalar::all(7));
  EXPECT_FALSE(core.GetRecordingPicture(&picture));
  EXPECT_EQ(picture.size(), cv::Size(5, 5)) << "left untouched";
  core.SetRecording(true);
  EXPECT_TRUE(core.GetRecordingPicture(&picture));
  EXPECT_EQ(cv::norm(picture, frame, cv::NORM_INF), 0);
}

// A frame the camera ended early decodes with its missing rows in mid-grey. It is shown and
// recorded (a recording runs on), but a picture to keep waits for the next frame that came whole.
TEST(CDisplayCoreDamagedFrames, PicturesToKeepComeFromAFrameThatDecodedWhole) {
  const cv::Mat scene = Page({320, 240}, {60, 40, 200, 150});
  std::vector<std::uint8_t> whole;
  ASSERT_TRUE(cv::imencode(".jpg", scene, whole));
  const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  cv::Mat decoded(scene.size(), CV_8UC3);
  int w = 0, h = 0, step = 0;
  ASSERT_TRUE(DecodeMJPGToBGR24(whole.data(), static_cast<int>(whole.size()), decoded.data, decoded.total() * 3, &w,
                                &h, &step));
  const auto feed = [](CDisplayCore& core, const std::vector<std::uint8_t>& jpeg) {
    CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
    if (raw.State() != CFrameSlot::kFilled) raw.Store(static_cast<int>(jpeg.size()), FrameSubtype::MJPG, jpeg.data(), 320, 240);
  };
  struct Case {
    const char* getter;
    std::function<cv::Mat(CDisplayCore&)> get;
  };
  const Case cases[] = {
      {"GetPicture", [](CDisplayCore& core) { return core.GetPicture(); }},
      {"GetShownPicture", [](CDisplayCore& core) { return core.GetShownPicture(); }},
      {"GetCroppedPictures", [](CDisplayCore& core) {
         const std::vector<cv::Mat> pages = core.GetCroppedPictures();
         return pages.empty() ? cv::Mat() : pages.front();
       }},
  };
  for (const Case& c : cases) {
    CDisplayCore core;
    ASSERT_TRUE(core.Start({}));
    core.PostResize(scene.size());
    core.SetRecording(true);
    cv::Mat recorded;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!(core.GetRecordingPicture(&recorded) && testing::EndsInGreyRows(recorded)) && std::chrono::steady_clock::now() < deadline) {
      feed(core, cut);
      std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(testing::EndsInGreyRows(recorded)) << c.getter << ": the cut frame is current and recorded";
    std::future<cv::Mat> kept = std::async(std::launch::async, [&] { return c.get(core); });
    // The getter asks while the cut frame is current; only then does a whole one come.
    if (kept.wait_for(200ms) != std::future_status::ready) {
      while (kept.wait_for(2ms) != std::future_status::ready && std::chrono::steady_clock::now() < deadline)
        feed(core, whole);
    }
    const cv::Mat picture = kept.get();
    ASSERT_EQ(picture.size(), scene.size()) << c.getter;
    EXPECT_EQ(cv::norm(picture, decoded, cv::NORM_INF), 0) << c.getter;
  }
}

// The recorder pulls into the same matrix every frame, and the display writes the next picture
// into its buffer; a buffer the caller still shares elsewhere must never be written.
TEST(CDisplayCoreRecording, PullsNeverOverwriteAPictureHeldElsewhere) {
  CDisplayCore core;
  ASSERT_TRUE(core.Start({}));
  core.PostResize({80, 60});  // a quarter of the frames: shown decoded reduced, handed out in full
  core.SetRecording(true);
  std::vector<std::uint8_t> jpegs[2];
  cv::Mat decoded[2];
  for (int i = 0; i < 2; ++i) {
    cv::imencode(".jpg", Pattern(320, 240), jpegs[i]);
    decoded[i] = cv::imdecode(jpegs[i], cv::IMREAD_COLOR);
  }
  // Shows frame i until the recording picture is that frame at full size.
  cv::Mat picture;
  const auto pullUntil = [&](int i) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
      if (raw.State() != CFrameSlot::kFilled)
        raw.Store(static_cast<int>(jpegs[i].size()), FrameSubtype::MJPG, jpegs[i].data(), 320, 240);
      if (core.GetRecordingPicture(&picture) && picture.size() == decoded[i].size() && core.LiveReduction() == 4 &&
          cv::norm(picture, decoded[i], cv::NORM_INF) <= 2)
        return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  };
  ASSERT_TRUE(pullUntil(0));
  const cv::Mat held = picture;  // shared: the next pull must leave this buffer alone
  ASSERT_TRUE(pullUntil(1));
  EXPECT_LE(cv::norm(held, decoded[0], cv::NORM_INF), 2);
  EXPECT_NE(held.data, picture.data);
}

TEST_F(DisplayCoreTest, TheSecondCameraIsComposedIntoHandedOutPictures) {
  const cv::Mat frame(60, 80, CV_8UC3, cv::Scalar::all(0));
  ASSERT_TRUE(core.CreateSubImageBox({40, 30, 80, 60}));
  const cv::Mat inset(30, 40, CV_8UC3, cv::Scalar(0, 0, 255));
  cv::Mat picture;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  do {
    Feed(*core.RawSlot(CDisplayCore::kSecondarySlot), inset);
    Feed(*core.RawSlot(CDisplayCore::kMainSlot), frame);
    std::this_thread::sleep_for(2ms);
    picture = core.GetShownPicture();
  } while ((picture.empty() || picture.at<cv::Vec3b>(45, 60) != cv::Vec3b(0, 0, 255)) &&
           std::chrono::steady_clock::now() < deadline);
  ASSERT_FALSE(picture.empty());
  EXPECT_EQ(picture.at<cv::Vec3b>(45, 60), cv::Vec3b(0, 0, 255));
  EXPECT_EQ(picture.at<cv::Vec3b>(10, 10), cv::Vec3b(0, 0, 0));
  EXPECT_TRUE(core.GetPicture().at<cv::Vec3b>(45, 60) == cv::Vec3b(0, 0, 0)) << "the current picture stays clean";
}

// The conversion workers decode frames side by side; the view still gets them in the order the
// camera sent them, whichever decode finishes first.
TEST_F(DisplayCoreTest, FramesAreShownInTheOrderTheCameraSentThem) {
  core.PostResize({160, 120});
  std::vector<std::vector<std::uint8_t>> frames;
  for (int n = 1; n <= 60; ++n) {
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", cv::Mat(240, 320, CV_8UC3, cv::Scalar::all(100 + 2 * n)), jpeg);
    frames.push_back(std::move(jpeg));
  }
  std::vector<int> seen;
  std::size_t next = 0;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while ((next < frames.size() || seen.empty() || seen.back() < 60) && std::chrono::steady_clock::now() < deadline) {
    CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
    if (next < frames.size() && raw.State() != CFrameSlot::kFilled) {
      raw.Store(static_cast<int>(frames[next].size()), FrameSubtype::MJPG, frames[next].data(), 320, 240);
      ++next;
    }
    const ShownFrame shown = core.TakeShownFrame();
    // The empty view's dark panel comes before the first frame.
    if (!shown.picture.empty() && shown.picture.at<cv::Vec4b>(60, 80)[0] > 100) {
      const int number = (shown.picture.at<cv::Vec4b>(60, 80)[0] - 100 + 1) / 2;
      if (seen.empty() || seen.back() != number) seen.push_back(number);
    }
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 60);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << ::testing::PrintToString(seen);
}

TEST(CDisplayCoreLifetime, StopsQuicklyWhileAWorkerIsBlockedAndAReaderPulls) {
  auto core = std::make_unique<CDisplayCore>();
  // A slow hand-off keeps the display's thread busy, so the display worker waits in its send.
  core->SetFrameReadyHandler([] { std::this_thread::sleep_for(30ms); });
  ASSERT_TRUE(core->Start({}));
  core->PostResize({64, 48});
  std::atomic<bool> running{true};
  const cv::Mat frame = Pattern(64, 48);
  std::thread camera([&] {
    while (running) {
      Feed(*core->RawSlot(CDisplayCore::kMainSlot), frame);
      std::this_thread::sleep_for(1ms);
    }
  });
  std::thread reader([&] {
    while (running) {
      core->GetPicture();
      core->GetCroppedPictures();
    }
  });
  std::this_thread::sleep_for(200ms);
  const auto started = std::chrono::steady_clock::now();
  core->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);  // not held up by a blocked send
  EXPECT_TRUE(core->GetPicture().empty()) << "a stopped display answers at once";
  running = false;
  camera.join();
  reader.join();
  core.reset();
}

// A compressed frame is decoded for the recording only as large as the recording shows it: at
// 1/4 or 1/2 of each side where that still gives a frame pixel per recorded pixel, trimmed and
// turned as the full picture is.
TEST(CDisplayCoreRecording, PicturesAreDecodedNoLargerThanTheRecording) {
  struct Case {
    cv::Size recorded;
    int rotation;
    int margins[4];
    int reduction;
  };
  const Case cases[] = {
      {{80, 60}, 0, {0, 0, 0, 0}, 4},
      {{100, 60}, 0, {0, 0, 0, 0}, 4},  // 320 x 240 letterboxed into 100 x 60 is 80 x 60
      {{120, 90}, 0, {0, 0, 0, 0}, 2},
      {{160, 120}, 90, {8, 4, 12, 0}, 2},
      {{58, 79}, 270, {4, 0, 0, 8}, 4},
      {{320, 240}, 0, {0, 0, 0, 0}, 1},
      {{}, 180, {0, 0, 0, 0}, 1},  // no size: the full picture
  };
  const cv::Mat scene = Page({320, 240}, {60, 40, 200, 150});
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", scene, jpeg);
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.recorded.width) + " x " + std::to_string(c.recorded.height);
    CDisplayCore core;
    ASSERT_TRUE(core.Start({}));
    core.PostResize({640, 480});
    core.SetTrimMargins(c.margins[0], c.margins[1], c.margins[2], c.margins[3]);
    ASSERT_TRUE(core.SetRotation(c.rotation));
    core.SetRecording(true);
    cv::Mat decoded(240 / c.reduction, 320 / c.reduction, CV_8UC3);
    int w = 0, h = 0, step = 0;
    ASSERT_TRUE(DecodeMJPGToBGR24(jpeg.data(), static_cast<int>(jpeg.size()), decoded.data, decoded.total() * 3, &w,
                                  &h, &step, c.reduction));
    const int r = c.reduction;
    const cv::Mat trimmed = decoded(cv::Rect(c.margins[0] / r, c.margins[1] / r,
                                             (320 - c.margins[0] - c.margins[2]) / r,
                                             (240 - c.margins[1] - c.margins[3]) / r));
    cv::Mat expected = trimmed;
    if (c.rotation == 90) cv::rotate(trimmed, expected, cv::ROTATE_90_CLOCKWISE);
    if (c.rotation == 180) cv::rotate(trimmed, expected, cv::ROTATE_180);
    if (c.rotation == 270) cv::rotate(trimmed, expected, cv::ROTATE_90_COUNTERCLOCKWISE);
    cv::Mat picture;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (picture.size() != expected.size() && std::chrono::steady_clock::now() < deadline) {
      CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
      if (raw.State() != CFrameSlot::kFilled)
        raw.Store(static_cast<int>(jpeg.size()), FrameSubtype::MJPG, jpeg.data(), scene.cols, scene.rows);
      std::this_thread::sleep_for(2ms);
      ASSERT_TRUE(core.GetRecordingPictureAt(&picture, c.recorded));
    }
    ASSERT_EQ(picture.size(), expected.size()) << name;
    EXPECT_EQ(cv::norm(picture, expected, cv::NORM_INF), 0) << name;
  }
}

// The inset of the second camera lands where it is in the full picture, scaled with the recording's
// picture.
TEST(CDisplayCoreRecording, AReducedPictureCarriesTheInsetInItsPlace) {
  CDisplayCore core;
  ASSERT_TRUE(core.Start({}));
  core.PostResize({640, 480});
  core.SetRecording(true);
  ASSERT_TRUE(core.CreateSubImageBox({160, 120, 320, 240}));
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", cv::Mat(240, 320, CV_8UC3, cv::Scalar::all(0)), jpeg);
  const cv::Mat inset(30, 40, CV_8UC3, cv::Scalar(0, 0, 255));
  cv::Mat picture;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  do {
    Feed(*core.RawSlot(CDisplayCore::kSecondarySlot), inset);
    CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
    if (raw.State() != CFrameSlot::kFilled)
      raw.Store(static_cast<int>(jpeg.size()), FrameSubtype::MJPG, jpeg.data(), 320, 240);
    std::this_thread::sleep_for(2ms);
    core.GetRecordingPictureAt(&picture, {80, 60});
  } while ((picture.size() != cv::Size(80, 60) || picture.at<cv::Vec3b>(45, 60)[2] < 200) &&
           std::chrono::steady_clock::now() < deadline);
  ASSERT_EQ(picture.size(), cv::Size(80, 60));
  EXPECT_GT(picture.at<cv::Vec3b>(45, 60)[2], 200);  // inside (40, 30)-(80, 60)
  EXPECT_LT(picture.at<cv::Vec3b>(25, 35)[2], 40);
}

// The first frame of a view much smaller than the camera's frames is already decoded reduced: no
// full-resolution buffers are made before the view has fitted a picture.
TEST(CDisplayCoreReducedView, TheFirstFrameIsDecodedForTheView) {
  CDisplayCore core;
  ASSERT_TRUE(core.Start({}));
  core.PostResize({80, 60});
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", Pattern(320, 240), jpeg);
  // Sends may overtake the posted size: wait until the view has it.
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (core.TakeShownFrame().picture.size() != cv::Size(80, 60) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(2ms);
  CFrameSlot& raw = *core.RawSlot(CDisplayCore::kMainSlot);
  raw.Store(static_cast<int>(jpeg.size()), FrameSubtype::MJPG, jpeg.data(), 320, 240);
  while (core.GetPicture().empty() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  ASSERT_FALSE(core.GetPicture().empty());
  EXPECT_EQ(core.LiveReduction(), 4);
}

// The view gives back the frames it has painted, and the next frames are composed into them.
TEST_F(DisplayCoreTest, AFrameGivenBackIsComposedIntoAgain) {
  core.PostResize({64, 48});
  const cv::Mat frame = Pattern(64, 48);
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  cv::Mat painted;
  while (painted.empty() && std::chrono::steady_clock::now() < deadline) {
    Feed(*core.RawSlot(CDisplayCore::kMainSlot), frame);
    std::this_thread::sleep_for(2ms);
    painted = core.TakeShownFrame().picture;
  }
  ASSERT_FALSE(painted.empty());
  const std::uint8_t* given = painted.data;
  core.GiveBackShownPicture(std::move(painted));
  bool reused = false;
  while (!reused && std::chrono::steady_clock::now() < deadline) {
    Feed(*core.RawSlot(CDisplayCore::kMainSlot), frame);
    std::this_thread::sleep_for(2ms);
    reused = core.TakeShownFrame().picture.data == given;
  }
  EXPECT_TRUE(reused);
}

}  // namespace
}  // namespace orvane
