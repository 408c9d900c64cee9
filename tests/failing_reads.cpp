#include "failing_reads.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace {

using Read = ssize_t (*)(int, void*, size_t);

std::atomic<bool> armed{false};
std::atomic<dev_t> failingDevice{0};
std::atomic<ino_t> failingInode{0};

Read RealRead() {
  static std::atomic<Read> real{nullptr};
  Read found = real.load();
  if (found == nullptr) {
    found = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
    real = found;
  }
  return found;
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
  if (armed.load()) {
    struct stat status {};
    if (::fstat(fd, &status) == 0 && status.st_dev == failingDevice.load() && status.st_ino == failingInode.load()) {
      errno = EIO;
      return -1;
    }
  }
  return RealRead()(fd, buffer, count);
}

namespace orvane::testing {

FailingReads::FailingReads(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || armed.load()) std::abort();
  failingDevice = status.st_dev;
  failingInode = status.st_ino;
  armed = true;
}

FailingReads::~FailingReads() { armed = false; }

}  // namespace orvane::testing
