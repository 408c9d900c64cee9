#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

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
  const int descriptor = shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (descriptor < 0) return OpenResult::kAbsent;
  struct stat info {};
  if (fstat(descriptor, &info) != 0 || info.st_size <= 0) {
    close(descriptor);
    return OpenResult::kUnmappable;
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
  if (view == MAP_FAILED) {
    close(descriptor);
    return OpenResult::kUnmappable;
  }
  descriptor_ = descriptor;
  view_ = static_cast<unsigned char*>(view);
  mapped_ = size;
  dirtyEnd_ = kEarlierTextEnd;
  return OpenResult::kOpen;
}

void SharedMemory::Close() {
  if (view_ != nullptr) munmap(view_, mapped_);
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = -1;
  view_ = nullptr;
  mapped_ = 0;
  dirtyEnd_ = 0;
}

std::size_t SharedMemory::Size() const {
  if (view_ == nullptr) return 0;
  // Pages the other program has cut off since would fault when written.
  struct stat info {};
  if (fstat(descriptor_, &info) != 0 || info.st_size <= 0) return 0;
  return std::min(mapped_, static_cast<std::size_t>(info.st_size));
}

bool SharedMemory::WriteText(std::string_view text) {
  const std::size_t size = Size();
  if (size == 0) return false;
  const bool fits = text.size() < size;
  const std::size_t length = fits ? text.size() : 0;
  if (length > 0) std::memcpy(view_, text.data(), length);
  const std::size_t clearEnd = std::min(size, std::max(dirtyEnd_, length + 1));
  std::memset(view_ + length, 0, clearEnd - length);
  dirtyEnd_ = length + 1;
  return fits;
}

}  // namespace orvane::platform
