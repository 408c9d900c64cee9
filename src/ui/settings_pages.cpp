#include "ui/settings_pages.h"

#include <algorithm>
#include <initializer_list>

#include "ui/control_text.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace {

// Replaces a list's items, keeping the chosen one.
void Refill(QComboBox& combo, std::initializer_list<const char*> items) {
  const int chosen = combo.currentIndex();
  combo.clear();
  for (const char* item : items) combo.addItem(QString::fromUtf8(item));
  combo.setCurrentIndex(chosen);
}

// ---- Watermark ----

using WaterMarkId = CWaterMarkDialog::Id;
const Caption<WaterMarkId> kWaterMarkCaptions[] = {
    {WaterMarkId::ContentGroup, {"水印内容", "浮水印文字", "WaterMark content"}},
    {WaterMarkId::DateMark, {"时间水印", "時間浮水印", "Timestamp"}},
    {WaterMarkId::Custom, {"自定义水印", "自訂浮水印", "Custom"}},
    {WaterMarkId::PropertiesGroup, {"水印属性", "浮水印文檔", "WaterMark properties"}},
    {WaterMarkId::PositionLabel, {"水印位置", "浮水印位置", "Position"}},
    {WaterMarkId::SizeLabel, {"水印大小", "浮水印大小", "Size"}},
    {WaterMarkId::ColourLabel, {"水印颜色", "浮水印顏色", "Color"}},
    {WaterMarkId::TransparencyLabel, {"水印透明度", "浮水印透明度", "Transparency"}},
};
const char* const kEmptyWatermark[3] = {"水印内容为空", "浮水印文字沒有設定", "Watermark Content is empty!"};

constexpr int kWatermarkColours[5] = {255, 65280, 16711680, 16777215, 0};
// A taller font would cover most of the largest picture with a single line.
constexpr int kLargestWatermarkSize = 1000;

// ---- Device ----

using DeviceId = CDeviceParaDlg::Id;
const Caption<DeviceId> kDeviceCaptions[] = {
    {DeviceId::PrintGroup, {"打印设置", "列印設定", "Printing Setting"}},
    {DeviceId::OneToOne, {"原比例打印", "同比例列印", "1:1 print"}},
    {DeviceId::Scaled, {"缩放打印", "適合比例列印", "Scaled print"}},
    {DeviceId::DeviceGroup, {"设备属性", "裝置設定", "Device Setting"}},
    {DeviceId::MiddleKeyLabel, {"自定义按钮功能设定", "中間按鈕功能設定", "Middle Key Function Setting"}},
    {DeviceId::ShutterSound, {"播放拍摄音", "通知音", "Shutter Sound"}},
    {DeviceId::HighSpeed, {"开启高速模式", "高速模式", "Start device with high-speed mode"}},
    {DeviceId::PictureInPicture, {"开启画中画模式", "畫中畫預覽", "PIP Mode"}},
};

// ---- Advanced ----

using AdvancedId = CAdvancedSettingDialog::Id;
const Caption<AdvancedId> kAdvancedCaptions[] = {
    {AdvancedId::StorageGroup, {"存储位置", "儲存位置", "Storage Path"}},
    {AdvancedId::ChangePath, {"更改", "修改設定", "Change Path"}},
    {AdvancedId::DateFolder, {"生成时间戳子文件夹", "儲存到日期資料夾", "Save in date folder"}},
    {AdvancedId::OtherGroup, {"其他设置", "其他設定", "Other Settings"}},
    {AdvancedId::ShadowRemoval, {"去阴影", "淡化光影", "Shadow removal"}},
    {AdvancedId::MultipleObjects, {"多目标自动切边", "識別多個物件", "Multi-object capture"}},
    {AdvancedId::BarcodeTextFile, {"将读码信息保存到.txt中", "將條碼符號儲存到.txt", "Scan barcode to TXT"}},
    {AdvancedId::OrientationCheck, {"文档方向检测", "檔案方向檢驗", "Auto rotate screen"}},
    {AdvancedId::KeepSources, {"保留生成多页文件的每张图片", "儲存原始檔", "Reserve images for merging"}},
    {AdvancedId::NoiseLabel, {"噪声点尺寸判定线：", "噪聲點尺寸判定線：", "Max noise point:"}},
    {AdvancedId::LanguageLabel, {"语言设置：", "語言設定：", "Language:"}},
    {AdvancedId::DeformationRepair, {"文档形变处理", "修正檔案形狀", "Repair Doc. deformation"}},
    {AdvancedId::EnglishOcr, {"英文OCR", "英文文字辨識", "OCR for english file"}},
    {AdvancedId::BarcodeFolders, {"根据读码信息生成子文件夹", "儲存到條碼訊息資料夾", "Save in barcode folder"}},
    {AdvancedId::ExtraInfo, {"添加额外信息", "儲存額外資訊", "Save Extra Info"}},
};

}  // namespace

