#include "camera/device_page.h"

#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/sys_param.h"
#include "camera/format_page.h"

namespace orvane {

namespace {

// Simplified Chinese, Traditional Chinese, English.
using Names = const char* [3];

struct ControlName {
  std::uint32_t id;
  Names names;
};

// Known by id: drivers name the same control differently ("Exposure Time, Absolute", "Exposure
// (Absolute)"), and in English only.
constexpr ControlName kControlNames[] = {
    {V4L2_CID_BRIGHTNESS, {"亮度", "亮度", "Brightness"}},
    {V4L2_CID_CONTRAST, {"对比度", "對比度", "Contrast"}},
    {V4L2_CID_SATURATION, {"饱和度", "飽和度", "Saturation"}},
    {V4L2_CID_HUE, {"色调", "色調", "Hue"}},
    {V4L2_CID_GAMMA, {"伽玛", "伽瑪", "Gamma"}},
    {V4L2_CID_SHARPNESS, {"清晰度", "銳利度", "Sharpness"}},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, {"白平衡", "白平衡", "White balance"}},
    {V4L2_CID_AUTO_WHITE_BALANCE, {"自动白平衡", "自動白平衡", "Auto white balance"}},
    {V4L2_CID_BACKLIGHT_COMPENSATION, {"逆光对比", "背光補償", "Backlight compensation"}},
    {V4L2_CID_GAIN, {"增益", "增益", "Gain"}},
    {V4L2_CID_POWER_LINE_FREQUENCY, {"电源频率", "電源頻率", "Power line frequency"}},
    {V4L2_CID_EXPOSURE, {"曝光", "曝光", "Exposure"}},
    {V4L2_CID_EXPOSURE_ABSOLUTE, {"曝光", "曝光", "Exposure"}},
    {V4L2_CID_EXPOSURE_AUTO, {"自动曝光", "自動曝光", "Auto exposure"}},
    {V4L2_CID_FOCUS_ABSOLUTE, {"焦点", "焦點", "Focus"}},
    {V4L2_CID_FOCUS_AUTO, {"自动对焦", "自動對焦", "Auto focus"}},
    {V4L2_CID_ZOOM_ABSOLUTE, {"缩放", "縮放", "Zoom"}},
    {V4L2_CID_PAN_ABSOLUTE, {"平移", "平移", "Pan"}},
    {V4L2_CID_TILT_ABSOLUTE, {"倾斜", "傾斜", "Tilt"}},
};

struct MenuItemName {
  std::uint32_t id;
  int index;
  Names names;
};

constexpr MenuItemName kMenuItemNames[] = {
    {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CID_POWER_LINE_FREQUENCY_DISABLED, {"关闭", "關閉", "Off"}},
    {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CID_POWER_LINE_FREQUENCY_50HZ, {"50 Hz", "50 Hz", "50 Hz"}},
    {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CID_POWER_LINE_FREQUENCY_60HZ, {"60 Hz", "60 Hz", "60 Hz"}},
    {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CID_POWER_LINE_FREQUENCY_AUTO, {"自动", "自動", "Auto"}},
    {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_AUTO, {"自动", "自動", "Auto"}},
    {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL, {"手动", "手動", "Manual"}},
    {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_SHUTTER_PRIORITY, {"快门优先", "快門優先", "Shutter priority"}},
    {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY, {"光圈优先", "光圈優先", "Aperture priority"}},
};

struct PageTexts {
  const char* format;
  const char* close;
};

constexpr PageTexts kPageTexts[] = {
    {"采集格式...", "关闭"},
    {"擷取格式...", "關閉"},
    {"Capture format...", "Close"},
};

// The station's name for the control, or the driver's.
QString ControlLabel(const v4l2_queryctrl& query, int column) {
  for (const ControlName& known : kControlNames) {
    if (known.id == query.id) return QString::fromUtf8(known.names[column]);
  }
  return QString::fromUtf8(reinterpret_cast<const char*>(query.name));
}

QString MenuItemLabel(const v4l2_querymenu& item, int column) {
  for (const MenuItemName& known : kMenuItemNames) {
    if (known.id == item.id && known.index == static_cast<int>(item.index)) return QString::fromUtf8(known.names[column]);
  }
  return QString::fromUtf8(reinterpret_cast<const char*>(item.name));
}

void Apply(platform::IV4l2Device& device, std::uint32_t id, int value) {
  v4l2_control control{};
  control.id = id;
  control.value = value;
  device.Ioctl(VIDIOC_S_CTRL, &control);
}

int Current(platform::IV4l2Device& device, std::uint32_t id, int fallback) {
  v4l2_control control{};
  control.id = id;
  return device.Ioctl(VIDIOC_G_CTRL, &control) == 0 ? control.value : fallback;
}

}  // namespace

