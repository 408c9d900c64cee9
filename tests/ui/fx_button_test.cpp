#include "ui/fx_button.h"

#include <QCursor>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "station_fixture.h"

namespace orvane::ui::testing {
namespace {

using State = CFxButton::State;
using Kind = CFxButton::Kind;
using Offset = CFxButton::Offset;

// The picture of the settings button in Simplified Chinese: 65 x 26, black corners.
constexpr int kPicture = 151;

class FxButtonTest : public ::testing::Test {
 protected:
  FxButtonTest() {
    EnsureApplication();
    host_.setGeometry(0, 0, 300, 120);
    host_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&host_));
    Away();
  }

  CFxButton& Make(Kind kind = Kind::kPush, QRect place = QRect(20, 20, 65, 26)) {
    buttons_.push_back(std::make_unique<CFxButton>(CFxButton::Style{kind}, QString(), &host_));
    CFxButton& button = *buttons_.back();
    button.setGeometry(place);
    button.show();
    return button;
  }
  // The look of the main window's command buttons, with one picture for every state.
  CFxButton& Skinned() {
    CFxButton& button = Make();
    button.SetTexts(QString(), true);
    button.SetCornerSize(QSize(8, 8));
    button.SetBitmaps(kPicture, true);
    button.SetTransparentColors(QColor(0, 0, 0), true);
    button.SetBorderWidths(0, true);
    button.Apply();
    return button;
  }
  // The cursor off every button.
  void Away() { QTest::mouseMove(&host_, QPoint(290, 110)); }
  static QColor Face(const QWidget& widget) { return widget.palette().color(QPalette::Active, QPalette::Button); }

  QWidget host_;
  std::vector<std::unique_ptr<CFxButton>> buttons_;
};

enum class Step { kHover, kLeave, kPress, kDragOut, kRelease, kReleaseOutside, kDoubleClick, kDisable, kCheck };

TEST_F(FxButtonTest, TheMouseAndTheOwnerMoveTheButtonThroughItsStates) {
  struct Case {
    const char* name;
    Kind kind;
    std::vector<Step> steps;
    State state;
    int clicks;
    bool checked;
  };
  const Case cases[] = {
      {"hovered", Kind::kPush, {Step::kHover}, State::kHot, 0, false},
      {"hovered and left", Kind::kPush, {Step::kHover, Step::kLeave}, State::kNormal, 0, false},
      {"pressed", Kind::kPush, {Step::kHover, Step::kPress}, State::kPressed, 0, false},
      {"dragged out", Kind::kPush, {Step::kHover, Step::kPress, Step::kDragOut}, State::kNormal, 0, false},
      {"dragged out and released", Kind::kPush, {Step::kHover, Step::kPress, Step::kDragOut, Step::kReleaseOutside},
       State::kNormal, 0, false},
      {"clicked", Kind::kPush, {Step::kHover, Step::kPress, Step::kRelease}, State::kHot, 1, false},
      {"double-clicked", Kind::kPush, {Step::kHover, Step::kPress, Step::kRelease, Step::kDoubleClick, Step::kRelease},
       State::kHot, 2, false},
      {"disabled", Kind::kPush, {Step::kHover, Step::kDisable}, State::kDisabled, 0, false},
      {"disabled and clicked", Kind::kPush, {Step::kDisable, Step::kPress, Step::kRelease}, State::kDisabled, 0, false},
      {"push button asked to check", Kind::kPush, {Step::kCheck}, State::kNormal, 0, false},
      {"check box clicked", Kind::kCheckBox, {Step::kHover, Step::kPress, Step::kRelease}, State::kPressed, 1, true},
      {"check box clicked twice", Kind::kCheckBox,
       {Step::kHover, Step::kPress, Step::kRelease, Step::kPress, Step::kRelease}, State::kHot, 2, false},
      {"check box checked by its owner", Kind::kCheckBox, {Step::kCheck}, State::kPressed, 0, true},
      {"check box pressed, dragged out and released", Kind::kCheckBox,
       {Step::kHover, Step::kPress, Step::kDragOut, Step::kReleaseOutside}, State::kNormal, 0, false},
  };
  for (const Case& c : cases) {
    Away();
    CFxButton& button = Make(c.kind);
    button.Apply();
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    const QPoint inside(30, 13);
    const QPoint outside(150, 60);
    for (Step step : c.steps) {
      switch (step) {
        case Step::kHover: QTest::mouseMove(&button, inside); break;
        case Step::kLeave: Away(); break;
        case Step::kPress: QTest::mousePress(&button, Qt::LeftButton, {}, inside); break;
        case Step::kDragOut: QTest::mouseMove(&button, outside); break;
        case Step::kRelease: QTest::mouseRelease(&button, Qt::LeftButton, {}, inside); break;
        case Step::kReleaseOutside: QTest::mouseRelease(&button, Qt::LeftButton, {}, outside); break;
        case Step::kDoubleClick: QTest::mouseDClick(&button, Qt::LeftButton, {}, inside); break;
        case Step::kDisable: button.setEnabled(false); break;
        case Step::kCheck: button.setChecked(true); break;
      }
    }
    EXPECT_EQ(button.CurrentState(), c.state) << c.name;
    EXPECT_EQ(clicks.count(), c.clicks) << c.name;
    EXPECT_EQ(button.isChecked(), c.checked) << c.name;
    buttons_.clear();
  }
}

