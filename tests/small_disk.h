// A small file system that fills up, for the tests of writers on a full disk: a tmpfs mounted
// over a fresh folder for the life of the object and unmounted after it. Mounting needs root (CI
// runs the tests as root); without it the test is skipped with the reason printed.
#pragma once

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvane::testing {

class SmallDisk {
 public:
  explicit SmallDisk(std::size_t bytes = 1 << 20) {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-disk-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    if (::geteuid() != 0) {
      reason_ = "a small file system is mounted only when the tests run as root";
      return;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
      reason_ = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& child) const { return path_ / child; }

  std::uintmax_t FreeBytes() const {
    struct statvfs info {};
    if (::statvfs(path_.c_str(), &info) != 0) return 0;
    return static_cast<std::uintmax_t>(info.f_bavail) * info.f_frsize;
  }

  // Grows a filler file until at most `bytes` are left (the disk counts whole pages, so a little
  // less may be). False when the disk has less than that already.
  bool LeaveFree(std::uintmax_t bytes) {
    std::uintmax_t free = FreeBytes();
    if (free < bytes) return false;
    std::ofstream filler(path_ / ".filler", std::ios::binary | std::ios::app);
    const std::vector<char> page(4096, 'f');
    for (; free > bytes; free = FreeBytes()) {
      const std::uintmax_t chunk = std::min<std::uintmax_t>(page.size(), free - bytes);
      if (!filler.write(page.data(), static_cast<std::streamsize>(chunk)).flush()) break;
    }
    return FreeBytes() <= bytes;
  }

 private:
  std::filesystem::path path_;
  std::string reason_;
  bool mounted_ = false;
};

}  // namespace orvane::testing

// Skips the test, saying why, when the small disk could not be mounted.
#define ORVANE_REQUIRE_SMALL_DISK(disk) \
  if (!(disk).mounted()) GTEST_SKIP() << (disk).reason()
