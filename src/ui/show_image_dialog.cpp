#include "ui/show_image_dialog.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <system_error>

#include "imaging/capture_pipeline.h"
#include "imaging/image_file.h"
#include "imaging/printing/print_module.h"
#include "platform/message_ids.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"
#include "ui/print_dialog_chooser.h"

namespace orvane::ui {
namespace {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;

struct Texts {
  const char* caption;
  const char* print;
  const char* vertical;    // the arrangement button while the pictures stand one above the other
  const char* horizontal;  // ... while they stand side by side
  const char* needTwo;
  const char* swap;
  const char* cancel;
  const char* ok;
  const char* failed;
};

constexpr Texts kTexts[3] = {
    {"图像合并", "打印", "左右合并", "上下合并", "需要2张图片才能合并", "交换位置", "取消", "确定",
     "无法写入合并后的图像，两张原图都已保留"},
    {"圖像合併", "列印", "左右合併", "上下合併", "需要2張圖片才能合併", "交換順序", "取消", "確認",
     "無法寫入合併後的圖像，兩張原圖都已保留"},
    {"Image combination", "Print", "Horizontal", "Vertical", "You need 2 pictures for combination", "Swap",
     "Cancel", "OK", "The combined picture could not be written; both pictures were kept"},
};

constexpr int kPreviewBase = 320;
constexpr int kPreviewWidth = 360;

void RemoveFile(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

}  // namespace

CShowImageDlg::CShowImageDlg(int arrangement, platform::TargetHandle ownerTarget,
                             std::function<void(const fs::path&)> setMergedFile, int language,
                             IPresenter& presenter, QWidget* parent)
    : QDialog(parent),
      owner_(ownerTarget),
      setMergedFile_(std::move(setMergedFile)),
      presenter_(presenter),
      language_(language),
      arrangement_(arrangement) {
  target_ = platform::CreateTarget([this](const platform::Message& message) { return OnMessage(message); });
  for (int i = 0; i < 2; ++i) {
    slots_[static_cast<std::size_t>(i)] = std::make_unique<CImageButton>();
    slots_[static_cast<std::size_t>(i)]->Init(ids::kImageButtonClick, i, 0, 0, 1, 1, this, target_, &presenter_, true);
    slots_[static_cast<std::size_t>(i)]->SetLanguage(language);
  }
  setMouseTracking(true);
  connect(&ok_, &QPushButton::clicked, this, [this] { OnMerge(); });
  connect(&cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(&swap_, &QPushButton::clicked, this, [this] { OnSwap(); });
  connect(&arrange_, &QPushButton::clicked, this, [this] { OnArrangement(); });
  connect(&print_, &QPushButton::clicked, this, [this] { OnPrint(); });
  ok_.setDefault(true);
  // The strip's menu; its texts come with the language.
  connect(previewMenu_.addAction(QString()), &QAction::triggered, this, [this] { OnOpenSlot(); });
  connect(previewMenu_.addAction(QString()), &QAction::triggered, this, [this] { OnEmptySlot(); });
  SetLanguage(language);
}

CShowImageDlg::~CShowImageDlg() {
  // No click may reach the window once it starts going.
  platform::DestroyTarget(target_);
}

QPushButton* CShowImageDlg::Button(Control id) {
  switch (id) {
    case Control::kOk: return &ok_;
    case Control::kCancel: return &cancel_;
    case Control::kSwap: return &swap_;
    case Control::kArrangement: return &arrange_;
    case Control::kPrint: return &print_;
  }
  return nullptr;
}

void CShowImageDlg::SetLanguage(int language) {
  const Texts& texts = kTexts[TextColumn(language)];
  setWindowTitle(QString::fromUtf8(texts.caption));
  print_.setText(QString::fromUtf8(texts.print));
  swap_.setText(QString::fromUtf8(texts.swap));
  cancel_.setText(QString::fromUtf8(texts.cancel));
  ok_.setText(QString::fromUtf8(texts.ok));
  verticalCaption_ = texts.vertical;
  horizontalCaption_ = texts.horizontal;
  needTwoText_ = texts.needTwo;
  failedText_ = texts.failed;
  const ThumbnailMenuTexts& menu = ThumbnailMenuTextsFor(language);
  const QList<QAction*> commands = previewMenu_.actions();
  commands[0]->setText(QString::fromUtf8(menu.open));
  commands[1]->setText(QString::fromUtf8(menu.remove));
}

void CShowImageDlg::OnInitDialog() { ArrangePreviews(); }

void CShowImageDlg::LoadPreview(const fs::path& path) {
  // Read once, by the station's own reader: it refuses a FIFO or a device at the path instead of
  // waiting on it.
  const cv::Mat picture = imaging::LoadImageFile(path);
  if (received_ == 0) {
    if (picture.empty()) return;
    // A landscape first picture gives low boxes, any other tall ones; later pictures fit into them.
    boxWidth_ = kPreviewWidth;
    boxHeight_ = picture.cols > picture.rows ? kPreviewBase * 3 / 4 : kPreviewBase;
    for (const auto& slot : slots_) {
      const IntRect at = slot->GetRect();
      slot->SetRect(at.left, at.top, at.left + boxWidth_, at.top + boxHeight_);
    }
  }
  ++received_;
  for (int i = 0; i < 2; ++i) {
    CImageButton& slot = *slots_[static_cast<std::size_t>(i)];
    if (!slot.GetPath().empty()) continue;
    slot.LoadPicture(path, picture);
    nextSlot_ = 1 - i;
    slot.Invalidate(true);
    return;
  }
  CImageButton& slot = *slots_[static_cast<std::size_t>(nextSlot_)];
  slot.LoadPicture(path, picture);
  slot.Invalidate(true);
  nextSlot_ = 1 - nextSlot_;
}

void CShowImageDlg::ArrangePreviews() {
  const int gap = kGap;
  const int w = boxWidth_;
  const int h = boxHeight_;
  const bool vertical = arrangement_ != 0;
  arrange_.setText(QString::fromUtf8(vertical ? verticalCaption_.c_str() : horizontalCaption_.c_str()));

  // The buttons in one row at the top, left to right.
  int x = gap;
  int b = 0;
  for (QPushButton* button : {&print_, &arrange_, &swap_, &cancel_, &ok_}) {
    const QSize hint = button->sizeHint();
    button->setGeometry(x, gap, hint.width(), hint.height());
    x += hint.width() + gap;
    b = std::max(b, hint.height());
  }

  CImageButton& first = *slots_[static_cast<std::size_t>(FirstSlot())];
  CImageButton& second = *slots_[static_cast<std::size_t>(1 - FirstSlot())];
  const int top = b + 2 * gap;
  first.SetRect(gap, top, gap + w, top + h);
  int width = 0;
  int height = 0;
  if (vertical) {
    second.SetRect(gap, top + h + gap, gap + w, top + 2 * h + gap);
    width = w + 2 * gap;
    height = b + 2 * h + 4 * gap;
  } else {
    second.SetRect(gap + w + gap, top, gap + 2 * w + gap, top + h);
    width = 2 * w + 3 * gap;
    height = b + h + 3 * gap;
  }
  // The row of buttons always fits.
  setFixedSize(std::max(width, x), height);
  move(0, 0);
  update();
}

void CShowImageDlg::OnArrangement() {
  arrangement_ = arrangement_ != 0 ? 0 : 1;
  ArrangePreviews();
}

void CShowImageDlg::OnSwap() {
  orderFlag_ = !orderFlag_;
  ArrangePreviews();
}

bool CShowImageDlg::HavePair() {
  if (!slots_[0]->GetPath().empty() && !slots_[1]->GetPath().empty()) return true;
  presenter_.ShowMessage(this, needTwoText_, StationCaption(),
                         MessageIcon::kWarning);
  return false;
}

void CShowImageDlg::OnMerge() {
  if (finished_ || !HavePair() || outputPath_.empty()) return;
  const fs::path first = slots_[static_cast<std::size_t>(FirstSlot())]->GetPath();
  const fs::path second = slots_[static_cast<std::size_t>(1 - FirstSlot())]->GetPath();
  imaging::CCaptureImageHelper pipeline(0);
  pipeline.SetSettings(settings_);
  // A name taken meanwhile (the same barcode on an earlier pair) moves on to the next free one.
  const fs::path merged = pipeline.Merge2in1(first, second, outputPath_, arrangement_ != 0, 0);
  if (merged.empty()) {
    // Nothing was written: both pictures stay, and so does the window, to try again or cancel.
    presenter_.ShowMessage(this, failedText_, StationCaption(), MessageIcon::kError);
    return;
  }
  mergedPath_ = merged;
  setMergedFile_(mergedPath_);
  if (!settings_.keepMergeSources) {
    RemoveFile(first);
    RemoveFile(second);
  }
  accept();
  Finish();
}

void CShowImageDlg::OnPrint() {
  if (finished_ || !HavePair()) return;
  // The print is in colour at quality 80; the merge keeps the colour mode the owner handed.
  CSysParam printing = settings_;
  printing.colorMode = 0;
  printing.jpegQuality = 80;
  imaging::CCaptureImageHelper pipeline(0);
  pipeline.SetSettings(printing);
  // Printed to a file, the pair lands where its merge would, as a PDF.
  fs::path printToFile = outputPath_;
  if (!printToFile.empty()) printToFile += ".pdf";
  PresenterPrinterChooser chooser(presenter_, this, printToFile);
  imaging::CPrintModule job(printing.language, chooser);
  job.settings = printing;
  // The pair goes to the printer through a file of its own in a private folder (gone with it),
  // never under a name in the working folder, which may be one of the user's files.
  const QTemporaryDir folder;
  const fs::path merged =
      folder.isValid()
          ? pipeline.Merge2in1(slots_[static_cast<std::size_t>(FirstSlot())]->GetPath(),
                               slots_[static_cast<std::size_t>(1 - FirstSlot())]->GetPath(),
                               fs::path(folder.path().toStdString()) / "PTmp", arrangement_ != 0, kPrintGap)
          : fs::path();
  if (merged.empty()) {
    chooser.ShowPrintFailure(job.failureText());
    return;
  }
  job.PrintImage(merged);
  RemoveFile(merged);
}

void CShowImageDlg::reject() {
  if (!finished_) setMergedFile_({});
  QDialog::reject();
  Finish();
}

void CShowImageDlg::Finish() {
  if (finished_) return;
  finished_ = true;
  platform::Post(owner_, ids::kMergeDone, reinterpret_cast<platform::WParam>(this));
}

platform::MessageResult CShowImageDlg::OnMessage(const platform::Message& message) {
  if (message.id == ids::kImageButtonClick) OnPreviewMenu(static_cast<int>(message.wParam), message.lParam);
  return 0;
}

void CShowImageDlg::OnPreviewMenu(int slot, platform::LParam kind) {
  if (kind != ids::kRightClick || finished_) return;
  menuSlot_ = slot;
  previewMenu_.popup(mapToGlobal(lastMouse_));
}

void CShowImageDlg::OnOpenSlot() {
  if (menuSlot_ == 0 || menuSlot_ == 1) {
    OpenFileOrSay(presenter_, this, language_, slots_[static_cast<std::size_t>(menuSlot_)]->GetPath());
  }
  menuSlot_ = -1;
}

std::vector<fs::path> CShowImageDlg::Pictures() const {
  std::vector<fs::path> pictures;
  for (int slot : {FirstSlot(), 1 - FirstSlot()}) {
    const fs::path& path = slots_[static_cast<std::size_t>(slot)]->GetPath();
    if (!path.empty()) pictures.push_back(path);
  }
  return pictures;
}

void CShowImageDlg::OnEmptySlot() {
  if (menuSlot_ == 0 || menuSlot_ == 1) {
    // Out of the pair only: the file stays where the capture saved it.
    CImageButton& slot = *slots_[static_cast<std::size_t>(menuSlot_)];
    slot.Clear();
    slot.Invalidate(true);
  }
  menuSlot_ = -1;
}

void CShowImageDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  for (const auto& slot : slots_) slot->Draw(painter);
}

void CShowImageDlg::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  lastMouse_ = point;
  // The hand over a preview that opens its file.
  bool hand = false;
  for (const auto& slot : slots_) hand = slot->OnMouseMove(point) || hand;
  if (hand) setCursor(Qt::PointingHandCursor);
  else unsetCursor();
  QDialog::mouseMoveEvent(event);
}

void CShowImageDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    lastMouse_ = event->position().toPoint();
    for (const auto& slot : slots_) slot->OnRButtonDown(lastMouse_);
  }
  QDialog::mousePressEvent(event);
}

}  // namespace orvane::ui
