// `CSystemInfoDialog`: the settings window. Four pages on a tab control (image, watermark, device,
// advanced) edit the window's own copy of the settings record; OK hands the copy back only when
// every page has taken its values, Cancel leaves everything as it was.
#pragma once

#include <ctime>
#include <functional>
#include <memory>

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/sys_param.h"
#include "platform/messages.h"
#include "ui/image_para_dialog.h"
#include "ui/settings_pages.h"

namespace orvane {
class ICameraProbe;
}

namespace orvane::ui {

class IPresenter;

class CSystemInfoDialog : public QDialog {
 public:
  // The tab of each page.
  enum Page : int { kImagePage = 0, kWatermarkPage = 1, kDevicePage = 2, kAdvancedPage = 3 };
  enum class Id : int { Ok = 1, Cancel = 2, Tabs = 1117, Defaults = 1150 };

  // `mainWindow` runs the DPI calibration the image page asks for; `probe` answers for the
  // cameras' sizes; `today` names the date sub-folder.
  CSystemInfoDialog(QWidget* parent, IPresenter& presenter, std::shared_ptr<ICameraProbe> probe,
                    platform::TargetHandle mainWindow, std::function<std::tm()> today);
  ~CSystemInfoDialog() override;
  CSystemInfoDialog(const CSystemInfoDialog&) = delete;
  CSystemInfoDialog& operator=(const CSystemInfoDialog&) = delete;

  // Before the window runs: the record it edits.
  void SetSettings(const CSysParam& settings);
  // The edited record, after OK.
  const CSysParam& GetSettings() const { return settings_; }
  // Fills the pages from the record and runs the window; QDialog::Accepted after OK.
  int DoModal();

  void SetLanguage(int language);
  void OnDefaults();
  void OnTabChange(int index);

  QTabWidget& Tabs() { return tabs_; }
  QPushButton* Button(Id id);
  CImageParaDialog& ImagePage() { return image_; }
  CWaterMarkDialog& WatermarkPage() { return watermark_; }
  CDeviceParaDlg& DevicePage() { return device_; }
  CAdvancedSettingDialog& AdvancedPage() { return advanced_; }

  // OK: the pages take their values in the order image, watermark, advanced, device; the first
  // that refuses keeps the window open with its page in front.
  void accept() override;

 private:
  void OnInitDialog();

  CSysParam settings_;
  int visiblePage_ = 0;

  // Containers before what they hold.
  QVBoxLayout layout_{this};
  QTabWidget tabs_;
  QHBoxLayout buttons_;
  QPushButton defaults_;
  QPushButton ok_;
  QPushButton cancel_;
  CImageParaDialog image_;
  CWaterMarkDialog watermark_;
  CAdvancedSettingDialog advanced_;
  CDeviceParaDlg device_;
};

}  // namespace orvane::ui