TEST_F(FxButtonTest, OneRadioButtonOfAGroupIsCheckedAtATime) {
  CFxButton* radios[3];
  for (int i = 0; i < 3; ++i) radios[i] = &Make(Kind::kRadio, QRect(10 + 90 * i, 20, 80, 22));
  const auto checked = [&radios] {
    return std::vector<bool>{radios[0]->isChecked(), radios[1]->isChecked(), radios[2]->isChecked()};
  };
  radios[0]->Apply(false, CFxButton::kKeepSwitches, true);
  EXPECT_EQ(checked(), (std::vector<bool>{true, false, false}));
  QTest::mouseClick(radios[1], Qt::LeftButton);
  EXPECT_EQ(checked(), (std::vector<bool>{false, true, false}));
  radios[2]->setChecked(true);
  EXPECT_EQ(checked(), (std::vector<bool>{false, false, true}));
  // Clicking the checked one keeps it checked.
  QTest::mouseClick(radios[2], Qt::LeftButton);
  EXPECT_EQ(checked(), (std::vector<bool>{false, false, true}));
}

TEST_F(FxButtonTest, ShadesAreTruncatedChannelByChannel) {
  struct Case {
    QColor colour;
    int kind;
    Offset offset;
    QColor shade;
  };
  const QColor white(255, 255, 255);
  const QColor grey(240, 240, 240);
  const QColor blue(10, 100, 200);
  const Case cases[] = {
      {grey, 1, Offset::kRaised, white},
      {grey, 2, Offset::kRaised, QColor(246, 246, 246)},
      {grey, 3, Offset::kRaised, QColor(120, 120, 120)},
      {grey, 4, Offset::kRaised, QColor(167, 167, 167)},
      {grey, 1, Offset::kSunken, QColor(120, 120, 120)},
      {grey, 2, Offset::kSunken, QColor(167, 167, 167)},
      {grey, 3, Offset::kSunken, white},
      {grey, 4, Offset::kSunken, QColor(246, 246, 246)},
      {grey, 1, Offset::kFlat, grey},
      {grey, 4, Offset::kFlat, grey},
      // Single-precision factors: 10 x 0.7 falls just short of 7.
      {blue, 3, Offset::kRaised, QColor(5, 50, 100)},
      {blue, 4, Offset::kRaised, QColor(6, 69, 139)},
      {blue, 2, Offset::kRaised, QColor(108, 162, 222)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CFxButton::ShadeColor(c.colour, c.kind, c.offset).name().toStdString(), c.shade.name().toStdString())
        << c.colour.name().toStdString() << " kind " << c.kind << " offset " << static_cast<int>(c.offset);
  }
}

TEST_F(FxButtonTest, ARaisedButtonIsLitTopLeftAndASunkenOneBottomRight) {
  CFxButton& button = Make();
  button.Apply();
  const QColor face = Face(button);
  const QColor half(face.red() / 2, face.green() / 2, face.blue() / 2);
  const QColor white(255, 255, 255);
  const QPoint topLeft(0, 0);
  const QPoint bottomRight(button.width() - 1, button.height() - 1);
  QImage normal = button.grab().toImage();
  EXPECT_EQ(normal.pixelColor(topLeft), white);
  EXPECT_EQ(normal.pixelColor(bottomRight), half);
  button.setDown(true);
  QImage pressed = button.grab().toImage();
  EXPECT_EQ(pressed.pixelColor(topLeft), half);
  EXPECT_EQ(pressed.pixelColor(bottomRight), white);
  // A check box's edges are flat: the face colour in every state.
  CFxButton& box = Make(Kind::kCheckBox, QRect(100, 20, 80, 22));
  box.Apply();
  for (const QColor& colour : box.BorderColors(State::kPressed)) EXPECT_EQ(colour, face);
}

