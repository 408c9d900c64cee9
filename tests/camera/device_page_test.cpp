#include "camera/device_page.h"

#include <linux/videodev2.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "camera/format_page.h"
#include "camera/video_source.h"
#include "platform/simulated_v4l2.h"

namespace orvane {
namespace {

// A control of the driver's own, which the station does not know.
constexpr std::uint32_t kLedMode = V4L2_CID_CAMERA_CLASS_BASE + 0x1000;

// A camera with controls the station knows of every kind, and one only its driver knows.
platform::SimulatedCameraModel Model() {
  using Control = platform::SimulatedControl;
  platform::SimulatedCameraModel model;
  model.card = "Test Camera";
  model.node.devicePath = "simulated:video0";
  model.controls = {
      Control{V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -64, 64, 1, 0, {}},
      Control{V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", V4L2_CTRL_TYPE_MENU, 0, 2, 1, 1, {0, 1, 2}},
      Control{V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 3, 1, V4L2_EXPOSURE_APERTURE_PRIORITY,
              {V4L2_EXPOSURE_MANUAL, V4L2_EXPOSURE_APERTURE_PRIORITY}},
      Control{V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", V4L2_CTRL_TYPE_INTEGER, 1, 5000, 1, 156, {}},
      Control{V4L2_CID_FOCUS_AUTO, "Focus, Automatic Continuous", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, {}},
      Control{V4L2_CID_TILT_ABSOLUTE, "Tilt, Absolute", V4L2_CTRL_TYPE_INTEGER, -36000, 36000, 3600, 0, {}},
      Control{kLedMode, "LED1 Mode", V4L2_CTRL_TYPE_MENU, 0, 1, 1, 0, {0, 1}},
  };
  return model;
}

// Each control's name as the page shows it, by the control's id.
std::map<std::uint32_t, std::string> Names(const QDialog& dialog) {
  std::map<std::uint32_t, std::string> names;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->buddy() != nullptr) names[label->buddy()->objectName().toUInt()] = label->text().toStdString();
  }
  return names;
}

std::string Items(const QDialog& dialog, std::uint32_t id) {
  const auto* list = dialog.findChild<QComboBox*>(QString::number(id));
  if (list == nullptr) return "(no list)";
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items.join('|').toStdString();
}

std::string ButtonText(const QDialog& dialog, QDialogButtonBox::StandardButton which) {
  const auto* box = dialog.findChild<QDialogButtonBox*>();
  const QPushButton* button = box == nullptr ? nullptr : box->button(which);
  return button == nullptr ? "(no button)" : button->text().toStdString();
}

struct PageLanguage {
  int language;
  std::map<std::uint32_t, std::string> names;
  std::string powerLineItems;
  std::string exposureModes;
  std::string close;
  std::string formatButton;
  std::string formatTitle;
  std::string ok;
  std::string cancel;
};

class DevicePageTest : public ::testing::TestWithParam<PageLanguage> {
 protected:
  int argc_ = 1;
  char name_[13] = "camera_tests";
  char* argv_[2] = {name_, nullptr};
  QApplication application_{argc_, argv_};
};

// The controls the station knows read in the interface language, their menus too; the driver's
// own control keeps the driver's name and items. So do the page's buttons and the format page.
TEST_P(DevicePageTest, NamesTheControlsItKnowsInTheLanguage) {
  const PageLanguage& expected = GetParam();
  const auto camera = std::make_shared<platform::SimulatedV4l2Camera>(Model());
  const auto device = camera->Open();
  const auto page = BuildDeviceControlsDialog(nullptr, *device, "Test Camera", expected.language, true);
  std::map<std::uint32_t, std::string> names = expected.names;
  names[kLedMode] = "LED1 Mode";
  EXPECT_EQ(Names(*page), names);
  EXPECT_EQ(Items(*page, V4L2_CID_POWER_LINE_FREQUENCY), expected.powerLineItems);
  EXPECT_EQ(Items(*page, V4L2_CID_EXPOSURE_AUTO), expected.exposureModes);
  EXPECT_EQ(Items(*page, kLedMode), "Mode 0|Mode 1");
  EXPECT_EQ(page->windowTitle().toStdString(), "Test Camera") << "the camera's own name";
  EXPECT_EQ(ButtonText(*page, QDialogButtonBox::Close), expected.close);
  const auto* format = page->findChild<QPushButton*>("format");
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->text().toStdString(), expected.formatButton);

  const auto formats = BuildFormatDialog(nullptr, {{kFormatYUY2, 640, 480}}, {kFormatYUY2, 640, 480}, expected.language);
  EXPECT_EQ(formats->windowTitle().toStdString(), expected.formatTitle);
  EXPECT_EQ(ButtonText(*formats, QDialogButtonBox::Ok), expected.ok);
  EXPECT_EQ(ButtonText(*formats, QDialogButtonBox::Cancel), expected.cancel);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, DevicePageTest,
    ::testing::Values(
        PageLanguage{0,
                     {{V4L2_CID_BRIGHTNESS, "亮度"},
                      {V4L2_CID_POWER_LINE_FREQUENCY, "电源频率"},
                      {V4L2_CID_EXPOSURE_AUTO, "自动曝光"},
                      {V4L2_CID_EXPOSURE_ABSOLUTE, "曝光"},
                      {V4L2_CID_FOCUS_AUTO, "自动对焦"},
                      {V4L2_CID_TILT_ABSOLUTE, "倾斜"}},
                     "关闭|50 Hz|60 Hz",
                     "手动|光圈优先",
                     "关闭",
                     "采集格式...",
                     "采集格式",
                     "确定",
                     "取消"},
        PageLanguage{1,
                     {{V4L2_CID_BRIGHTNESS, "亮度"},
                      {V4L2_CID_POWER_LINE_FREQUENCY, "電源頻率"},
                      {V4L2_CID_EXPOSURE_AUTO, "自動曝光"},
                      {V4L2_CID_EXPOSURE_ABSOLUTE, "曝光"},
                      {V4L2_CID_FOCUS_AUTO, "自動對焦"},
                      {V4L2_CID_TILT_ABSOLUTE, "傾斜"}},
                     "關閉|50 Hz|60 Hz",
                     "手動|光圈優先",
                     "關閉",
                     "擷取格式...",
                     "擷取格式",
                     "確認",
                     "取消"},
        PageLanguage{2,
                     {{V4L2_CID_BRIGHTNESS, "Brightness"},
                      {V4L2_CID_POWER_LINE_FREQUENCY, "Power line frequency"},
                      {V4L2_CID_EXPOSURE_AUTO, "Auto exposure"},
                      {V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure"},
                      {V4L2_CID_FOCUS_AUTO, "Auto focus"},
                      {V4L2_CID_TILT_ABSOLUTE, "Tilt"}},
                     "Off|50 Hz|60 Hz",
                     "Manual|Aperture priority",
                     "Close",
                     "Capture format...",
                     "Capture format",
                     "OK",
                     "Cancel"}));

}  // namespace
}  // namespace orvane
