#include "ui/free_name_dialog.h"

#include "app/sys_param.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace {

struct Texts {
  const char* forbidden;
  const char* empty;
  const char* exists;
  const char* title;           // and the label before the edit, with a colon
  const char* watermarkTitle;  // the same in watermark mode
};

// Simplified Chinese when made; Traditional Chinese and English by language. Each "file exists"
// text asks whether to overwrite, as the Yes and No answers mean.
constexpr Texts kTexts[] = {
    {"文件名中不能包含下列任何字符:\n/ \\ : * ? < > |", "文件名不能为空！", "当前文件已存在，是否覆盖？", "文件名",
     "水印名"},
    {"檔案名中不能包含下列任何字元:\n/ \\ : * ? < > |", "檔案名不能為空!", "當前文件已存在，是否覆蓋？", "檔案名",
     "浮水印名"},
    {"File name contains unsupported characters, such as \n/ \\ : * ? < > |", "File name is empty.",
     "File exists, overwrite it ?", "File name", "Watermark name"},
};

// The saving step writes some extensions in small letters ("page.jpg" for "JPG"): a file of the
// name counts in any case.
bool ExistsIgnoringCase(const std::filesystem::path& folder, const std::string& fileName) {
  std::error_code error;
  if (std::filesystem::exists(folder / fileName, error)) return true;
  const QString wanted = QString::fromStdString(fileName);
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (QString::fromStdString(it->path().filename().string()).compare(wanted, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

}  // namespace

CCustomFileNameDlg::CCustomFileNameDlg(QWidget* parent, bool watermarkMode, int language, IPresenter& presenter)
    : QDialog(parent), presenter_(presenter), watermarkMode_(watermarkMode) {
  const Texts& texts = kTexts[TextColumn(language)];
  forbiddenText_ = texts.forbidden;
  emptyText_ = texts.empty;
  existsText_ = texts.exists;

  const QString title = QString::fromUtf8(watermarkMode ? texts.watermarkTitle : texts.title);
  setWindowTitle(title);
  label_.setText(title + QLatin1Char(':'));
  connect(&buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(&buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout_.addWidget(&label_);
  layout_.addWidget(&edit_);
  layout_.addWidget(&buttons_);
  edit_.setFocus();
}

CCustomFileNameDlg::~CCustomFileNameDlg() = default;

bool CCustomFileNameDlg::TryAccept() {
  name_ = edit_.text().toStdString();
  if (name_.empty()) {
    presenter_.ShowMessage(this, emptyText_, StationCaption(), MessageIcon::kError);
    return false;
  }
  // Besides the characters the message names, nothing the file-name builder would refuse later
  // (control characters, "..") is taken: the capture would be lost without a word.
  if (!IsValidNamePart(name_)) {
    presenter_.ShowMessage(this, forbiddenText_, StationCaption(), MessageIcon::kError);
    name_.clear();
    edit_.clear();
    return false;
  }
  replaceConfirmed_ = false;
  if (watermarkMode_) return true;
  if (ExistsIgnoringCase(folder_, name_ + "." + extension_)) {
    replaceConfirmed_ =
        presenter_.ShowMessage(this, existsText_, StationCaption(), MessageIcon::kQuestion, MessageButtons::kYesNo) ==
        MessageAnswer::kYes;
    return replaceConfirmed_;
  }
  return true;
}

void CCustomFileNameDlg::accept() {
  if (TryAccept()) QDialog::accept();
}

}  // namespace orvane::ui
