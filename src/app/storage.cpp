#include "app/sys_param.h"

#include <cstdio>
#include <set>
#include <system_error>

#include "platform/diagnostics.h"
#include "platform/special_folders.h"

namespace orvane {
namespace fs = std::filesystem;

namespace {

std::string Format(const char* format, int a, int b, int c) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

std::string DateText(const std::tm& time) {
  return Format("%04d%02d%02d", time.tm_year + 1900, time.tm_mon + 1, time.tm_mday);
}

std::string DateTimeText(const std::tm& time) {
  return DateText(time) + Format("%02d%02d%02d", time.tm_hour, time.tm_min, time.tm_sec);
}

bool IsFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool MakeFolder(const fs::path& path) {
  std::error_code error;
  fs::create_directories(path, error);
  return IsFolder(path);
}

// A base name is taken when a file of that name with any extension, or one of its "_NN"
// siblings, is already there.
bool IsTaken(const std::set<std::string>& names, const std::string& base) {
  for (auto it = names.lower_bound(base); it != names.end() && it->compare(0, base.size(), base) == 0; ++it) {
    if (it->size() == base.size() || (*it)[base.size()] == '.' || (*it)[base.size()] == '_') return true;
  }
  return false;
}

std::tm Now(const NamingHooks& hooks) {
  return hooks.localTime ? hooks.localTime() : NamingHooks::System().localTime();
}

// What the user is told about a refused name, by language (0 Simplified Chinese, 1 Traditional
// Chinese, 2 English), refusal and kind of name; %s stands for the name.
constexpr const char* kRefusalTexts[3][2][2] = {
    {{"文件名“%s”中含有不能用于文件名的字符", "文件名前缀“%s”中含有不能用于文件名的字符"},
     {"文件名“%s”太长", "文件名前缀“%s”太长，不能用于文件名"}},
    {{"檔案名「%s」中含有不能用於檔案名的字元", "檔案名首碼「%s」中含有不能用於檔案名的字元"},
     {"檔案名「%s」太長", "檔案名首碼「%s」太長，不能用於檔案名"}},
    {{"The file name \"%s\" contains characters that cannot be used in a file name",
      "The file name prefix \"%s\" contains characters that cannot be used in a file name"},
     {"The file name \"%s\" is too long", "The file name prefix \"%s\" is too long for a file name"}},
};

// Whether `baseName` can name a file; when not, the hooks hear why.
bool AcceptName(const std::string& name, const std::string& baseName, bool prefix, int language,
                const NamingHooks& hooks) {
  NameRefusal refusal;
  if (!IsValidNamePart(name)) refusal.reason = NameRefusal::Reason::kUnsafeCharacters;
  else if (!FitsAsBaseName(baseName)) refusal.reason = NameRefusal::Reason::kTooLong;
  else return true;
  refusal.prefix = prefix;
  refusal.name = name;
  const bool tooLong = refusal.reason == NameRefusal::Reason::kTooLong;
  std::string text = kRefusalTexts[language >= 0 && language <= 2 ? language : 0][tooLong][prefix];
  text.replace(text.find("%s"), 2, name);
  refusal.message = std::move(text);
  if (hooks.nameRefused) hooks.nameRefused(refusal);
  else platform::DebugOutput(refusal.message);
  return false;
}

}  // namespace

// Two captures in one second, or after the running number was reset, must not overwrite the
// pictures already there: such a name gets "-2", "-3", ... appended.
fs::path FreeBaseName(const fs::path& base) {
  std::set<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(base.parent_path(), error), end; !error && it != end; it.increment(error)) {
    names.insert(it->path().filename().string());
  }
  const std::string stem = base.filename().string();
  if (!IsTaken(names, stem)) return base;
  for (int suffix = 2;; ++suffix) {
    std::string candidate = stem + "-" + std::to_string(suffix);
    if (!IsTaken(names, candidate)) return base.parent_path() / candidate;
  }
}

NamingHooks NamingHooks::System() {
  NamingHooks hooks;
  hooks.localTime = [] {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
  };
  return hooks;
}

bool FitsAsBaseName(std::string_view baseName) {
  return baseName.size() + kBaseNameReserve <= kMaxFileNameBytes;
}

bool FolderExists(const fs::path& path) {
  std::string text = path.string();
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  if (text.empty()) return false;
  std::error_code error;
  return fs::exists(text, error);
}

