#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <map>

#include <gtest/gtest.h>

#include "camera/camera_models.h"
#include "camera/usb_camera.h"
#include "platform/file_io.h"
#include "station_fixture.h"
#include "ui/control_text.h"
#include "ui/system_info_dialog.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;

// What the stations' cameras were asked to do: opens by product id, and a size at which every
// open fails, as a camera that cannot deliver it would.
struct CameraLog {
  std::map<std::string, int> opens;
  std::optional<std::pair<int, int>> refusedSize;
};

class CountingCamera : public CUSBCamra {
 public:
  CountingCamera(std::shared_ptr<platform::IV4l2Backend> backend, std::shared_ptr<CameraLog> log)
      : CUSBCamra(std::move(backend)), log_(std::move(log)) {}
  int Open(const std::string& id1, const std::string& id2, const std::string& id3, platform::TargetHandle notify,
           bool stillPin, int deviceIndex) override {
    ++log_->opens[id2];
    int width = 0, height = 0;
    GetCurrentResolution(&width, &height);  // the size asked for
    if (log_->refusedSize == std::pair{width, height}) return kFail;
    return CUSBCamra::Open(id1, id2, id3, notify, stillPin, deviceIndex);
  }

 private:
  std::shared_ptr<CameraLog> log_;
};

VirtualCameraIdentity Document(std::vector<std::pair<int, int>> sizes = {{320, 240}, {640, 480}}) {
  VirtualCameraIdentity identity = ConfiguredSizeCamera(std::move(sizes));
  identity.stillWidth = 640;
  identity.stillHeight = 480;
  return identity;
}

class SettingsTest : public StationTest {
 protected:
  void StartStation(const std::string& settings, std::vector<VirtualCameraIdentity> cameras = {Document()}) {
    for (VirtualCameraIdentity& identity : cameras) {
      cameras_.push_back(std::make_unique<VirtualCamera>(std::move(identity)));
      backend->Add(cameras_.back()->Camera());
    }
    WriteSettings(settings);
    StationEnvironment environment = Environment();
    environment.controllers.source = [backend = backend, log = log_](int) -> std::unique_ptr<CVideoBaseClass> {
      return std::make_unique<CountingCamera>(backend, log);
    };
    window = std::make_unique<COrvaneDlg>(std::move(environment));
    ASSERT_EQ(window->OnInitDialog(), StartUp::kRunning);
    window->show();
    ASSERT_TRUE(WaitForPicture());
  }
  std::pair<int, int> Resolution(CVideoController* camera) const {
    int width = 0, height = 0;
    camera->GetCurrentResolution(&width, &height);
    return {width, height};
  }
  std::string SettingsText() const { return platform::ReadWholeFile(settingsFile).value_or(""); }

  // The settings command; `inWindow` runs once the window is up, and the window is cancelled
  // afterwards if it is still open.
  void RunSettings(const std::function<void(CSystemInfoDialog&)>& inWindow) {
    bool ran = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      CSystemInfoDialog* dialog = window->SettingsDialog();
      if (ran || dialog == nullptr || !dialog->isVisible()) return;
      ran = true;
      inWindow(*dialog);
      if (dialog->isVisible()) dialog->reject();
    });
    driver.start(10);
    window->OnCommand(ControlId::Settings);
    EXPECT_TRUE(ran) << "the settings window did not open";
  }

  std::shared_ptr<CameraLog> log_ = std::make_shared<CameraLog>();
  std::vector<std::unique_ptr<VirtualCamera>> cameras_;
};

// ---- What OK changes in the running station ----

class ApplyTest;

struct ApplyCase {
  const char* name;
  std::string settings;
  std::vector<VirtualCameraIdentity> cameras;
  int viewMode;
  std::function<void(CSysParam&)> edit;
  std::function<void(ApplyTest&, const CameraLog& before)> check;
};

class ApplyTest : public SettingsTest, public ::testing::WithParamInterface<ApplyCase> {
 public:
  // Friends of the table below, which checks through the fixture.
  using SettingsTest::log_;
  using SettingsTest::Resolution;
  using SettingsTest::Setting;
  using SettingsTest::window;
};

