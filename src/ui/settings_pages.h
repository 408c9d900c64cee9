// Three of the settings window's four pages: the watermark (`CWaterMarkDialog`), the device
// options (`CDeviceParaDlg`: shutter sound, picture-in-picture, high-speed capture, print scaling,
// the camera's middle key) and the advanced options (`CAdvancedSettingDialog`: the storage folder,
// the processing options and the interface language).
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include <QButtonGroup>
#include <QCheckBox>
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
#include "ui/settings_page.h"

namespace orvane::ui {

// The watermark colours the page offers, as colour references (red in the low byte) in the order
// of its list: red, green, blue, white, black. Any other stored colour shows as the first.
int WatermarkColourIndex(int colour);
int WatermarkColourOf(int index);

class CWaterMarkDialog : public CSettingsPage {
 public:
  enum class Id : int {
    DateMark = 1073,
    Custom = 1091,
    Position = 1100,
    Size = 1101,
    Colour = 1102,
    Transparency = 1103,
    TransparencyMirror = 1104,
    PositionLabel = 1124,
    SizeLabel = 1125,
    ColourLabel = 1126,
    TransparencyLabel = 1127,
    ContentGroup = 1129,
    Text = 1158,
    PropertiesGroup = 1163,
  };

  explicit CWaterMarkDialog(IPresenter& presenter);
  ~CWaterMarkDialog() override;
  QWidget* Control(Id id) const { return CSettingsPage::Control(static_cast<int>(id)); }

  bool Init(const CSysParam& settings);
  // False, with a message and nothing written, for a custom watermark without text or a font size
  // out of its range.
  bool Save(CSysParam& settings);
  bool SetDefaults();
  void SetLanguage(int language);

 private:
  void OnCustomChanged();
  void FillLists(int column);

  int language_ = 0;
  std::string emptyText_;

  QVBoxLayout layout_{this};
  QGroupBox contentGroup_;
  QGridLayout contentGrid_{&contentGroup_};
  QCheckBox dateMark_;
  QCheckBox custom_;
  QLineEdit text_;
  QGroupBox propertiesGroup_;
  QGridLayout propertiesGrid_{&propertiesGroup_};
  QLabel positionLabel_, sizeLabel_, colourLabel_, transparencyLabel_;
  QComboBox position_;
  QLineEdit size_;
  QComboBox colour_;
  QSlider transparency_{Qt::Horizontal};
  QLineEdit transparencyMirror_;
};

class CDeviceParaDlg : public CSettingsPage {
 public:
  enum class Id : int {
    ShutterSound = 1055,
    OneToOne = 1079,
    Scaled = 1080,
    HighSpeed = 1116,
    PrintGroup = 1122,
    PictureInPicture = 1142,
    MiddleKey = 1146,
    MiddleKeyLabel = 1147,
    DeviceGroup = 1148,
  };

  explicit CDeviceParaDlg(IPresenter& presenter);
  ~CDeviceParaDlg() override;
  QWidget* Control(Id id) const { return CSettingsPage::Control(static_cast<int>(id)); }

  bool Init(const CSysParam& settings);
  bool Save(CSysParam& settings);
  bool SetDefaults();
  void SetLanguage(int language);

 private:
  void FillMiddleKeys(int column);

  QVBoxLayout layout_{this};
  QGroupBox printGroup_;
  QGridLayout printGrid_{&printGroup_};
  QRadioButton oneToOne_, scaled_;
  QButtonGroup printMode_;
  QGroupBox deviceGroup_;
  QGridLayout deviceGrid_{&deviceGroup_};
  QCheckBox shutterSound_, highSpeed_, pictureInPicture_;
  QLabel middleKeyLabel_;
  QComboBox middleKey_;
};

class CAdvancedSettingDialog : public CSettingsPage {
 public:
  enum class Id : int {
    Path = 1016,
    ChangePath = 1017,
    NoiseSize = 1062,
    ShadowRemoval = 1087,
    DeformationRepair = 1088,
    KeepSources = 1093,
    DateFolder = 1097,
    OrientationCheck = 1105,
    BarcodeTextFile = 1107,
    MultipleObjects = 1113,
    Language = 1118,
    NoiseLabel = 1119,
    LanguageLabel = 1120,
    StorageGroup = 1121,
    OtherGroup = 1123,
    EnglishOcr = 1143,
    BarcodeFolders = 1145,
    ExtraInfo = 1164,
  };

  // `today` names the date sub-folder.
  CAdvancedSettingDialog(IPresenter& presenter, std::function<std::tm()> today);
  ~CAdvancedSettingDialog() override;
  QWidget* Control(Id id) const { return CSettingsPage::Control(static_cast<int>(id)); }

  bool Init(const CSysParam& settings);
  // False, with a message and nothing written, for a noise size out of 1..20.
  bool Save(CSysParam& settings);
  bool SetDefaults();
  void SetLanguage(int language);
  void OnChangePath();

 private:
  std::function<std::tm()> today_;
  int language_ = 0;
  std::filesystem::path path_;
  std::string extraInfo_;  // field names separated by ";": kept as they are unless Defaults empties them

  QVBoxLayout layout_{this};
  QGroupBox storageGroup_;
  QGridLayout storageGrid_{&storageGroup_};
  QLineEdit pathEdit_;
  QPushButton changePath_;
  QCheckBox dateFolder_;
  QGroupBox otherGroup_;
  QGridLayout otherGrid_{&otherGroup_};
  QCheckBox shadow_, deformation_, multipleObjects_, barcodeText_, orientation_, keepSources_, barcodeFolders_,
      englishOcr_, extraInfoBox_;
  QLabel noiseLabel_, languageLabel_;
  QLineEdit noiseSize_;
  QComboBox languageCombo_;
};

}  // namespace orvane::ui