int WatermarkColourIndex(int colour) {
  for (int i = 0; i < 5; ++i)
    if (kWatermarkColours[i] == colour) return i;
  return 0;
}

int WatermarkColourOf(int index) { return index >= 1 && index <= 4 ? kWatermarkColours[index] : kWatermarkColours[0]; }

// ---- Watermark page ----

CWaterMarkDialog::CWaterMarkDialog(IPresenter& presenter) : CSettingsPage(presenter) {
  Register(static_cast<int>(Id::ContentGroup), contentGroup_);
  Register(static_cast<int>(Id::DateMark), dateMark_);
  Register(static_cast<int>(Id::Custom), custom_);
  Register(static_cast<int>(Id::Text), text_);
  Register(static_cast<int>(Id::PropertiesGroup), propertiesGroup_);
  Register(static_cast<int>(Id::PositionLabel), positionLabel_);
  Register(static_cast<int>(Id::Position), position_);
  Register(static_cast<int>(Id::SizeLabel), sizeLabel_);
  Register(static_cast<int>(Id::Size), size_);
  Register(static_cast<int>(Id::ColourLabel), colourLabel_);
  Register(static_cast<int>(Id::Colour), colour_);
  Register(static_cast<int>(Id::TransparencyLabel), transparencyLabel_);
  Register(static_cast<int>(Id::Transparency), transparency_);
  Register(static_cast<int>(Id::TransparencyMirror), transparencyMirror_);

  contentGrid_.addWidget(&dateMark_, 0, 0);
  contentGrid_.addWidget(&custom_, 0, 1);
  contentGrid_.addWidget(&text_, 1, 0, 1, 2);
  propertiesGrid_.addWidget(&positionLabel_, 0, 0);
  propertiesGrid_.addWidget(&position_, 0, 1, 1, 2);
  propertiesGrid_.addWidget(&sizeLabel_, 1, 0);
  propertiesGrid_.addWidget(&size_, 1, 1, 1, 2);
  propertiesGrid_.addWidget(&colourLabel_, 2, 0);
  propertiesGrid_.addWidget(&colour_, 2, 1, 1, 2);
  propertiesGrid_.addWidget(&transparencyLabel_, 3, 0);
  propertiesGrid_.addWidget(&transparency_, 3, 1);
  propertiesGrid_.addWidget(&transparencyMirror_, 3, 2);
  layout_.addWidget(&contentGroup_);
  layout_.addWidget(&propertiesGroup_);
  layout_.addStretch();

  transparency_.setRange(0, 100);
  transparencyMirror_.setReadOnly(true);
  transparencyMirror_.setMaximumWidth(60);
  connect(&custom_, &QCheckBox::toggled, this, [this] {
    if (!filling_) OnCustomChanged();
  });
  connect(&transparency_, &QSlider::valueChanged, this, [this](int value) {
    transparencyMirror_.setText(QString::number(value));
  });
  SetLanguage(0);
}

CWaterMarkDialog::~CWaterMarkDialog() = default;

void CWaterMarkDialog::FillLists(int column) {
  static const std::initializer_list<const char*> kPositions[3] = {
      {"左上", "右上", "左下", "右下", "中央"},
      {"左上角", "右上角", "左下角", "右下角", "中間"},
      {"Top left Corner", "Top right Corner", "Bottom left Corner", "Bottom right Corner", "Center"}};
  static const std::initializer_list<const char*> kColours[3] = {
      {"红", "绿", "蓝", "白", "黑"}, {"紅", "綠", "藍", "白", "黑"}, {"Red", "Green", "Blue", "White", "Black"}};
  Refill(position_, kPositions[column]);
  Refill(colour_, kColours[column]);
}

