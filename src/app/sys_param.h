// `CSysParam`: the one record of every setting of the capture station, loaded from and saved to
// "Sys.ini". A plain value type: the main window holds the master, every other holder a copy, and
// every copy names the same file.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/ini_file.h"

namespace orvane {

// The column of a table of texts in the interface languages for `language` (`CSysParam::language`):
// 0 Simplified Chinese, 1 Traditional Chinese, 2 English; any other reads as the first.
inline int TextColumn(int language) { return language == 1 || language == 2 ? language : 0; }

// One camera as the settings know it.
struct CDeviceSlot {
  int kind = -1;               // -1 unknown, 0 to 12 model codes, 100 device-library camera
  std::string vendorId;        // four upper-case hexadecimal digits
  std::string productId;       // four upper-case hexadecimal digits
  std::string deviceText;      // device-library address, up to 20 bytes
  int width = 0;               // preferred capture size; -1 none chosen
  int height = 0;
  bool mjpgCapable = false;    // the preview offers MJPG
  bool startRetry = false;     // retry a failed first start once in YUY2; nothing sets it
  bool stillPinCapable = false;
  bool operator==(const CDeviceSlot&) const = default;
};

struct CropRect {
  int left = 0;
  int top = 0;
  int right = 100;
  int bottom = 100;
  bool operator==(const CropRect&) const = default;
};

// Why a name was refused: BuildFileName then gives the empty name, as on Cancel.
struct NameRefusal {
  enum class Reason { kUnsafeCharacters, kTooLong };
  Reason reason = Reason::kUnsafeCharacters;
  bool prefix = false;  // the prefix of numbered names; else the name the free-name prompt gave
  std::string name;
  std::string message;  // what the user is told, in the settings' language
};

// What naming needs from outside: the local time, the free-name prompt (language, folder,
// extension -> the entered name, or nothing on Cancel) and whoever tells the user why a name was
// refused (without it the reason goes to the diagnostics output). Injected so naming runs
// without a window.
struct NamingHooks {
  std::function<std::tm()> localTime;
  std::function<std::optional<std::string>(int language, const std::filesystem::path& folder,
                                           const std::string& extension)>
      askFreeName;
  std::function<void(const NameRefusal&)> nameRefused;

  // The system clock and no prompt (the free-name mode then gives the empty name).
  static NamingHooks System();
};

class CSysParam {
 public:
  // Cameras: document, portrait, third.
  CDeviceSlot documentCamera;
  CDeviceSlot portraitCamera;
  CDeviceSlot thirdCamera;

  int viewMode = 0;  // 0 to 6
  int exposure = -3;
  bool autoExposure = true;
  int rotation = 0;   // 0, 90, 180, 270
  int colorMode = 0;  // 0 colour, 1 grey, 2 black and white, 3 negative
  std::string prefix = "IMG";
  std::string prefixChoices;  // separated by "|"
  int runningIndex = 0;
  int namingMode = 1;  // 0 prefix and index, 1 date and time, 2 free name
  int cropMode = 0;    // 0 none, 1 automatic, 2 manual rectangle
  CropRect documentCrop;
  CropRect portraitCrop;
  CropRect captureCrop;  // set before every capture from the display's selection
  bool merge = false;
  bool recognizeBarcode = false;
  int multipageKind = 0;  // 0 off, 1 TIFF, 2 PDF
  int xDpi = 96;
  int yDpi = 96;
  float referenceDpi = 0.0f;
  int jpegQuality = 80;
  int trimLeft = 0;
  int trimTop = 0;
  int trimRight = 0;
  int trimBottom = 0;
  int imageFormat = 0;  // 0 to 7, see GetImageExtension
  int videoFormat = 0;  // 0 ".asf", 1 ".avi", 2 ".wmv"
  bool dateWatermark = false;
  bool customWatermark = false;
  std::string watermarkText;
  int watermarkPosition = 4;  // 0 top left, 1 top right, 2 bottom left, 3 bottom right, 4 centre
  int watermarkSize = 256;
  int watermarkTransparency = 50;
  int watermarkColor = 255;  // 0x00BBGGRR
  bool dateFolder = true;
  std::filesystem::path storageFolder;
  bool shadowRemoval = false;
  bool deformationRepair = false;
  bool barcodeFolders = false;
  bool keepEveryDocument = false;
  bool barcodeTextFile = false;
  bool orientationCheck = false;
  bool keepMergeSources = true;
  int noiseSize = 1;  // 1 to 20
  bool englishOcr = false;
  std::filesystem::path currentStorageFolder;  // storage folder, plus the date sub-folder
  bool channelFlag = false;
  int printMode = 0;  // 0 one to one, 1 fit to page
  bool mjpgMode = false;
  bool shutterSound = true;
  bool pictureInPicture = true;
  int middleKeyFunction = 0;  // 0 print, 1 recognise barcode
  bool stillCapture = false;
  int modelProfile = -1;
  std::string extraInfo;         // field names separated by ";"
  std::string companionCaption;  // read, never written
  int language = 0;              // 0 Simplified Chinese, 1 Traditional Chinese, 2 English
  int lastSettingsTab = 0;
  CIniFile ini;
  // Load found the settings file but could not read it (see CIniFile::Read): the record is on
  // its defaults, and no save writes the file, so the settings it holds survive the run. Copies
  // of the record carry it.
  bool settingsFileUnreadable = false;

