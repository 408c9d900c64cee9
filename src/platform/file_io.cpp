#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orvane::platform {
namespace fs = std::filesystem;

std::optional<std::string> ReadWholeFile(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string contents;
  char chunk[65536];
  while (true) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {  // a folder, or a read error
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    contents.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return contents;
}

namespace {

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const fs::path& target, std::string_view contents) {
  mode_t mode = 0644;
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) {
    if (!S_ISREG(existing.st_mode)) return false;
    if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    mode = existing.st_mode & 07777;
  }

  fs::path folder = target.parent_path();
  std::string name = ".";
  name += target.filename().string();
  name += ".XXXXXX";
  std::string pattern = (folder / name).string();
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) return false;

  bool ok = WriteAll(fd, contents) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(pattern.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(pattern.c_str());
  return ok;
}

}  // namespace orvane::platform