TEST_F(FxButtonTest, APictureRegionLeavesOutBothTransparentColours) {
  const QColor face(240, 240, 240);
  const QColor blue(30, 90, 200);
  // Black corners and one pixel of the face colour in the middle of a blue picture.
  QImage picture(5, 3, QImage::Format_RGB32);
  picture.fill(blue);
  for (const QPoint corner : {QPoint(0, 0), QPoint(4, 0), QPoint(0, 2), QPoint(4, 2)}) picture.setPixelColor(corner, Qt::black);
  picture.setPixelColor(2, 1, face);
  const QRegion region = CFxButton::RegionFromBitmap(picture, Qt::black, face);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(region.contains(QPoint(x, y)), picture.pixelColor(x, y) == blue) << x << "," << y;
    }
  }
}

TEST_F(FxButtonTest, ASkinnedButtonIsRoundedWhereItsStateHasAPictureAndPaintsOnlyThePicturesSolidPixels) {
  CFxButton& button = Skinned();
  const QImage picture = button.Bitmap(State::kNormal);
  ASSERT_FALSE(picture.isNull());
  ASSERT_EQ(picture.pixelColor(0, 0), QColor(Qt::black));
  const QRegion solid = button.BitmapRegion(State::kNormal);
  EXPECT_FALSE(solid.contains(QPoint(0, 0)));
  EXPECT_FALSE(solid.contains(QPoint(64, 25)));
  EXPECT_TRUE(solid.contains(QPoint(32, 13)));
  EXPECT_TRUE(solid.contains(QPoint(32, 0)));
  button.repaint();
  EXPECT_EQ(button.mask(), button.RoundRegion());
  EXPECT_FALSE(button.mask().contains(QPoint(0, 0)));
  EXPECT_TRUE(button.mask().contains(QPoint(4, 0)));
  // Nothing of the picture's black is painted: its corners show the face colour.
  const QImage shown = button.grab().toImage();
  EXPECT_EQ(shown.pixelColor(63, 24), Face(button));
  for (const QRect& run : button.mask()) {
    for (int y = run.top(); y <= run.bottom(); ++y) {
      for (int x = run.left(); x <= run.right(); ++x) ASSERT_NE(shown.pixelColor(x, y), QColor(Qt::black)) << x << "," << y;
    }
  }

  // Without a disabled picture of its own and without sharing the normal one, a disabled button
  // shows no picture and is not rounded.
  button.SetBitmaps(kPicture, false, kPicture);
  button.Apply();
  button.setEnabled(false);
  button.repaint();
  EXPECT_TRUE(button.Bitmap(State::kDisabled).isNull());
  EXPECT_TRUE(button.mask().isEmpty());
  EXPECT_EQ(button.grab().toImage().pixelColor(32, 13), Face(button));
}

TEST_F(FxButtonTest, APushedButtonDrawsItsPictureTwoPixelsLowerRightAndADisabledOneEmbossed) {
  CFxButton& button = Skinned();
  const QImage normal = button.grab().toImage();
  button.setDown(true);
  const QImage pushed = button.grab().toImage();
  for (int y = 4; y < 20; ++y) {
    for (int x = 4; x < 58; ++x) ASSERT_EQ(pushed.pixel(x + 2, y + 2), normal.pixel(x, y)) << x << "," << y;
  }
  button.setDown(false);
  button.setEnabled(false);
  const QImage disabled = button.grab().toImage();
  const QColor face = Face(button);
  const QColor white = CFxButton::ShadeColor(face, 1, Offset::kRaised);
  const QColor grey = CFxButton::ShadeColor(face, 4, Offset::kRaised);
  for (const QPoint at : {QPoint(10, 10), QPoint(32, 13), QPoint(50, 20)}) {
    const QColor shown = disabled.pixelColor(at);
    EXPECT_TRUE(shown == white || shown == grey) << at.x() << "," << at.y() << " " << shown.name().toStdString();
  }
}

TEST_F(FxButtonTest, OnlyANormalPictureWithTheFillFlagServesEveryState) {
  CFxButton& button = Make();
  ASSERT_TRUE(button.SetBitmaps(kPicture, true));
  for (State state : {State::kPressed, State::kHot, State::kDisabled}) {
    EXPECT_EQ(button.Bitmap(state), button.Bitmap(State::kNormal)) << static_cast<int>(state);
  }
  // Without it, only the states given a picture have one; a missing picture is said so.
  EXPECT_FALSE(button.SetBitmaps(kPicture, false, 99999));
  EXPECT_TRUE(button.Bitmap(State::kHot).isNull());
  EXPECT_TRUE(button.Bitmap(State::kPressed).isNull());
}

}  // namespace
}  // namespace orvane::ui::testing