TEST_P(ApplyTest, OkChangesTheStationAsTheEditSays) {
  const ApplyCase& c = GetParam();
  // The orientation check keeps running with its template.
  fs::copy_file(fs::path(ORVANE_RECOGNITION_FIXTURES) / "OCR_RLDA_LN_Gra.tpl", programFolder / "OCR_RLDA_LN_Gra.tpl");
  StartStation(c.settings, c.cameras);
  if (c.viewMode != 0) {
    ASSERT_TRUE(window->SetViewMode(c.viewMode));
  }
  const CameraLog before = *log_;
  CSysParam edited = window->GetSysParam();
  c.edit(edited);
  window->ApplySettings(edited);
  c.check(*this, before);
}

int Opens(const CameraLog& log, const std::string& product) {
  const auto found = log.opens.find(product);
  return found == log.opens.end() ? 0 : found->second;
}

VirtualCameraIdentity Portrait() {
  VirtualCameraIdentity identity = VirtualPortraitIdentity();
  identity.sizes = {{640, 360}, {640, 480}};
  return identity;
}

VirtualCameraIdentity Third() {
  VirtualCameraIdentity identity = VirtualThirdIdentity();
  identity.sizes = {{320, 240}};
  return identity;
}

// A model with still capture: pictures from the still pin while the preview runs at 1280 x 960.
VirtualCameraIdentity StillCaptureDocument() {
  VirtualCameraIdentity identity;  // 3C4D / B514
  identity.sizes = {{640, 480}, {1280, 960}};
  identity.stillWidth = 1280;
  identity.stillHeight = 960;
  return identity;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ApplyTest,
    ::testing::Values(
        ApplyCase{"JpegQualityOnlyIsSavedWithoutTouchingACameraAndKeepsTheCalibration",
                  "[IMAGE]\nREFDPI=300.5\n", {Document()}, 0, [](CSysParam& s) { s.jpegQuality = 55; },
                  [](ApplyTest& t, const CameraLog& before) {
                    EXPECT_EQ(t.Setting("IMAGE", "JPGQuality"), "55");
                    EXPECT_EQ(t.Setting("IMAGE", "REFDPI"), "300.500000");
                    EXPECT_EQ(t.log_->opens, before.opens);
                  }},
        ApplyCase{"ANewDocumentSizeReopensTheCameraAtItWithItsTrims", "[IMAGE]\nCutLeft=16\n", {Document()}, 0,
                  [](CSysParam& s) { s.documentCamera.width = 320, s.documentCamera.height = 240; },
                  [](ApplyTest& t, const CameraLog& before) {
                    CVideoController* camera = t.window->Cameras().document;
                    EXPECT_GT(Opens(*t.log_, "A0C8"), Opens(before, "A0C8"));
                    EXPECT_EQ(t.Resolution(camera), (std::pair{320, 240}));
                    EXPECT_EQ(t.Setting("IMAGE", "DocCamWidth"), "320");
                    EXPECT_TRUE(WaitFor([&] { return camera->GetPicture().size() == cv::Size(320 - 16, 240); }));
                  }},
        // In JPEG: YUY2 frames of that size would be converted on OpenCV's thread pool, whose
        // hand-overs ThreadSanitizer cannot see.
        ApplyCase{"WithStillCaptureTheCameraIsReopenedAt1280x960",
                  "[Camera]\nStillCapture=true\n[OTHER]\nMJPGMODE=TRUE\n",
                  {StillCaptureDocument()}, 0,
                  [](CSysParam& s) { s.documentCamera.width = 640, s.documentCamera.height = 480; },
                  [](ApplyTest& t, const CameraLog& before) {
                    EXPECT_GT(Opens(*t.log_, "B514"), Opens(before, "B514"));
                    EXPECT_EQ(t.Resolution(t.window->Cameras().document), (std::pair{1280, 960}));
                    EXPECT_EQ(t.Setting("IMAGE", "DocCamWidth"), "640");
                  }},
        ApplyCase{"InThePortraitViewOnlyThePortraitCameraTakesItsNewSize", "",
                  {Document(), Portrait()}, 1,
                  [](CSysParam& s) {
                    s.documentCamera.width = 320, s.documentCamera.height = 240;
                    s.portraitCamera.width = 640, s.portraitCamera.height = 360;
                  },
                  [](ApplyTest& t, const CameraLog& before) {
                    EXPECT_EQ(Opens(*t.log_, "A0C8"), Opens(before, "A0C8"));
                    EXPECT_EQ(t.Resolution(t.window->Cameras().portrait), (std::pair{640, 360}));
                    EXPECT_EQ(t.Setting("IMAGE", "PorCamHeight"), "360");
                  }},
        ApplyCase{"PictureInPictureSwitchedOffInTheThirdCamerasViewLeavesTheDocumentView",
                  "[IMAGE]\n2IMAGEIN1=TRUE\n", {Document(), Third()}, 4,
                  [](CSysParam& s) { s.pictureInPicture = false; },
                  [](ApplyTest& t, const CameraLog&) {
                    EXPECT_EQ(t.window->GetSysParam().viewMode, 0);
                    EXPECT_EQ(t.window->Cameras().document->SecondarySource(), nullptr);
                    EXPECT_EQ(t.Setting("IMAGE", "2IMAGEIN1"), "FALSE");
                  }},
        ApplyCase{"TheOrientationCheckSwitchedOnStartsItsThread", "", {Document()}, 0,
                  [](CSysParam& s) { s.orientationCheck = true; },
                  [](ApplyTest& t, const CameraLog&) { EXPECT_TRUE(t.window->OrientationRunning()); }},
        ApplyCase{"TheOrientationCheckSwitchedOffStopsItsThread", "[IMAGE]\nDOCCHECK=TRUE\n", {Document()}, 0,
                  [](CSysParam& s) { s.orientationCheck = false; },
                  [](ApplyTest& t, const CameraLog&) {
                    EXPECT_FALSE(t.window->OrientationRunning());
                    EXPECT_EQ(t.Setting("IMAGE", "DOCCHECK"), "FALSE");
                  }},
        ApplyCase{"BarcodeFoldersTickAndLockTheBarcodeBox", "", {Document()}, 0,
                  [](CSysParam& s) { s.barcodeFolders = true; },
                  [](ApplyTest& t, const CameraLog&) {
                    auto* barcode = static_cast<QCheckBox*>(t.window->Control(ControlId::Barcode));
                    EXPECT_TRUE(barcode->isChecked());
                    EXPECT_FALSE(barcode->isEnabled());
                    EXPECT_TRUE(t.window->GetSysParam().recognizeBarcode);
                  }},
        ApplyCase{"BarcodeFoldersSwitchedOffOfferMergingAndTheMultipageFilesAgain", "[IMAGE]\nMULTIDOC=TRUE\n",
                  {Document()}, 0, [](CSysParam& s) { s.barcodeFolders = false; },
                  [](ApplyTest& t, const CameraLog&) {
                    for (ControlId id : {ControlId::TwoInOne, ControlId::MultipageTiff, ControlId::OnePdf,
                                         ControlId::Barcode}) {
                      EXPECT_TRUE(t.window->Control(id)->isEnabled()) << static_cast<int>(id);
                    }
                  }}),
    [](const ::testing::TestParamInfo<ApplyCase>& info) { return std::string(info.param.name); });