bool CreateFolderPath(const fs::path& path) {
  if (FolderExists(path)) return true;
  std::error_code error;
  fs::create_directories(path, error);
  return FolderExists(path);
}

bool IsValidNamePart(std::string_view name) {
  if (name.empty() || name.find("..") != std::string_view::npos) return false;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
    if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return true;
}

fs::path GetCommonDataFolder() {
  const fs::path folder = platform::CommonAppDataFolder() / "Morvath Software";
  if (!MakeFolder(folder)) return {};
  std::error_code error;
  fs::current_path(folder, error);
  if (error) return {};
  return folder;
}

fs::path CSysParam::GetDefaultStorageFolder() {
  if (fs::path pictures = platform::PicturesFolder() / "Calvest"; MakeFolder(pictures)) return pictures;
  const fs::path common = platform::CommonAppDataFolder();
  if (MakeFolder(common / "Calvest")) return common / "Calvest";
  if (MakeFolder(common)) return common;
  if (fs::path beside = platform::ProgramFolder() / "Calvest"; MakeFolder(beside)) return beside;
  // Never the root of the file system.
  return platform::HomeFolder();
}

bool CSysParam::CreateFolderChain(const fs::path& filePath) {
  const fs::path folder = filePath.parent_path();
  if (folder.empty()) return true;
  return MakeFolder(folder);
}

fs::path CSysParam::CurrentStorageFolder(const std::tm& today) const {
  return dateFolder ? storageFolder / DateText(today) : storageFolder;
}

bool CSysParam::ResolveStorageFolders(const std::tm& today) {
  if (storageFolder.empty()) storageFolder = GetDefaultStorageFolder();
  currentStorageFolder = CurrentStorageFolder(today);
  bool storageReady = FolderExists(storageFolder) || CreateFolderPath(storageFolder);
  bool currentReady = FolderExists(currentStorageFolder) || CreateFolderPath(currentStorageFolder);
  return storageReady && currentReady;
}

fs::path CSysParam::BuildFileName(std::string_view extension, const NamingHooks& hooks) const {
  const std::tm now = Now(hooks);
  fs::path name;
  switch (namingMode) {
    case 0: {
      const std::string numbered = prefix + Format("%05d", runningIndex, 0, 0);
      if (!AcceptName(prefix, numbered, true, language, hooks)) return {};
      name = FreeBaseName(currentStorageFolder / numbered);
      break;
    }
    case 1:
      name = FreeBaseName(currentStorageFolder / DateTimeText(now));
      break;
    case 2: {
      if (!hooks.askFreeName) return {};
      const std::string ext = extension.empty() ? GetImageExtension() : std::string(extension);
      std::optional<std::string> entered = hooks.askFreeName(language, currentStorageFolder, ext);
      if (!entered) return {};
      if (!AcceptName(*entered, *entered, false, language, hooks)) return {};
      // The prompt has asked before an existing file is overwritten.
      name = currentStorageFolder / *entered;
      break;
    }
    default:
      return {};
  }
  if (!FolderExists(currentStorageFolder)) CreateFolderChain(name);
  return name;
}

fs::path CSysParam::BuildTempFileName(const NamingHooks& hooks) const {
  const std::tm now = Now(hooks);
  fs::path name = FreeBaseName(currentStorageFolder / ("Tmp" + DateTimeText(now)));
  if (!FolderExists(currentStorageFolder)) CreateFolderChain(name);
  return name;
}

std::string CSysParam::GetImageExtension() const {
  switch (imageFormat) {
    case 0: return colorMode == 2 ? "TIF" : "JPG";
    case 1: return "BMP";
    case 2: return "JPG";
    case 3: return "PNG";
    case 4: return "TIF";
    case 5: return "GIF";
    case 6: return "TGA";
    case 7: return "RAS";
    default: return {};
  }
}

std::string CSysParam::GetWatermarkText(const NamingHooks& hooks) const {
  std::string date;
  if (dateWatermark) {
    const std::tm now = Now(hooks);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d-%02d:%02d:%02d", now.tm_year + 1900, now.tm_mon + 1,
                  now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    date = buffer;
  }
  if (dateWatermark && customWatermark) return date + " " + watermarkText;
  if (dateWatermark) return date;
  if (customWatermark) return watermarkText;
  return {};
}

}  // namespace orvane