std::unique_ptr<QDialog> BuildDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device,
                                                   const std::string& title, int language, bool offerFormat) {
  const int column = TextColumn(language);
  auto dialog = std::make_unique<QDialog>(parent);
  dialog->setWindowTitle(QString::fromStdString(title));
  auto* layout = new QVBoxLayout(dialog.get());
  auto* form = new QFormLayout;
  layout->addLayout(form);
  platform::IV4l2Device* target = &device;
  v4l2_queryctrl query{};
  query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
  while (device.Ioctl(VIDIOC_QUERYCTRL, &query) == 0) {
    const std::uint32_t id = query.id;
    // The label is the control's buddy, so that the name reads with the control it names.
    auto label = std::make_unique<QLabel>(ControlLabel(query, column));
    const QString widgetName = QString::number(id);
    const bool usable = (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) == 0;
    const int value = Current(device, id, query.default_value);
    if (usable && query.type == V4L2_CTRL_TYPE_INTEGER) {
      auto* row = new QHBoxLayout;
      auto* slider = new QSlider(Qt::Horizontal);
      slider->setObjectName(widgetName);
      slider->setRange(query.minimum, query.maximum);
      slider->setSingleStep(std::max(query.step, 1));
      slider->setValue(value);
      auto* shown = new QLabel(QString::number(value));
      QObject::connect(slider, &QSlider::valueChanged, dialog.get(), [target, id, shown](int changed) {
        shown->setText(QString::number(changed));
        Apply(*target, id, changed);
      });
      row->addWidget(slider);
      row->addWidget(shown);
      label->setBuddy(slider);
      form->addRow(label.release(), row);
    } else if (usable && query.type == V4L2_CTRL_TYPE_BOOLEAN) {
      auto* box = new QCheckBox;
      box->setObjectName(widgetName);
      box->setChecked(value != 0);
      QObject::connect(box, &QCheckBox::toggled, dialog.get(), [target, id](bool on) { Apply(*target, id, on ? 1 : 0); });
      label->setBuddy(box);
      form->addRow(label.release(), box);
    } else if (usable && query.type == V4L2_CTRL_TYPE_MENU) {
      auto* list = new QComboBox;
      list->setObjectName(widgetName);
      for (int index = query.minimum; index <= query.maximum; ++index) {
        v4l2_querymenu item{};
        item.id = id;
        item.index = static_cast<std::uint32_t>(index);
        if (device.Ioctl(VIDIOC_QUERYMENU, &item) != 0) continue;
        list->addItem(MenuItemLabel(item, column), index);
        if (index == value) list->setCurrentIndex(list->count() - 1);
      }
      QObject::connect(list, &QComboBox::currentIndexChanged, dialog.get(), [target, id, list](int position) {
        if (position >= 0) Apply(*target, id, list->itemData(position).toInt());
      });
      label->setBuddy(list);
      form->addRow(label.release(), list);
    }
    query.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
  }
  const PageTexts& texts = kPageTexts[column];
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  buttons->button(QDialogButtonBox::Close)->setText(QString::fromUtf8(texts.close));
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
  if (offerFormat) {
    QPushButton* format = buttons->addButton(QString::fromUtf8(texts.format), QDialogButtonBox::ActionRole);
    format->setObjectName(QStringLiteral("format"));
    QObject::connect(format, &QPushButton::clicked, dialog.get(), [window = dialog.get()] { window->done(kFormatPageWanted); });
  }
  layout->addWidget(buttons);
  return dialog;
}

int ShowDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device, const std::string& title, int language,
                             bool offerFormat) {
  return BuildDeviceControlsDialog(parent, device, title, language, offerFormat)->exec();
}

}  // namespace orvane