  bool operator==(const CSysParam&) const = default;

  // The settings file: kept when it exists, else created empty first. False when it can be
  // neither found nor created; Load then gives the defaults and Save fails.
  bool SetIniPath(const std::filesystem::path& path);
  // Reads every key with its default and range rules, then saves the normalised file. A file
  // that cannot be read gives the defaults and is not saved (false, settingsFileUnreadable).
  bool Load();
  // Writes every key in the fixed order, the whole file at once. False when it cannot be written
  // (a read-only file is left as it was) and when it cannot be read (then it is not written).
  bool Save();

  // Storage folders and names.
  static std::filesystem::path GetDefaultStorageFolder();
  // Creates every folder level of `filePath` up to its last "/".
  static bool CreateFolderChain(const std::filesystem::path& filePath);
  // Start-up: the current storage folder from the storage folder and the date, both made to exist.
  bool ResolveStorageFolders(const std::tm& today);
  // Where captures of `today` go: the storage folder, or its folder of the day with dateFolder.
  std::filesystem::path CurrentStorageFolder(const std::tm& today) const;
  // The next picture's path without extension, by naming mode; empty on Cancel, and when the
  // prefix or the free name cannot stand in a file name (unsafe characters, or too long to leave
  // room for suffixes and extension), which `hooks.nameRefused` is told. In the numbered and
  // dated modes an existing name gets a free suffix so nothing is overwritten.
  std::filesystem::path BuildFileName(std::string_view extension = {},
                                      const NamingHooks& hooks = NamingHooks::System()) const;
  // The base name used while pages are collected for a merge, one PDF or a multipage TIFF.
  std::filesystem::path BuildTempFileName(const NamingHooks& hooks = NamingHooks::System()) const;
  std::string GetImageExtension() const;
  std::string GetWatermarkText(const NamingHooks& hooks = NamingHooks::System()) const;
};

// File names hold at most 255 bytes. A base name leaves room for what the savers add to it: a
// picture's number ("_00" to "_999"), a free suffix ("-2" to "-9999", "_00" to "_9999") and an
// extension (".jpg", ".txt", ...), 13 bytes. The temporary names files are written under are
// short whatever the final name.
inline constexpr std::size_t kMaxFileNameBytes = 255;
inline constexpr std::size_t kBaseNameReserve = 13;
// Whether a base file name (no folder, no extension) leaves that room.
bool FitsAsBaseName(std::string_view baseName);
// `base` (a path without extension) when nothing in its folder bears that name with any
// extension or "_NN" number, else the first free of base-2, base-3, ...
std::filesystem::path FreeBaseName(const std::filesystem::path& base);

// True when something (folder or file) exists at `path`; one trailing "/" is ignored.
bool FolderExists(const std::filesystem::path& path);
// Creates the folder with every missing level; true when it exists afterwards.
bool CreateFolderPath(const std::filesystem::path& path);
// A prefix or free name that can stand as a file name: not empty, no "/", no "..", no control
// characters and none of the characters Windows cannot store.
bool IsValidNamePart(std::string_view name);
// "Morvath Software" in the common application-data folder, created when missing; the process's
// working directory is set to it, once, at start-up. Empty when it cannot be made.
std::filesystem::path GetCommonDataFolder();

}  // namespace orvane
