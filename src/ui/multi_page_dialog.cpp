#include "ui/multi_page_dialog.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include <opencv2/core.hpp>

#include "imaging/capture_pipeline.h"
#include "imaging/image_file.h"
#include "imaging/pdf_document.h"
#include "imaging/tiff_writer.h"
#include "platform/file_io.h"
#include "platform/message_ids.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;

struct Texts {
  const char* title;
  const char* combine;
  const char* cancel;
  const char* tips[4];  // <<, <, >, >>
  const char* failed;   // followed by the file's name
  const char* remove;   // the page menu: delete the page,
  const char* insert;   // ... move it,
  const char* before;   // ... before page %1
};

constexpr Texts kTexts[3] = {
    {"存为多页文件", "合并图像", "取消", {"前一组", "前一张", "后一张", "后一组"},
     "无法写入多页文件，所有页面都已保留：", "删除", "插入", "%1之前"},
    {"儲存到多頁文件", "組合圖像", "取消", {"前四張", "前一張", "後一張", "后四張"},
     "無法寫入多頁檔案，所有頁面都已保留：", "刪除", "插入", "%1之前"},
    {"Save in MultiPage File", "Combine", "Cancel", {"Last Four", "Last One", "Next One", "Next Four"},
     "The multipage file could not be written; every page was kept: ", "Delete", "Move", "Before %1"},
};

constexpr int kSlotLeft = 25;
constexpr int kSlotTop = 30;
constexpr int kSlotSpacing = 5;
constexpr platform::WParam kInsertBefore = 32787;

// What the pages themselves hold, as the TIFF's pages are to be written.
enum class PageKind { kBlackAndWhite, kGrey, kColour };

// A picture as LoadImageFile gives it (BGR, grey replicated): colour when any pixel's channels
// differ, black and white when every sample is 0 or 255, grey otherwise.
PageKind KindOf(const cv::Mat& bgr) {
  bool twoLevels = true;
  for (int y = 0; y < bgr.rows; ++y) {
    const cv::Vec3b* row = bgr.ptr<cv::Vec3b>(y);
    for (int x = 0; x < bgr.cols; ++x) {
      const cv::Vec3b& pixel = row[x];
      if (pixel[0] != pixel[1] || pixel[1] != pixel[2]) return PageKind::kColour;
      twoLevels = twoLevels && (pixel[0] == 0 || pixel[0] == 255);
    }
  }
  return twoLevels ? PageKind::kBlackAndWhite : PageKind::kGrey;
}

// The DPI a page's file states, else the configured one: the TIFF's page states what the page was
// captured at.
std::pair<int, int> PageDpi(const fs::path& page, const CSysParam& settings) {
  std::optional<imaging::Resolution> stated;
  try {
    if (const std::optional<std::string> bytes = platform::ReadWholeFile(page))
      stated = imaging::StatedResolution(*bytes);
  } catch (const std::exception&) {
    // No memory to read the file once more: the page states the configured DPI.
  }
  if (!stated) return {settings.xDpi, settings.yDpi};
  return {static_cast<int>(std::lround(stated->x)), static_cast<int>(std::lround(stated->y))};
}

