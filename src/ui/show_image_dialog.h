// `CShowImageDlg`: the two-in-one window. While two-in-one is ticked every capture hands its
// saved pictures here instead of to the thumbnail strip; the window keeps the last two, shows
// them side by side or one above the other, swaps them, prints the pair, or merges them into one
// picture under the name the main window chose. When it closes it posts 0x435 to its owner, which
// shows the merged file in the strip and deletes the window.
//
// Thread-bound to the GUI thread.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QMenu>
#include <QPoint>
#include <QPushButton>

#include "app/sys_param.h"
#include "platform/messages.h"
#include "ui/image_button.h"

namespace orvane::ui {

class IPresenter;

class CShowImageDlg : public QDialog {
 public:
  enum class Control { kOk = 1, kCancel = 2, kSwap = 1020, kArrangement = 1025, kPrint = 1152 };
  static constexpr int kGap = 7;
  static constexpr int kPrintGap = 10;

  // `arrangement` non-zero: one above the other. `ownerTarget` receives 0x435 when the window
  // closes; `setMergedFile` is told the merged file (empty when there is none) before that.
  CShowImageDlg(int arrangement, platform::TargetHandle ownerTarget,
                std::function<void(const std::filesystem::path&)> setMergedFile, int language,
                IPresenter& presenter, QWidget* parent = nullptr);
  ~CShowImageDlg() override;
  CShowImageDlg(const CShowImageDlg&) = delete;
  CShowImageDlg& operator=(const CShowImageDlg&) = delete;

  // The colour mode at the moment of the merge decides its kind: the owner hands a new copy
  // whenever it changes.
  void SetSettings(const CSysParam& settings) { settings_ = settings; }
  // The merged picture's name, without extension.
  void SetOutputPath(const std::filesystem::path& path) { outputPath_ = path; }
  // One saved picture: into the empty slot, or in turn over the older of the two.
  void LoadPreview(const std::filesystem::path& path);
  void OnInitDialog();

  void OnMerge();
  void OnPrint();
  void OnSwap();
  void OnArrangement();
  // Cancel, the close box and Escape: nothing is merged, nothing deleted.
  void reject() override;

  // Closed: the owner forgets it when 0x435 arrives.
  bool Finished() const { return finished_; }
  platform::TargetHandle Target() const { return target_; }
  QPushButton* Button(Control id);
  const CImageButton& Slot(int index) const { return *slots_[static_cast<std::size_t>(index)]; }
  // The slot shown first (left or top).
  int FirstSlot() const { return orderFlag_ ? 0 : 1; }
  // The pictures the window holds, the one shown first first.
  std::vector<std::filesystem::path> Pictures() const;
  int Arrangement() const { return arrangement_; }
  QMenu* PreviewMenu() { return &previewMenu_; }
  int MenuSlot() const { return menuSlot_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void SetLanguage(int language);
  void ArrangePreviews();
  platform::MessageResult OnMessage(const platform::Message& message);
  void OnPreviewMenu(int slot, platform::LParam kind);
  void OnOpenSlot();
  void OnEmptySlot();
  // Both slots hold a picture; else the user is told so.
  bool HavePair();
  void Finish();

  const platform::TargetHandle owner_;
  std::function<void(const std::filesystem::path&)> setMergedFile_;
  IPresenter& presenter_;
  platform::TargetHandle target_;
  std::filesystem::path outputPath_;
  int language_;
  std::string verticalCaption_;    // shown while the pictures stand one above the other
  std::string horizontalCaption_;  // shown while they stand side by side
  std::string needTwoText_;
  std::string failedText_;
  std::array<std::unique_ptr<CImageButton>, 2> slots_;
  CSysParam settings_;
  int boxWidth_ = 0;
  int boxHeight_ = 0;
  int arrangement_;
  bool orderFlag_ = true;
  int received_ = 0;
  int nextSlot_ = 0;
  int menuSlot_ = -1;
  std::filesystem::path mergedPath_;
  QPoint lastMouse_;
  bool finished_ = false;

  // Children of the dialog, gone before it.
  QPushButton print_{this};
  QPushButton arrange_{this};
  QPushButton swap_{this};
  QPushButton cancel_{this};
  QPushButton ok_{this};
  QMenu previewMenu_{this};
};

}  // namespace orvane::ui
