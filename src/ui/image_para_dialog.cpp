#include "ui/image_para_dialog.h"

#include <algorithm>
#include <utility>

#include "camera/camera_models.h"
#include "platform/message_ids.h"
#include "ui/control_text.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace {

using Id = CImageParaDialog::Id;

// Sizes certain models deliver beyond what they report, in the order they are offered. Sizes
// marked `whenLacking` are offered only when the camera's own list lacks them.
struct ExtraSize {
  const char* vendor;
  const char* product;
  int code;
  int width;
  int height;
  bool whenLacking;
};
constexpr ExtraSize kExtraSizes[] = {
    {"3C4D", "B3E8", 100, 3742, 2806, false}, {"3C4D", "B320", 100, 3264, 2448, false},
    {"3C4D", "A3E8", 100, 3742, 2806, false}, {"3C4D", "53E8", 100, 3742, 2806, false},
    {"3C4D", "A4B0", 100, 3742, 2806, false}, {"3C4D", "A640", 100, 3742, 2806, false},
    {"05DA", "F052", 100, 3742, 2806, false}, {"3C4F", "A3E8", 100, 3742, 2806, false},
    {"0C4D", "A3E8", 100, 3742, 2806, false}, {"3C4D", "A4B0", 101, 4000, 3000, false},
    {"3C4D", "A640", 101, 4000, 3000, false}, {"3C4D", "A640", 103, 4608, 3456, false},
    {"3C4D", "53E8", 102, 3264, 2448, false}, {"1E4E", "01F4", -1, 1600, 1200, true},
    {"1E4E", "01F4", -1, 2048, 1536, true},   {"1E4E", "01F4", -1, 2592, 1944, true},
    {"1E4E", "012C", -1, 1600, 1200, true},   {"1E4E", "012C", -1, 2048, 1536, true},
    {"1E4E", "0320", -1, 3264, 2448, true},
};

struct Format {
  Id id;
  int value;
  const char* caption;
};
constexpr Format kImageFormats[8] = {
    {Id::DefaultFormat, 0, "默认"}, {Id::BmpFormat, 1, "*.BMP"}, {Id::JpgFormat, 2, "*.JPG"},
    {Id::PngFormat, 3, "*.PNG"},    {Id::TifFormat, 4, "*.TIF"}, {Id::GifFormat, 5, "*.GIF"},
    {Id::TgaFormat, 6, "*.TGA"},    {Id::RasFormat, 7, "*.RAS"},
};
constexpr Format kVideoFormats[3] = {
    {Id::AsfFormat, 0, "*.ASF"}, {Id::AviFormat, 1, "*.AVI"}, {Id::WmvFormat, 2, "*.WMV"}};

// Trims beyond the largest picture of any camera leave nothing to show.
constexpr int kLargestTrim = 9999;

const Caption<Id> kCaptions[] = {
    {Id::ImageGroup, {"图像属性", "圖像檔案", "Image Properties"}},
    {Id::XDpiLabel, {"图像XDPI：", "橫向DPI：", "Hor. DPI: "}},
    {Id::YDpiLabel, {"图像YDPI：", "縱向DPI：", "Vert. DPI: "}},
    {Id::QualityLabel, {"JPG图像质量：低", "JPG品質：      差", "JPG quality:    Low"}},
    {Id::HighLabel, {"高", "優", "High"}},
    {Id::ResolutionLabel, {"图像分辨率：", "解析度：", "Resolution: "}},
    {Id::TrimLeftLabel, {"切割范围：左", "頁邊裁剪：左", "Trim:       Left"}},
    {Id::TrimTopLabel, {"      上 ", "      上", "   Top"}},
    {Id::TrimRightLabel, {"      右 ", "      右", " Right"}},
    {Id::TrimBottomLabel, {"      下 ", "      下", "Bottom"}},
    {Id::FormatGroup, {"保存格式", "儲存格式", "File format"}},
    {Id::ImageFormatLabel, {"图像格式：", "圖像格式：", "Image format:"}},
    {Id::VideoFormatLabel, {"视频格式：", "視訊格式：", "Video format:"}},
    {Id::DefaultFormat, {"默认", "預設", "Default"}},
    {Id::Calibrate, {"校准", "正規化", "Regulate"}},
};

