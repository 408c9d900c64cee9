// `CImageParaDialog`: the image page of the settings window. It edits the output DPI, the JPEG
// quality, the capture resolution of the camera the view mode shows, the trim margins and the
// image and video file formats, and starts the main window's DPI calibration.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/sys_param.h"
#include "platform/messages.h"
#include "ui/settings_page.h"

namespace orvane {
class CCameraModelTable;
class ICameraProbe;
}  // namespace orvane

namespace orvane::ui {

// One size the page offers: its code (the index in the camera's list, or the code of an extra
// size) and the size.
struct ResolutionEntry {
  int code = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ResolutionEntry&) const = default;
};

// The sizes offered for a camera (0 document, 1 portrait, 2 third): the camera's own list from
// the model table, each size once, then the extra interpolated sizes certain models can deliver.
// Empty when the camera gives no sizes.
std::vector<ResolutionEntry> BuildResolutionEntries(CCameraModelTable& table, const std::string& vendorId,
                                                    const std::string& productId, int cameraIndex, int kind,
                                                    bool mjpg);

// The camera the view mode captures from: 0 document (modes 0, 3, 4, 6), 1 portrait (1, 5), 2
// third (2).
int CameraOfViewMode(int viewMode);
const CDeviceSlot& SlotOfCamera(const CSysParam& settings, int cameraIndex);
CDeviceSlot& SlotOfCamera(CSysParam& settings, int cameraIndex);

class CImageParaDialog : public CSettingsPage {
 public:
  enum class Id : int {
    Resolution = 1006,
    TifFormat = 1021,
    BmpFormat = 1022,
    XDpi = 1038,
    YDpi = 1039,
    JpegQuality = 1040,
    DefaultFormat = 1063,
    TrimLeft = 1069,
    TrimTop = 1070,
    TrimRight = 1071,
    TrimBottom = 1072,
    JpgFormat = 1075,
    PngFormat = 1076,
    GifFormat = 1111,
    HighLabel = 1112,
    XDpiLabel = 1130,
    YDpiLabel = 1131,
    QualityLabel = 1132,
    ResolutionLabel = 1133,
    TrimLeftLabel = 1134,
    TrimTopLabel = 1135,
    TrimRightLabel = 1136,
    TrimBottomLabel = 1137,
    ImageFormatLabel = 1138,
    TgaFormat = 1152,
    RasFormat = 1153,
    VideoFormatLabel = 1157,
    AsfFormat = 1158,
    AviFormat = 1159,
    WmvFormat = 1160,
    ImageGroup = 1161,
    FormatGroup = 1162,
    Calibrate = 1165,
  };

  // `mainWindow` runs the calibration (message 0x436); `probe` answers for the cameras' sizes.
  CImageParaDialog(IPresenter& presenter, std::shared_ptr<ICameraProbe> probe, platform::TargetHandle mainWindow);
  ~CImageParaDialog() override;

  QWidget* Control(Id id) const { return CSettingsPage::Control(static_cast<int>(id)); }
  const std::vector<ResolutionEntry>& Resolutions() const { return resolutions_; }

  // False when the camera of the view mode offers no sizes: the resolution list then stays empty
  // and nothing else is missing.
  bool Init(const CSysParam& settings);
  // False, with a message and nothing written, when a DPI or a trim is not a number of its range.
  bool Save(CSysParam& settings);
  // False for a camera kind outside -1 < kind <= 303 (an unknown camera): nothing is reset then.
  bool SetDefaults(int cameraKind);
  void SetLanguage(int language);
  bool BuildResolutionList(const std::string& vendorId, const std::string& productId, int cameraIndex, int kind,
                           bool mjpg);

 private:
  void OnCalibrate();
  void SelectSize(const std::string& text);

  std::shared_ptr<ICameraProbe> probe_;
  platform::TargetHandle mainWindow_;
  int language_ = 0;
  std::vector<ResolutionEntry> resolutions_;
  std::string instruction_;

  // Containers before what they hold: what is destroyed first holds nothing.
  QVBoxLayout layout_{this};
  QGroupBox imageGroup_;
  QGridLayout imageGrid_{&imageGroup_};
  QLabel xDpiLabel_, yDpiLabel_, qualityLabel_, highLabel_, resolutionLabel_;
  QLabel trimLabels_[4];
  QLineEdit xDpi_, yDpi_;
  QSlider quality_{Qt::Horizontal};
  QComboBox resolution_;
  QLineEdit trims_[4];
  QPushButton calibrate_;
  QGroupBox formatGroup_;
  QGridLayout formatGrid_{&formatGroup_};
  QLabel imageFormatLabel_, videoFormatLabel_;
  QRadioButton imageFormats_[8];
  QRadioButton videoFormats_[3];
  QButtonGroup imageFormatGroup_;
  QButtonGroup videoFormatGroup_;
};

}  // namespace orvane::ui
