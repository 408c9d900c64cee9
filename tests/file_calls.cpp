#include "file_calls.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>

namespace {
namespace fs = std::filesystem;

std::atomic<bool> armed{false};
bool emulateFat = false;
std::mutex logMutex;
fs::path watched;
std::vector<std::string> entries;

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// The name within the watched folder, or empty when the path lies elsewhere.
std::string Within(const fs::path& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error).lexically_normal();
  fs::path folder = absolute;
  std::string name = ".";
  if (absolute != watched) {
    folder = absolute.parent_path();
    name = absolute.filename().string();
  }
  if (folder != watched) return {};
  return name.rfind(".orvane-", 0) == 0 ? ".temporary" : name;
}

void Note(const std::string& call, const char* first, const char* second = nullptr) {
  if (!armed) return;
  const std::string a = Within(first);
  const std::string b = second != nullptr ? Within(second) : std::string();
  if (a.empty() && (second == nullptr || b.empty())) return;
  std::lock_guard lock(logMutex);
  entries.push_back(call + " " + a + (second != nullptr ? " " + b : std::string()));
}

}  // namespace

extern "C" {

int fsync(int fd) {
  if (armed) {
    char path[PATH_MAX] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    if (length > 0) Note("fsync", path);
  }
  static const auto real = Real<int (*)(int)>("fsync");
  return real(fd);
}

int renameat2(int oldFolder, const char* oldPath, int newFolder, const char* newPath, unsigned int flags) {
  if (armed && emulateFat && (flags & RENAME_NOREPLACE) != 0 && !Within(newPath).empty()) {
    errno = EINVAL;
    return -1;
  }
  static const auto real = Real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
  const int result = real(oldFolder, oldPath, newFolder, newPath, flags);
  if (result == 0) Note("rename", oldPath, newPath);
  return result;
}

int rename(const char* oldPath, const char* newPath) {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  const int result = real(oldPath, newPath);
  if (result == 0) Note("rename", oldPath, newPath);
  return result;
}

int link(const char* oldPath, const char* newPath) {
  if (armed && emulateFat && !Within(newPath).empty()) {
    errno = EPERM;
    return -1;
  }
  static const auto real = Real<int (*)(const char*, const char*)>("link");
  const int result = real(oldPath, newPath);
  if (result == 0) Note("link", oldPath, newPath);
  return result;
}

int unlink(const char* path) {
  static const auto real = Real<int (*)(const char*)>("unlink");
  const int result = real(path);
  if (result == 0) Note("remove", path);
  return result;
}

int remove(const char* path) {
  static const auto real = Real<int (*)(const char*)>("remove");
  const int result = real(path);
  if (result == 0) Note("remove", path);
  return result;
}

}  // extern "C"

namespace orvane::testing {

FileCalls::FileCalls(const fs::path& folder, bool withoutExclusiveRenameOrLinks) {
  if (armed) std::abort();
  std::lock_guard lock(logMutex);
  watched = fs::absolute(folder).lexically_normal();
  if (watched.has_filename() == false) watched = watched.parent_path();
  entries.clear();
  emulateFat = withoutExclusiveRenameOrLinks;
  armed = true;
}

FileCalls::~FileCalls() {
  armed = false;
  std::lock_guard lock(logMutex);
  entries.clear();
}

std::vector<std::string> FileCalls::Log() const {
  std::lock_guard lock(logMutex);
  return entries;
}

}  // namespace orvane::testing
