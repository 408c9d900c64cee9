#include "ui/presenter.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <optional>

#include "ui/free_name_dialog.h"
#include "ui/message_texts.h"
#include "ui/prefix_dialog.h"
#include "ui/print_dialog_chooser.h"

namespace orvane::ui {
namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kWarning: return QMessageBox::Warning;
    case MessageIcon::kError: return QMessageBox::Critical;
    case MessageIcon::kQuestion: return QMessageBox::Question;
    case MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::kYesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::kYesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::kOk: break;
  }
  return QMessageBox::Ok;
}

// What `tool` writes when run with `arguments`; nothing when it does not end well within a few
// seconds.
std::optional<QString> AnswerOf(const QString& tool, const QStringList& arguments) {
  QProcess process;
  process.start(tool, arguments);
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished();
    return std::nullopt;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
  return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

}  // namespace

bool DesktopHasProgramFor(const std::filesystem::path& file) {
  const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (tool.isEmpty()) return true;
  const std::optional<QString> type =
      AnswerOf(tool, {QStringLiteral("query"), QStringLiteral("filetype"), QString::fromStdString(file.string())});
  if (!type || type->isEmpty()) return true;
  const std::optional<QString> program = AnswerOf(tool, {QStringLiteral("query"), QStringLiteral("default"), *type});
  return !program || !program->isEmpty();
}

bool OpenFileOrSay(IPresenter& presenter, QWidget* owner, int language, const std::filesystem::path& file) {
  if (presenter.OpenFile(file)) return true;
  presenter.ShowMessage(owner, CannotOpenText(language) + file.string(), StationCaption(), MessageIcon::kInformation);
  return false;
}

MessageAnswer QtPresenter::ShowMessage(QWidget* owner, const std::string& text, const std::string& caption,
                                       MessageIcon icon, MessageButtons buttons) {
  QMessageBox box(BoxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text), BoxButtons(buttons),
                  owner);
  switch (box.exec()) {
    case QMessageBox::Yes: return MessageAnswer::kYes;
    case QMessageBox::No: return MessageAnswer::kNo;
    case QMessageBox::Cancel: return MessageAnswer::kCancel;
    default: return buttons == MessageButtons::kOk ? MessageAnswer::kOk : MessageAnswer::kCancel;
  }
}

std::optional<FreeName> QtPresenter::AskFreeName(QWidget* owner, int language, const std::filesystem::path& folder,
                                                 const std::string& extension) {
  CCustomFileNameDlg dialog(owner, false, language, *this);
  dialog.SetFolder(folder);
  dialog.SetExtension(extension);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return FreeName{dialog.GetName(), dialog.ReplaceConfirmed()};
}

std::optional<std::string> QtPresenter::EditPrefixList(QWidget* owner, int language, const std::string& choices) {
  CDialogFileName dialog(owner, language, *this, choices);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Edit().text().toStdString();
}

std::optional<std::filesystem::path> QtPresenter::ChooseFolder(QWidget* owner, const std::string& title,
                                                               const std::filesystem::path& start) {
  const QString folder = QFileDialog::getExistingDirectory(owner, QString::fromStdString(title),
                                                           QString::fromStdString(start.string()));
  if (folder.isEmpty()) return std::nullopt;
  return std::filesystem::path(folder.toStdString());
}

std::unique_ptr<QPrinter> QtPresenter::ChoosePrinter(QWidget* owner, const std::string& documentName,
                                                     const std::filesystem::path& printToFile) {
  return PrintDialogChooser(owner, printToFile).ChoosePrinter(documentName);
}

bool QtPresenter::OpenFile(const std::filesystem::path& file) {
  if (!DesktopHasProgramFor(file)) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

bool QtPresenter::OpenFolder(const std::filesystem::path& folder) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

bool QtPresenter::OpenLink(const std::string& link) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(link)));
}

}  // namespace orvane::ui