TEST_F(SettingsTest, APortraitSizeOfAnotherHeightOnlyIsTakenToo) {
  StartStation("", {Document(), Portrait()});
  ASSERT_TRUE(window->SetViewMode(1));
  for (const auto& [width, height] : {std::pair{640, 480}, std::pair{640, 360}}) {
    CSysParam edited = window->GetSysParam();
    edited.portraitCamera.width = width;
    edited.portraitCamera.height = height;
    window->ApplySettings(edited);
    EXPECT_EQ(Resolution(window->Cameras().portrait), (std::pair{width, height}));
  }
}

TEST_F(SettingsTest, ASizeTheCameraCannotTakeIsSaidAndTheCameraKeepsItsOwnWhileTheRestApplies) {
  StartStation("");
  log_->refusedSize = std::pair{320, 240};
  CSysParam edited = window->GetSysParam();
  edited.documentCamera.width = 320;
  edited.documentCamera.height = 240;
  edited.jpegQuality = 55;
  window->ApplySettings(edited);

  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, MessageTextsFor(0)->documentResolution);
  EXPECT_EQ(Setting("IMAGE", "DocCamWidth"), "1600");
  EXPECT_EQ(Setting("IMAGE", "JPGQuality"), "55");
  CVideoController* camera = window->Cameras().document;
  EXPECT_EQ(Resolution(camera), (std::pair{640, 480}));
  // Streaming again on its new display.
  EXPECT_TRUE(WaitForPicture());
}

// ---- The interface language ----

