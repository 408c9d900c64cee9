// Everything the windows ask or tell the user goes through one presenter: message boxes, the
// free-name prompt, the folder chooser, the printer chooser, and opening a file, folder or link with the desktop. The program shows real
// boxes (QtPresenter); tests script the answers and record what was shown or opened.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class QPrinter;
class QWidget;

namespace orvane::ui {

enum class MessageIcon { kNone, kInformation, kWarning, kError, kQuestion };
enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class MessageAnswer { kOk, kCancel, kYes, kNo };

// The free-name prompt's answer: the name, and whether the user said yes to replacing the file
// of that name that exists already.
struct FreeName {
  std::string name;
  bool replaceConfirmed = false;
};

class IPresenter {
 public:
  virtual ~IPresenter() = default;

  // A modal box owned by `owner` (may be null); the button the user pressed.
  virtual MessageAnswer ShowMessage(QWidget* owner, const std::string& text, const std::string& caption,
                                    MessageIcon icon, MessageButtons buttons = MessageButtons::kOk) = 0;
  // The free file name for a picture in `folder` with `extension` (no dot); nothing on Cancel.
  virtual std::optional<FreeName> AskFreeName(QWidget* owner, int language, const std::filesystem::path& folder,
                                                 const std::string& extension) = 0;
  // The prefix list ("|" between prefixes) as the user edited it; nothing on Cancel. Only a list
  // whose every prefix can stand in a file name is given back.
  virtual std::optional<std::string> EditPrefixList(QWidget* owner, int language, const std::string& choices) = 0;
  // A folder chosen by the user, starting at `start`; nothing on Cancel.
  virtual std::optional<std::filesystem::path> ChooseFolder(QWidget* owner, const std::string& title,
                                                            const std::filesystem::path& start) = 0;
  // The printer for the print job `documentName`, as the user set it up; nothing when the user
  // cancelled or there is no printer. Printing to a file offers `printToFile` when given.
  virtual std::unique_ptr<QPrinter> ChoosePrinter(QWidget* owner, const std::string& documentName,
                                                  const std::filesystem::path& printToFile) = 0;
  // The desktop's program for the file, folder or link. False when none could be started, or the
  // desktop says it has none for the file.
  virtual bool OpenFile(const std::filesystem::path& file) = 0;
  virtual bool OpenFolder(const std::filesystem::path& folder) = 0;
  virtual bool OpenLink(const std::string& link) = 0;
};

// False only when the desktop says it has no program for the file: its opener starts whether or
// not it finds one, so Qt reports success either way. Asked of xdg-mime, as the opener asks it;
// without xdg-mime, or without an answer from it, the opener decides.
bool DesktopHasProgramFor(const std::filesystem::path& file);

// Opens the file with the desktop's program for it; when there is none, says so in `language`
// (a box owned by `owner`, which may be null). Whether the file was opened.
bool OpenFileOrSay(IPresenter& presenter, QWidget* owner, int language, const std::filesystem::path& file);

class QtPresenter : public IPresenter {
 public:
  MessageAnswer ShowMessage(QWidget* owner, const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<FreeName> AskFreeName(QWidget* owner, int language, const std::filesystem::path& folder,
                                      const std::string& extension) override;
  std::optional<std::string> EditPrefixList(QWidget* owner, int language, const std::string& choices) override;
  std::optional<std::filesystem::path> ChooseFolder(QWidget* owner, const std::string& title,
                                                    const std::filesystem::path& start) override;
  std::unique_ptr<QPrinter> ChoosePrinter(QWidget* owner, const std::string& documentName,
                                          const std::filesystem::path& printToFile) override;
  bool OpenFile(const std::filesystem::path& file) override;
  bool OpenFolder(const std::filesystem::path& folder) override;
  bool OpenLink(const std::string& link) override;
};

}  // namespace orvane::ui
