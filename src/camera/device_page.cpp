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

namespace orvane {

namespace {

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
                                                   const std::string& title, bool offerFormat) {
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
    const QString name = QString::fromUtf8(reinterpret_cast<const char*>(query.name));
    const bool usable = (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) == 0;
    const int value = Current(device, id, query.default_value);
    if (usable && query.type == V4L2_CTRL_TYPE_INTEGER) {
      auto* row = new QHBoxLayout;
      auto* slider = new QSlider(Qt::Horizontal);
      slider->setObjectName(name);
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
      form->addRow(name, row);
    } else if (usable && query.type == V4L2_CTRL_TYPE_BOOLEAN) {
      auto* box = new QCheckBox;
      box->setObjectName(name);
      box->setChecked(value != 0);
      QObject::connect(box, &QCheckBox::toggled, dialog.get(), [target, id](bool on) { Apply(*target, id, on ? 1 : 0); });
      form->addRow(name, box);
    } else if (usable && query.type == V4L2_CTRL_TYPE_MENU) {
      auto* list = new QComboBox;
      list->setObjectName(name);
      for (int index = query.minimum; index <= query.maximum; ++index) {
        v4l2_querymenu item{};
        item.id = id;
        item.index = static_cast<std::uint32_t>(index);
        if (device.Ioctl(VIDIOC_QUERYMENU, &item) != 0) continue;
        list->addItem(QString::fromUtf8(reinterpret_cast<const char*>(item.name)), index);
        if (index == value) list->setCurrentIndex(list->count() - 1);
      }
      QObject::connect(list, &QComboBox::currentIndexChanged, dialog.get(), [target, id, list](int position) {
        if (position >= 0) Apply(*target, id, list->itemData(position).toInt());
      });
      form->addRow(name, list);
    }
    query.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
  if (offerFormat) {
    QPushButton* format = buttons->addButton(QStringLiteral("Capture format..."), QDialogButtonBox::ActionRole);
    format->setObjectName(QStringLiteral("format"));
    QObject::connect(format, &QPushButton::clicked, dialog.get(), [window = dialog.get()] { window->done(kFormatPageWanted); });
  }
  layout->addWidget(buttons);
  return dialog;
}

int ShowDeviceControlsDialog(QWidget* parent, platform::IV4l2Device& device, const std::string& title,
                             bool offerFormat) {
  return BuildDeviceControlsDialog(parent, device, title, offerFormat)->exec();
}

}  // namespace orvane