const char* const kInstructions[3] = {
    "请确认当前处于文档设备工作状态，并将高拍仪高度调整妥当。\n在高拍仪底座中央放置一张身份证或同等大小的卡片，"
    "并且移除其他物件。\n点击“确认”按钮开始执行DPI校正。",
    "請確認現在是文檔裝置在工作，并調好裝置的高度。\n在裝置底盤中間位置放一張身份證，亦或是同樣尺寸的卡片。\n"
    "滑鼠左擊一下“確認”按鈕開始執行DPI正規化。",
    "Please confirm that document device is running, and adjust the height of device.\nPlace an ID-Card or other "
    "card with the same size in the center of the pedestal. \nClick \"OK\" button to start DPI Regulate progress.",
};

std::string SizeText(int width, int height) { return std::to_string(width) + "*" + std::to_string(height); }

}  // namespace

int CameraOfViewMode(int viewMode) {
  switch (viewMode) {
    case 1:
    case 5: return 1;
    case 2: return 2;
    default: return 0;
  }
}

const CDeviceSlot& SlotOfCamera(const CSysParam& settings, int cameraIndex) {
  switch (cameraIndex) {
    case 1: return settings.portraitCamera;
    case 2: return settings.thirdCamera;
    default: return settings.documentCamera;
  }
}

CDeviceSlot& SlotOfCamera(CSysParam& settings, int cameraIndex) {
  return const_cast<CDeviceSlot&>(SlotOfCamera(std::as_const(settings), cameraIndex));
}

std::vector<ResolutionEntry> BuildResolutionEntries(CCameraModelTable& table, const std::string& vendorId,
                                                    const std::string& productId, int cameraIndex, int kind,
                                                    bool mjpg) {
  bool (CCameraModelTable::*entry)(int, int*, int*, int*, bool*) const = &CCameraModelTable::GetResolution;
  int count = 0;
  switch (cameraIndex) {
    case 1:
      table.BuildPortraitResolutionList(productId, kind, vendorId, mjpg);
      count = table.GetPortraitResolutionCount();
      entry = &CCameraModelTable::GetPortraitResolution;
      break;
    case 2:
      table.BuildAdditionalResolutionList(productId, kind, vendorId, mjpg);
      count = table.GetAdditionalResolutionCount();
      entry = &CCameraModelTable::GetAdditionalResolution;
      break;
    default:
      table.BuildResolutionList(productId, kind, vendorId, mjpg);
      count = table.GetResolutionCount();
      break;
  }
  std::vector<ResolutionEntry> list;
  const auto listed = [&list](int width, int height, std::size_t among) {
    return std::any_of(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(among),
                       [&](const ResolutionEntry& e) { return e.width == width && e.height == height; });
  };
  for (int i = 0; i < count; ++i) {
    int width = 0, height = 0, area = 0;
    bool cameraOnly = false;
    if ((table.*entry)(i, &width, &height, &area, &cameraOnly) && !listed(width, height, list.size())) {
      list.push_back({i, width, height});
    }
  }
  if (list.empty()) return list;
  const std::size_t own = list.size();
  for (const ExtraSize& extra : kExtraSizes) {
    if (vendorId != extra.vendor || productId != extra.product) continue;
    if (extra.whenLacking && listed(extra.width, extra.height, own)) continue;
    list.push_back({extra.code, extra.width, extra.height});
  }
  return list;
}

