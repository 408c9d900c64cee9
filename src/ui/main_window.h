// `COrvaneDlg`: the capture station's main window. It owns the settings record, one camera
// controller per camera, the thumbnail strip and the logo; it starts the station up in a fixed
// order, runs every command on the GUI thread and closes down in order.
//
// Thread-bound to the GUI thread. Workers reach it only through its message target.
#pragma once

#include <array>
#include <chrono>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QWidget>

#include <opencv2/core.hpp>

#include "app/sys_param.h"
#include "camera/camera_models.h"
#include "camera/video_controller.h"
#include "platform/messages.h"
#include "platform/window_bus.h"
#include "ui/control_ids.h"
#include "ui/fx_button.h"
#include "ui/grab_per_view.h"
#include "ui/image_button.h"
#include "ui/message_texts.h"
#include "ui/prefix_combo.h"

namespace orvane::imaging {
class CCaptureImageHelper;
}

namespace orvane::platform {
class HotplugMonitor;
class IDeviceEventSource;
class SoundPlayer;
}

namespace orvane::ui {

class IPresenter;
class CSplashDlg;
class COrientationThread;
class CContinuousShootDlg;
class CCVideoToFile;
class CSystemInfoDialog;
class CShowImageDlg;
class CMultiPageDlg;

// What the station takes from its surroundings. The program uses the real ones (Program());
// tests put the virtual camera, the device-library simulator and a scripted presenter here.
struct StationEnvironment {
  std::filesystem::path programFolder;  // data.dat and the character template
  std::filesystem::path settingsFile;   // Sys.ini
  IPresenter* presenter = nullptr;      // must outlive the window
  CVideoController::Factories controllers;
  std::shared_ptr<ICameraProbe> cameraProbe;  // camera discovery's questions
  std::function<std::tm()> localTime;         // the clock of file names
  // The start-up's waits for a camera to settle; the windows keep painting meanwhile.
  std::function<void(std::chrono::milliseconds)> pause;
  // Plays the shutter sound without waiting for it.
  std::function<void(const std::filesystem::path&)> playSound;
  // Where cameras being plugged in and pulled out are heard of (udev in the program), and how long
  // a burst of events must have gone quiet before it counts.
  std::function<std::unique_ptr<platform::IDeviceEventSource>()> deviceEvents;
  std::chrono::milliseconds deviceEventQuiet{300};
  // The bus the companion programs meet the station on (the session bus); none when empty. The
  // shared memory a companion makes for the current picture's path.
  std::string companionBus;
  std::string imagePathMemory = "OrvaneImageDataMap";

  // The program's own: the program folder, $XDG_CONFIG_HOME/Sys.ini, the cameras of the video
  // backend, the system clock, and the ALSA player.
  static StationEnvironment Program(IPresenter& presenter);
};

// How start-up ended.
enum class StartUp { kRunning, kEnd };

// Kinds of a thumbnail.
inline constexpr int kThumbnailPicture = 0;
inline constexpr int kThumbnailDocument = 1;

class COrvaneDlg : public QWidget {
 public:
  explicit COrvaneDlg(StationEnvironment environment, QWidget* parent = nullptr);
  ~COrvaneDlg() override;
  COrvaneDlg(const COrvaneDlg&) = delete;
  COrvaneDlg& operator=(const COrvaneDlg&) = delete;

  // Branding, settings, cameras, controls and keys, in that order. kEnd: the program is to end
  // (what the user must know has been shown); the window is not to be shown then.
  StartUp OnInitDialog();

  // Every button, key and menu entry ends here. A command that arrives while another runs (a
  // still grab keeps the windows answering while it waits) is run after it, in order.
  void OnCommand(ControlId id);
  // The window's numbered messages (the camera's button, the feature dialogs, the prefix combo).
  platform::MessageResult OnWndMsg(const platform::Message& message);
  platform::TargetHandle Target() const { return target_; }

  CSysParam GetSysParam() const { return settings_; }
  void SetMessageLanguage(int language);
  const CMessageTexts& MessageTexts() const { return texts_; }
  // Controls to members (true) or members to controls (false); no handler runs while filling.
  void UpdateData(bool saveAndValidate);
  // The running number, naming mode and prefix of the controls into the settings record.
  void SyncNaming();

