// The companion programs: the server probed at start-up, the picture's path handed to the viewer
// "Image" through shared memory, and the companion told that the station closes. Every call to
// them waits at most platform::kBusSendTimeout: a hung companion delays, never freezes, the station.
#include <system_error>

#include "platform/message_ids.h"
#include "platform/shared_memory.h"
#include "ui/main_window.h"

namespace orvane::ui {
namespace ids = platform::message_ids;

namespace {

constexpr const char* kServerCaption = "OrvaneServer";
constexpr const char* kImageCaption = "Image";

// The closing companion's caption is the configured one with its maker's name put right.
std::string ClosingCompanionCaption(std::string caption) {
  static constexpr std::string_view kFrom = "Fennic";
  static constexpr std::string_view kTo = "Kelvora";
  for (std::size_t at = caption.find(kFrom); at != std::string::npos; at = caption.find(kFrom, at + kTo.size()))
    caption.replace(at, kFrom.size(), kTo);
  return caption;
}

}  // namespace

bool COrvaneDlg::QueryCompanionServer() {
  if (environment_.companionBus.empty()) return true;
  companions_ = std::make_unique<platform::WindowBus>(environment_.companionBus);
  if (!companions_->Connected()) return true;
  // No server, or one that does not answer in time, holds no camera.
  const std::optional<platform::MessageResult> answer = companions_->Send(kServerCaption, ids::kServerQuery);
  if (answer && *answer != ids::kServerReply) return false;
  // Companions find the station by its caption; they may ask it only for the picture's path.
  busWindow_ = std::make_unique<platform::BusWindow>(environment_.companionBus, windowTitle().toStdString(), target_,
                                                     std::vector<platform::MessageId>{ids::kShareImagePath});
  return true;
}

platform::MessageResult COrvaneDlg::OnShareImagePath() {
  // Opened afresh for every message: a companion that made the memory anew since is served too.
  platform::SharedMemory memory;
  switch (memory.Open(environment_.imagePathMemory)) {
    case platform::SharedMemory::OpenResult::kAbsent: return 2;
    case platform::SharedMemory::OpenResult::kEmpty: return 0;
    case platform::SharedMemory::OpenResult::kOpen: break;
  }
  memory.WriteText(currentPicture_.string());
  if (companions_) companions_->Post(kImageCaption, ids::kImagePathPublished);
  return 0;
}

void COrvaneDlg::SetCurrentPicture(const std::filesystem::path& picture) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(picture, error);
  currentPicture_ = error ? picture : absolute;
}

void COrvaneDlg::CloseCompanions() {
  if (companions_) {
    const std::string caption = ClosingCompanionCaption(settings_.companionCaption);
    // No caption names no companion: nothing is sent to whatever has no caption.
    if (!caption.empty()) companions_->Send(caption, ids::kStationClosing);
  }
  busWindow_.reset();
  companions_.reset();
}

}  // namespace orvane::ui