bool CWaterMarkDialog::Init(const CSysParam& settings) {
  filling_ = true;
  SetLanguage(settings.language);
  dateMark_.setChecked(settings.dateWatermark);
  custom_.setChecked(settings.customWatermark);
  text_.setEnabled(settings.customWatermark);
  position_.setCurrentIndex(std::clamp(settings.watermarkPosition, 0, 4));
  size_.setText(QString::number(settings.watermarkSize));
  colour_.setCurrentIndex(WatermarkColourIndex(settings.watermarkColor));
  transparency_.setValue(std::clamp(settings.watermarkTransparency, 0, 100));
  transparencyMirror_.setText(QString::number(transparency_.value()));
  text_.setText(QString::fromStdString(settings.watermarkText));
  filling_ = false;
  return true;
}

void CWaterMarkDialog::OnCustomChanged() { text_.setEnabled(custom_.isChecked()); }

bool CWaterMarkDialog::Save(CSysParam& settings) {
  if (custom_.isChecked() && text_.text().isEmpty()) {
    BringToFront();
    presenter_.ShowMessage(this, emptyText_, StationCaption(), MessageIcon::kError);
    text_.setFocus();
    return false;
  }
  const std::optional<int> size = ReadNumber(size_, 1, kLargestWatermarkSize, language_);
  if (!size) return false;
  settings.dateWatermark = dateMark_.isChecked();
  settings.customWatermark = custom_.isChecked();
  settings.watermarkText = text_.text().toStdString();
  settings.watermarkPosition = std::max(0, position_.currentIndex());
  settings.watermarkSize = *size;
  settings.watermarkTransparency = transparency_.value();
  settings.watermarkColor = WatermarkColourOf(colour_.currentIndex());
  return true;
}

bool CWaterMarkDialog::SetDefaults() {
  filling_ = true;
  dateMark_.setChecked(false);
  custom_.setChecked(false);
  text_.setEnabled(false);
  position_.setCurrentIndex(4);
  size_.setText(QStringLiteral("96"));
  colour_.setCurrentIndex(0);
  transparency_.setValue(50);
  filling_ = false;
  return true;
}

void CWaterMarkDialog::SetLanguage(int language) {
  language_ = language;
  const int column = TextColumn(language);
  SetCaptions(*this, kWaterMarkCaptions, column);
  FillLists(column);
  emptyText_ = kEmptyWatermark[column];
}

// ---- Device page ----

CDeviceParaDlg::CDeviceParaDlg(IPresenter& presenter) : CSettingsPage(presenter) {
  Register(static_cast<int>(Id::PrintGroup), printGroup_);
  Register(static_cast<int>(Id::OneToOne), oneToOne_);
  Register(static_cast<int>(Id::Scaled), scaled_);
  Register(static_cast<int>(Id::DeviceGroup), deviceGroup_);
  Register(static_cast<int>(Id::ShutterSound), shutterSound_);
  Register(static_cast<int>(Id::HighSpeed), highSpeed_);
  Register(static_cast<int>(Id::PictureInPicture), pictureInPicture_);
  Register(static_cast<int>(Id::MiddleKeyLabel), middleKeyLabel_);
  Register(static_cast<int>(Id::MiddleKey), middleKey_);

  printMode_.addButton(&oneToOne_, 0);
  printMode_.addButton(&scaled_, 1);
  printGrid_.addWidget(&oneToOne_, 0, 0);
  printGrid_.addWidget(&scaled_, 0, 1);
  deviceGrid_.addWidget(&shutterSound_, 0, 0, 1, 2);
  deviceGrid_.addWidget(&highSpeed_, 1, 0, 1, 2);
  deviceGrid_.addWidget(&pictureInPicture_, 2, 0, 1, 2);
  deviceGrid_.addWidget(&middleKeyLabel_, 3, 0);
  deviceGrid_.addWidget(&middleKey_, 3, 1);
  layout_.addWidget(&printGroup_);
  layout_.addWidget(&deviceGroup_);
  layout_.addStretch();
  SetLanguage(0);
}

CDeviceParaDlg::~CDeviceParaDlg() = default;

void CDeviceParaDlg::FillMiddleKeys(int column) {
  static const std::initializer_list<const char*> kKeys[3] = {
      {"打印", "识别条形码/二维码"}, {"列印", "辨識條碼符號/二維碼"}, {"Print", "Recognize Barcode"}};
  Refill(middleKey_, kKeys[column]);
}