  void OnCapture();
  // One of the seven layouts of the preview area; false, the mode unchanged, when a camera it
  // needs is missing or cannot be started or shown.
  bool SetViewMode(int mode);
  void OnSwitchView();
  // The crop radios in line with the view mode and the active camera.
  void UpdateCropButtons();
  // Measures the reference DPI from an ID-1 card under the document camera: 1 when it was
  // measured, 0 after the failure message.
  int CalibrateDpi();
  float CalibratedDpi() const { return dpiValue_; }
  // The prefix list into the record (and so into Sys.ini at the next save).
  void SetPrefixChoices(const std::string& choices) { settings_.prefixChoices = choices; }
  // A camera was plugged in or pulled out.
  void OnDeviceChange();
  void OnRecognizeText();
  // Starts the orientation thread on the document camera unless one runs.
  void StartOrientationThread();
  bool OrientationRunning() const;
  void AddToThumbnails(const std::filesystem::path& path, int kind, const std::optional<std::filesystem::path>& preview);
  std::vector<cv::Mat> GrabProcessedImages();

  // Video recording (command 1083) and continuous shooting (command 1085, message 0x430).
  void OnRecordVideo();
  void OpenContinuousShoot();
  platform::MessageResult OnContinuousShootMsg(platform::WParam wParam);
  // Ends continuous shooting, its watch thread joined: before a camera it may watch goes.
  void CloseContinuousShoot();
  CContinuousShootDlg* ContinuousShootDialog() const { return continuousShoot_.get(); }
  CCVideoToFile* RecordingDialog() const { return recording_; }

  // The settings window (command 1041), and what its OK changes in the running station: the
  // edited record becomes the station's, the cameras take a new format or size, the texts their
  // language, and Sys.ini is saved. A camera that cannot take the new size is said so and keeps
  // the one it had.
  void OnSystemSettings();
  void ApplySettings(const CSysParam& edited);
  CSystemInfoDialog* SettingsDialog() const { return settingsDialog_; }
  // The command buttons' faces, their tool tips, the panel's captions and the notice line in
  // language 0, 1 or 2; any other language changes nothing.
  void SetUiLanguage(int language);
  // The crop and colour radios, each row across its group: every radio gets the room its caption
  // needs beside its indicator at the window's font, and the row's spare room is shared out
  // evenly. Laid out again when the captions change language.
  void PlaceRadioRows();
  // The panel's radio buttons and boxes keep the window's font while their caption fits their
  // width; a longer one gets a smaller font, never a cut: the last resort, for a row whose
  // captions together are wider than their group.
  void FitPanelCaptions();

  // Capture to PDF (1024, 32778), copy (1023), the collection boxes (1035, 1036, 1037), and the
  // closing messages of the merge dialog (0x435) and the composer (0x431).
  void OnCaptureToPdf();
  void OnCopy();
  void On2in1();
  void OnMultiPdf();
  void OnMultiTif();
  platform::MessageResult OnMultiPageDone(platform::WParam wParam);
  platform::MessageResult OnMergeDone(platform::WParam wParam);
  void SetMergedFile(const std::filesystem::path& path) { mergedFile_ = path; }
  CShowImageDlg* MergeDialog() const { return mergeDialog_.get(); }
  CMultiPageDlg* Composer() const { return composer_.get(); }

  // Closing in order: crop rectangles and naming kept, Sys.ini saved, cameras closed. Runs once.
  // Pages still collected then stay on disk, and the next start offers them back.
  void Shutdown();
  // SIGTERM and SIGINT: closes as the close box does, but nobody is there to be asked, so pages
  // still collected are kept for the next start.
  void CloseOnSignal();

  // Companion programs. Start-up asks the server whether the camera is free (false: another
  // program holds it) and then offers the station to companions; message 0x500 writes the
  // current picture's path into their shared memory (2 when there is none) and tells "Image".
  bool QueryCompanionServer();
  platform::MessageResult OnShareImagePath();