CImageParaDialog::CImageParaDialog(IPresenter& presenter, std::shared_ptr<ICameraProbe> probe,
                                   platform::TargetHandle mainWindow)
    : CSettingsPage(presenter), probe_(std::move(probe)), mainWindow_(mainWindow) {
  Register(static_cast<int>(Id::ImageGroup), imageGroup_);
  Register(static_cast<int>(Id::XDpiLabel), xDpiLabel_);
  Register(static_cast<int>(Id::YDpiLabel), yDpiLabel_);
  Register(static_cast<int>(Id::QualityLabel), qualityLabel_);
  Register(static_cast<int>(Id::HighLabel), highLabel_);
  Register(static_cast<int>(Id::ResolutionLabel), resolutionLabel_);
  Register(static_cast<int>(Id::XDpi), xDpi_);
  Register(static_cast<int>(Id::YDpi), yDpi_);
  Register(static_cast<int>(Id::JpegQuality), quality_);
  Register(static_cast<int>(Id::Resolution), resolution_);
  Register(static_cast<int>(Id::Calibrate), calibrate_);
  Register(static_cast<int>(Id::FormatGroup), formatGroup_);
  Register(static_cast<int>(Id::ImageFormatLabel), imageFormatLabel_);
  Register(static_cast<int>(Id::VideoFormatLabel), videoFormatLabel_);
  const Id trimLabels[4] = {Id::TrimLeftLabel, Id::TrimTopLabel, Id::TrimRightLabel, Id::TrimBottomLabel};
  const Id trims[4] = {Id::TrimLeft, Id::TrimTop, Id::TrimRight, Id::TrimBottom};
  for (int i = 0; i < 4; ++i) {
    Register(static_cast<int>(trimLabels[i]), trimLabels_[i]);
    Register(static_cast<int>(trims[i]), trims_[i]);
  }

  quality_.setRange(0, 100);
  resolution_.setSizeAdjustPolicy(QComboBox::AdjustToContents);
  for (QLabel* label : {&xDpiLabel_, &yDpiLabel_, &qualityLabel_, &resolutionLabel_, &trimLabels_[0], &trimLabels_[1],
                        &trimLabels_[2], &trimLabels_[3], &imageFormatLabel_, &videoFormatLabel_}) {
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  imageGrid_.addWidget(&xDpiLabel_, 0, 0);
  imageGrid_.addWidget(&xDpi_, 0, 1);
  imageGrid_.addWidget(&yDpiLabel_, 0, 2);
  imageGrid_.addWidget(&yDpi_, 0, 3);
  imageGrid_.addWidget(&qualityLabel_, 1, 0);
  imageGrid_.addWidget(&quality_, 1, 1, 1, 2);
  imageGrid_.addWidget(&highLabel_, 1, 3);
  imageGrid_.addWidget(&resolutionLabel_, 2, 0);
  imageGrid_.addWidget(&resolution_, 2, 1, 1, 2);
  imageGrid_.addWidget(&calibrate_, 2, 3);
  for (int i = 0; i < 4; ++i) {
    imageGrid_.addWidget(&trimLabels_[i], 3 + i / 2, (i % 2) * 2);
    imageGrid_.addWidget(&trims_[i], 3 + i / 2, (i % 2) * 2 + 1);
  }

  formatGrid_.addWidget(&imageFormatLabel_, 0, 0);
  for (int i = 0; i < 8; ++i) {
    const Format& format = kImageFormats[i];
    imageFormats_[i].setText(QString::fromUtf8(format.caption));
    imageFormatGroup_.addButton(&imageFormats_[i], format.value);
    Register(static_cast<int>(format.id), imageFormats_[i]);
    formatGrid_.addWidget(&imageFormats_[i], i / 4, 1 + i % 4);
  }
  formatGrid_.addWidget(&videoFormatLabel_, 2, 0);
  for (int i = 0; i < 3; ++i) {
    const Format& format = kVideoFormats[i];
    videoFormats_[i].setText(QString::fromUtf8(format.caption));
    videoFormatGroup_.addButton(&videoFormats_[i], format.value);
    Register(static_cast<int>(format.id), videoFormats_[i]);
    formatGrid_.addWidget(&videoFormats_[i], 2, 1 + i);
  }
  layout_.addWidget(&imageGroup_);
  layout_.addWidget(&formatGroup_);
  layout_.addStretch();

  connect(&calibrate_, &QPushButton::clicked, this, [this] { OnCalibrate(); });
  SetLanguage(0);
}

CImageParaDialog::~CImageParaDialog() = default;

bool CImageParaDialog::BuildResolutionList(const std::string& vendorId, const std::string& productId, int cameraIndex,
                                           int kind, bool mjpg) {
  CCameraModelTable table(probe_);
  resolutions_ = BuildResolutionEntries(table, vendorId, productId, cameraIndex, kind, mjpg);
  return !resolutions_.empty();
}

bool CImageParaDialog::Init(const CSysParam& settings) {
  filling_ = true;
  const int camera = CameraOfViewMode(settings.viewMode);
  const CDeviceSlot& slot = SlotOfCamera(settings, camera);
  const bool listed = BuildResolutionList(slot.vendorId, slot.productId, camera, slot.kind, slot.mjpgCapable);

  xDpi_.setText(QString::number(settings.xDpi));
  yDpi_.setText(QString::number(settings.yDpi));
  quality_.setValue(settings.jpegQuality);
  const int margins[4] = {settings.trimLeft, settings.trimTop, settings.trimRight, settings.trimBottom};
  for (int i = 0; i < 4; ++i) trims_[i].setText(QString::number(margins[i]));

  resolution_.clear();
  for (const ResolutionEntry& entry : resolutions_) {
    resolution_.addItem(QString::fromStdString(SizeText(entry.width, entry.height)));
  }
  const int configured = resolution_.findText(QString::fromStdString(SizeText(slot.width, slot.height)));
  resolution_.setCurrentIndex(configured >= 0 ? configured : (resolutions_.empty() ? -1 : 0));
  resolution_.setEnabled(listed);

  QAbstractButton* image = imageFormatGroup_.button(settings.imageFormat);
  (image != nullptr ? image : imageFormatGroup_.button(0))->setChecked(true);
  if (QAbstractButton* video = videoFormatGroup_.button(settings.videoFormat)) video->setChecked(true);

  SetLanguage(settings.language);
  filling_ = false;
  return listed;
}

bool CImageParaDialog::Save(CSysParam& settings) {
  // Every value is read before anything is written, so a refusal leaves the record as it was.
  const std::optional<int> xDpi = ReadNumber(xDpi_, 1, 500, language_);
  if (!xDpi) return false;
  const std::optional<int> yDpi = ReadNumber(yDpi_, 1, 500, language_);
  if (!yDpi) return false;
  int margins[4] = {};
  for (int i = 0; i < 4; ++i) {
    const std::optional<int> margin = ReadNumber(trims_[i], 0, kLargestTrim, language_);
    if (!margin) return false;
    margins[i] = *margin;
  }

  settings.jpegQuality = quality_.value();
  settings.xDpi = *xDpi;
  settings.yDpi = *yDpi;
  settings.trimLeft = margins[0];
  settings.trimTop = margins[1];
  settings.trimRight = margins[2];
  settings.trimBottom = margins[3];
  // Without a list there is no size to take: the configured one stays.
  const int chosen = resolution_.currentIndex();
  if (chosen >= 0 && chosen < static_cast<int>(resolutions_.size())) {
    CDeviceSlot& slot = SlotOfCamera(settings, CameraOfViewMode(settings.viewMode));
    slot.width = resolutions_[static_cast<std::size_t>(chosen)].width;
    slot.height = resolutions_[static_cast<std::size_t>(chosen)].height;
  }
  if (imageFormatGroup_.checkedId() >= 0) settings.imageFormat = imageFormatGroup_.checkedId();
  if (videoFormatGroup_.checkedId() >= 0) settings.videoFormat = videoFormatGroup_.checkedId();
  return true;
}

bool CImageParaDialog::SetDefaults(int cameraKind) {
  if (cameraKind < 0 || cameraKind > 303) return false;
  filling_ = true;
  quality_.setValue(70);
  for (QLineEdit& trim : trims_) trim.setText(QStringLiteral("0"));
  imageFormatGroup_.button(0)->setChecked(true);
  videoFormatGroup_.button(0)->setChecked(true);
  const bool larger = cameraKind == 4 || cameraKind == 6;
  const QString dpi = QString::number(larger ? 270 : 215);
  xDpi_.setText(dpi);
  yDpi_.setText(dpi);
  SelectSize(larger ? "3264*2448" : "2592*1944");
  filling_ = false;
  return true;
}

void CImageParaDialog::SelectSize(const std::string& text) {
  const int index = resolution_.findText(QString::fromStdString(text));
  if (index >= 0) resolution_.setCurrentIndex(index);
}

void CImageParaDialog::SetLanguage(int language) {
  language_ = language;
  const int column = TextColumn(language);
  SetCaptions(*this, kCaptions, column);
  instruction_ = kInstructions[column];
}

void CImageParaDialog::OnCalibrate() {
  // The user lays the card down first; the main window then measures it.
  presenter_.ShowMessage(this, instruction_, StationCaption(), MessageIcon::kNone, MessageButtons::kOk);
  platform::Send(mainWindow_, platform::message_ids::kCalibrateDpi, 0, 0);
}

}  // namespace orvane::ui
