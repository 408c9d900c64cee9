// Capture to PDF, copy, and the collection of pages: the two-in-one merge dialog and the
// multipage composer, the three boxes that choose between them and their closing messages.
#include <QCheckBox>
#include <QSignalBlocker>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>

#include "imaging/capture_pipeline.h"
#include "imaging/image_file.h"
#include "imaging/printing/print_module.h"
#include "platform/file_io.h"
#include "platform/special_folders.h"
#include "ui/main_window.h"
#include "ui/multi_page_dialog.h"
#include "ui/presenter.h"
#include "ui/print_dialog_chooser.h"
#include "ui/show_image_dialog.h"

namespace orvane::ui {
namespace fs = std::filesystem;

bool COrvaneDlg::Ticked(ControlId box) const { return static_cast<QCheckBox*>(Control(box))->isChecked(); }

void COrvaneDlg::SetTicked(ControlId box, bool ticked) {
  auto* check = static_cast<QCheckBox*>(Control(box));
  const QSignalBlocker quiet(check);
  check->setChecked(ticked);
}

bool COrvaneDlg::MergeDialogOpen() const { return mergeDialog_ && !mergeDialog_->Finished(); }
bool COrvaneDlg::ComposerOpen() const { return composer_ && !composer_->Finished(); }

void COrvaneDlg::ShareSettingsWithMergeDialog() {
  if (MergeDialogOpen()) mergeDialog_->SetSettings(settings_);
}

fs::path COrvaneDlg::CollectionOutput(std::string_view extension, const imaging::CCaptureImageHelper& pipeline,
                                      bool* replace) {
  fs::path output = settings_.BuildFileName(extension, Naming());
  if (output.empty()) return {};
  *replace = replaceConfirmed_;
  if (settings_.recognizeBarcode) {
    if (!pipeline.CollectedCodes().empty()) {
      // The collected codes can all stand as a file name.
      output = output.parent_path() / pipeline.CollectedCodes().front();
      *replace = false;
    } else {
      environment_.presenter->ShowMessage(this, texts_.barcodeName, StationCaption(), MessageIcon::kError);
    }
  }
  return output;
}

bool COrvaneDlg::HandToMergeDialog(const std::vector<fs::path>& saved, const imaging::CCaptureImageHelper& pipeline) {
  ForgetMergeDialog();
  if (mergeDialog_) {
    for (const fs::path& path : saved) mergeDialog_->LoadPreview(path);
  } else {
    bool replace = false;
    const fs::path output = CollectionOutput({}, pipeline, &replace);
    if (output.empty()) return false;
    mergeDialog_ = std::make_unique<CShowImageDlg>(
        1, target_, [this](const fs::path& merged) { SetMergedFile(merged); }, settings_.language,
        *environment_.presenter, this);
    mergeDialog_->SetSettings(settings_);
    for (const fs::path& path : saved) mergeDialog_->LoadPreview(path);
    mergeDialog_->SetSettings(settings_);
    mergeDialog_->SetOutputPath(output);
    mergeDialog_->OnInitDialog();
    // The keys stay with the main window: the next capture is a Space away.
    mergeDialog_->setAttribute(Qt::WA_ShowWithoutActivating);
    mergeDialog_->show();
    activateWindow();
  }
  mergeDialog_->update();
  return true;
}

bool COrvaneDlg::HandToComposer(int mode, const std::vector<fs::path>& saved,
                                const imaging::CCaptureImageHelper& pipeline) {
  ForgetComposer();
  for (const fs::path& path : saved) {
    if (!composer_) {
      const bool pdf = mode == CMultiPageDlg::kPdf;
      bool replace = false;
      fs::path output = CollectionOutput(pdf ? "pdf" : "tif", pipeline, &replace);
      if (output.empty()) return false;
      output += pdf ? ".pdf" : ".tif";
      composer_ = std::make_unique<CMultiPageDlg>(target_, mode, settings_.language, *environment_.presenter, this);
      composer_->SetSettings(settings_);
      composer_->SetOutputPath(output, replace);
      composer_->OnInitDialog();
      composer_->setAttribute(Qt::WA_ShowWithoutActivating);
      composer_->show();
      // The strip shows the file to come, with its first page as its picture.
      AddToThumbnails(output, kThumbnailPicture, path);
    }
    composer_->AddPage(path);
  }
  return true;
}

void COrvaneDlg::ForgetMergeDialog() {
  if (!mergeDialog_ || !mergeDialog_->Finished()) return;
  if (!mergedFile_.empty()) AddToThumbnails(mergedFile_, kThumbnailPicture, std::nullopt);
  mergedFile_.clear();
  mergeDialog_.reset();
}

void COrvaneDlg::ForgetComposer() {
  if (!composer_ || !composer_->Finished()) return;
  const fs::path planned = composer_->OutputPath();
  const fs::path written = composer_->WrittenPath();
  for (const auto& thumbnail : thumbnails_) {
    if (thumbnail->GetPath() != planned) continue;
    if (!written.empty()) {
      // A name taken meanwhile moved the file on: the strip opens the file that was written.
      thumbnail->SetPath(written);
    } else {
      // No file came of the pages: the strip does not promise one.
      thumbnail->Clear();
      thumbnail->LoadBitmapResource(kEmptyThumbnailPicture);
      thumbnail->Invalidate(true);
    }
  }
  composer_.reset();
}

bool COrvaneDlg::AgreeToDropPages(std::size_t pages, bool filesGo) {
  std::string text = QString::asprintf(texts_.dropPages.c_str(), static_cast<int>(pages)).toStdString();
  if (filesGo) text += texts_.pagesDeleted;
  return environment_.presenter->ShowMessage(this, text, StationCaption(), MessageIcon::kQuestion, MessageButtons::kYesNo) ==
         MessageAnswer::kYes;
}

bool COrvaneDlg::DropComposer() {
  if (ComposerOpen() && !composer_->Pages().empty() &&
      !AgreeToDropPages(composer_->Pages().size(), !settings_.keepMergeSources)) {
    return false;
  }
  // As the composer's own Cancel; it may have closed of itself while the user was asked.
  if (ComposerOpen()) composer_->reject();
  ForgetComposer();
  return true;
}

bool COrvaneDlg::DropMergeDialog() {
  if (MergeDialogOpen() && !mergeDialog_->Pictures().empty() &&
      !AgreeToDropPages(mergeDialog_->Pictures().size(), false)) {
    return false;
  }
  if (MergeDialogOpen()) mergeDialog_->reject();
  ForgetMergeDialog();
  return true;
}

// ---- Pages the station closed on ----

namespace {

// The box whose window collected the noted pages, by the word the note starts with.
constexpr std::pair<std::string_view, ControlId> kNoteKinds[] = {
    {"PDF", ControlId::OnePdf}, {"TIF", ControlId::MultipageTiff}, {"2IN1", ControlId::TwoInOne}};

// In the station's own data folder, which no other user writes.
fs::path CollectedPagesNote() { return platform::CommonAppDataFolder() / "Morvath Software" / "CollectedPages.lst"; }

// A noted page is taken back only as the station left it: a regular file of the user's own under
// the temporary name the captures give it. The storage folder may be shared, and a link or another
// user's file put in its place is not the page.
bool IsOwnCollectedPage(const fs::path& page) {
  if (!page.is_absolute() || !page.filename().string().starts_with("Tmp")) return false;
  struct stat status {};
  return lstat(page.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid();
}

}  // namespace

void COrvaneDlg::NoteCollectedPages() {
  ControlId box = ControlId::Preview;
  std::vector<fs::path> pages;
  if (ComposerOpen()) {
    box = composer_->Mode() == CMultiPageDlg::kPdf ? ControlId::OnePdf : ControlId::MultipageTiff;
    pages = composer_->Pages();
  } else if (MergeDialogOpen()) {
    box = ControlId::TwoInOne;
    pages = mergeDialog_->Pictures();
  }
  if (pages.empty()) return;
  std::string note;
  for (const auto& [word, kind] : kNoteKinds)
    if (kind == box) note = std::string(word) + "\n";
  // One page a line; the names the captures make never hold a line break.
  for (const fs::path& page : pages)
    if (page.string().find('\n') == std::string::npos) note += page.string() + "\n";
  const fs::path where = CollectedPagesNote();
  std::error_code ignored;
  fs::create_directories(where.parent_path(), ignored);
  platform::WriteFileAtomically(where, note);
}

void COrvaneDlg::OfferCollectedPages() {
  const fs::path where = CollectedPagesNote();
  const std::optional<std::string> note = platform::ReadWholeFile(where);
  if (!note) return;
  // Offered once, whatever the answer.
  std::error_code ignored;
  fs::remove(where, ignored);

  std::istringstream lines(*note);
  std::string word;
  std::getline(lines, word);
  ControlId box = ControlId::Preview;
  for (const auto& [known, kind] : kNoteKinds)
    if (known == word) box = kind;
  std::vector<fs::path> pages;
  std::vector<fs::path> folders;
  for (std::string line; std::getline(lines, line);) {
    const fs::path page = line;
    if (!IsOwnCollectedPage(page)) continue;
    pages.push_back(page);
    if (std::find(folders.begin(), folders.end(), page.parent_path()) == folders.end())
      folders.push_back(page.parent_path());
  }
  if (box == ControlId::Preview || pages.empty()) return;

  std::string text = QString::asprintf(texts_.pagesLeft.c_str(), static_cast<int>(pages.size())).toStdString();
  for (std::size_t i = 0; i < folders.size(); ++i) text += (i == 0 ? "" : "\n") + folders[i].string();
  // Where the boxes are locked (a barcode names each page's folder) the pages cannot be collected
  // again: the user is told where they are.
  if (!Control(box)->isEnabled()) {
    environment_.presenter->ShowMessage(this, text, StationCaption(), MessageIcon::kInformation);
    return;
  }
  if (environment_.presenter->ShowMessage(this, text + texts_.reopenPages, StationCaption(), MessageIcon::kQuestion,
                                          MessageButtons::kYesNo) != MessageAnswer::kYes) {
    return;
  }
  // The box ticked as by a click, and its window opened as by the captures of the pages.
  SetTicked(box, true);
  if (box == ControlId::OnePdf) OnMultiPdf();
  else if (box == ControlId::MultipageTiff) OnMultiTif();
  else On2in1();
  if (!Ticked(box)) return;
  UpdateData(true);
  SyncNaming();
  imaging::CCaptureImageHelper pipeline(settings_.language);
  pipeline.SetSettings(settings_);
  const bool opened = box == ControlId::TwoInOne
                          ? HandToMergeDialog(pages, pipeline)
                          : HandToComposer(box == ControlId::OnePdf ? CMultiPageDlg::kPdf : CMultiPageDlg::kTiff,
                                           pages, pipeline);
  if (!opened) return;
  // The file to come has taken the running number, as a capture's would.
  ++settings_.runningIndex;
  ++runningIndexShown_;
  UpdateData(false);
}

platform::MessageResult COrvaneDlg::OnMultiPageDone(platform::WParam wParam) {
  if (wParam == 0) ForgetComposer();
  return 1;
}

platform::MessageResult COrvaneDlg::OnMergeDone(platform::WParam) {
  ForgetMergeDialog();
  return 0;
}

// ---- The three boxes: at most one is ticked, and none changes while another's window collects ----

void COrvaneDlg::On2in1() {
  if (!document_) {
    SetTicked(ControlId::TwoInOne, false);
    return;
  }
  if (Ticked(ControlId::OnePdf) && ComposerOpen()) {
    SetTicked(ControlId::TwoInOne, false);
    environment_.presenter->ShowMessage(this, texts_.pdfInProgress, StationCaption(), MessageIcon::kInformation);
    return;
  }
  if (Ticked(ControlId::MultipageTiff) && ComposerOpen()) {
    SetTicked(ControlId::TwoInOne, false);
    environment_.presenter->ShowMessage(this, texts_.tiffInProgress, StationCaption(), MessageIcon::kInformation);
    return;
  }
  for (ControlId box : {ControlId::OnePdf, ControlId::MultipageTiff}) {
    if (!Ticked(box)) continue;
    SetTicked(box, false);
    settings_.multipageKind = 0;
  }
  const bool on = Ticked(ControlId::TwoInOne);
  ForgetMergeDialog();
  if (!on && mergeDialog_) {
    // Its pictures stay where the captures saved them.
    mergeDialog_.reset();
    mergedFile_.clear();
  }
  twoInOneState_ = on ? 1 : 0;
  settings_.merge = on;
}

void COrvaneDlg::OnMultiPdf() {
  if (!document_) {
    SetTicked(ControlId::OnePdf, false);
    return;
  }
  if (Ticked(ControlId::MultipageTiff) && ComposerOpen()) {
    SetTicked(ControlId::OnePdf, false);
    environment_.presenter->ShowMessage(this, texts_.tiffInProgress, StationCaption(), MessageIcon::kInformation);
    return;
  }
  if (Ticked(ControlId::TwoInOne) && MergeDialogOpen()) {
    SetTicked(ControlId::OnePdf, false);
    environment_.presenter->ShowMessage(this, texts_.mergeInProgress, StationCaption(), MessageIcon::kInformation);
    return;
  }
  const bool on = Ticked(ControlId::OnePdf);
  if (!on && !DropComposer()) {
    SetTicked(ControlId::OnePdf, true);
    return;
  }
  SetTicked(ControlId::MultipageTiff, false);
  if (Ticked(ControlId::TwoInOne)) {
    SetTicked(ControlId::TwoInOne, false);
    settings_.merge = false;
    twoInOneState_ = 0;
  }
  settings_.multipageKind = on ? 2 : 0;
}

void COrvaneDlg::OnMultiTif() {
  UpdateData(true);
  if (!document_) {
    SetTicked(ControlId::MultipageTiff, false);
    return;
  }
  if (Ticked(ControlId::OnePdf) && ComposerOpen()) {
    SetTicked(ControlId::MultipageTiff, false);
    environment_.presenter->ShowMessage(this, texts_.pdfInProgress, StationCaption(), MessageIcon::kInformation);
    return;
  }
  if (Ticked(ControlId::TwoInOne) && MergeDialogOpen()) {
    SetTicked(ControlId::MultipageTiff, false);
    environment_.presenter->ShowMessage(this, texts_.mergeInProgress, StationCaption(), MessageIcon::kInformation);
    return;
  }
  const bool on = Ticked(ControlId::MultipageTiff);
  if (!on && !DropComposer()) {
    SetTicked(ControlId::MultipageTiff, true);
    return;
  }
  SetTicked(ControlId::OnePdf, false);
  if (Ticked(ControlId::TwoInOne)) {
    SetTicked(ControlId::TwoInOne, false);
    settings_.merge = false;
    twoInOneState_ = 0;
  }
  settings_.multipageKind = on ? 1 : 0;
}

// ---- Capture to PDF and copy ----

void COrvaneDlg::OnCaptureToPdf() {
  if (!document_) return;
  UpdateData(true);
  SyncNaming();
  imaging::CCaptureImageHelper pipeline(settings_.language);
  const bool collecting = Ticked(ControlId::MultipageTiff) || Ticked(ControlId::OnePdf) || Ticked(ControlId::TwoInOne);
  const fs::path base = collecting ? settings_.BuildTempFileName(Naming()) : settings_.BuildFileName("PDF", Naming());
  if (base.empty()) return;
  // What the free-name prompt said of the PDF's name; the picture it is made of never replaces.
  const bool replacePdf = replaceConfirmed_;
  if (settings_.shutterSound) PlayShutter();
  const std::vector<cv::Mat> pictures = GrabProcessedImages();
  if (pictures.empty()) return;

  UpdateData(true);
  // The pictures are saved as JPEG (1-bit TIFF in black and white) for the PDF to embed as they
  // are; the format chosen is back on every way out.
  struct FormatBack {
    int& format;
    const int kept;
    ~FormatBack() { format = kept; }
  } formatBack{settings_.imageFormat, settings_.imageFormat};
  settings_.imageFormat = 0;
  pipeline.SetSettings(settings_);
  std::vector<fs::path> saved;
  pipeline.SaveCaptures(pictures, base, saved);
  UpdateData(true);

  if (!saved.empty()) {
    if (Ticked(ControlId::OnePdf)) {
      if (!HandToComposer(CMultiPageDlg::kPdf, saved, pipeline)) return;
    } else {
      PresenterPrinterChooser chooser(*environment_.presenter, this);
      imaging::CPrintModule job(settings_.language, chooser);
      job.settings = settings_;
      for (const fs::path& path : saved) {
        const bool underPromptName = saved.size() == 1 && fs::path(path).replace_extension() == base;
        const platform::FilePlacement placement = replacePdf && underPromptName ? platform::FilePlacement::Replacing()
                                                                                : imaging::NewCaptureFile();
        fs::path pdf;
        if (job.ConvertImageToPdf(path, &pdf, placement)) {
          AddToThumbnails(pdf, kThumbnailPicture, path);
          std::error_code ignored;
          fs::remove(path, ignored);
        } else {
          // The picture is the only copy of the page: it stays, shown, and the user knows why.
          AddToThumbnails(path, kThumbnailPicture, std::nullopt);
          environment_.presenter->ShowMessage(this, texts_.pdfFailed + path.string(), StationCaption(), MessageIcon::kError);
        }
      }
    }
  }
  ++settings_.runningIndex;
  ++runningIndexShown_;
  UpdateData(false);
}

void COrvaneDlg::OnCopy() {
  if (!document_) return;
  UpdateData(true);
  SyncNaming();
  if (settings_.shutterSound) PlayShutter();
  const std::vector<cv::Mat> pictures = GrabProcessedImages();
  if (pictures.empty()) return;

  UpdateData(true);
  fs::path path = settings_.BuildTempFileName(Naming());
  if (path.empty()) return;
  // Printed to a file, the copy lands in the storage folder under the picture's name.
  fs::path printToFile = path;
  printToFile += ".pdf";
  path += ".bmp";
  PresenterPrinterChooser chooser(*environment_.presenter, this, printToFile);
  imaging::CPrintModule job(settings_.language, chooser);
  job.settings = settings_;
  for (const cv::Mat& picture : pictures) {
    fs::path written;
    if (!imaging::SaveMatByExtension(path, picture, platform::FilePlacement::Replacing(), &written)) {
      chooser.ShowPrintFailure(job.failureText());
      continue;
    }
    job.PrintImage(written);
    // Nothing of a copy is kept.
    std::error_code ignored;
    fs::remove(written, ignored);
  }
}

}  // namespace orvane::ui