TEST_F(SettingsTest, TheLanguageSwitchesThePanelsTextsAndTheMessages) {
  StartStation("");
  struct Expected {
    ControlId id;
    const char* text[3];
  };
  const Expected table[] = {
      {ControlId::CameraGroup, {"视频控制", "視訊流控制", "Image control"}},
      {ControlId::NamingFree, {"自由命名", "個人化", "Custom"}},
      {ControlId::PrefixLabel, {"前缀：", "首碼：", "Prefix:"}},
      {ControlId::CropAuto, {"校正去边", "自動切邊", "Auto"}},
      {ControlId::Barcode, {"条码识别", "條碼識別", "Barcode"}},
      {ControlId::OnePdf, {"保存为多页PDF文件", "保存為多頁PDF檔", "multipage PDF"}},
  };
  for (int language : {2, 1, 0}) {
    CSysParam edited = window->GetSysParam();
    edited.language = language;
    window->ApplySettings(edited);
    for (const Expected& expected : table) {
      EXPECT_EQ(ControlText(window->Control(expected.id)), expected.text[language]) << language;
    }
    EXPECT_EQ(window->MessageTexts().documentResolution, MessageTextsFor(language)->documentResolution);
  }
  EXPECT_EQ(window->Control(ControlId::SwitchView)->toolTip().toStdString(), "切换镜头");
  // Without a notice of the branding, language 0 has none.
  EXPECT_TRUE(static_cast<QLabel*>(window->Control(ControlId::Notice))->text().isEmpty());
  EXPECT_EQ(Setting("Language", "Current"), "CN");
}

// ---- The window ----

TEST_F(SettingsTest, AValueOutOfItsRangeKeepsTheWindowOpenWithItsMessageAndNothingSaved) {
  StartStation("");
  struct Case {
    CSystemInfoDialog::Page page;
    std::function<void(CSystemInfoDialog&)> enter;
    std::string message;
  };
  const auto field = [](QWidget* control, const char* text) { static_cast<QLineEdit*>(control)->setText(text); };
  const Case cases[] = {
      {CSystemInfoDialog::kImagePage,
       [&](CSystemInfoDialog& d) { field(d.ImagePage().Control(CImageParaDialog::Id::XDpi), "0"); },
       RangeMessage(0, 1, 500)},
      {CSystemInfoDialog::kImagePage,
       [&](CSystemInfoDialog& d) { field(d.ImagePage().Control(CImageParaDialog::Id::YDpi), "600"); },
       RangeMessage(0, 1, 500)},
      {CSystemInfoDialog::kAdvancedPage,
       [&](CSystemInfoDialog& d) { field(d.AdvancedPage().Control(CAdvancedSettingDialog::Id::NoiseSize), "25"); },
       RangeMessage(0, 1, 20)},
      {CSystemInfoDialog::kWatermarkPage,
       [&](CSystemInfoDialog& d) {
         static_cast<QCheckBox*>(d.WatermarkPage().Control(CWaterMarkDialog::Id::Custom))->setChecked(true);
         field(d.WatermarkPage().Control(CWaterMarkDialog::Id::Text), "");
       },
       "水印内容为空"},
  };
  const std::string stored = SettingsText();
  for (const Case& c : cases) {
    presenter.shown.clear();
    bool stayedOpen = false;
    int front = -1;
    RunSettings([&](CSystemInfoDialog& dialog) {
      // Every page takes something first, so that a half-taken OK would show.
      static_cast<QSlider*>(dialog.ImagePage().Control(CImageParaDialog::Id::JpegQuality))->setValue(12);
      c.enter(dialog);
      dialog.Button(CSystemInfoDialog::Id::Ok)->click();
      stayedOpen = dialog.isVisible();
      front = dialog.Tabs().currentIndex();
    });
    EXPECT_TRUE(stayedOpen) << c.message;
    EXPECT_EQ(front, c.page) << c.message;
    ASSERT_EQ(presenter.shown.size(), 1u) << c.message;
    EXPECT_EQ(presenter.shown[0].text, c.message);
    EXPECT_EQ(SettingsText(), stored);
    EXPECT_EQ(window->GetSysParam().jpegQuality, 70);
  }
}

