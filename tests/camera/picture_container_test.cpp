#include "camera/picture_container.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace orvane {
namespace {

// A picture whose every pixel differs from its neighbours, so a shifted render shows.
cv::Mat Pattern(int width, int height) {
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.at<cv::Vec3b>(y, x) = {static_cast<uchar>(x * 7 + y), static_cast<uchar>(y * 13 + x * 3),
                                     static_cast<uchar>((x ^ y) * 5)};
  return picture;
}

struct ViewCase {
  cv::Size picture;
  float scale;
  cv::Point windowAnchor, pictureAnchor;
  IntRect view, destination;
};

TEST(ComputeView, PlacesTheScaledPicture) {
  const cv::Size client(1280, 1024);
  const ViewCase cases[] = {
      // Smaller than the window: centred whatever the anchors.
      {{640, 480}, 1.0f, {5, 5}, {0, 0}, {0, 0, 640, 480}, {320, 272, 960, 752}},
      // Larger both ways: the anchor point lands under the window point.
      {{2000, 2000}, 1.0f, {600, 200}, {1000, 1000}, {400, 800, 1680, 1824}, {0, 0, 1280, 1024}},
      // Anchors outside fall back to the centres.
      {{2000, 2000}, 1.0f, {-1, 0}, {-5, 0}, {360, 488, 1640, 1512}, {0, 0, 1280, 1024}},
      // Clamped at the picture's edges.
      {{2000, 2000}, 1.0f, {1280, 1024}, {0, 0}, {0, 0, 1280, 1024}, {0, 0, 1280, 1024}},
      {{2000, 2000}, 1.0f, {0, 0}, {2000, 2000}, {720, 976, 2000, 2000}, {0, 0, 1280, 1024}},
      // Only wider: full width, centred vertically.
      {{1000, 250}, 2.0f, {640, 512}, {500, 0}, {360, 0, 1640, 500}, {0, 262, 1280, 762}},
      // Only higher: full height, centred horizontally.
      {{200, 2000}, 1.0f, {640, 0}, {0, 1500}, {0, 976, 200, 2000}, {540, 0, 740, 1024}},
      // No scale known yet counts as 1.
      {{640, 480}, -1.0f, {0, 0}, {0, 0}, {0, 0, 640, 480}, {320, 272, 960, 752}},
  };
  for (const ViewCase& c : cases) {
    const ViewPlacement p = CObjectContainer::ComputeView(c.picture, c.scale, c.windowAnchor, c.pictureAnchor, client);
    EXPECT_EQ(p.view, c.view) << c.picture << " at " << c.scale << " view " << p.view.left << "," << p.view.top
                              << "," << p.view.right << "," << p.view.bottom;
    EXPECT_EQ(p.destination, c.destination) << c.picture << " at " << c.scale;
    EXPECT_EQ(p.view.Width(), p.destination.Width());
    EXPECT_EQ(p.view.Height(), p.destination.Height());
  }
}

TEST(FitScale, NeverEnlarges) {
  EXPECT_FLOAT_EQ(CObjectContainer::FitScale({640, 480}, {1280, 1024}), 1.0f);
  EXPECT_FLOAT_EQ(CObjectContainer::FitScale({2592, 1944}, {800, 600}), 600.0f / 1944);
  EXPECT_FLOAT_EQ(CObjectContainer::FitScale({2592, 1944}, {0, 600}), 1.0f);
}

class ZoomedContainer : public ::testing::Test {
 protected:
  void SetUp() override {
    container.SetClientSize({800, 600});
    container.SetPicture(cv::Mat(1944, 2592, CV_8UC3, cv::Scalar(10, 20, 30)));
    container.OnMouseMove({400, 300});
  }
  CObjectContainer container;
};

TEST_F(ZoomedContainer, WheelClimbsTheLadderFromTheFitScale) {
  EXPECT_TRUE(container.FitMode());
  EXPECT_NEAR(container.Scale(), 0.30864f, 1e-4);
  const float up[] = {0.5f, 1, 2, 3, 4, 5, 6, 7, 8, 8};
  for (float expected : up) {
    container.OnMouseWheel(120, {400, 300});
    EXPECT_FLOAT_EQ(container.Scale(), expected);
    EXPECT_FALSE(container.FitMode());
  }
}

TEST_F(ZoomedContainer, WheelDownStopsAtTheFitScale) {
  for (int i = 0; i < 3; ++i) container.OnMouseWheel(120, {400, 300});  // 0.5, 1, 2
  const float down[] = {1, 0.5f};
  for (float expected : down) {
    container.OnMouseWheel(-120, {400, 300});
    EXPECT_FLOAT_EQ(container.Scale(), expected);
  }
  container.OnMouseWheel(-120, {400, 300});  // 0.25 is below the fit scale
  EXPECT_TRUE(container.FitMode());
  EXPECT_NEAR(container.Scale(), 0.30864f, 1e-4);
  const IntRect view = container.View();
  container.OnMouseWheel(-120, {400, 300});
  EXPECT_TRUE(container.FitMode());
  EXPECT_EQ(container.View(), view);
}

TEST(PictureContainer, ThePointUnderTheMouseStaysPut) {
  CObjectContainer container;
  container.SetClientSize({800, 600});
  container.SetPicture(Pattern(2592, 1944));
  const cv::Point mouse(250, 180);
  container.OnMouseMove(mouse);
  const auto pictureUnder = [&] {
    const IntRect& v = container.View();
    const IntRect& d = container.Destination();
    return cv::Point2f((v.left + mouse.x - d.left) / container.Scale(), (v.top + mouse.y - d.top) / container.Scale());
  };
  const cv::Point2f before = pictureUnder();
  for (int i = 0; i < 6; ++i) {
    container.OnMouseWheel(120, mouse);
    const cv::Point2f now = pictureUnder();
    EXPECT_NEAR(now.x, before.x, 2.0f) << "scale " << container.Scale();
    EXPECT_NEAR(now.y, before.y, 2.0f) << "scale " << container.Scale();
  }
}

TEST(PictureContainer, PanningRendersWhatAFullRenderWould) {
  // Fits at 0.118, so every ladder step is reachable.
  const cv::Mat picture = Pattern(1000, 760);
  const cv::Point drags[] = {{-7, 0}, {0, 5}, {13, -9}, {-3, 11}, {40, 40}, {-60, -1}};
  for (float scale : CObjectContainer::kLadder) {
    CObjectContainer container;
    container.SetClientSize({120, 90});
    container.SetPicture(picture);
    // Zoom from the fit scale to this ladder step with the mouse in the middle.
    container.OnMouseMove({60, 45});
    for (int i = 0; i < 12 && container.Scale() < scale; ++i) container.OnMouseWheel(120, {60, 45});
    ASSERT_FLOAT_EQ(container.Scale(), scale);
    container.OnLButtonDown({60, 45});
    cv::Point at(60, 45);
    for (const cv::Point& drag : drags) {
      at += drag;
      container.OnMouseMove(at);
      const cv::Mat full = CObjectContainer::RenderRegion(picture, container.View(), scale);
      ASSERT_FALSE(full.empty());
      ASSERT_EQ(cv::norm(container.CleanView(), full, cv::NORM_INF), 0) << "scale " << scale << " drag " << drag;
    }
    container.OnLButtonUp(at);
  }
}

TEST(PictureContainer, AReducedFrameKeepsThePicturesCoordinatesAndRendersAsTheFullOne) {
  const cv::Mat picture = Pattern(1000, 760);
  CObjectContainer container;
  container.SetClientSize({120, 90});
  container.SetPicture(picture);
  container.OnMouseMove({60, 45});
  container.OnMouseWheel(120, {60, 45});
  ASSERT_FLOAT_EQ(container.Scale(), 0.125f);
  const IntRect view = container.View();
  cv::Mat quarter;
  cv::resize(picture, quarter, {250, 190}, 0, 0, cv::INTER_AREA);
  container.SetPicture(quarter, 4);
  EXPECT_EQ(container.View(), view) << "the zoom survives: the picture's size is the same";
  cv::Size size;
  ASSERT_TRUE(container.GetPictureSize(&size));
  EXPECT_EQ(size, picture.size());
  EXPECT_EQ(container.Reduction(), 4);
  const cv::Mat full = CObjectContainer::RenderRegion(picture, view, 0.125f);
  ASSERT_EQ(container.CleanView().size(), full.size());
  EXPECT_LE(cv::norm(container.CleanView(), full, cv::NORM_INF), 1) << "averages of averages round once more";

  // Zoomed past the reduced frame's own pixels: it is brought to full size rather than shown thin.
  container.OnMouseWheel(120, {60, 45});
  container.OnMouseWheel(120, {60, 45});
  container.OnMouseWheel(120, {60, 45});
  ASSERT_FLOAT_EQ(container.Scale(), 1.0f);
  EXPECT_EQ(container.Reduction(), 1);
  EXPECT_EQ(container.Picture().size(), picture.size());
  EXPECT_EQ(container.CleanView().size(), cv::Size(container.View().Width(), container.View().Height()));
}

TEST(PictureContainer, DraggingInFitModeDoesNotPan) {
  CObjectContainer container;
  container.SetClientSize({100, 100});
  container.SetPicture(Pattern(300, 300));
  const IntRect view = container.View();
  container.OnLButtonDown({50, 50});
  container.OnMouseMove({20, 20});
  EXPECT_EQ(container.View(), view);
}

TEST(PictureContainer, FramesOfTheSameSizeKeepTheZoomAndAnotherSizeRefits) {
  CObjectContainer container;
  container.SetClientSize({200, 150});
  container.SetPicture(Pattern(800, 600));
  container.OnMouseMove({30, 40});
  container.OnMouseWheel(120, {30, 40});
  container.OnMouseWheel(120, {30, 40});
  const IntRect view = container.View();
  const float scale = container.Scale();
  container.SetPicture(Pattern(800, 600));
  EXPECT_EQ(container.View(), view);
  EXPECT_FLOAT_EQ(container.Scale(), scale);
  container.SetPicture(Pattern(400, 300));
  EXPECT_TRUE(container.FitMode());
  EXPECT_FLOAT_EQ(container.Scale(), 0.5f);
}

TEST(PictureContainer, ComposesAGreyFrameAsColourInTheMiddle) {
  CObjectContainer container;
  container.SetClientSize({40, 30});
  container.SetPicture(cv::Mat(10, 20, CV_8UC1, cv::Scalar(77)));
  const cv::Mat frame = container.Compose();
  ASSERT_EQ(frame.size(), cv::Size(40, 30));
  EXPECT_EQ(frame.at<cv::Vec3b>(15, 20), cv::Vec3b(77, 77, 77));
  EXPECT_EQ(frame.at<cv::Vec3b>(2, 2), cv::Vec3b(12, 12, 12));   // background
  EXPECT_EQ(frame.at<cv::Vec3b>(0, 0), cv::Vec3b(255, 255, 255));  // frame line
}

TEST(PictureContainer, RotationTurnsTheSelectionAndKeepsTheViewCentre) {
  CObjectContainer container;
  container.SetClientSize({100, 100});
  container.SetPicture(Pattern(640, 480));
  container.CreateTrackRectangle();
  container.TrackRectangle()->SetRect(10, 20, 110, 120);
  container.RotateObjects(QuarterTurn::Clockwise);
  IntRect rect;
  ASSERT_TRUE(container.GetTrackRect(&rect));
  EXPECT_EQ(rect, (IntRect{359, 10, 459, 110}));
  cv::Size size;
  ASSERT_TRUE(container.GetPictureSize(&size));
  EXPECT_EQ(size, cv::Size(480, 640));
  EXPECT_TRUE(container.FitMode());
}

TEST(PictureContainer, DoubleClickDeselectsAndNotifies) {
  CObjectContainer container;
  container.SetClientSize({400, 300});
  container.SetPicture(Pattern(400, 300));
  int clicks = 0;
  container.SetDoubleClickHandler([&] { ++clicks; });
  container.CreateTrackRectangle();
  container.TrackRectangle()->SetRect(10, 10, 200, 200);
  container.TrackRectangle()->SetSelected(true);
  container.OnLButtonDblClk({50, 50});
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(container.TrackRectangle()->IsSelected());
}

TEST(PictureContainer, RightDragRedrawsTheSelectionOnlyWhenThereIsOne) {
  CObjectContainer container;
  container.SetClientSize({400, 300});
  container.SetPicture(Pattern(400, 300));
  container.OnRButtonDown({10, 10});
  container.OnMouseMove({200, 200});
  container.OnRButtonUp({200, 200});
  IntRect rect;
  EXPECT_FALSE(container.GetTrackRect(&rect));

  container.CreateTrackRectangle();
  container.TrackRectangle()->SetRect(0, 0, 100, 100);
  container.OnRButtonDown({150, 50});
  container.OnMouseMove({300, 250});
  container.OnRButtonUp({300, 250});
  ASSERT_TRUE(container.GetTrackRect(&rect));
  EXPECT_EQ(rect, (IntRect{150, 50, 300, 250}));
}

// The frame handed to the view is the composed frame in the window system's layout, whether it
// is written straight (nothing over the picture) or through the overlays' composition.
TEST(PictureContainer, ComposesForTheViewWhatComposeShowsInItsLayout) {
  struct Case {
    const char* name;
    cv::Size client;
    int wheelSteps;
    bool selection;
    bool inset;
  };
  const Case cases[] = {
      {"fitted", {200, 150}, 0, false, false},
      {"zoomed past the window", {200, 150}, 3, false, false},
      {"picture smaller than the window", {900, 700}, 0, false, false},
      {"with a selection", {200, 150}, 0, true, false},
      {"with an inset", {200, 150}, 0, false, true},
  };
  for (const Case& c : cases) {
    CObjectContainer container;
    container.SetClientSize(c.client);
    container.SetPicture(Pattern(800, 600));
    container.OnMouseMove({60, 50});
    for (int i = 0; i < c.wheelSteps; ++i) container.OnMouseWheel(120, {60, 50});
    if (c.selection) {
      container.CreateTrackRectangle();
      container.TrackRectangle()->SetRect(100, 100, 400, 300);
      container.TrackRectangle()->SetSelected(true);
    }
    if (c.inset) {
      container.CreateSubImageBox(400, 300, 800, 600);
      const cv::Mat second(30, 40, CV_8UC3, cv::Scalar(0, 0, 255));
      container.SubImageBox()->SetSourceFrame(second.data, second.cols, second.rows);
    }
    cv::Mat expected;
    cv::cvtColor(container.Compose(), expected, cv::COLOR_BGR2BGRA);
    cv::Mat bgra(c.client, CV_8UC4, cv::Scalar::all(3));
    const std::uint8_t* given = bgra.data;
    container.ComposeBgra(bgra);
    ASSERT_EQ(bgra.size(), c.client) << c.name;
    EXPECT_EQ(cv::norm(bgra, expected, cv::NORM_INF), 0) << c.name;
    EXPECT_EQ(bgra.data, given) << c.name << ": the buffer given is written into";
    EXPECT_FALSE(container.NeedsRepaint()) << c.name;
  }
}

// A fitted frame is shrunk straight into the view's frame, before anything else asks for the
// clean view: the same pixels, for full and reduced frames, and the clean view still follows.
TEST(PictureContainerTest, AFittedFrameComposedFirstMatchesCompose) {
  for (int reduction : {1, 2}) {
    const cv::Mat frame = Pattern(800 / reduction, 600 / reduction);
    CObjectContainer straight, reference;
    for (CObjectContainer* container : {&straight, &reference}) {
      container->SetClientSize({320, 250});
      container->SetPicture(frame, reduction);
    }
    cv::Mat bgra;
    straight.ComposeBgra(bgra);
    cv::Mat expected;
    cv::cvtColor(reference.Compose(), expected, cv::COLOR_BGR2BGRA);
    EXPECT_EQ(cv::norm(bgra, expected, cv::NORM_INF), 0) << "reduction " << reduction;
    EXPECT_EQ(cv::norm(straight.CleanView(), reference.CleanView(), cv::NORM_INF), 0) << "reduction " << reduction;
  }
}

// Zoomed in from the fit, the part shown is copied or shrunk straight into the view's frame too:
// the same pixels as the clean view gives, at every step up to and past 1.
TEST(PictureContainerTest, AZoomedFrameComposedFirstMatchesCompose) {
  for (int reduction : {1, 2}) {
    for (int steps : {1, 2, 3}) {
      const cv::Mat frame = Pattern(800 / reduction, 600 / reduction);
      CObjectContainer straight, reference;
      for (CObjectContainer* container : {&straight, &reference}) {
        container->SetClientSize({320, 250});
        container->SetPicture(frame, reduction);
        container->OnMouseMove({130, 90});
        for (int i = 0; i < steps; ++i) container->OnMouseWheel(120, {130, 90});
        container->SetPicture(frame, reduction);  // the next frame, at the zoom reached
      }
      cv::Mat bgra;
      straight.ComposeBgra(bgra);
      cv::Mat expected;
      cv::cvtColor(reference.Compose(), expected, cv::COLOR_BGR2BGRA);
      EXPECT_EQ(cv::norm(bgra, expected, cv::NORM_INF), 0) << "reduction " << reduction << ", steps " << steps;
    }
  }
}

}  // namespace
}  // namespace orvane
