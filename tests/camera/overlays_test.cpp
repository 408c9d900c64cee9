#include "camera/overlays.h"

#include <cmath>

#include <gtest/gtest.h>

namespace orvane {
namespace {

class FakeOwner : public IOverlayOwner {
 public:
  explicit FakeOwner(cv::Size picture) : picture_(picture) {}
  void InvalidateViewRect(const IntRect&) override { ++invalidations; }
  bool GetPictureSize(cv::Size* size) const override {
    *size = picture_;
    return true;
  }
  void SetCursor(CursorShape shape) override { cursor = shape; }
  int invalidations = 0;
  CursorShape cursor = CursorShape::Arrow;

 private:
  cv::Size picture_;
};

// The view point that maps back to picture point p while a rectangle is drawn out (below scale 1
// the drawing aims half a view pixel in, hence the offset).
cv::Point ToView(cv::Point p, float scale) {
  const int k = scale < 1 ? static_cast<int>(0.5f / scale) : 0;
  return {static_cast<int>((p.x - k) * scale), static_cast<int>((p.y - k) * scale)};
}

const float kScales[] = {0.5f, 1.0f, 2.0f};

struct DrawOutCase {
  const char* what;
  cv::Point start, end;  // picture points (odd, so that they are exact at scale 0.5)
  IntRect expected;
};

TEST(CTrackRectangle, DrawingOutKeepsTheMinimumAndStaysInThePicture) {
  const DrawOutCase cases[] = {
      {"a 30 x 200 drag", {101, 101}, {131, 301}, {101, 101, 181, 301}},
      {"a click", {201, 201}, {201, 201}, {121, 121, 201, 201}},
      {"a drag up and left", {301, 301}, {101, 101}, {101, 101, 301, 301}},
      {"past the bottom right", {601, 401}, {701, 501}, {601, 401, 640, 480}},
  };
  for (float scale : kScales) {
    for (const DrawOutCase& c : cases) {
      FakeOwner owner({640, 480});
      CTrackRectangle rect;
      rect.SetOwner(&owner);
      EXPECT_FALSE(rect.OnLButtonDown(ToView(c.start, scale), scale));
      rect.OnMouseMove(ToView(c.end, scale), scale);
      EXPECT_EQ(owner.cursor, CursorShape::Cross);
      EXPECT_TRUE(rect.HitTest(ToView(c.end, scale), scale)) << "while drawn out the rectangle takes the mouse";
      rect.OnLButtonUp(ToView(c.end, scale), scale);
      const IntRect r = rect.GetRect();
      EXPECT_EQ(r, c.expected) << c.what << " at scale " << scale << ": " << r.left << "," << r.top << ","
                               << r.right << "," << r.bottom;
      EXPECT_TRUE(rect.IsCreated());
      EXPECT_TRUE(rect.IsSelected());
    }
  }
}

// A created, selected rectangle (100, 100)-(300, 300) in a 640 x 480 picture.
struct Selected {
  explicit Selected(float scale) : owner({640, 480}), scale(scale) {
    rect.SetOwner(&owner);
    rect.SetRect(100, 100, 300, 300);
    rect.SetSelected(true);
  }
  cv::Point Handle(int index) const { return rect.Handles(scale)[index]; }
  void Drag(cv::Point from, cv::Point by, int steps) {
    rect.OnMouseMove(from, scale);  // hovering picks the handle
    rect.OnLButtonDown(from, scale);
    cv::Point at = from;
    for (int i = 0; i < steps; ++i) {
      at += by;
      rect.OnMouseMove(at, scale);
    }
    rect.OnLButtonUp(at, scale);
  }
  FakeOwner owner;
  CTrackRectangle rect;
  float scale;
};

TEST(CTrackRectangle, AHandleStopsAtTheMinimumWidthAndStillGrows) {
  for (float scale : kScales) {
    Selected s(scale);
    const int step = static_cast<int>(10 * scale);  // 10 picture pixels
    s.Drag(s.Handle(3), {-step, 0}, 30);
    EXPECT_EQ(s.rect.GetRect().Width(), CTrackRectangle::kMinimumSide) << "scale " << scale;
    EXPECT_EQ(s.rect.GetRect().left, 100);
    s.Drag(s.Handle(3), {step, 0}, 5);
    EXPECT_EQ(s.rect.GetRect().Width(), CTrackRectangle::kMinimumSide + 50) << "scale " << scale;
  }
}

TEST(CTrackRectangle, MovingInsideShiftsTheWholeRectangle) {
  for (float scale : kScales) {
    Selected s(scale);
    const cv::Point inside(static_cast<int>(200 * scale), static_cast<int>(200 * scale));
    s.Drag(inside, {static_cast<int>(-100 * scale), static_cast<int>(20 * scale)}, 2);
    EXPECT_EQ(s.rect.GetRect(), (IntRect{-100, 140, 100, 340})) << "moves are not kept inside, scale " << scale;
  }
}

TEST(CTrackRectangle, HandlesAreHitWithinTenViewPixels) {
  for (float scale : kScales) {
    for (const auto& [offset, hit] : {std::pair{cv::Point(-10, -10), true}, std::pair{cv::Point(-11, 0), false},
                                      std::pair{cv::Point(0, -11), false}}) {
      Selected s(scale);
      s.rect.SetSelected(false);
      EXPECT_EQ(s.rect.OnLButtonDown(s.Handle(0) + offset, scale), hit) << "scale " << scale << " " << offset;
    }
  }
}

TEST(CTrackRectangle, HoveringShowsTheCursorOfTheHandle) {
  const std::pair<int, CursorShape> cases[] = {{0, CursorShape::SizeNWSE}, {1, CursorShape::SizeNS},
                                               {2, CursorShape::SizeNESW}, {3, CursorShape::SizeWE},
                                               {4, CursorShape::SizeNWSE}, {7, CursorShape::SizeWE}};
  Selected s(1.0f);
  for (const auto& [handle, cursor] : cases) {
    s.rect.OnMouseMove(s.Handle(handle), 1.0f);
    EXPECT_EQ(s.rect.HitCode(), handle);
    EXPECT_EQ(s.owner.cursor, cursor) << "handle " << handle;
  }
  s.rect.OnMouseMove({200, 200}, 1.0f);
  EXPECT_EQ(s.owner.cursor, CursorShape::SizeAll);
  s.rect.OnMouseMove({500, 50}, 1.0f);
  EXPECT_FALSE(s.rect.HitTest({500, 50}, 1.0f));
}

TEST(CDrawObject, PointsTurnWithThePicture) {
  struct Case {
    void (CDrawObject::*turn)(cv::Size);
    IntRect expected;
  };
  const Case cases[] = {
      {&CDrawObject::RotateClockwise, {459, 10, 459, 10}},
      {&CDrawObject::RotateCounterClockwise, {20, 629, 20, 629}},
      {&CDrawObject::Rotate180, {629, 459, 629, 459}},
  };
  for (const Case& c : cases) {
    CTrackRectangle rect;
    rect.SetRect(10, 20, 10, 20);
    (rect.*c.turn)({640, 480});
    EXPECT_EQ(rect.GetRect(), c.expected);
  }
}

cv::Mat Filled(int width, int height, cv::Vec3b colour) { return cv::Mat(height, width, CV_8UC3, cv::Scalar(colour[0], colour[1], colour[2])); }

TEST(CSubImageBox, ComposesItsPictureIntoTheRectangle) {
  CSubImageBox box;
  const cv::Mat source = Filled(4, 2, {0, 0, 255});
  box.SetSourceFrame(source.data, 4, 2);
  EXPECT_EQ(box.GetRect(), (IntRect{0, 0, 4, 2})) << "a box without points takes the frame's size";
  box.SetRect(10, 10, 30, 20);
  cv::Mat target = Filled(50, 40, {0, 0, 0});
  box.ComposeInto(target);
  EXPECT_EQ(cv::countNonZero(target.reshape(1) == 255), 20 * 10);
  EXPECT_EQ(target.at<cv::Vec3b>(15, 20), cv::Vec3b(0, 0, 255));
  EXPECT_EQ(target.at<cv::Vec3b>(5, 5), cv::Vec3b(0, 0, 0));
}

TEST(CSubImageBox, TiltsByThePageAngleBroughtWithin45Degrees) {
  const cv::Mat source = Filled(30, 10, {0, 200, 0});
  const auto composed = [&](double degrees) {
    CSubImageBox box;
    box.SetSourceFrame(source.data, source.cols, source.rows);
    box.SetRect(20, 20, 50, 30);
    box.SetTurnedDisplay(true, degrees * 3.141592653589793 / 180);
    cv::Mat target = Filled(70, 50, {0, 0, 0});
    box.ComposeInto(target);
    return target;
  };
  EXPECT_EQ(cv::norm(composed(60), composed(-30), cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(composed(90), composed(0), cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(composed(30), composed(-30), cv::NORM_INF), 0);
}

TEST(CSubImageBox, ATurnedBoxAtTheEdgeWritesOnlyInsideThePicture) {
  const cv::Mat source = Filled(30, 20, {9, 9, 9});
  CSubImageBox box;
  box.SetSourceFrame(source.data, source.cols, source.rows);
  box.SetRect(-10, -10, 20, 10);
  box.SetTurnedDisplay(true, 0.3);
  cv::Mat target = Filled(25, 15, {0, 0, 0});
  box.ComposeInto(target);  // under ASan an outside write fails here
  EXPECT_GT(cv::countNonZero(target.reshape(1)), 0);
}

TEST(CSubImageBox, IsMovedNotResizedAndStaysOverThePicture) {
  FakeOwner owner({100, 80});
  CSubImageBox box;
  box.SetOwner(&owner);
  box.SetRect(10, 10, 50, 40);
  EXPECT_FALSE(box.OnLButtonDown({5, 5}, 1.0f)) << "a press outside does not select the box";
  box.OnLButtonUp({5, 5}, 1.0f);
  ASSERT_TRUE(box.OnLButtonDown({49, 39}, 1.0f)) << "the corner is no handle, but inside";
  box.OnLButtonUp({49, 39}, 1.0f);
  box.OnMouseMove({49, 39}, 1.0f);  // a selected box picks up the hover
  box.OnLButtonDown({49, 39}, 1.0f);
  box.OnMouseMove({60, 39}, 1.0f);
  EXPECT_EQ(box.GetRect(), (IntRect{21, 10, 61, 40}));
  box.OnMouseMove({300, 39}, 1.0f);
  box.OnLButtonUp({300, 39}, 1.0f);
  EXPECT_EQ(box.GetRect(), (IntRect{60, 10, 100, 40}));
}

}  // namespace
}  // namespace orvane
