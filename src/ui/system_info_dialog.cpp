#include "ui/system_info_dialog.h"

#include <algorithm>

namespace orvane::ui {
namespace {

struct Texts {
  const char* tabs[4];
  const char* caption;
  const char* defaults;
  const char* ok;
  const char* cancel;
};

constexpr Texts kTexts[3] = {
    {{"图像参数", "水印参数", "设备参数", "高级功能"}, "设置系统参数", "默认值", "确定", "取消"},
    {{"圖像參數", "浮水印參數", "裝置參數", "高階設定"}, "系統參數設定", "預設值", "確認", "取消"},
    {{"Image", "Watermark", "Device", "Advanced"}, "Preference", "Defaults", "Confirm", "Cancel"},
};

}  // namespace

CSystemInfoDialog::CSystemInfoDialog(QWidget* parent, IPresenter& presenter, std::shared_ptr<ICameraProbe> probe,
                                     platform::TargetHandle mainWindow, std::function<std::tm()> today)
    : QDialog(parent),
      image_(presenter, std::move(probe), mainWindow),
      watermark_(presenter),
      advanced_(presenter, std::move(today)),
      device_(presenter) {
  // In tab order; the pages fill in a different one.
  tabs_.addTab(&image_, QString());
  tabs_.addTab(&watermark_, QString());
  tabs_.addTab(&device_, QString());
  tabs_.addTab(&advanced_, QString());
  layout_.addWidget(&tabs_);
  buttons_.addWidget(&defaults_);
  buttons_.addStretch();
  buttons_.addWidget(&ok_);
  buttons_.addWidget(&cancel_);
  layout_.addLayout(&buttons_);
  ok_.setDefault(true);
  connect(&ok_, &QPushButton::clicked, this, [this] { accept(); });
  connect(&cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(&defaults_, &QPushButton::clicked, this, [this] { OnDefaults(); });
  connect(&tabs_, &QTabWidget::currentChanged, this, [this](int index) { OnTabChange(index); });
  SetLanguage(0);
}

CSystemInfoDialog::~CSystemInfoDialog() = default;

void CSystemInfoDialog::SetSettings(const CSysParam& settings) {
  settings_ = settings;
  visiblePage_ = 0;
}

int CSystemInfoDialog::DoModal() {
  OnInitDialog();
  return exec();
}

void CSystemInfoDialog::OnInitDialog() {
  SetLanguage(settings_.language);
  // The tab of the last OK, for the rest of the run.
  tabs_.setCurrentIndex(std::clamp(settings_.lastSettingsTab, 0, 3));
  visiblePage_ = tabs_.currentIndex();
  // The pages only read the settings; OK writes them back.
  image_.Init(settings_);
  watermark_.Init(settings_);
  device_.Init(settings_);
  advanced_.Init(settings_);
  // As the first field of the first page would be.
  if (visiblePage_ == kImagePage) image_.Control(CImageParaDialog::Id::XDpi)->setFocus();
}

void CSystemInfoDialog::SetLanguage(int language) {
  const Texts& texts = kTexts[TextColumn(language)];
  for (int i = 0; i < 4; ++i) tabs_.setTabText(i, QString::fromUtf8(texts.tabs[i]));
  setWindowTitle(QString::fromUtf8(texts.caption));
  defaults_.setText(QString::fromUtf8(texts.defaults));
  ok_.setText(QString::fromUtf8(texts.ok));
  cancel_.setText(QString::fromUtf8(texts.cancel));
}

QPushButton* CSystemInfoDialog::Button(Id id) {
  switch (id) {
    case Id::Ok: return &ok_;
    case Id::Cancel: return &cancel_;
    case Id::Defaults: return &defaults_;
    case Id::Tabs: break;
  }
  return nullptr;
}

void CSystemInfoDialog::OnTabChange(int index) { visiblePage_ = index; }

void CSystemInfoDialog::accept() {
  // Into a scratch copy: a page that refuses leaves the window's record as it was.
  CSysParam edited = settings_;
  if (!image_.Save(edited) || !watermark_.Save(edited) || !advanced_.Save(edited) || !device_.Save(edited)) return;
  edited.lastSettingsTab = tabs_.currentIndex();
  settings_ = std::move(edited);
  QDialog::accept();
}

void CSystemInfoDialog::OnDefaults() {
  // Only the controls change; the record takes them at OK, or never.
  if (!image_.SetDefaults(settings_.documentCamera.kind)) return;
  if (!watermark_.SetDefaults()) return;
  if (!advanced_.SetDefaults()) return;
  device_.SetDefaults();
}

}  // namespace orvane::ui
