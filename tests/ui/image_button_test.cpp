#include "ui/image_button.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/message_ids.h"
#include "station_fixture.h"
#include "temp_folder.h"

namespace orvane::ui::testing {
namespace {
namespace ids = platform::message_ids;

class ImageButtonTest : public ::testing::Test {
 protected:
  ImageButtonTest() {
    EnsureApplication();
    target_ = platform::CreateTarget([this](const platform::Message& message) {
      posted.emplace_back(message.wParam, message.lParam);
      return 0;
    });
  }
  ~ImageButtonTest() override { platform::DestroyTarget(target_); }

  std::filesystem::path Picture(int width, int height) {
    const std::filesystem::path path = folder / ("picture" + std::to_string(width) + ".png");
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    image.save(QString::fromStdString(path.string()));
    return path;
  }
  void Init(CImageButton& button, int identifier) {
    button.Init(ids::kImageButtonClick, identifier, 10, 10, 139, 156, &owner_, target_, &presenter, true);
  }
  void Drain() { WaitFor([] { return false; }, std::chrono::milliseconds(20)); }

  ::orvane::testing::TempFolder folder;
  ScriptedPresenter presenter;
  std::vector<std::pair<platform::WParam, platform::LParam>> posted;

 private:
  QWidget owner_;
  platform::TargetHandle target_;
};

TEST_F(ImageButtonTest, APictureIsFittedWithItsAspectKeptAndOnePixelInside) {
  struct Case {
    int width, height, fittedWidth, fittedHeight;
  };
  // A 129 x 146 rectangle.
  for (const Case& c : {Case{200, 100, 125, 62}, Case{100, 200, 70, 142}, Case{129, 146, 125, 144}}) {
    CImageButton button;
    Init(button, 0);
    ASSERT_TRUE(button.LoadFile(Picture(c.width, c.height))) << c.width;
    EXPECT_EQ(button.Picture().width(), c.fittedWidth) << c.width << "x" << c.height;
    EXPECT_EQ(button.Picture().height(), c.fittedHeight) << c.width << "x" << c.height;
  }
}

TEST_F(ImageButtonTest, AFailedLoadLeavesNoPictureButTheOldPath) {
  CImageButton button;
  Init(button, 0);
  const std::filesystem::path first = Picture(40, 30);
  ASSERT_TRUE(button.LoadFile(first));
  EXPECT_FALSE(button.LoadFile(folder / "missing.png"));
  EXPECT_FALSE(button.HasPicture());
  EXPECT_EQ(button.GetPath(), first);
}

TEST_F(ImageButtonTest, ALeftClickPostsOpensTheFileAndLeavesTheButtonPressed) {
  CImageButton button;
  Init(button, 2);
  const std::filesystem::path file = Picture(40, 30);
  ASSERT_TRUE(button.LoadFile(file));
  const QPoint inside(50, 50);
  EXPECT_TRUE(button.OnMouseMove(inside));
  EXPECT_TRUE(button.OnLButtonDown(inside));
  EXPECT_TRUE(button.OnLButtonUp(inside));
  Drain();
  EXPECT_EQ(posted, (std::vector<std::pair<platform::WParam, platform::LParam>>{{2, ids::kLeftClick}}));
  EXPECT_EQ(presenter.opened, std::vector<std::string>{file.string()});
  EXPECT_TRUE(button.Pressed() && button.Hover()) << "sunken while the mouse is over it";
  button.OnLButtonDown(QPoint(500, 500));
  EXPECT_FALSE(button.Pressed()) << "until a press outside it";
  EXPECT_TRUE(button.OnRButtonDown(inside));
  Drain();
  EXPECT_EQ(posted.back(), std::make_pair(platform::WParam{2}, platform::LParam{ids::kRightClick}));
}

TEST_F(ImageButtonTest, AButtonWithoutIdentifierIgnoresTheMouse) {
  CImageButton button;
  Init(button, -1);
  ASSERT_TRUE(button.LoadFile(Picture(40, 30)));
  const QPoint inside(50, 50);
  EXPECT_FALSE(button.OnMouseMove(inside));
  EXPECT_FALSE(button.OnLButtonDown(inside));
  EXPECT_FALSE(button.OnLButtonUp(inside));
  EXPECT_FALSE(button.OnRButtonDown(inside));
  EXPECT_FALSE(button.OnSetCursor(inside));
  Drain();
  EXPECT_TRUE(posted.empty());
  EXPECT_TRUE(presenter.opened.empty());
}

TEST_F(ImageButtonTest, TheEmptySlotAndDocumentPicturesAreThere) {
  CImageButton button;
  Init(button, 0);
  EXPECT_TRUE(button.LoadBitmapResource(kEmptyThumbnailPicture));
  EXPECT_TRUE(button.LoadBitmapResource(kDocumentIcon));
  EXPECT_FALSE(button.LoadBitmapResource(1));
}

TEST_F(ImageButtonTest, APageNumberIsDrawnInRed) {
  CImageButton button;
  Init(button, 0);
  ASSERT_TRUE(button.LoadFile(Picture(120, 140)));
  button.SetNumber(0);
  QImage canvas(200, 200, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  button.Draw(painter);
  painter.end();
  // " 1 " at 15 pixels in from the left, above the bottom edge.
  bool red = false;
  for (int y = 156 - 40; y < 156 && !red; ++y)
    for (int x = 25; x < 60 && !red; ++x) red = canvas.pixelColor(x, y) == QColor(255, 0, 0);
  EXPECT_TRUE(red);
}

}  // namespace
}  // namespace orvane::ui::testing