TEST_F(SettingsTest, DefaultsThenCancelChangeNothingAndTheTabOfTheLastOkIsShownFirst) {
  StartStation("[IMAGE]\nJPGQuality=33\nNoiseSize=9\n[WaterMark]\nSize=40\n");
  const std::string stored = SettingsText();
  const CSysParam before = window->GetSysParam();
  RunSettings([](CSystemInfoDialog& dialog) {
    dialog.Tabs().setCurrentIndex(CSystemInfoDialog::kWatermarkPage);
    dialog.Button(CSystemInfoDialog::Id::Defaults)->click();
    EXPECT_EQ(static_cast<QSlider*>(dialog.ImagePage().Control(CImageParaDialog::Id::JpegQuality))->value(), 70);
    dialog.Button(CSystemInfoDialog::Id::Cancel)->click();
  });
  EXPECT_EQ(SettingsText(), stored);
  EXPECT_EQ(window->GetSysParam(), before);

  RunSettings([](CSystemInfoDialog& dialog) {
    EXPECT_EQ(dialog.Tabs().currentIndex(), CSystemInfoDialog::kImagePage);
    dialog.Tabs().setCurrentIndex(CSystemInfoDialog::kAdvancedPage);
    dialog.Button(CSystemInfoDialog::Id::Ok)->click();
  });
  RunSettings([](CSystemInfoDialog& dialog) {
    EXPECT_EQ(dialog.Tabs().currentIndex(), CSystemInfoDialog::kAdvancedPage);
  });
  // An OK without changes keeps what was stored.
  EXPECT_EQ(Setting("IMAGE", "JPGQuality"), "33");
  EXPECT_EQ(Setting("IMAGE", "NoiseSize"), "9");
  EXPECT_EQ(Setting("WaterMark", "Size"), "40");
}

TEST_F(SettingsTest, TheCalibrationButtonShowsItsInstructionAndMeasuresTheCard) {
  StartStation("[Language]\nCurrent=EN\n");
  RunSettings([](CSystemInfoDialog& dialog) {
    dialog.ImagePage().Control(CImageParaDialog::Id::Calibrate)->setFocus();
    static_cast<QPushButton*>(dialog.ImagePage().Control(CImageParaDialog::Id::Calibrate))->click();
  });
  // The virtual camera's page is no card: the calibration says it failed.
  ASSERT_EQ(presenter.shown.size(), 2u);
  EXPECT_EQ(presenter.shown[0].text.rfind("Please confirm that document device is running", 0), 0u);
  EXPECT_EQ(presenter.shown[1].text, "The DPI calibration failed, please try again");
}

TEST_F(SettingsTest, ClosingTheStationWithTheWindowOpenLeavesItAsByCancel) {
  StartStation("");
  bool closedWithTheStation = false;
  RunSettings([&](CSystemInfoDialog& dialog) {
    static_cast<QSlider*>(dialog.ImagePage().Control(CImageParaDialog::Id::JpegQuality))->setValue(12);
    window->close();
    closedWithTheStation = !dialog.isVisible();
  });
  EXPECT_TRUE(closedWithTheStation);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(Setting("IMAGE", "JPGQuality"), "70");
}

// ---- The pages on their own ----

TEST(WatermarkPage, EachColourComesBackAsItWasAndAnUnknownOneAsRed) {
  EnsureApplication();
  ScriptedPresenter presenter;
  const std::pair<int, int> colours[] = {{255, 255},       {65280, 65280}, {16711680, 16711680},
                                         {16777215, 16777215}, {0, 0},     {1193046, 255}};
  for (const auto& [stored, saved] : colours) {
    CWaterMarkDialog page(presenter);
    CSysParam settings;
    settings.watermarkColor = stored;
    page.Init(settings);
    settings.watermarkColor = -1;
    ASSERT_TRUE(page.Save(settings));
    EXPECT_EQ(settings.watermarkColor, saved) << stored;
  }
}

