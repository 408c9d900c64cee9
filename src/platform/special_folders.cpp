#include "platform/special_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

namespace orvane::platform {
namespace fs = std::filesystem;

namespace {

// An XDG variable counts only when it holds an absolute path.
std::optional<fs::path> AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  fs::path path(value);
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

// Reads NAME="$HOME/..." or NAME="/..." from user-dirs.dirs.
std::optional<fs::path> FromUserDirs(const std::string& name) {
  std::ifstream file(RoamingAppDataFolder() / "user-dirs.dirs");
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind(name + "=", 0) != 0) continue;
    std::string value = line.substr(name.size() + 1);
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
    value = value.substr(1, value.size() - 2);
    constexpr std::string_view home = "$HOME";
    if (value.rfind(home, 0) == 0) {
      std::string rest = value.substr(home.size());
      if (rest.empty()) return HomeFolder();  // the desktop spec: $HOME alone disables the folder
      if (rest.front() != '/') return std::nullopt;
      return HomeFolder() / rest.substr(1);
    }
    if (!value.empty() && value.front() == '/') return fs::path(value);
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

fs::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/";
}

fs::path RoamingAppDataFolder() {
  return AbsoluteFromEnvironment("XDG_CONFIG_HOME").value_or(HomeFolder() / ".config");
}

fs::path CommonAppDataFolder() {
  return AbsoluteFromEnvironment("XDG_DATA_HOME").value_or(HomeFolder() / ".local" / "share");
}

fs::path TempFolder() {
  return AbsoluteFromEnvironment("TMPDIR").value_or(fs::path("/tmp"));
}

fs::path ProgramFolder() {
  if (auto overridden = AbsoluteFromEnvironment("ORVANE_PROGRAM_DIR")) return *overridden;
  std::error_code error;
  fs::path executable = fs::read_symlink("/proc/self/exe", error);
  if (error) return fs::current_path(error);
  return executable.parent_path();
}

fs::path PicturesFolder() {
  if (auto fromEnvironment = AbsoluteFromEnvironment("XDG_PICTURES_DIR")) return *fromEnvironment;
  if (auto fromUserDirs = FromUserDirs("XDG_PICTURES_DIR")) return *fromUserDirs;
  return HomeFolder() / "Pictures";
}

}  // namespace orvane::platform
