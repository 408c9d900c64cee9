#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "camera/display_core.h"
#include "station_fixture.h"
#include "ui/message_texts.h"
#include "ui/splash_dialog.h"

namespace orvane::ui::testing {
namespace {

class PanelTest : public StationTest {
 protected:
  void StartWith(const std::string& settings) {
    VirtualCameraIdentity identity;
    identity.productId = "A0C8";
    identity.sharpnessDefault = 28;
    identity.sharpnessMaximum = 6;
    identity.sizes = {{640, 480}};
    camera_ = std::make_unique<VirtualCamera>(identity);
    backend->Add(camera_->Camera());
    WriteSettings(settings);
    ASSERT_EQ(Start(), StartUp::kRunning);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  bool BarcodeTicked() const { return static_cast<QCheckBox*>(window->Control(ControlId::Barcode))->isChecked(); }
  int DocumentRotation() const {
    auto* display = dynamic_cast<CShowVideoThread*>(window->Cameras().document->Display());
    return display != nullptr ? display->Core().Rotation() : -1;
  }

  std::unique_ptr<VirtualCamera> camera_;
};

TEST_F(PanelTest, TheMiddleKeyTogglesTheBarcodeBoxOnlyWhenSetToDoSo) {
  StartWith("[OTHER]\nKEYFUNC=1\n");
  EXPECT_FALSE(BarcodeTicked());
  QTest::keyClick(window.get(), Qt::Key_P);
  EXPECT_TRUE(BarcodeTicked());
  // Also from the number field, which takes only digits.
  window->Control(ControlId::RunningIndex)->setEnabled(true);
  window->Control(ControlId::RunningIndex)->setFocus();
  QTest::keyClick(window->Control(ControlId::RunningIndex), Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(BarcodeTicked());
  EXPECT_EQ(static_cast<QLineEdit*>(window->Control(ControlId::RunningIndex))->text(), "0");
}

TEST_F(PanelTest, WithTheMiddleKeySetToCopyTheBoxStays) {
  StartWith("[OTHER]\nKEYFUNC=0\n");
  QTest::keyClick(window.get(), Qt::Key_P);
  EXPECT_FALSE(BarcodeTicked());
}

TEST_F(PanelTest, ChoosingAnotherPrefixRestartsTheRunningNumber) {
  StartWith("[FILE]\nTypeofImageName=0\nPREFIX=TXT\nPRECHOOSE=IMG|TXT\n[IMAGE]\nINDEX=12\n");
  auto* combo = static_cast<QComboBox*>(window->Control(ControlId::PrefixCombo));
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->currentText(), "TXT");
  combo->setCurrentIndex(0);
  EXPECT_EQ(static_cast<QLineEdit*>(window->Control(ControlId::RunningIndex))->text(), "0");
  window->SyncNaming();
  EXPECT_EQ(window->GetSysParam().prefix, "IMG");
  EXPECT_EQ(window->GetSysParam().runningIndex, 0);
  combo->setCurrentIndex(2);  // "...": nothing is chosen without the editor
  EXPECT_EQ(combo->currentText(), "IMG");
}

TEST_F(PanelTest, AStoredRotationIsAppliedAndTheTurnsAddUp) {
  StartWith("[OTHER]\nROTATION=90\n");
  EXPECT_EQ(DocumentRotation(), 90);
  const std::pair<ControlId, int> presses[] = {
      {ControlId::RotateLeft, 0}, {ControlId::RotateLeft, 270}, {ControlId::Rotate180, 90}, {ControlId::RotateRight, 180}};
  for (const auto& [button, expected] : presses) {
    window->OnCommand(button);
    EXPECT_EQ(DocumentRotation(), expected);
  }
}

TEST(MessageTexts, EveryLanguageHasItsTextsAndAnotherHasNone) {
  EXPECT_EQ(MessageTextsFor(0)->unplugged, "高拍仪设备被拔出或接触不良，请检查！");
  EXPECT_EQ(MessageTextsFor(1)->deviceBusy, "高拍儀設備已被其他程式佔用");
  EXPECT_EQ(MessageTextsFor(1)->barcodeName, MessageTextsFor(0)->barcodeName);
  EXPECT_EQ(MessageTextsFor(2)->folderFailure, "Create a temporary folder fails");
  EXPECT_FALSE(MessageTextsFor(3));
  EXPECT_FALSE(MessageTextsFor(-1));
}

TEST(Splash, APictureLargerThanTheScreenStandsOffItsEdges) {
  EnsureApplication();
  const QSize screen = QGuiApplication::primaryScreen()->size();
  const int width = screen.width() + 101;
  const int height = screen.height() + 51;
  CSplashDlg splash({width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, 90)},
                    nullptr);
  EXPECT_EQ(splash.geometry().left(), -101 / 2);
  EXPECT_EQ(splash.geometry().top(), -51 / 2);
  EXPECT_EQ(splash.geometry().size(), QSize(width, height));
}

}  // namespace
}  // namespace orvane::ui::testing
