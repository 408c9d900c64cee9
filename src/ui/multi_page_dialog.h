// `CMultiPageDlg`: the multipage composer. While one-PDF or multipage TIFF is ticked it collects
// the pictures of every capture, shows them four at a time as numbered pages, lets the user open,
// delete and reorder them, and combines them into one PDF or one multipage TIFF under the name the
// main window chose. When it closes it posts 0x431 to its owner, which deletes it.
//
// The collected page files are deleted (unless the settings keep originals) only after a combine
// that wrote the file, or when the user cancels; a combine that fails keeps every page and the
// window open, and a composer deleted otherwise (the program closing) leaves them where they are.
//
// Thread-bound to the GUI thread.
#pragma once

#include <array>
#include <filesystem>
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

class CMultiPageDlg : public QDialog {
 public:
  enum class Control { kNext = 1092, kNextGroup = 1094, kCombine = 1153, kCancel = 1155, kPrevious = 1161, kPreviousGroup = 1164 };
  enum Mode { kPdf = 0, kTiff = 1 };
  static constexpr int kSlots = 4;
  static constexpr int kSlotWidth = 129;
  static constexpr int kSlotHeight = 146;

  // `ownerTarget` receives 0x431 when the composer closes.
  CMultiPageDlg(platform::TargetHandle ownerTarget, int mode, int language, IPresenter& presenter,
                QWidget* parent = nullptr);
  ~CMultiPageDlg() override;
  CMultiPageDlg(const CMultiPageDlg&) = delete;
  CMultiPageDlg& operator=(const CMultiPageDlg&) = delete;

  void SetSettings(const CSysParam& settings) { settings_ = settings; }
  // The file to write (".pdf" or ".tif"). A name the user said may replace its file does;
  // otherwise a name taken by the time of the combine moves on to the next free one.
  void SetOutputPath(const std::filesystem::path& path, bool replace = false);
  void OnInitDialog();

  // Appends a page, unless that file is a page already, and shows the last pages.
  void AddPage(const std::filesystem::path& path);
  // Pages from `start` on in the four slots; -1 for the last four.
  void ShowPages(int start);
  void OnNext();
  void OnPrevious();
  void OnNextGroup();
  void OnPreviousGroup();
  // Writes the file: the composer closes when it was written, and stays with a message when not.
  void OnCombine();
  // Cancel, the close box and Escape: the pages are dropped (their files deleted unless the
  // settings keep originals).
  void reject() override;
  // Deletes the pages' files unless the settings keep originals, and forgets them.
  void DiscardPages();

  // The page menu of the slot last right-clicked: "删除" and "插入" > "1之前", "2之前", ...
  QMenu* PageMenu() { return &pageMenu_; }
  void OnDeletePage();
  // The menu slot's page becomes page `target` + 1 of the new order.
  void MovePage(int target);

  bool Finished() const { return finished_; }
  int Mode() const { return mode_; }
  const std::filesystem::path& OutputPath() const { return outputPath_; }
  // Where the combine wrote; empty while nothing was written.
  const std::filesystem::path& WrittenPath() const { return written_; }
  const std::vector<std::filesystem::path>& Pages() const { return pages_; }
  const CImageButton& Slot(int index) const { return *slots_[static_cast<std::size_t>(index)]; }
  // The page a slot shows, -1 for none.
  int SlotPage(int index) const { return slotPages_[static_cast<std::size_t>(index)]; }
  platform::TargetHandle Target() const { return target_; }
  QPushButton* Button(Control id);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void SetLanguage(int language);
  platform::MessageResult OnMessage(const platform::Message& message);
  void OnPageMenu(platform::WParam slot, platform::LParam kind);
  bool WritePdf();
  bool WriteTiff();
  void Close();

  const platform::TargetHandle owner_;
  IPresenter& presenter_;
  platform::TargetHandle target_;
  const int mode_;
  const int language_;
  std::string failedText_;
  QString beforeText_;  // the page menu's "before page %1"
  std::array<std::unique_ptr<CImageButton>, kSlots> slots_;
  std::array<int, kSlots> slotPages_{-1, -1, -1, -1};
  std::vector<std::filesystem::path> pages_;
  QPoint lastMouse_;
  int menuSlot_ = -1;
  CSysParam settings_;
  std::filesystem::path outputPath_;
  bool replace_ = false;
  std::filesystem::path written_;
  bool finished_ = false;

  // Children of the dialog, gone before it.
  QPushButton firstGroup_{this};
  QPushButton previous_{this};
  QPushButton next_{this};
  QPushButton nextGroup_{this};
  QPushButton combine_{this};
  QPushButton cancel_{this};
  QMenu pageMenu_{this};
  QMenu insertMenu_{&pageMenu_};
};

}  // namespace orvane::ui
