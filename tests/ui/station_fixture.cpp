#include "station_fixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>

#include <fstream>
#include <thread>

#include "branding/oem_writer.h"
#include "camera/device_library_source.h"
#include "camera/usb_camera.h"

namespace orvane::ui::testing {
namespace fs = std::filesystem;

void EnsureApplication() { ASSERT_NE(QCoreApplication::instance(), nullptr) << "made by the test program's main"; }

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::optional<IntRect> Shown(CVideoController* camera) {
  if (camera == nullptr || camera->Display() == nullptr) return std::nullopt;
  const QWidget* view = camera->Display()->GetHWnd();
  if (view == nullptr || view->isHidden()) return std::nullopt;
  const QRect g = view->geometry();
  return IntRect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

NextModalDialog::NextModalDialog(std::function<void(QDialog&)> look) : look_(std::move(look)) {
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || seen_) return;
    seen_ = true;
    timer_.stop();
    look_(*dialog);
    dialog->reject();
  });
  timer_.start(20);
}

VirtualCameraIdentity ConfiguredSizeCamera(std::vector<std::pair<int, int>> sizes) {
  VirtualCameraIdentity identity;
  identity.productId = "A0C8";
  identity.sharpnessDefault = 28;
  identity.sharpnessMaximum = 6;
  identity.sizes = std::move(sizes);
  return identity;
}

VirtualCameraIdentity SmallCamera() {
  VirtualCameraIdentity identity = ConfiguredSizeCamera({{640, 480}});
  identity.stillWidth = 640;
  identity.stillHeight = 480;
  return identity;
}

platform::SimulatedCameraModel CameraModel(const VirtualCameraIdentity& identity, bool stillPin) {
  platform::SimulatedCameraModel model = VirtualCameraModel(identity);
  model.stillPin = stillPin;
  return model;
}

StationTest::StationTest()
    : programFolder(folder / "program"), settingsFile(folder / "config" / "Sys.ini"), picturesFolder(folder / "pictures") {
  EnsureApplication();
  oldWorkingFolder_ = fs::current_path();
  fs::create_directories(programFolder);
  fs::create_directories(settingsFile.parent_path());
  fs::create_directories(picturesFolder);
  const auto set = [this](const char* name, const std::string& value) {
    environment_.push_back(std::make_unique<::orvane::testing::ScopedEnvironment>(name, value));
  };
  set("XDG_DATA_HOME", (folder / "data").string());
  set("XDG_PICTURES_DIR", picturesFolder.string());
  set("XDG_CONFIG_HOME", (folder / "config").string());
  // No device library unless a test asks for its simulator.
  set("ORVANE_DEVICE_LIBRARY", (folder / "no-such-library.so").string());

  branding::OemContent branding;
  branding.logo = {2, 2, std::vector<std::uint8_t>(12, 200)};
  branding.productName = "Orvane";
  std::string error;
  if (!branding::WriteOemData(programFolder / "data.dat", branding, error)) ADD_FAILURE() << error;
}

StationTest::~StationTest() {
  window.reset();
  std::error_code ignored;
  fs::current_path(oldWorkingFolder_, ignored);
}

void StationTest::WriteSettings(const std::string& text) { std::ofstream(settingsFile) << text; }

std::string StationTest::Setting(std::string_view section, std::string_view key) const {
  CIniFile file;
  if (!file.SetPath(settingsFile)) return {};
  return file.ReadString(section, key);
}

std::vector<fs::path> StationTest::Pictures() const {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(picturesFolder, error))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

StationEnvironment StationTest::Environment() {
  StationEnvironment environment;
  environment.programFolder = programFolder;
  environment.settingsFile = settingsFile;
  environment.presenter = &presenter;
  environment.controllers.source = [backend = backend](int type) -> std::unique_ptr<CVideoBaseClass> {
    if (type == kSourceDeviceLibrary) return std::make_unique<CRNXStreamerData>();
    return std::make_unique<CUSBCamra>(backend);
  };
  // No microphone: the tests do not depend on the machine's sound card.
  environment.controllers.recorder = [] {
    return std::make_unique<CVideoRecorder>([] { return std::unique_ptr<platform::IAudioSource>(); });
  };
  environment.cameraProbe = std::make_shared<UsbCameraProbe>(backend);
  environment.pause = [](std::chrono::milliseconds) {};
  environment.playSound = [this](const fs::path& file) { sounds.push_back(file); };
  return environment;
}

StartUp StationTest::Start() {
  window = std::make_unique<COrvaneDlg>(Environment());
  const StartUp result = window->OnInitDialog();
  if (result == StartUp::kRunning) window->show();
  return result;
}

bool StationTest::WaitForPicture() {
  return WaitFor([this] {
    CVideoController* camera = window->Cameras().document;
    return camera != nullptr && !camera->GetPicture().empty();
  });
}

}  // namespace orvane::ui::testing
