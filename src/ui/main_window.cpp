#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QIntValidator>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "camera/usb_camera.h"
#include "imaging/capture_saver.h"
#include "platform/hotplug_monitor.h"
#include "platform/message_ids.h"
#include "platform/sound_player.h"
#include "platform/special_folders.h"
#include "platform/user_notice.h"
#include "ui/orientation_thread.h"
#include "ui/continuous_shoot_dialog.h"
#include "ui/multi_page_dialog.h"
#include "ui/presenter.h"
#include "ui/show_image_dialog.h"
#include "ui/splash_dialog.h"
#include "ui/system_info_dialog.h"
#include "ui/video_to_file_dialog.h"

namespace orvane::ui {
namespace ids = platform::message_ids;

namespace {

// The fifteen command buttons, in the order the window keeps them, with their captions.
struct ButtonSpec {
  ControlId id;
  const char* caption;
};
constexpr ButtonSpec kButtons[15] = {
    {ControlId::Settings, "系统参数"},   {ControlId::VideoParams, "视频参数"}, {ControlId::Exit, "退出程序"},
    {ControlId::RotateLeft, "L90"},      {ControlId::Rotate180, "180"},        {ControlId::RotateRight, "R90"},
    {ControlId::SwitchView, "切换"},     {ControlId::BrowseFolder, "浏览图像"}, {ControlId::Recognise, "文字识别"},
    {ControlId::Copy, "复       印"},    {ControlId::CaptureToPdf, "拍摄为PDF"}, {ControlId::Capture, "拍摄"},
    {ControlId::Focus, "曝光"},          {ControlId::Record, "录像"},          {ControlId::ContinuousShoot, "连续拍摄"},
};

// The controls the layout moves, in the window's order; -1 for an empty entry.
constexpr int kMovedControls[] = {1041, 1003, 1005, 1051, 1106, 1042, 1043, 1056, 1011, 1008, 1010, 1032,
                                  1081, 1052, 1058, 1057, 1089, 1108, 1099, 1109, 1060, 1033, 1053, 1045,
                                  1046, 1047, 1012, 1013, 1014, 1015, 1077, 1035, 1037, 1048, 1036, 1018,
                                  1023, 1024, 1034, 1083, -1,   -1,   -1,   1007, 1166, 1085};

constexpr int kClientWidth = 1100;
constexpr int kClientHeight = 720;
constexpr int kPanelWidth = 205;
constexpr int kStripRight = 135;

const QColor kBackground(243, 243, 243);
const QColor kGroupBackground(238, 238, 238);

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

StationEnvironment StationEnvironment::Program(IPresenter& presenter) {
  StationEnvironment environment;
  environment.programFolder = platform::ProgramFolder();
  environment.settingsFile = platform::RoamingAppDataFolder() / "Sys.ini";
  environment.presenter = &presenter;
  environment.companionBus = platform::SessionBusAddress();
  return environment;
}

COrvaneDlg::COrvaneDlg(StationEnvironment environment, QWidget* parent)
    : QWidget(parent), environment_(std::move(environment)) {
  if (!environment_.cameraProbe) environment_.cameraProbe = std::make_shared<UsbCameraProbe>();
  if (!environment_.localTime) environment_.localTime = NamingHooks::System().localTime;
  if (!environment_.pause) {
    environment_.pause = [](std::chrono::milliseconds duration) { platform::DispatchMessagesFor(duration); };
  }
  if (!environment_.deviceEvents) environment_.deviceEvents = DefaultDeviceEvents;
  if (!environment_.playSound) {
    soundPlayer_ = std::make_unique<platform::SoundPlayer>();
    environment_.playSound = [player = soundPlayer_.get()](const std::filesystem::path& file) { player->Play(file); };
  }
  models_ = std::make_unique<CCameraModelTable>(environment_.cameraProbe);
  target_ = platform::CreateTarget([this](const platform::Message& message) { return OnWndMsg(message); });
  setWindowTitle(Text(kDefaultStationCaption));
  setWindowIcon(QIcon(QStringLiteral(":/ui/application.png")));
  resize(kClientWidth, kClientHeight);
  setMinimumSize(900, 640);
  setMouseTracking(true);
  CreateControls();
  ConnectControls();
  LayOut();
}

COrvaneDlg::~COrvaneDlg() {
  Shutdown();
  platform::SetUserNoticeHandler({});
  imaging::SetCaptureMessageHandler({});
  // No message may reach the window once it starts going.
  platform::DestroyTarget(target_);
}

QWidget* COrvaneDlg::Control(ControlId id) const {
  for (const auto& [known, widget] : byId_)
    if (known == id) return widget;
  return nullptr;
}

template <class Widget, class... Args>
Widget& COrvaneDlg::Make(ControlId id, Args&&... args) {
  auto widget = std::make_unique<Widget>(std::forward<Args>(args)..., this);
  Widget& made = *widget;
  byId_.emplace_back(id, &made);
  controls_.push_back(std::move(widget));
  return made;
}

void COrvaneDlg::CreateControls() {
  preview_ = &Make<QFrame>(ControlId::Preview);
  preview_->setFrameShape(QFrame::StyledPanel);
  // The group frames first, so that what they frame lies above them.
  for (const auto& [id, caption] : {std::pair{ControlId::CameraGroup, "视频控制"}, std::pair{ControlId::NamingGroup, "命名方式"},
                                    std::pair{ControlId::CropGroup, "图像切边"}, std::pair{ControlId::ColourGroup, "图像类型"}}) {
    Make<QGroupBox>(id, Text(caption));
  }
  for (int i = 0; i < 15; ++i) buttons_[i] = &Make<CFxButton>(kButtons[i].id, Text(kButtons[i].caption));
  buttons_[11]->setDefault(false);
  QFont captureFont = buttons_[11]->font();
  captureFont.setBold(true);
  captureFont.setPointSizeF(captureFont.pointSizeF() * 1.3);
  buttons_[11]->setFont(captureFont);
  ConfigureCommandButtons();

  Make<QLabel>(ControlId::ExposureLabel, Text("曝光度"));
  exposureEdit_ = &Make<QLineEdit>(ControlId::ExposureEdit);
  exposureEdit_->setReadOnly(true);
  Make<QCheckBox>(ControlId::AutoExposure, Text("自动"));
  exposureSlider_ = &Make<QSlider>(ControlId::ExposureSlider, Qt::Horizontal);

  namingGroup_ = std::make_unique<QButtonGroup>();
  int mode = 0;
  for (const auto& [id, caption] : {std::pair{ControlId::NamingPrefix, "固定前缀"}, std::pair{ControlId::NamingDate, "时间命名"},
                                    std::pair{ControlId::NamingFree, "自由命名"}}) {
    namingGroup_->addButton(&Make<QRadioButton>(id, Text(caption)), mode++);
  }
  Make<QLabel>(ControlId::PrefixLabel, Text("前缀："));
  prefixCombo_ = &Make<CMyComboBox>(ControlId::PrefixCombo);
  prefixCombo_->SetMainWindow(target_);
  prefixCombo_->SetPrefixEditor([this] { return EditPrefixes(); });
  Make<QLabel>(ControlId::IndexLabel, Text("序号："));
  indexEdit_ = &Make<QLineEdit>(ControlId::RunningIndex);
  indexValidator_ = std::make_unique<QIntValidator>(0, 999999999);
  indexEdit_->setValidator(indexValidator_.get());

  cropGroup_ = std::make_unique<QButtonGroup>();
  int crop = 0;
  for (const auto& [id, caption] : {std::pair{ControlId::CropNone, "不切边"}, std::pair{ControlId::CropAuto, "校正去边"},
                                    std::pair{ControlId::CropCustom, "自定义"}}) {
    cropGroup_->addButton(&Make<QRadioButton>(id, Text(caption)), crop++);
  }
  colourGroup_ = std::make_unique<QButtonGroup>();
  int colour = 0;
  for (const auto& [id, caption] : {std::pair{ControlId::Colour, "彩色"}, std::pair{ControlId::Grey, "灰度"},
                                    std::pair{ControlId::BlackAndWhite, "黑白"}, std::pair{ControlId::Negative, "反色"}}) {
    colourGroup_->addButton(&Make<QRadioButton>(id, Text(caption)), colour++);
  }
  for (const auto& [id, caption] : {std::pair{ControlId::TwoInOne, "合并图像"}, std::pair{ControlId::Barcode, "条形码识别"},
                                    std::pair{ControlId::OnePdf, "存储为同一PDF文件"},
                                    std::pair{ControlId::MultipageTiff, "存储为多页TIF文件"}}) {
    Make<QCheckBox>(id, Text(caption));
  }
  notice_ = &Make<QLabel>(ControlId::Notice);

  // The keys of the window must reach its accelerators, also from the two number fields.
  indexEdit_->installEventFilter(this);
  exposureEdit_->installEventFilter(this);
  for (std::size_t i = 0; i < controlIdTable_.size(); ++i)
    controlIdTable_[i] = i < std::size(kMovedControls) ? kMovedControls[i] : -1;
}

void COrvaneDlg::ConnectControls() {
  for (const ButtonSpec& spec : kButtons) {
    connect(static_cast<QPushButton*>(Control(spec.id)), &QPushButton::clicked, this,
            [this, id = spec.id] { OnCommand(id); });
  }
  const auto onClick = [this](ControlId id) {
    connect(static_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this, [this, id] {
      if (!filling_) OnCommand(id);
    });
  };
  for (ControlId id : {ControlId::NamingPrefix, ControlId::NamingDate, ControlId::NamingFree, ControlId::CropNone,
                       ControlId::CropAuto, ControlId::CropCustom, ControlId::Colour, ControlId::Grey,
                       ControlId::BlackAndWhite, ControlId::Negative, ControlId::Barcode, ControlId::AutoExposure,
                       ControlId::TwoInOne, ControlId::OnePdf, ControlId::MultipageTiff}) {
    onClick(id);
  }
  connect(indexEdit_, &QLineEdit::textEdited, this, [this] {
    if (!filling_) OnCommand(ControlId::RunningIndex);
  });
  connect(exposureSlider_, &QSlider::valueChanged, this, [this] {
    if (!filling_) OnCommand(ControlId::ExposureSlider);
  });
}

void COrvaneDlg::LayOut() {
  const int w = width();
  const int h = height();
  const int panel = w - kPanelWidth - 5;
  const auto place = [this](ControlId id, int x, int y, int width, int height) {
    if (QWidget* widget = Control(id)) widget->setGeometry(x, y, width, height);
  };
  place(ControlId::Preview, kStripRight + 5, 10, panel - kStripRight - 13, h - 40);
  place(ControlId::Notice, kStripRight + 5, h - 26, panel - kStripRight - 13, 20);

  const int third = (kPanelWidth - 10) / 3;
  int y = 10;
  place(ControlId::Settings, panel, y, third, 26);
  place(ControlId::VideoParams, panel + third + 5, y, third, 26);
  place(ControlId::Exit, panel + 2 * (third + 5), y, third, 26);
  y += 31;
  place(ControlId::CameraGroup, panel, y, kPanelWidth, 118);
  place(ControlId::ExposureLabel, panel + 8, y + 18, 50, 22);
  place(ControlId::ExposureEdit, panel + 60, y + 18, 50, 22);
  place(ControlId::AutoExposure, panel + 120, y + 18, 75, 22);
  place(ControlId::ExposureSlider, panel + 8, y + 42, kPanelWidth - 16, 20);
  const int quarter = (kPanelWidth - 16 - 9) / 4;
  place(ControlId::RotateLeft, panel + 8, y + 64, quarter, 24);
  place(ControlId::Rotate180, panel + 8 + (quarter + 3), y + 64, quarter, 24);
  place(ControlId::RotateRight, panel + 8 + 2 * (quarter + 3), y + 64, quarter, 24);
  place(ControlId::SwitchView, panel + 8 + 3 * (quarter + 3), y + 64, quarter, 24);
  place(ControlId::Focus, panel + 8, y + 91, kPanelWidth - 16, 22);
  y += 122;
  place(ControlId::NamingGroup, panel, y, kPanelWidth, 108);
  place(ControlId::NamingPrefix, panel + 8, y + 18, 92, 22);
  place(ControlId::NamingDate, panel + 104, y + 18, 92, 22);
  place(ControlId::NamingFree, panel + 8, y + 40, 92, 22);
  place(ControlId::PrefixLabel, panel + 8, y + 63, 45, 22);
  place(ControlId::PrefixCombo, panel + 55, y + 63, kPanelWidth - 63, 22);
  place(ControlId::IndexLabel, panel + 8, y + 86, 45, 20);
  place(ControlId::RunningIndex, panel + 55, y + 86, kPanelWidth - 63, 20);
  y += 112;
  place(ControlId::BrowseFolder, panel, y, kPanelWidth, 24);
  y += 28;
  place(ControlId::CropGroup, panel, y, kPanelWidth, 46);
  y += 50;
  place(ControlId::ColourGroup, panel, y, kPanelWidth, 46);
  PlaceRadioRows();
  y += 50;
  place(ControlId::TwoInOne, panel + 4, y, 95, 21);
  place(ControlId::Barcode, panel + 100, y, 105, 21);
  place(ControlId::OnePdf, panel + 4, y + 21, kPanelWidth - 4, 21);
  place(ControlId::MultipageTiff, panel + 4, y + 42, kPanelWidth - 4, 21);
  y += 67;
  const int half = (kPanelWidth - 5) / 2;
  place(ControlId::Capture, panel, y, kPanelWidth, 38);
  y += 42;
  place(ControlId::CaptureToPdf, panel, y, half, 26);
  place(ControlId::Copy, panel + half + 5, y, half, 26);
  y += 30;
  place(ControlId::Recognise, panel, y, half, 26);
  place(ControlId::Record, panel + half + 5, y, half, 26);
  y += 30;
  place(ControlId::ContinuousShoot, panel, y, kPanelWidth, 26);

  // The preview area grows with the window; the thumbnail strip keeps the place start-up gave it.
  const QRect area = preview_->geometry();
  displayRect_ = {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

void COrvaneDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
  // The cameras of the view take their places in the new preview area.
  if (initialised_) SetViewMode(settings_.viewMode);
  update();
}

void COrvaneDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  for (ControlId group : {ControlId::CameraGroup, ControlId::NamingGroup, ControlId::CropGroup, ControlId::ColourGroup}) {
    painter.fillRect(Control(group)->geometry(), kGroupBackground);
  }
  for (const auto& thumbnail : thumbnails_) thumbnail->Draw(painter);
  if (logo_) logo_->Draw(painter);
}

void COrvaneDlg::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  lastMouse_ = point;
  bool hand = false;
  for (const auto& thumbnail : thumbnails_) {
    thumbnail->OnMouseMove(point);
    hand = hand || thumbnail->OnSetCursor(point);
  }
  if (logo_) logo_->OnMouseMove(point);
  if (hand) setCursor(Qt::PointingHandCursor);
  else unsetCursor();
}

void COrvaneDlg::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() == Qt::RightButton) {
    lastMouse_ = point;
    for (const auto& thumbnail : thumbnails_) thumbnail->OnRButtonDown(point);
  } else if (event->button() == Qt::LeftButton) {
    for (const auto& thumbnail : thumbnails_) thumbnail->OnLButtonDown(point);
    if (logo_) logo_->OnLinkClick(point);
  }
}

void COrvaneDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint point = event->position().toPoint();
  for (const auto& thumbnail : thumbnails_) thumbnail->OnLButtonUp(point);
}

bool COrvaneDlg::eventFilter(QObject* watched, QEvent* event) {
  // A number field would take the accelerators' letters and the space for itself; it only takes
  // digits, so everything else goes to the window's keys.
  if (event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool digitOrEditing = (key->key() >= Qt::Key_0 && key->key() <= Qt::Key_9) ||
                                key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
                                key->key() == Qt::Key_Left || key->key() == Qt::Key_Right ||
                                key->key() == Qt::Key_Home || key->key() == Qt::Key_End;
    if (!digitOrEditing) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void COrvaneDlg::CreateAccelerators() {
  const auto add = [this](const QKeySequence& keys, ControlId id) {
    auto shortcut = std::make_unique<QShortcut>(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut.get(), &QShortcut::activated, this, [this, id] { OnCommand(id); });
    accelerators_.push_back(std::move(shortcut));
  };
  add(QKeySequence(Qt::Key_Space), ControlId::CaptureKey);
  add(QKeySequence(Qt::CTRL | Qt::Key_E), ControlId::CaptureKey);
  add(QKeySequence(Qt::CTRL | Qt::Key_Q), ControlId::CaptureToPdfKey);
  add(QKeySequence(Qt::Key_O), ControlId::CaptureToPdfKey);
  add(QKeySequence(Qt::Key_P), ControlId::MiddleKey);
  add(QKeySequence(Qt::CTRL | Qt::Key_W), ControlId::MiddleKey);
}

// ---- Commands and messages ----

void COrvaneDlg::OnCommand(ControlId id) {
  if (busy_ || !initialised_) {
    waiting_.push_back(id);
    return;
  }
  busy_ = true;
  RunCommand(id);
  while (!waiting_.empty() && !shutDown_) {
    const ControlId next = waiting_.front();
    waiting_.pop_front();
    RunCommand(next);
  }
  waiting_.clear();
  busy_ = false;
  if (closeWanted_) {
    closeWanted_ = false;
    close();
  }
}

void COrvaneDlg::RunCommand(ControlId id) {
  switch (id) {
    case ControlId::Capture:
    case ControlId::CaptureKey: OnCapture(); break;
    case ControlId::Recognise: OnRecognizeText(); break;
    case ControlId::CaptureToPdf:
    case ControlId::CaptureToPdfKey: OnCaptureToPdf(); break;
    case ControlId::Copy: OnCopy(); break;
    case ControlId::TwoInOne: On2in1(); break;
    case ControlId::OnePdf: OnMultiPdf(); break;
    case ControlId::MultipageTiff: OnMultiTif(); break;
    case ControlId::Exit: close(); break;
    case ControlId::RotateLeft: Rotate(270); break;
    case ControlId::Rotate180: Rotate(180); break;
    case ControlId::RotateRight: Rotate(90); break;
    case ControlId::CropNone: OnCropNone(); break;
    case ControlId::CropAuto: OnCropAuto(); break;
    case ControlId::CropCustom: OnCropCustom(); break;
    case ControlId::Colour: OnColorMode(0); break;
    case ControlId::Grey: OnColorMode(1); break;
    case ControlId::BlackAndWhite: OnColorMode(2); break;
    case ControlId::Negative: OnColorMode(3); break;
    case ControlId::NamingPrefix: OnNamingMode(0); break;
    case ControlId::NamingDate: OnNamingMode(1); break;
    case ControlId::NamingFree: OnNamingMode(2); break;
    case ControlId::RunningIndex: OnIndexChanged(); break;
    case ControlId::Barcode: OnBarcodeCheck(); break;
    case ControlId::ExposureSlider: OnExposureSlider(exposureSlider_->value()); break;
    case ControlId::AutoExposure: OnAutoExposure(); break;
    case ControlId::Focus: OnFocusNudge(); break;
    case ControlId::VideoParams: OnVideoParams(); break;
    case ControlId::BrowseFolder: OnBrowseFolder(); break;
    case ControlId::MiddleKey: OnMiddleKey(); break;
    case ControlId::Record: OnRecordVideo(); break;
    case ControlId::Settings: OnSystemSettings(); break;
    case ControlId::ContinuousShoot: OpenContinuousShoot(); break;
    case ControlId::FormatPage:
      if (document_) document_->ShowFormatPage(this, settings_.language);
      break;
    case ControlId::SwitchView: OnSwitchView(); break;
    case ControlId::DeviceChange: OnDeviceChange(); break;
    case ControlId::CollectedPages: OfferCollectedPages(); break;
    case ControlId::ThumbnailOpen: OnOpenThumbnail(); break;
    case ControlId::ThumbnailDelete: OnDeleteThumbnail(); break;
    default:
      // Commands of windows the station does not offer.
      break;
  }
}

platform::MessageResult COrvaneDlg::OnWndMsg(const platform::Message& message) {
  switch (message.id) {
    case ids::kSnapshotButton:
      OnCommand(ControlId::Capture);
      return 0;
    case ids::kContinuousShoot:
      return OnContinuousShootMsg(message.wParam);
    case ids::kMultiPageClosed:
      return OnMultiPageDone(message.wParam);
    case ids::kMergeDone:
      return OnMergeDone(message.wParam);
    case ids::kPrefixChanged:
      OnPrefixChanged();
      return 1;
    case ids::kImageButtonClick:
      OnThumbnailClick(static_cast<int>(message.wParam), message.lParam);
      return 0;
    case ids::kCalibrateDpi:
      return CalibrateDpi();
    case ids::kDeviceChange:
      // Not while a command waits on the camera (a still, a recording): it runs after it.
      OnCommand(ControlId::DeviceChange);
      return 1;
    case ids::kMainIgnored:
      return 0;
    case ids::kOrientationResult:
      OnOrientationResult(message);
      return 0;
    case ids::kShareImagePath:
      return OnShareImagePath();
    default:
      return 0;
  }
}

void COrvaneDlg::closeEvent(QCloseEvent* event) {
  if (busy_) {
    // A command is waiting for a still or a recording runs: the window closes once it has
    // finished, and a recording is finished now.
    closeWanted_ = true;
    if (recording_ != nullptr) recording_->reject();
    // An open settings window is left as by Cancel.
    if (settingsDialog_ != nullptr) settingsDialog_->reject();
    event->ignore();
    return;
  }
  if (!closingOnSignal_) {
    // Pages still collected are asked about as unticking their box asks; what arrives meanwhile
    // waits as it does during a command.
    busy_ = true;
    const bool agreed = DropComposer() && DropMergeDialog();
    busy_ = false;
    // A signal while the user was asked closes all the same, and keeps what is left.
    if (!agreed && !closingOnSignal_) {
      closeWanted_ = false;
      event->ignore();
      QTimer::singleShot(0, this, [this] {
        if (waiting_.empty() || busy_) return;
        const ControlId next = waiting_.front();
        waiting_.pop_front();
        OnCommand(next);
      });
      return;
    }
  }
  Shutdown();
  event->accept();
}

void COrvaneDlg::CloseOnSignal() {
  closingOnSignal_ = true;
  // A session that ends waits for nobody: what the station is asking or showing is closed as its
  // close box would close it (a question is cancelled, the recognition window closed), so that the
  // command waiting on it ends and the window closes after it.
  for (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this;) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    else modal->close();
    QWidget* next = QApplication::activeModalWidget();
    if (next == modal) break;
    modal = next;
  }
  close();
}

// ---- Data exchange ----

void COrvaneDlg::UpdateData(bool saveAndValidate) {
  auto* barcode = static_cast<QCheckBox*>(Control(ControlId::Barcode));
  if (saveAndValidate) {
    settings_.recognizeBarcode = barcode->isChecked();
    exposureShown_ = exposureEdit_->text().toInt();
    bool number = false;
    const int index = indexEdit_->text().toInt(&number);
    if (number) runningIndexShown_ = index;
    namingRadio_ = std::max(0, namingGroup_->checkedId());
    return;
  }
  filling_ = true;
  const QSignalBlocker blockBarcode(barcode);
  barcode->setChecked(settings_.recognizeBarcode);
  exposureEdit_->setText(QString::number(exposureShown_));
  indexEdit_->setText(QString::number(runningIndexShown_));
  if (QAbstractButton* radio = namingGroup_->button(namingRadio_)) radio->setChecked(true);
  filling_ = false;
}

void COrvaneDlg::SyncNaming() {
  settings_.runningIndex = runningIndexShown_;
  settings_.namingMode = namingRadio_;
  settings_.prefix = prefixCombo_->CurrentPrefix();
}

void COrvaneDlg::SetMessageLanguage(int language) {
  if (std::optional<CMessageTexts> texts = MessageTextsFor(language)) texts_ = std::move(*texts);
  else return;
  for (const auto& thumbnail : thumbnails_) thumbnail->SetLanguage(language);
}

// ---- The panel ----

CVideoController* COrvaneDlg::ActiveCamera() const {
  switch (settings_.viewMode) {
    case 1:
    case 5: return portrait_.get();
    case 2: return third_.get();
    default: return document_.get();
  }
}

int& COrvaneDlg::ActiveRotation() {
  switch (settings_.viewMode) {
    case 1:
    case 5: return rotation_[1];
    case 2: return rotation_[2];
    default: return rotation_[0];
  }
}

void COrvaneDlg::Rotate(int step) {
  CVideoController* camera = ActiveCamera();
  if (camera == nullptr) return;
  int& rotation = ActiveRotation();
  rotation = (rotation + step) % 360;
  camera->SetRotation(rotation);
}

void COrvaneDlg::OnCropNone() {
  if (!static_cast<QRadioButton*>(Control(ControlId::CropNone))->isChecked()) return;
  settings_.cropMode = 0;
  if (CVideoController* camera = ActiveCamera()) {
    camera->EnableTrackRect(false);
    camera->SetAutoCrop(false, false, 0.03f);
  }
}

void COrvaneDlg::OnCropAuto() {
  if (!static_cast<QRadioButton*>(Control(ControlId::CropAuto))->isChecked()) return;
  settings_.cropMode = 1;
  CVideoController* camera = ActiveCamera();
  if (camera == nullptr) return;
  camera->EnableTrackRect(false);
  if (camera == document_.get()) camera->SetAutoCrop(true, settings_.keepEveryDocument, 0.01f);
  else camera->SetAutoCrop(true, false, 0.03f);
}

void COrvaneDlg::OnCropCustom() {
  if (!document_) return;
  if (!static_cast<QRadioButton*>(Control(ControlId::CropCustom))->isChecked()) return;
  settings_.cropMode = 2;
  if (CVideoController* camera = ActiveCamera()) {
    camera->SetAutoCrop(false, false, 0.03f);
    camera->EnableTrackRect(true);
  }
}

void COrvaneDlg::OnColorMode(int mode) {
  if (mode <= 1) UpdateData(true);
  settings_.colorMode = mode;
  ShareSettingsWithMergeDialog();
}

void COrvaneDlg::OnNamingMode(int mode) {
  namingRadio_ = mode;
  prefixCombo_->setEnabled(mode == 0);
  indexEdit_->setEnabled(mode == 0);
}

void COrvaneDlg::OnIndexChanged() {
  UpdateData(true);
  settings_.runningIndex = runningIndexShown_;
}

void COrvaneDlg::OnBarcodeCheck() { UpdateData(true); }

void COrvaneDlg::OnPrefixChanged() {
  runningIndexShown_ = 0;
  settings_.runningIndex = 0;
  UpdateData(false);
}

void COrvaneDlg::OnMiddleKey() {
  if (settings_.middleKeyFunction == 1) {
    auto* barcode = static_cast<QCheckBox*>(Control(ControlId::Barcode));
    const QSignalBlocker quiet(barcode);
    barcode->setChecked(!barcode->isChecked());
  } else if (settings_.middleKeyFunction == 0) {
    OnCopy();
  }
}

void COrvaneDlg::OnExposureSlider(int position) {
  if (!document_ || position == exposurePosition_) return;
  exposurePosition_ += position > exposurePosition_ ? 1 : -1;
  {
    const QSignalBlocker quiet(exposureSlider_);
    exposureSlider_->setValue(exposurePosition_);
  }
  document_->SetCameraControl(4, exposurePosition_);
  ShowExposure(exposurePosition_);
}

void COrvaneDlg::ShowExposure(int value) {
  settings_.exposure = value;
  exposurePosition_ = value;
  exposureShown_ = value;
  {
    const QSignalBlocker quiet(exposureSlider_);
    exposureSlider_->setValue(value);
  }
  UpdateData(false);
}

void COrvaneDlg::OnAutoExposure() {
  if (!document_) return;
  if (static_cast<QCheckBox*>(Control(ControlId::AutoExposure))->isChecked()) {
    exposureSlider_->setEnabled(false);
    settings_.autoExposure = true;
    document_->SetCameraControl(4, 10);
    return;
  }
  settings_.autoExposure = false;
  long value = 0;
  long flags = 0;
  document_->GetCameraControl(4, &value, &flags);
  ShowExposure(static_cast<int>(value));
  document_->SetCameraControl(4, value);
  exposureSlider_->setEnabled(true);
}

void COrvaneDlg::OnFocusNudge() {
  if (!document_ || settings_.documentCamera.kind != 5) return;
  PropertyRange range;
  if (document_->GetCameraControlRange(6, &range) != kSuccess) return;
  FocusOnce(range);
}

void COrvaneDlg::FocusOnce(const PropertyRange& range) {
  // Above the range is automatic focus; once it has settled, its value is kept by hand.
  document_->SetCameraControl(6, range.maximum + 10);
  Pause(std::chrono::milliseconds(std::max(0, settings_.documentCamera.width / 2)));
  long value = 0;
  long flags = 0;
  document_->GetCameraControl(6, &value, &flags);
  document_->SetCameraControl(6, value);
}

void COrvaneDlg::OnVideoParams() {
  switch (settings_.viewMode) {
    case 1:
    case 5:
      if (portrait_) portrait_->ShowDevicePage(this, settings_.language);
      if (third_) third_->ShowDevicePage(this, settings_.language);
      return;
    case 2:
      if (third_) third_->ShowDevicePage(this, settings_.language);
      return;
    default:
      break;
  }
  if (!document_) return;
  document_->ShowDevicePage(this, settings_.language);
  long value = 0;
  long flags = 0;
  document_->GetCameraControl(4, &value, &flags);
  const bool automatic = flags == kPropertyAuto;
  settings_.autoExposure = automatic;
  exposureSlider_->setEnabled(!automatic);
  static_cast<QCheckBox*>(Control(ControlId::AutoExposure))->setChecked(automatic);
  ShowExposure(static_cast<int>(value));
}

void COrvaneDlg::OnBrowseFolder() { environment_.presenter->OpenFolder(settings_.currentStorageFolder); }

// ---- Shutdown ----

void COrvaneDlg::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // No device change may arrive, and nothing read through a camera, while the cameras go.
  hotplug_.reset();
  StopCameraReaders();
  if (settingsLoaded_) {
    // The rectangle read last decides whether a manual crop has anything to keep.
    IntRect last;
    if (document_ && document_->GetTrackRect(&last)) settings_.documentCrop = {last.left, last.top, last.right, last.bottom};
    if (portrait_ && portrait_->GetTrackRect(&last)) settings_.portraitCrop = {last.left, last.top, last.right, last.bottom};
    const bool manual = static_cast<QRadioButton*>(Control(ControlId::CropCustom))->isChecked();
    if (manual && last.left >= last.right) settings_.cropMode = 0;
    UpdateData(true);
    SyncNaming();
    settings_.rotation %= 360;
    settings_.Save();
  }
  // The pages a composer or the merge dialog still holds stay where the captures saved them.
  NoteCollectedPages();
  composer_.reset();
  mergeDialog_.reset();
  document_.reset();
  logo_.reset();
  portrait_.reset();
  third_.reset();
  thumbnails_.clear();
  splash_.reset();
  CloseCompanions();
}

void COrvaneDlg::Pause(std::chrono::milliseconds duration) {
  if (duration.count() > 0) environment_.pause(duration);
}

}  // namespace orvane::ui