bool CDeviceParaDlg::Init(const CSysParam& settings) {
  filling_ = true;
  const CDeviceSlot& document = settings.documentCamera;
  // High speed is MJPG or the still pin; a camera with neither has nothing to offer, and neither
  // has a view without the document camera.
  const bool documentView = settings.viewMode != 1 && settings.viewMode != 2 && settings.viewMode != 5;
  highSpeed_.setEnabled((document.mjpgCapable || document.stillPinCapable) && documentView);
  // These models show no picture-in-picture.
  const bool insetOffered = settings.modelProfile != 1 && settings.modelProfile != 2;
  pictureInPicture_.setVisible(insetOffered);
  (settings.printMode == 1 ? scaled_ : oneToOne_).setChecked(true);
  highSpeed_.setChecked(settings.mjpgMode || settings.stillCapture);
  pictureInPicture_.setChecked(insetOffered && settings.pictureInPicture);
  shutterSound_.setChecked(settings.shutterSound);
  SetLanguage(settings.language);
  middleKey_.setCurrentIndex(std::clamp(settings.middleKeyFunction, 0, 1));
  filling_ = false;
  return true;
}

bool CDeviceParaDlg::Save(CSysParam& settings) {
  settings.printMode = std::max(0, printMode_.checkedId());
  // The one box stands for both ways of taking pictures fast.
  settings.mjpgMode = highSpeed_.isChecked();
  settings.stillCapture = highSpeed_.isChecked();
  settings.pictureInPicture = pictureInPicture_.isChecked();
  settings.middleKeyFunction = std::max(0, middleKey_.currentIndex());
  settings.shutterSound = shutterSound_.isChecked();
  return true;
}

bool CDeviceParaDlg::SetDefaults() {
  // Not for the models that show no picture-in-picture: their box is not even shown.
  pictureInPicture_.setChecked(!pictureInPicture_.isHidden());
  oneToOne_.setChecked(true);
  highSpeed_.setChecked(false);
  middleKey_.setCurrentIndex(0);
  return true;
}

void CDeviceParaDlg::SetLanguage(int language) {
  const int column = TextColumn(language);
  SetCaptions(*this, kDeviceCaptions, column);
  FillMiddleKeys(column);
}

// ---- Advanced page ----

CAdvancedSettingDialog::CAdvancedSettingDialog(IPresenter& presenter, std::function<std::tm()> today)
    : CSettingsPage(presenter), today_(std::move(today)) {
  Register(static_cast<int>(Id::StorageGroup), storageGroup_);
  Register(static_cast<int>(Id::Path), pathEdit_);
  Register(static_cast<int>(Id::ChangePath), changePath_);
  Register(static_cast<int>(Id::DateFolder), dateFolder_);
  Register(static_cast<int>(Id::OtherGroup), otherGroup_);
  Register(static_cast<int>(Id::ShadowRemoval), shadow_);
  Register(static_cast<int>(Id::DeformationRepair), deformation_);
  Register(static_cast<int>(Id::MultipleObjects), multipleObjects_);
  Register(static_cast<int>(Id::BarcodeTextFile), barcodeText_);
  Register(static_cast<int>(Id::OrientationCheck), orientation_);
  Register(static_cast<int>(Id::KeepSources), keepSources_);
  Register(static_cast<int>(Id::BarcodeFolders), barcodeFolders_);
  Register(static_cast<int>(Id::EnglishOcr), englishOcr_);
  Register(static_cast<int>(Id::ExtraInfo), extraInfoBox_);
  Register(static_cast<int>(Id::NoiseLabel), noiseLabel_);
  Register(static_cast<int>(Id::NoiseSize), noiseSize_);
  Register(static_cast<int>(Id::LanguageLabel), languageLabel_);
  Register(static_cast<int>(Id::Language), languageCombo_);

  // The folder is chosen, never typed: a typed one might not be a folder at all.
  pathEdit_.setReadOnly(true);
  storageGrid_.addWidget(&pathEdit_, 0, 0);
  storageGrid_.addWidget(&changePath_, 0, 1);
  storageGrid_.addWidget(&dateFolder_, 1, 0, 1, 2);
  QCheckBox* boxes[] = {&shadow_,      &deformation_,  &multipleObjects_, &barcodeText_,  &orientation_,
                        &keepSources_, &barcodeFolders_, &englishOcr_,    &extraInfoBox_};
  int row = 0;
  for (std::size_t i = 0; i < std::size(boxes); ++i) {
    row = static_cast<int>(i / 2);
    otherGrid_.addWidget(boxes[i], row, static_cast<int>(i % 2));
  }
  otherGrid_.addWidget(&noiseLabel_, row + 1, 0);
  otherGrid_.addWidget(&noiseSize_, row + 1, 1);
  otherGrid_.addWidget(&languageLabel_, row + 2, 0);
  otherGrid_.addWidget(&languageCombo_, row + 2, 1);
  layout_.addWidget(&storageGroup_);
  layout_.addWidget(&otherGroup_);
  layout_.addStretch();
  for (const char* item : {"中文(简体)", "中文(繁體)", "English"}) languageCombo_.addItem(QString::fromUtf8(item));
  // Its prompt for the field names cannot be reached; the names pass through unchanged.
  extraInfoBox_.hide();
  connect(&changePath_, &QPushButton::clicked, this, [this] { OnChangePath(); });
  SetLanguage(0);
}

