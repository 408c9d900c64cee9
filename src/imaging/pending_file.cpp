#include "imaging/pending_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace orvane::imaging {
namespace fs = std::filesystem;

PendingFile::PendingFile(const fs::path& target) : target_(target) {
  const std::string extension = target.extension().string();
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string name = ".";
  name += target.stem().string();
  name += ".XXXXXX";
  name += extension;
  std::string pattern = (folder / name).string();
  fd_ = ::mkstemps(pattern.data(), static_cast<int>(extension.size()));
  if (fd_ < 0) return;
  ::fchmod(fd_, 0644);
  temporary_ = pattern;
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

int PendingFile::ReleaseDescriptor() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

bool PendingFile::Sync() {
  if (temporary_.empty()) return false;
  // The writer may have closed our descriptor already; syncing by name covers both cases.
  int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool PendingFile::Commit() {
  if (committed_ || !Sync()) return false;
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

bool PendingFile::CommitNoReplace() {
  if (committed_ || !Sync()) return false;
  if (!RenameNoReplace(temporary_, target_)) return false;
  committed_ = true;
  return true;
}

bool RenameNoReplace(const fs::path& from, const fs::path& to) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

}  // namespace orvane::imaging
