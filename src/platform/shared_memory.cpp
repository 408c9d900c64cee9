#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>

#include "platform/file_io.h"

namespace orvane::platform {
namespace {

// A text of an earlier writer (an earlier run of this program among them) may have left a path
// there; none is longer than the system's longest path.
constexpr std::size_t kEarlierTextEnd = PATH_MAX;

}  // namespace

SharedMemory::~SharedMemory() { Close(); }

SharedMemory::OpenResult SharedMemory::Open(std::string_view name) {
  Close();
  if (name.empty() || name.find('/') != std::string_view::npos) return OpenResult::kAbsent;
  const std::string path = "/" + std::string(name);
  const int descriptor = shm_open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0);
  if (descriptor < 0) return OpenResult::kAbsent;
  struct stat info {};
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
    close(descriptor);
    return OpenResult::kAbsent;
  }
  if (info.st_size <= 0) {
    close(descriptor);
    return OpenResult::kEmpty;
  }
  descriptor_ = descriptor;
  return OpenResult::kOpen;
}

void SharedMemory::Close() {
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = -1;
}

std::size_t SharedMemory::Size() const {
  struct stat info {};
  if (descriptor_ < 0 || fstat(descriptor_, &info) != 0 || info.st_size <= 0) return 0;
  return static_cast<std::size_t>(info.st_size);
}

bool SharedMemory::WriteText(std::string_view text) {
  const std::size_t size = Size();
  if (size == 0) return false;
  const bool fits = text.size() < size;
  const std::size_t length = fits ? text.size() : 0;
  std::string bytes(std::min(size, std::max(kEarlierTextEnd, length + 1)), '\0');
  std::copy_n(text.data(), length, bytes.data());
  // Sized to what the memory holds now; a companion that cuts it during the write sees it grown
  // back to that size at worst, where a mapped write would have ended the station with SIGBUS.
  return WriteAllAt(descriptor_, bytes.data(), bytes.size(), 0) && fits;
}

}  // namespace orvane::platform
