// `CDialogFileName`: the editor of the prefix list, "|" between the prefixes. Every prefix must be
// able to stand in a file name, so no capture is later refused for its name.
#pragma once

#include <string>
#include <vector>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace orvane::ui {

class IPresenter;

class CDialogFileName : public QDialog {
 public:
  // `choices`: the list as it stands.
  CDialogFileName(QWidget* parent, int language, IPresenter& presenter, const std::string& choices);

  // The edit's text cut at every "|": false when a piece is empty or cannot stand in a file name.
  bool SplitPrefixes();
  // OK's checks: true, or a message and false (the dialog stays open).
  bool TryAccept();
  const std::vector<std::string>& Prefixes() const { return prefixes_; }
  QLineEdit& Edit() { return edit_; }

 private:
  void accept() override;

  IPresenter& presenter_;
  int language_;
  std::vector<std::string> prefixes_;
  QVBoxLayout layout_{this};
  QLabel label_{this};
  QLineEdit edit_{this};
  QDialogButtonBox buttons_{QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this};
};

}  // namespace orvane::ui
