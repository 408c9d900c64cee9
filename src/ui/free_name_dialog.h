// The free-name prompt: asks for a file name (or a watermark name) and refuses names that cannot
// stand as a file name; for a file that exists already it asks before the name is taken.
#pragma once

#include <filesystem>
#include <string>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace orvane::ui {

class IPresenter;

class CCustomFileNameDlg : public QDialog {
 public:
  CCustomFileNameDlg(QWidget* parent, bool watermarkMode, int language, IPresenter& presenter);
  ~CCustomFileNameDlg() override;

  void SetFolder(const std::filesystem::path& folder) { folder_ = folder; }
  void SetExtension(const std::string& extension) { extension_ = extension; }
  std::string GetName() const { return name_; }
  // The name's file exists and the user said yes to replacing it.
  bool ReplaceConfirmed() const { return replaceConfirmed_; }

  // The OK button's checks on the edit's text: true when the dialog may close with OK. A refused
  // name is told in a message box and keeps the dialog open.
  bool TryAccept();
  QLineEdit& NameEdit() { return edit_; }

 private:
  void accept() override;

  IPresenter& presenter_;
  bool watermarkMode_;
  std::string forbiddenText_;
  std::string emptyText_;
  std::string existsText_;
  std::filesystem::path folder_;
  std::string extension_;
  std::string name_;
  bool replaceConfirmed_ = false;
  // Children of the dialog, gone before it.
  QVBoxLayout layout_{this};
  QLabel label_{this};
  QLineEdit edit_{this};
  QDialogButtonBox buttons_{QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this};
};

}  // namespace orvane::ui