CAdvancedSettingDialog::~CAdvancedSettingDialog() = default;

bool CAdvancedSettingDialog::Init(const CSysParam& settings) {
  filling_ = true;
  dateFolder_.setChecked(settings.dateFolder);
  path_ = settings.storageFolder;
  pathEdit_.setText(QString::fromStdString(path_.string()));
  shadow_.setChecked(settings.shadowRemoval);
  deformation_.setChecked(settings.deformationRepair);
  barcodeFolders_.setChecked(settings.barcodeFolders);
  multipleObjects_.setChecked(settings.keepEveryDocument);
  barcodeText_.setChecked(settings.barcodeTextFile);
  orientation_.setChecked(settings.orientationCheck);
  keepSources_.setChecked(settings.keepMergeSources);
  noiseSize_.setText(QString::number(settings.noiseSize));
  extraInfo_ = settings.extraInfo;
  SetLanguage(settings.language);
  englishOcr_.setChecked(settings.englishOcr);
  extraInfoBox_.setChecked(!extraInfo_.empty());
  filling_ = false;
  return true;
}

bool CAdvancedSettingDialog::Save(CSysParam& settings) {
  const std::optional<int> noise = ReadNumber(noiseSize_, 1, 20, language_);
  if (!noise) return false;
  settings.dateFolder = dateFolder_.isChecked();
  settings.storageFolder = path_;
  // The folder is made by the first capture that needs it.
  settings.currentStorageFolder = settings.CurrentStorageFolder(today_());
  settings.shadowRemoval = shadow_.isChecked();
  settings.deformationRepair = deformation_.isChecked();
  settings.barcodeFolders = barcodeFolders_.isChecked();
  settings.keepEveryDocument = multipleObjects_.isChecked();
  settings.barcodeTextFile = barcodeText_.isChecked();
  settings.orientationCheck = orientation_.isChecked();
  settings.keepMergeSources = keepSources_.isChecked();
  settings.noiseSize = *noise;
  settings.language = std::max(0, languageCombo_.currentIndex());
  settings.englishOcr = englishOcr_.isChecked();
  settings.extraInfo = extraInfoBox_.isChecked() ? extraInfo_ : std::string();
  return true;
}

bool CAdvancedSettingDialog::SetDefaults() {
  englishOcr_.setChecked(false);
  dateFolder_.setChecked(false);
  path_ = CSysParam::GetDefaultStorageFolder();
  pathEdit_.setText(QString::fromStdString(path_.string()));
  for (QCheckBox* box : {&shadow_, &deformation_, &barcodeFolders_, &multipleObjects_, &barcodeText_, &orientation_,
                         &keepSources_, &extraInfoBox_}) {
    box->setChecked(false);
  }
  noiseSize_.setText(QStringLiteral("5"));
  extraInfo_.clear();
  return true;
}

void CAdvancedSettingDialog::SetLanguage(int language) {
  language_ = language;
  const int column = TextColumn(language);
  SetCaptions(*this, kAdvancedCaptions, column);
  languageCombo_.setCurrentIndex(column);
}

void CAdvancedSettingDialog::OnChangePath() {
  static constexpr const char* kTitles[] = {"选择图像存储文件夹", "選擇圖像儲存資料夾", "Choose the folder for the pictures"};
  if (std::optional<std::filesystem::path> chosen = presenter_.ChooseFolder(this, kTitles[TextColumn(language_)], path_)) {
    path_ = *chosen;
  }
  pathEdit_.setText(QString::fromStdString(path_.string()));
}

}  // namespace orvane::ui
