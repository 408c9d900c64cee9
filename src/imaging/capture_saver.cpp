#include "imaging/capture_saver.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "app/sys_param.h"
#include "imaging/barcode.h"
#include "imaging/capture_pipeline.h"
#include "imaging/conversions.h"
#include "imaging/image_file.h"
#include "imaging/jpeg_file.h"
#include "imaging/tiff_writer.h"
#include "platform/diagnostics.h"
#include "platform/file_io.h"

namespace orvane::imaging {
namespace fs = std::filesystem;
namespace {

// The folder message is the same in every language.
constexpr const char* kFolderMessage = "重复的条码或含有特殊字符不能作为目录";
constexpr const char* kFolderCaption = "提示";

std::mutex& SharedLock() {
  static std::mutex lock;
  return lock;
}
std::string& SharedFolder() {
  static std::string folder;
  return folder;
}
std::function<void(const CaptureMessage&)>& SharedHandler() {
  static std::function<void(const CaptureMessage&)> handler;
  return handler;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

fs::path WithSuffix(const fs::path& base, const std::string& suffix) {
  return fs::path(base.string() + suffix);
}

std::string IndexSuffix(int index) {
  char text[16];
  std::snprintf(text, sizeof text, "_%02d", index);
  return text;
}

// The free suffix of numbered names for attempt 0, 1, ...: "-2", "-3", ...
std::string FreeSuffix(int attempt) {
  char text[16];
  std::snprintf(text, sizeof text, "-%d", attempt + 2);
  return text;
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// The extensions a picture saved under `name` may take, to find a name no earlier sheet used.
bool AnyOutputExists(const fs::path& name) {
  for (const char* extension : {".jpg", ".tif", ".BMP", ".PNG", ".TIF", ".GIF", ".tga", ".ras"}) {
    if (Exists(WithSuffix(name, extension))) return true;
  }
  return false;
}

// The first of name, name_00, name_01 ... under which nothing has been saved yet.
fs::path FreeName(const fs::path& name) {
  if (!AnyOutputExists(name)) return name;
  for (int index = 0;; ++index) {
    fs::path candidate = WithSuffix(name, IndexSuffix(index));
    if (!AnyOutputExists(candidate)) return candidate;
  }
}

std::uint16_t Density(int dpi) { return static_cast<std::uint16_t>(std::clamp(dpi, 1, 65535)); }

// JPEG data with the configured density and quality under `extension` (".jpg", or ".GIF" for the
// GIF format); the path it got, or empty.
fs::path SaveJpegAs(const cv::Mat& picture, const fs::path& pathWithoutExtension, const char* extension,
                    const CSysParam& settings, const platform::FilePlacement& placement) {
  if (pathWithoutExtension.empty()) return {};
  const fs::path path = WithSuffix(pathWithoutExtension, extension);
  std::string written;
  if (!SaveMatAsJpeg(picture, written, path, Density(settings.xDpi), Density(settings.yDpi), settings.jpegQuality,
                     placement)) {
    platform::DebugOutput("the picture could not be written as " + path.string());
    return {};
  }
  return fs::path(written);
}

}  // namespace

bool IsValidBarcodeName(std::string_view data) {
  if (!IsValidNamePart(data) || data == "." || !FitsAsBaseName(data)) return false;
  const char last = data.back();
  return last != '.' && last != ' ';
}

std::optional<std::string> BuildCodeJson(const std::vector<std::string>& pairs) {
  if (pairs.size() < 2) return std::nullopt;
  std::string json = "{\"Code\":[";
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (i > 0) json += ',';
    json += '{';
    AppendJsonString(json, pairs[i]);
    json += ':';
    AppendJsonString(json, pairs[i + 1]);
    json += '}';
  }
  json += "]}";
  return json;
}

std::string RememberedBarcodeFolder() {
  std::lock_guard guard(SharedLock());
  return SharedFolder();
}

void SetRememberedBarcodeFolder(std::string folder) {
  std::lock_guard guard(SharedLock());
  SharedFolder() = std::move(folder);
}

void SetCaptureMessageHandler(std::function<void(const CaptureMessage&)> handler) {
  std::lock_guard guard(SharedLock());
  SharedHandler() = std::move(handler);
}

void ShowCaptureMessage(const CaptureMessage& message) {
  std::function<void(const CaptureMessage&)> handler;
  {
    std::lock_guard guard(SharedLock());
    handler = SharedHandler();
  }
  if (handler) handler(message);
  else platform::DebugOutput("message: " + message.text);
}

platform::FilePlacement NewCaptureFile() { return platform::FilePlacement::NewFile(platform::NextDashedName); }

fs::path CCaptureImageHelper::SaveJpg(const cv::Mat& picture, const fs::path& pathWithoutExtension,
                                      const platform::FilePlacement& placement) {
  return SaveJpegAs(picture, pathWithoutExtension, ".jpg", settings_, placement);
}

fs::path CCaptureImageHelper::SaveTif(const cv::Mat& picture, const fs::path& pathWithoutExtension,
                                      const platform::FilePlacement& placement) {
  if (pathWithoutExtension.empty() || picture.empty()) return {};
  const fs::path path = WithSuffix(pathWithoutExtension, ".tif");
  CBilevelTiff tiff;
  tiff.SetResolution(settings_.xDpi, settings_.yDpi);
  tiff.SetFileName(path);
  tiff.SetPlacement(placement);
  if (tiff.AddPage(picture) != 0) {
    platform::DebugOutput("the picture could not be written as " + path.string());
    return {};
  }
  return tiff.WrittenPath();
}

int CCaptureImageHelper::SaveCaptures(const std::vector<cv::Mat>& pictures, const fs::path& baseName,
                                      std::vector<fs::path>& savedPaths) {
  const CSysParam& s = settings_;
  const bool collecting = s.multipageKind != 0 || s.merge;
  fs::path name = baseName;
  bool namedByCode = false;
  bool inCodeFolder = false;

  const std::string folder = RememberedBarcodeFolder();
  if (s.barcodeFolders && s.recognizeBarcode && !collecting && !folder.empty()) {
    // The base name was free in the storage folder; the code's folder holds pages of its own.
    name = s.currentStorageFolder / folder / baseName.filename();
    // The folder may have been removed since its separator sheet; the pages still need a home.
    std::error_code error;
    fs::create_directories(name.parent_path(), error);
    name = FreeBaseName(name);
    inCodeFolder = true;
  }
  std::vector<fs::path> failed;

  if (s.recognizeBarcode) {
    std::vector<std::string> codes;
    // One scan a page: zbar reads the page as it is, black and white or not.
    for (const cv::Mat& picture : pictures) {
      std::vector<std::string> found;
      ScanBarcodes(found, picture);
      codes.insert(codes.end(), found.begin(), found.end());
    }

    if (collecting) {
      for (std::size_t i = 1; i < codes.size(); i += 2) {
        const std::string data = AnsiToAnsiCopy(codes[i]);
        if (IsValidBarcodeName(data)) collectedCodes_.push_back(data);
      }
    } else if (codes.empty()) {
      if (!s.barcodeFolders) ShowCaptureMessage({notRecognisedMessage_, "", MessageIcon::kNone});
    } else if (s.barcodeTextFile) {
      const fs::path textFile = WithSuffix(name, ".txt");
      std::vector<std::string> pairs;
      for (const std::string& text : codes) pairs.push_back(AnsiToAnsiCopy(text));
      if (const std::optional<std::string> json = BuildCodeJson(pairs)) {
        if (auto written = platform::WriteFile(textFile, *json, NewCaptureFile())) {
          ShowCaptureMessage(
              {savedInMessage_ + " " + written->string() + " !", "", MessageIcon::kInformation});
        } else {
          failed.push_back(textFile);
        }
      }
    } else {
      const std::string data = AnsiToAnsiCopy(codes[1]);
      if (s.barcodeFolders) {
        // A separator sheet: it opens the folder for the following pages and is not saved.
        if (!IsValidBarcodeName(data)) {
          ShowCaptureMessage({kFolderMessage, kFolderCaption, MessageIcon::kNone});
          SetRememberedBarcodeFolder({});
          return 0;
        }
        const fs::path target = s.currentStorageFolder / data;
        std::error_code error;
        if (!fs::create_directory(target, error)) {
          ShowCaptureMessage({kFolderMessage, kFolderCaption, MessageIcon::kNone});
        }
        SetRememberedBarcodeFolder(fs::is_directory(target, error) ? data : std::string());
        return 0;
      }
      if (IsValidBarcodeName(data)) {
        name = name.parent_path() / data;
        namedByCode = true;
      } else {
        const bool tooLong = IsValidNamePart(data) && !FitsAsBaseName(data);
        ShowCaptureMessage({tooLong ? tooLongMessage_ : specialCharacterMessage_, "", MessageIcon::kError});
        name = baseName;
      }
    }
  }

  const fs::path first = name;
  // Only where the user said yes to replacing the file of the prompt's name is it replaced.
  const bool replacing = replaceConfirmed_ && pictures.size() == 1 && !namedByCode && !inCodeFolder;
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const std::string number = pictures.size() >= 2 ? IndexSuffix(static_cast<int>(i)) : std::string();
    fs::path target = WithSuffix(first, number);
    // The same code on another sheet must not replace the earlier sheet's file.
    if (namedByCode) target = FreeName(target);
    // A name taken after it was chosen (two captures named before either was saved) moves on:
    // a code's name as the same code on another sheet does, others as numbered names do, with
    // the picture's number after the free suffix.
    const platform::FilePlacement placement =
        replacing ? platform::FilePlacement::Replacing()
                  : platform::FilePlacement::NewFile([&, number](const fs::path& wanted, int attempt) {
                      if (attempt > 9997) return fs::path();
                      const std::string free = namedByCode ? IndexSuffix(attempt) : FreeSuffix(attempt);
                      return WithSuffix(first, free + number + wanted.extension().string());
                    });
    const cv::Mat& picture = pictures[i];
    const bool blackAndWhite = s.colorMode == 2;
    fs::path saved;
    fs::path wanted = WithSuffix(target, ".jpg");
    auto byWriter = [&](const fs::path& base, const char* extension) {
      wanted = WithSuffix(base, extension);
      fs::path written;
      if (SaveMatByExtension(wanted, picture, placement, &written)) return written;
      return fs::path();
    };
    switch (s.imageFormat) {
      case 1: saved = byWriter(target, ".BMP"); break;
      case 3: saved = byWriter(target, ".PNG"); break;
      case 4:
        if (blackAndWhite) {
          wanted = WithSuffix(target, ".tif");
          saved = SaveTif(picture, target, placement);
        } else {
          saved = byWriter(target, ".TIF");
        }
        break;
      case 5:
        wanted = WithSuffix(target, ".GIF");
        saved = SaveJpegAs(picture, target, ".GIF", s, placement);
        break;
      // The strip reads these files as they are: nothing is written beside them.
      case 6: saved = byWriter(target, ".tga"); break;
      case 7: saved = byWriter(target, ".ras"); break;
      case 0:
        if (blackAndWhite) {
          wanted = WithSuffix(target, ".tif");
          saved = SaveTif(picture, target, placement);
        } else {
          saved = SaveJpg(picture, target, placement);
        }
        break;
      default:  // 2, and an index a hand-edited settings file made up
        saved = SaveJpg(picture, target, placement);
        break;
    }
    if (!saved.empty()) savedPaths.push_back(saved);
    else if (!picture.empty()) failed.push_back(wanted);
  }
  if (!failed.empty()) {
    std::string text;
    for (const fs::path& path : failed) text += (text.empty() ? "" : "\n") + saveFailedMessage_ + " " + path.string();
    ShowCaptureMessage({text, "", MessageIcon::kError});
  }
  return 0;
}

}  // namespace orvane::imaging
