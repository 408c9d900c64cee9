// A USB stick's file system, for the tests of writers on one: a vfat or exFAT image in a fresh
// file, mounted over a fresh folder for the life of the object: by the kernel where it has the
// file system, exFAT through FUSE otherwise (which lacks the exclusive rename and hard links).
// vfat has no FUSE driver sound enough here: its writes after a seek back fail. Mounting needs
// root (CI runs the tests as root) and the tools tools/setup.sh installs; without them the test
// is skipped with the reason printed.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace orvane::testing {

class RemovableDisk {
 public:
  // `kind` is "vfat" or "exfat".
  explicit RemovableDisk(const std::string& kind) {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-stick-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    root_ = pattern;
    path_ = root_ / "mounted";
    std::filesystem::create_directory(path_);
    if (::geteuid() != 0) {
      reason_ = "a disk image is mounted only when the tests run as root";
      return;
    }
    const std::filesystem::path image = root_ / "stick.img";
    std::filesystem::resize_file(Touch(image), 64 << 20);
    const std::string maker = kind == "vfat" ? "mkfs.vfat" : "mkfs.exfat";
    if (!Run(maker + " " + Quoted(image))) {
      reason_ = maker + " is missing or failed";
      return;
    }
    if (KernelHas(kind) && Run("mount -o loop -t " + kind + " " + Quoted(image) + " " + Quoted(path_))) {
      unmount_ = "umount " + Quoted(path_);
    } else if (kind == "exfat") {
      // exFAT through FUSE wants a block device.
      loop_ = Output("losetup -f --show " + Quoted(image));
      if (!loop_.empty() && Run("mount.exfat-fuse " + Quoted(loop_) + " " + Quoted(path_))) {
        unmount_ = "umount " + Quoted(path_);
      }
    }
    if (unmount_.empty()) reason_ = "cannot mount a " + kind + " image here";
  }
  ~RemovableDisk() {
    if (!unmount_.empty()) Run(unmount_);
    if (!loop_.empty()) Run("losetup -d " + Quoted(loop_));
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  RemovableDisk(const RemovableDisk&) = delete;
  RemovableDisk& operator=(const RemovableDisk&) = delete;

  bool mounted() const { return !unmount_.empty(); }
  const std::string& reason() const { return reason_; }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& child) const { return path_ / child; }

 private:
  static std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }
  static const std::filesystem::path& Touch(const std::filesystem::path& file) {
    std::ofstream{file};
    return file;
  }
  static bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
  static std::string Output(const std::string& command) {
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return {};
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    std::string text = read ? line : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }
  static bool KernelHas(const std::string& kind) {
    std::ifstream known("/proc/filesystems");
    std::string line;
    while (std::getline(known, line))
      if (line.size() >= kind.size() && line.compare(line.size() - kind.size(), kind.size(), kind) == 0 &&
          (line.size() == kind.size() || line[line.size() - kind.size() - 1] == '\t'))
        return true;
    return false;
  }

  std::filesystem::path root_;
  std::filesystem::path path_;
  std::string reason_;
  std::string unmount_;
  std::string loop_;
};

}  // namespace orvane::testing

// Skips the test, saying why, when the disk could not be mounted.
#define ORVANE_REQUIRE_REMOVABLE_DISK(disk) \
  if (!(disk).mounted()) GTEST_SKIP() << (disk).reason()