TEST(AdvancedPage, TheDateFolderIsThePathWithTodaysDateAndTheChooserSetsThePath) {
  EnsureApplication();
  ScriptedPresenter presenter;
  presenter.folders.push_back(fs::path("/data/scans"));
  CAdvancedSettingDialog page(presenter, [] {
    std::tm day{};
    day.tm_year = 2024 - 1900;
    day.tm_mon = 2;
    day.tm_mday = 7;
    return day;
  });
  CSysParam settings;
  settings.dateFolder = true;
  settings.storageFolder = "/old";
  page.Init(settings);
  page.OnChangePath();
  ASSERT_TRUE(page.Save(settings));
  EXPECT_EQ(settings.storageFolder, fs::path("/data/scans"));
  EXPECT_EQ(settings.currentStorageFolder, fs::path("/data/scans/20240307"));
  EXPECT_EQ(presenter.folderTitles, std::vector<std::string>{"选择图像存储文件夹"});
  page.SetLanguage(1);
  page.OnChangePath();
  page.SetLanguage(2);
  page.OnChangePath();
  EXPECT_EQ(presenter.folderTitles,
            (std::vector<std::string>{"选择图像存储文件夹", "選擇圖像儲存資料夾", "Choose the folder for the pictures"}));
}

// Sizes from the test, without a camera.
class SizesProbe : public ICameraProbe {
 public:
  explicit SizesProbe(std::vector<std::pair<int, int>> sizes) : sizes_(std::move(sizes)) {}
  std::vector<std::string> DevicePaths() override { return {}; }
  bool GetProcAmpRange(const std::string&, const std::string&, long, PropertyRange*) override { return false; }
  std::vector<std::pair<int, int>> DeviceSizes(const std::string&, const std::string&, bool) override { return sizes_; }
  bool HasStillPin(const std::string&, const std::string&) override { return false; }
  std::vector<int> FormatList(const std::string&, const std::string&) override { return {}; }

 private:
  std::vector<std::pair<int, int>> sizes_;
};

TEST(ImagePage, WithoutSizesTheOtherValuesAreTakenAndTheConfiguredSizeStays) {
  EnsureApplication();
  ScriptedPresenter presenter;
  CImageParaDialog page(presenter, std::make_shared<SizesProbe>(std::vector<std::pair<int, int>>{}), {});
  CSysParam settings;
  settings.documentCamera.width = 2592;
  settings.documentCamera.height = 1944;
  settings.xDpi = 300;
  settings.yDpi = 300;
  EXPECT_FALSE(page.Init(settings));
  static_cast<QLineEdit*>(page.Control(CImageParaDialog::Id::XDpi))->setText("200");
  ASSERT_TRUE(page.Save(settings));
  EXPECT_EQ(settings.xDpi, 200);
  EXPECT_EQ(settings.documentCamera.width, 2592);
  EXPECT_EQ(settings.documentCamera.height, 1944);
}

TEST(ResolutionEntries, CertainModelsOfferExtraSizesAfterTheirOwn) {
  struct Case {
    const char* vendor;
    const char* product;
    int camera;
    int kind;
    std::vector<std::pair<int, int>> own;
    std::vector<ResolutionEntry> expected;
  };
  const Case cases[] = {
      // Only the sizes the camera lacks.
      {"1E4E", "01F4", 0, -1, {{2592, 1944}}, {{0, 2592, 1944}, {-1, 1600, 1200}, {-1, 2048, 1536}}},
      // Whether or not the camera has them already.
      {"3C4D", "53E8", 0, 0, {{3264, 2448}, {1600, 1200}},
       {{0, 3742, 2806}, {1, 3264, 2448}, {2, 1600, 1200}, {100, 3742, 2806}, {102, 3264, 2448}}},
      {"3C4D", "A640", 0, 4, {{640, 480}},
       {{0, 4608, 3456}, {1, 4000, 3000}, {2, 3742, 2806}, {3, 640, 480}, {100, 3742, 2806}, {101, 4000, 3000},
        {103, 4608, 3456}}},
      {"3C4D", "B320", 0, -1, {{640, 480}, {640, 480}}, {{0, 640, 480}, {100, 3264, 2448}}},
      // The portrait list has both sizes from the model table.
      {"1E4E", "012C", 1, 0, {{1600, 1200}}, {{0, 2048, 1536}, {1, 1600, 1200}}},
      {"1E4E", "0320", 2, 0, {{640, 480}}, {{0, 3264, 2448}, {1, 640, 480}}},
      {"3C4D", "A0C8", 0, 8, {}, {}},
  };
  for (const Case& c : cases) {
    CCameraModelTable table(std::make_shared<SizesProbe>(c.own));
    EXPECT_EQ(BuildResolutionEntries(table, c.vendor, c.product, c.camera, c.kind, false), c.expected)
        << c.vendor << "/" << c.product;
  }
}

}  // namespace
}  // namespace orvane::ui::testing
