// A station in a folder of its own: a program folder with its branding file, Sys.ini, the data
// and pictures folders, simulated V4L2 cameras and a scripted presenter. The main window runs on
// the offscreen platform with the message layer drained from Qt's loop.
#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QPrinter>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/ini_file.h"
#include "camera/virtual_camera.h"
#include "platform/simulated_v4l2.h"
#include "temp_folder.h"
#include "ui/main_window.h"
#include "ui/presenter.h"

class QDialog;

namespace orvane::ui::testing {

// The Qt application and the message bridge are made by the test program's main.
void EnsureApplication();

// Handles Qt's events and the message layer until `done` or the time is up.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(60));

// The next modal dialog, as a person meets it: once it is open, `look` sees it, then it is closed
// as its Close or Cancel button closes it.
class NextModalDialog {
 public:
  explicit NextModalDialog(std::function<void(QDialog&)> look);
  bool Seen() const { return seen_; }

 private:
  QTimer timer_;
  std::function<void(QDialog&)> look_;
  bool seen_ = false;
};

class ScriptedPresenter : public IPresenter {
 public:
  struct Shown {
    std::string text;
    MessageIcon icon;
    std::string caption;
  };
  MessageAnswer ShowMessage(QWidget*, const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override {
    shown.push_back({text, icon, caption});
    if (whileOpen) std::exchange(whileOpen, nullptr)();
    if (!answers.empty()) {
      const MessageAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return buttons == MessageButtons::kOk ? MessageAnswer::kOk : MessageAnswer::kYes;
  }
  std::optional<FreeName> AskFreeName(QWidget*, int, const std::filesystem::path&, const std::string&) override {
    if (freeNames.empty()) return std::nullopt;
    std::optional<std::string> name = freeNames.front();
    freeNames.pop_front();
    if (!name) return std::nullopt;
    return FreeName{*name, confirmReplace};
  }
  std::optional<std::string> EditPrefixList(QWidget*, int language, const std::string& choices) override {
    editedLists.push_back({language, choices});
    if (prefixLists.empty()) return std::nullopt;
    std::optional<std::string> list = prefixLists.front();
    prefixLists.pop_front();
    return list;
  }
  std::optional<std::filesystem::path> ChooseFolder(QWidget*, const std::string& title,
                                                    const std::filesystem::path&) override {
    folderTitles.push_back(title);
    if (folders.empty()) return std::nullopt;
    std::optional<std::filesystem::path> folder = folders.front();
    folders.pop_front();
    return folder;
  }
  // A printer that prints into "printed-N.pdf" in `printFolder` for the N-th job, or into the
  // file offered when `printToOfferedFile` is set.
  std::unique_ptr<QPrinter> ChoosePrinter(QWidget*, const std::string& documentName,
                                          const std::filesystem::path& printToFile) override {
    printJobs.push_back(documentName);
    offeredFiles.push_back(printToFile);
    if (printFolder.empty() && !printToOfferedFile) return nullptr;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    const std::filesystem::path output =
        printToOfferedFile ? printToFile : printFolder / ("printed-" + std::to_string(printJobs.size()) + ".pdf");
    printer->setOutputFileName(QString::fromStdString(output.string()));
    return printer;
  }
  bool OpenFile(const std::filesystem::path& file) override {
    if (openFails) return false;
    opened.push_back(file.string());
    return true;
  }
  bool OpenFolder(const std::filesystem::path& folder) override {
    opened.push_back(folder.string());
    return true;
  }
  bool OpenLink(const std::string& link) override {
    opened.push_back(link);
    return true;
  }

  std::vector<Shown> shown;
  // Runs while the next message box is open, as the events a real box's loop handles; once.
  std::function<void()> whileOpen;
  std::deque<MessageAnswer> answers;
  std::deque<std::optional<std::string>> freeNames;
  bool confirmReplace = false;  // the answer to "replace the existing file?" with a free name
  std::deque<std::optional<std::string>> prefixLists;
  std::vector<std::pair<int, std::string>> editedLists;  // language, list shown
  std::deque<std::optional<std::filesystem::path>> folders;  // the folder chooser's answers
  std::vector<std::string> folderTitles;
  std::vector<std::string> opened;
  bool openFails = false;  // the desktop has no program for the files
  std::filesystem::path printFolder;   // empty: the user cancels the print dialog
  std::vector<std::string> printJobs;  // the documents a printer was asked for
  std::vector<std::filesystem::path> offeredFiles;  // the file each job offered for printing to a file
  bool printToOfferedFile = false;
};

// A document camera of the model whose configured size is 1600 x 1200 at 130 DPI, filming at
// the sizes given.
VirtualCameraIdentity ConfiguredSizeCamera(std::vector<std::pair<int, int>> sizes);
// A document camera of a model whose configured size is 1600 x 1200 at 130 DPI, filming its
// scene at 640 x 480.
VirtualCameraIdentity SmallCamera();

// Where a camera's display stands in its window, or nothing while it is hidden (or there is none).
std::optional<IntRect> Shown(CVideoController* camera);

// A camera model as discovery and the USB source see it, without frames of its own.
platform::SimulatedCameraModel CameraModel(const VirtualCameraIdentity& identity, bool stillPin = true);

class StationTest : public ::testing::Test {
 protected:
  StationTest();
  ~StationTest() override;

  // Sys.ini as the station finds it; lines of "[SECTION]" and "KEY=value".
  void WriteSettings(const std::string& text);
  std::string Setting(std::string_view section, std::string_view key) const;
  // Every file under the pictures folder.
  std::vector<std::filesystem::path> Pictures() const;
  StationEnvironment Environment();
  // Makes the window and runs its start-up.
  StartUp Start();
  // Waits for the document camera's first frame.
  bool WaitForPicture();

  ::orvane::testing::TempFolder folder;
  std::filesystem::path programFolder;
  std::filesystem::path settingsFile;
  std::filesystem::path picturesFolder;
  std::shared_ptr<platform::SimulatedV4l2Backend> backend = std::make_shared<platform::SimulatedV4l2Backend>();
  ScriptedPresenter presenter;
  std::vector<std::filesystem::path> sounds;
  std::unique_ptr<COrvaneDlg> window;

 private:
  std::filesystem::path oldWorkingFolder_;
  std::vector<std::unique_ptr<::orvane::testing::ScopedEnvironment>> environment_;
};

}  // namespace orvane::ui::testing
