#include "ui/prefix_dialog.h"

#include "app/sys_param.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace {

struct Texts {
  const char* title;
  const char* label;
  const char* refused;
};

constexpr Texts kTexts[] = {
    {"文件名前缀", "文件名前缀（用“|”分隔）：", "文件名前缀格式不正确！"},
    {"檔案名首碼", "檔案名首碼（用「|」分隔）：", "檔案名首碼格式不正確！"},
    {"File name prefixes", "File name prefixes (separated by \"|\"):", "Illegal file name prefix"},
};

const Texts& TextsFor(int language) { return kTexts[TextColumn(language)]; }

}  // namespace

CDialogFileName::CDialogFileName(QWidget* parent, int language, IPresenter& presenter, const std::string& choices)
    : QDialog(parent), presenter_(presenter), language_(language) {
  const Texts& texts = TextsFor(language);
  setWindowTitle(QString::fromUtf8(texts.title));
  label_.setText(QString::fromUtf8(texts.label));
  edit_.setText(QString::fromStdString(choices));
  connect(&buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(&buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout_.addWidget(&label_);
  layout_.addWidget(&edit_);
  layout_.addWidget(&buttons_);
  resize(360, sizeHint().height());
}

bool CDialogFileName::SplitPrefixes() {
  prefixes_.clear();
  const std::string text = edit_.text().toStdString();
  std::size_t start = 0;
  while (true) {
    const std::size_t bar = text.find('|', start);
    const std::string piece = text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    // A prefix the file names would refuse would make every later capture save nothing.
    if (piece.empty() || !IsValidNamePart(piece)) {
      prefixes_.clear();
      return false;
    }
    prefixes_.push_back(piece);
    if (bar == std::string::npos) return true;
    start = bar + 1;
  }
}

bool CDialogFileName::TryAccept() {
  if (!SplitPrefixes()) {
    presenter_.ShowMessage(this, TextsFor(language_).refused, StationCaption(), MessageIcon::kError);
    return false;
  }
  return true;
}

void CDialogFileName::accept() {
  if (TryAccept()) QDialog::accept();
}

}  // namespace orvane::ui