// Restores the cursor on every way out.
struct WaitCursor {
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

CMultiPageDlg::CMultiPageDlg(platform::TargetHandle ownerTarget, int mode, int language, IPresenter& presenter,
                             QWidget* parent)
    : QDialog(parent), owner_(ownerTarget), presenter_(presenter), mode_(mode), language_(language) {
  target_ = platform::CreateTarget([this](const platform::Message& message) { return OnMessage(message); });
  setMouseTracking(true);
  const int buttonWidth = (kSlotWidth + 2 * kSlotLeft - 10 - 3 * 3) / 4;
  int x = 5;
  for (QPushButton* button : {&firstGroup_, &previous_, &next_, &nextGroup_}) {
    button->setGeometry(x, 4, buttonWidth, 22);
    x += buttonWidth + 3;
  }
  firstGroup_.setText(QStringLiteral("<<"));
  previous_.setText(QStringLiteral("<"));
  next_.setText(QStringLiteral(">"));
  nextGroup_.setText(QStringLiteral(">>"));
  const int bottom = kSlotTop + kSlots * (kSlotHeight + kSlotSpacing) + 5;
  const int width = kSlotWidth + 2 * kSlotLeft;
  combine_.setGeometry(5, bottom, (width - 15) / 2, 26);
  cancel_.setGeometry(10 + (width - 15) / 2, bottom, (width - 15) / 2, 26);
  setFixedSize(width, bottom + 31);
  // Tool tips in blue, as the other station windows show them.
  setStyleSheet(QStringLiteral("QToolTip { color: #0000ff; }"));
  setWindowOpacity(240.0 / 255.0);

  connect(&firstGroup_, &QPushButton::clicked, this, [this] { OnPreviousGroup(); });
  connect(&previous_, &QPushButton::clicked, this, [this] { OnPrevious(); });
  connect(&next_, &QPushButton::clicked, this, [this] { OnNext(); });
  connect(&nextGroup_, &QPushButton::clicked, this, [this] { OnNextGroup(); });
  connect(&combine_, &QPushButton::clicked, this, [this] { OnCombine(); });
  connect(&cancel_, &QPushButton::clicked, this, [this] { reject(); });
  // The page menu; its texts come with the language.
  connect(pageMenu_.addAction(QString()), &QAction::triggered, this, [this] { OnDeletePage(); });
  pageMenu_.addMenu(&insertMenu_);
  SetLanguage(language);
}

CMultiPageDlg::~CMultiPageDlg() {
  // No click may reach the window once it starts going.
  platform::DestroyTarget(target_);
}

QPushButton* CMultiPageDlg::Button(Control id) {
  switch (id) {
    case Control::kNext: return &next_;
    case Control::kNextGroup: return &nextGroup_;
    case Control::kCombine: return &combine_;
    case Control::kCancel: return &cancel_;
    case Control::kPrevious: return &previous_;
    case Control::kPreviousGroup: return &firstGroup_;
  }
  return nullptr;
}

void CMultiPageDlg::SetLanguage(int language) {
  const Texts& texts = kTexts[TextColumn(language)];
  setWindowTitle(QString::fromUtf8(texts.title));
  combine_.setText(QString::fromUtf8(texts.combine));
  cancel_.setText(QString::fromUtf8(texts.cancel));
  QPushButton* const tipped[4] = {&firstGroup_, &previous_, &next_, &nextGroup_};
  for (int i = 0; i < 4; ++i) tipped[i]->setToolTip(QString::fromUtf8(texts.tips[i]));
  failedText_ = texts.failed;
  pageMenu_.actions().front()->setText(QString::fromUtf8(texts.remove));
  insertMenu_.setTitle(QString::fromUtf8(texts.insert));
  beforeText_ = QString::fromUtf8(texts.before);
}

void CMultiPageDlg::SetOutputPath(const fs::path& path, bool replace) {
  outputPath_ = path;
  replace_ = replace;
}

void CMultiPageDlg::OnInitDialog() {
  for (int i = 0; i < kSlots; ++i) {
    auto slot = std::make_unique<CImageButton>();
    const int top = kSlotTop + (kSlotHeight + kSlotSpacing) * i;
    slot->Init(ids::kImageButtonClick, i, kSlotLeft, top, kSlotLeft + kSlotWidth, top + kSlotHeight, this, target_,
               &presenter_, true);
    slot->SetLanguage(language_);
    slots_[static_cast<std::size_t>(i)] = std::move(slot);
  }
  ShowPages(-1);
}

void CMultiPageDlg::AddPage(const fs::path& path) {
  if (std::find(pages_.begin(), pages_.end(), path) != pages_.end()) return;
  pages_.push_back(path);
  ShowPages(-1);
}

void CMultiPageDlg::ShowPages(int start) {
  if (!slots_[0]) return;
  const int pages = static_cast<int>(pages_.size());
  if (start >= pages) return;
  for (int i = 0; i < kSlots; ++i) {
    CImageButton& slot = *slots_[static_cast<std::size_t>(i)];
    slot.Clear();
    slot.LoadBitmapResource(kEmptyThumbnailPicture);
    slotPages_[static_cast<std::size_t>(i)] = -1;
  }
  if (start < 0) start = pages > kSlots ? pages - kSlots : 0;
  for (int i = 0; i < kSlots && start + i < pages; ++i) {
    CImageButton& slot = *slots_[static_cast<std::size_t>(i)];
    const int page = start + i;
    slotPages_[static_cast<std::size_t>(i)] = page;
    slot.SetNumber(page);
    // A page that cannot be read leaves its slot without a picture.
    slot.LoadFile(pages_[static_cast<std::size_t>(page)]);
  }
  update();
}

void CMultiPageDlg::OnNext() {
  const int pages = static_cast<int>(pages_.size());
  if (pages <= kSlots || slotPages_[kSlots - 1] == pages - 1) return;
  ShowPages(slotPages_[0] + 1);
}

void CMultiPageDlg::OnPrevious() {
  if (static_cast<int>(pages_.size()) <= kSlots || slotPages_[0] == 0) return;
  ShowPages(slotPages_[0] - 1);
}

void CMultiPageDlg::OnNextGroup() {
  const int pages = static_cast<int>(pages_.size());
  const int first = slotPages_[0];
  if (pages <= kSlots || first >= pages - kSlots) return;
  ShowPages(std::min(first + kSlots, pages - kSlots));
}

void CMultiPageDlg::OnPreviousGroup() {
  const int first = slotPages_[0];
  if (static_cast<int>(pages_.size()) <= kSlots || first == 0) return;
  ShowPages(std::max(first - kSlots, 0));
}

platform::MessageResult CMultiPageDlg::OnMessage(const platform::Message& message) {
  if (message.id == ids::kImageButtonClick) OnPageMenu(message.wParam, message.lParam);
  return 0;
}

void CMultiPageDlg::OnPageMenu(platform::WParam slot, platform::LParam kind) {
  if (kind != ids::kRightClick || finished_ || slot >= pages_.size() || slot >= kSlots) return;
  menuSlot_ = static_cast<int>(slot);
  insertMenu_.clear();
  for (std::size_t k = 0; k < pages_.size(); ++k) {
    QAction* before = insertMenu_.addAction(beforeText_.arg(k + 1));
    before->setData(static_cast<qulonglong>(kInsertBefore + k));
    connect(before, &QAction::triggered, this, [this, k] { MovePage(static_cast<int>(k)); });
  }
  pageMenu_.popup(mapToGlobal(lastMouse_));
}

void CMultiPageDlg::OnDeletePage() {
  const int slot = menuSlot_;
  menuSlot_ = -1;
  if (slot < 0 || slot >= kSlots) return;
  const int page = slotPages_[static_cast<std::size_t>(slot)];
  if (page < 0 || page >= static_cast<int>(pages_.size())) return;
  // The user deleted the page: its file goes at once.
  std::error_code ignored;
  fs::remove(pages_[static_cast<std::size_t>(page)], ignored);
  pages_.erase(pages_.begin() + page);
  ShowPages(-1);
}

void CMultiPageDlg::MovePage(int target) {
  const int slot = menuSlot_;
  menuSlot_ = -1;
  if (slot < 0 || slot >= kSlots) return;
  const int page = slotPages_[static_cast<std::size_t>(slot)];
  const int pages = static_cast<int>(pages_.size());
  if (page < 0 || page >= pages || target < 0 || target >= pages || page == target) return;
  fs::path moved = std::move(pages_[static_cast<std::size_t>(page)]);
  pages_.erase(pages_.begin() + page);
  pages_.insert(pages_.begin() + target, std::move(moved));
  ShowPages(-1);
}

bool CMultiPageDlg::WritePdf() {
  imaging::CPdfWriter writer;
  writer.EnsurePdfExtension(outputPath_);
  writer.SetResolution(settings_.xDpi, settings_.yDpi);
  const platform::FilePlacement placement =
      replace_ ? platform::FilePlacement::Replacing() : imaging::NewCaptureFile();
  return writer.CreatePdfFromImages(pages_, placement, &written_) == 0;
}

bool CMultiPageDlg::WriteTiff() {
  // The kind of every page from what the pages hold: any colour page makes the file colour,
  // black-and-white pages alone make it Group 4, anything else grey. The pages are read one at a
  // time, so a long book never lies in memory whole.
  PageKind kind = PageKind::kBlackAndWhite;
  for (const fs::path& page : pages_) {
    const cv::Mat picture = imaging::LoadImageFile(page);
    if (picture.empty()) return false;
    kind = std::max(kind, KindOf(picture));
    if (kind == PageKind::kColour) break;
  }
  imaging::CTiffWriter writer;
  const platform::FilePlacement placement =
      replace_ ? platform::FilePlacement::Replacing() : imaging::NewCaptureFile();
  if (!writer.Open(outputPath_, 1, placement)) return false;
  for (const fs::path& page : pages_) {
    cv::Mat picture = imaging::LoadImageFile(page);
    if (picture.empty()) return false;
    int pageKind = imaging::CTiffWriter::kColorJpeg;
    if (kind != PageKind::kColour) {
      cv::Mat grey;
      cv::extractChannel(picture, grey, 0);
      picture = grey;
      pageKind = kind == PageKind::kGrey ? imaging::CTiffWriter::kGreyJpeg : imaging::CTiffWriter::kBlackAndWhite;
    }
    const auto [xDpi, yDpi] = PageDpi(page, settings_);
    writer.SetResolution(xDpi, yDpi);
    if (!writer.AppendMatPage(picture, outputPath_, pageKind)) return false;
  }
  if (!writer.Close()) return false;
  written_ = writer.WrittenPath();
  return true;
}

void CMultiPageDlg::OnCombine() {
  if (finished_) return;
  if (pages_.empty()) {
    // Nothing to write and nothing to keep.
    Close();
    return;
  }
  bool written = false;
  {
    const WaitCursor wait;
    written = mode_ == kPdf ? WritePdf() : WriteTiff();
  }
  if (!written) {
    written_.clear();
    presenter_.ShowMessage(this, failedText_ + outputPath_.string(), StationCaption(), MessageIcon::kError);
    return;
  }
  DiscardPages();
  Close();
}

void CMultiPageDlg::reject() {
  if (!finished_) DiscardPages();
  Close();
}

void CMultiPageDlg::DiscardPages() {
  if (!settings_.keepMergeSources) {
    for (const fs::path& page : pages_) {
      std::error_code ignored;
      fs::remove(page, ignored);
    }
  }
  pages_.clear();
}

void CMultiPageDlg::Close() {
  QDialog::reject();
  if (finished_) return;
  finished_ = true;
  platform::Post(owner_, ids::kMultiPageClosed, 0, 0);
}

void CMultiPageDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  for (const auto& slot : slots_)
    if (slot) slot->Draw(painter);
}

void CMultiPageDlg::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  bool hand = false;
  for (const auto& slot : slots_)
    if (slot) hand = slot->OnMouseMove(point) || hand;
  if (hand) setCursor(Qt::PointingHandCursor);
  else unsetCursor();
  QDialog::mouseMoveEvent(event);
}

void CMultiPageDlg::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() == Qt::RightButton) {
    lastMouse_ = point;
    for (const auto& slot : slots_)
      if (slot) slot->OnRButtonDown(point);
  } else if (event->button() == Qt::LeftButton) {
    for (const auto& slot : slots_)
      if (slot) slot->OnLButtonDown(point);
  }
  QDialog::mousePressEvent(event);
}

void CMultiPageDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint point = event->position().toPoint();
    for (const auto& slot : slots_)
      if (slot) slot->OnLButtonUp(point);
  }
  QDialog::mouseReleaseEvent(event);
}

}  // namespace orvane::ui
