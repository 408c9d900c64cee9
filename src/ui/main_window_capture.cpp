// The capture command and the thumbnail strip.
#include <QCheckBox>

#include <algorithm>
#include <system_error>

#include "imaging/capture_pipeline.h"
#include "platform/special_folders.h"
#include "ui/main_window.h"
#include "ui/multi_page_dialog.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace fs = std::filesystem;

NamingHooks COrvaneDlg::Naming() {
  NamingHooks hooks;
  hooks.localTime = environment_.localTime;
  replaceConfirmed_ = false;
  hooks.askFreeName = [this](int language, const fs::path& folder,
                             const std::string& extension) -> std::optional<std::string> {
    std::optional<FreeName> answer = environment_.presenter->AskFreeName(this, language, folder, extension);
    if (!answer) return std::nullopt;
    replaceConfirmed_ = answer->replaceConfirmed;
    return answer->name;
  };
  hooks.nameRefused = [this](const NameRefusal& refusal) {
    environment_.presenter->ShowMessage(this, refusal.message, StationCaption(), MessageIcon::kError);
  };
  return hooks;
}

void COrvaneDlg::PlayShutter() {
  // A bare file name: the working folder (the common data folder) first, then the program's own.
  const fs::path name = "paizhao.wav";
  std::error_code error;
  const fs::path file = fs::exists(name, error) ? fs::absolute(name, error) : environment_.programFolder / name;
  environment_.playSound(file);
}

std::vector<cv::Mat> COrvaneDlg::GrabProcessedImages() { return ui::GrabProcessedImages(settings_, Cameras()); }

void COrvaneDlg::OnCapture() {
  UpdateData(true);
  SyncNaming();
  if (!document_) return;
  if (settings_.shutterSound) PlayShutter();

  const auto ticked = [this](ControlId id) { return static_cast<QCheckBox*>(Control(id))->isChecked(); };
  const bool collecting = ticked(ControlId::MultipageTiff) || ticked(ControlId::OnePdf) || ticked(ControlId::TwoInOne);
  const fs::path base = collecting ? settings_.BuildTempFileName(Naming()) : settings_.BuildFileName({}, Naming());
  if (base.empty()) return;

  const std::vector<cv::Mat> pictures = GrabProcessedImages();
  if (pictures.empty()) return;

  UpdateData(true);
  imaging::CCaptureImageHelper pipeline(settings_.language);
  pipeline.SetSettings(settings_);
  // Only a free name the user said may replace its file does.
  pipeline.SetReplaceConfirmed(replaceConfirmed_);
  std::vector<fs::path> saved;
  pipeline.SaveCaptures(pictures, base, saved);
  // Companions are given the last picture saved under a name of its own (message 0x500).
  if (!collecting && !saved.empty()) SetCurrentPicture(saved.back());

  // The pages go to the window that merges or collects them; without a name for its file the
  // command ends here, the pages saved.
  if (ticked(ControlId::TwoInOne) && !saved.empty() && !HandToMergeDialog(saved, pipeline)) return;
  if (ticked(ControlId::OnePdf) && !HandToComposer(CMultiPageDlg::kPdf, saved, pipeline)) return;
  if (ticked(ControlId::MultipageTiff) && !HandToComposer(CMultiPageDlg::kTiff, saved, pipeline)) return;

  if (!settings_.merge && settings_.multipageKind == 0) {
    for (const fs::path& path : saved) AddToThumbnails(path, kThumbnailPicture, std::nullopt);
  }

  ++settings_.runningIndex;
  ++runningIndexShown_;
  UpdateData(false);
}

void COrvaneDlg::AddToThumbnails(const fs::path& path, int kind, const std::optional<fs::path>& preview) {
  const int n = static_cast<int>(thumbnails_.size());
  if (n == 0) return;
  const int c = thumbnailsAdded_;
  const int s = c < n ? c : c % n;
  CImageButton& button = *thumbnails_[static_cast<std::size_t>(s)];
  if (kind == kThumbnailPicture) {
    button.LoadFile(preview ? *preview : path);
    button.SetPath(path);
  } else if (kind == kThumbnailDocument) {
    button.LoadBitmapResource(kDocumentIcon);
    button.SetPath(path);
  } else {
    button.LoadFile(path);
  }
  if (c < n) {
    button.Invalidate(true);
  } else {
    // The oldest slot takes the newest picture and moves to the last place: the strip keeps its
    // order on screen.
    const IntRect last = thumbnails_[static_cast<std::size_t>(n - 1)]->GetRect();
    for (int i = n - 1; i >= 1; --i) {
      const IntRect previous = thumbnails_[static_cast<std::size_t>(i - 1)]->GetRect();
      thumbnails_[static_cast<std::size_t>(i)]->SetRect(previous.left, previous.top, previous.right, previous.bottom);
    }
    thumbnails_[0]->SetRect(last.left, last.top, last.right, last.bottom);
    update();
  }
  ++thumbnailsAdded_;
}

}  // namespace orvane::ui