  // For the tests and the layout.
  StationCameras Cameras() const { return {document_.get(), portrait_.get(), third_.get()}; }
  const std::vector<std::unique_ptr<CImageButton>>& Thumbnails() const { return thumbnails_; }
  const CImageButton* Logo() const { return logo_.get(); }
  QWidget* Control(ControlId id) const;
  bool Busy() const { return busy_; }
  const IntRect& PreviewRect() const { return displayRect_; }
  const IntRect& DocumentDisplayRect() const { return documentDisplayRect_; }
  int SelectedThumbnail() const { return selectedThumbnail_; }
  QMenu* ThumbnailMenu() const { return thumbnailMenu_.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  template <class Widget, class... Args>
  Widget& Make(ControlId id, Args&&... args);
  void CreateControls();
  // The command buttons' look: rounded, captions in their pictures, the pictures of language 0.
  void ConfigureCommandButtons();
  void ConnectControls();
  void LayOut();
  void CreateAccelerators();

  // Start-up.
  StartUp Fail(const std::string& text, bool stopIcon = false);
  void LoadSettings();
  void IdentifyCameras();
  bool OpenDocumentCamera();
  // Format mode and resolution of the document camera as start-up chooses them.
  void ChooseDocumentFormat(CVideoController& camera);
  // Start-up and a new setting with barcode folders: the panel locked to one page a barcode.
  void LockForBarcodeFolders();
  // Merging, the multipage files and the barcode box: what barcode folders lock.
  void EnableBarcodeFolderBoxes(bool enabled);
  void OpenSideCameras();
  void OpenSideCamera(CDeviceSlot& slot, std::unique_ptr<CVideoController>& camera);
  void DocumentCameraGone();
  // The document camera in the record's format, shown where the view has it; false when it
  // cannot be opened or started.
  bool ReopenDocumentCamera();
  // A front camera at the slot's new size; one that cannot take it is said so and gets `old` back.
  void ApplySideCameraSize(CVideoController& camera, CDeviceSlot& slot, const CDeviceSlot& old, int rotation);
  // The workers that read through the document camera's controller are stopped before it goes.
  void StopCameraReaders();
  void NudgeFocus();
  void CreateThumbnails();
  void ApplyExposure();
  void RestoreStates();
  void Pause(std::chrono::milliseconds duration);
  std::unique_ptr<CVideoController> MakeController(int sourceType) const;
  int StillPinFlag() const { return settings_.channelFlag || settings_.stillCapture ? 1 : 0; }

  void RunCommand(ControlId id);
  NamingHooks Naming();
  void PlayShutter();
  CVideoController* ActiveCamera() const;
  QRect PreviewOnScreen() const;
  int& ActiveRotation();

  // The panel's handlers.
  void Rotate(int step);
  void OnCropNone();
  void OnCropAuto();
  void OnCropCustom();
  void OnColorMode(int mode);
  void OnNamingMode(int mode);
  void OnIndexChanged();
  void OnBarcodeCheck();
  void OnExposureSlider(int position);
  void OnAutoExposure();
  void OnFocusNudge();
  void FocusOnce(const PropertyRange& range);
  // The exposure as the camera has it: record, slider and field.
  void ShowExposure(int value);
  void OnVideoParams();
  void OnBrowseFolder();
  void OnMiddleKey();
  void OnPrefixChanged();
  std::optional<std::vector<std::string>> EditPrefixes();
  void OnThumbnailClick(int index, platform::LParam kind);
  void OnOpenThumbnail();
  void OnDeleteThumbnail();
  void OnOrientationResult(const platform::Message& message);
  void SetCurrentPicture(const std::filesystem::path& picture);
  // Tells the closing companion, then leaves the bus and the shared memory.
  void CloseCompanions();

  // Page collection.
  bool Ticked(ControlId box) const;
  void SetTicked(ControlId box, bool ticked);
  // The saved pictures to the open merge dialog, or to a new one: false when the merged file's
  // name was not given (the command ends there).
  bool HandToMergeDialog(const std::vector<std::filesystem::path>& saved,
                         const imaging::CCaptureImageHelper& pipeline);
  // The saved pictures as pages of the open composer of `mode`, or of a new one: false when the
  // file's name was not given.
  bool HandToComposer(int mode, const std::vector<std::filesystem::path>& saved,
                      const imaging::CCaptureImageHelper& pipeline);
  // The name of a merged picture or collected file (without extension), from the naming mode or
  // the first barcode collected; empty when the free-name prompt was cancelled.
  std::filesystem::path CollectionOutput(std::string_view extension, const imaging::CCaptureImageHelper& pipeline,
                                         bool* replace);
  bool MergeDialogOpen() const;
  bool ComposerOpen() const;
  // A dialog that has closed is forgotten: the merged file or the collected file in the strip.
  void ForgetMergeDialog();
  void ForgetComposer();
  // The open composer goes, after the user agreed to dropping its pages; false when not.
  bool DropComposer();
  // The same for the merge dialog, whose pictures stay on disk as its Cancel leaves them.
  bool DropMergeDialog();
  // "The %d collected pages ... Drop them?" (and that their files go, when they do): true for yes.
  bool AgreeToDropPages(std::size_t pages, bool filesGo);
  // The pages the composer or the merge dialog still holds, noted for the next start; the note
  // of an earlier run is left alone when there are none.
  void NoteCollectedPages();
  // At start-up: the pages noted when the station last closed are offered back into the window
  // of their box, or the user is told where they are.
  void OfferCollectedPages();
  // The open merge dialog is given the settings as they are now.
  void ShareSettingsWithMergeDialog();

  StationEnvironment environment_;
  platform::TargetHandle target_;
  std::unique_ptr<platform::SoundPlayer> soundPlayer_;

  CMessageTexts texts_;
  std::string noticeText_;
  CSysParam settings_;
  int twoInOneState_ = 0;
  std::array<int, 3> rotation_{};  // document, portrait, third
  IntRect displayRect_;
  IntRect secondDisplayRect_;
  IntRect documentDisplayRect_;
  int selectedThumbnail_ = -1;
  QPoint lastMouse_;
  std::unique_ptr<CVideoController> document_;
  std::unique_ptr<CVideoController> portrait_;
  std::unique_ptr<CVideoController> third_;
  std::vector<std::unique_ptr<CImageButton>> thumbnails_;
  std::unique_ptr<CImageButton> logo_;
  int thumbnailsAdded_ = 0;
  int captureState_ = 0;
  float continuousInterval_ = 5.0f;
  int exposureShown_ = 0;
  int exposurePosition_ = 0;  // the last value sent to the camera
  int runningIndexShown_ = 0;
  int namingRadio_ = 0;
  std::array<int, 128> controlIdTable_{};
  float dpiValue_ = -1.0f;
  std::unique_ptr<CCameraModelTable> models_;
  std::unique_ptr<CSplashDlg> splash_;
  std::unique_ptr<platform::HotplugMonitor> hotplug_;
  std::unique_ptr<QMenu> thumbnailMenu_;
  // Reads the document camera: stopped before that camera goes.
  std::unique_ptr<COrientationThread> orientation_;
  std::unique_ptr<CContinuousShootDlg> continuousShoot_;
  CCVideoToFile* recording_ = nullptr;  // while the recording dialog runs
  CSystemInfoDialog* settingsDialog_ = nullptr;  // while the settings window runs
  std::unique_ptr<CShowImageDlg> mergeDialog_;
  std::unique_ptr<CMultiPageDlg> composer_;
  std::filesystem::path mergedFile_;  // told by the merge dialog before it closes
  std::unique_ptr<platform::WindowBus> companions_;
  std::unique_ptr<platform::BusWindow> busWindow_;  // the station as companions find it
  std::filesystem::path currentPicture_;  // the last picture the capture command saved under its own name

  bool settingsLoaded_ = false;
  bool initialised_ = false;
  bool shutDown_ = false;
  bool busy_ = false;
  bool closeWanted_ = false;
  bool closingOnSignal_ = false;
  std::deque<ControlId> waiting_;

  // Controls, all children of the window (group frames are siblings of what they frame, so no
  // control is deleted twice).
  std::vector<std::unique_ptr<QWidget>> controls_;
  std::vector<std::pair<ControlId, QWidget*>> byId_;
  std::unique_ptr<QButtonGroup> namingGroup_;
  std::unique_ptr<QButtonGroup> cropGroup_;
  std::unique_ptr<QButtonGroup> colourGroup_;
  std::vector<std::unique_ptr<QShortcut>> accelerators_;
  CFxButton* buttons_[15] = {};
  QSlider* exposureSlider_ = nullptr;
  QLineEdit* exposureEdit_ = nullptr;
  QLineEdit* indexEdit_ = nullptr;
  std::unique_ptr<QIntValidator> indexValidator_;
  CMyComboBox* prefixCombo_ = nullptr;
  QLabel* notice_ = nullptr;
  QFrame* preview_ = nullptr;
  bool filling_ = false;
  bool replaceConfirmed_ = false;  // by the free-name prompt of the capture running
};

}  // namespace orvane::ui
