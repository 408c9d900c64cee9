#include "app/sys_param.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "platform/diagnostics.h"

namespace orvane {
namespace fs = std::filesystem;

namespace {

// A base-10 integer prefix as the C runtime reads it: leading blanks and a sign allowed, the
// first other character ends it, no digits give 0. Out-of-range values are clamped.
int ParseInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// A floating-point prefix, independent of the locale's decimal separator.
double ParseDouble(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  double value = 0.0;
  std::from_chars(text.data() + i, text.data() + text.size(), value);
  return value;
}

// "%f" without the locale: six decimals and a point.
std::string FormatFixed(double value) {
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  if (error != std::errc()) return "0.000000";
  return std::string(buffer, end);
}

int InRangeOr(int value, int low, int high, int fallback) {
  return value >= low && value <= high ? value : fallback;
}

// "left,top,right,bottom"; a value with fewer than three commas leaves the rectangle alone.
void ParseRect(const std::string& text, CropRect& rect) {
  if (text.empty()) return;
  std::size_t first = text.find(',');
  std::size_t second = first == std::string::npos ? first : text.find(',', first + 1);
  std::size_t third = second == std::string::npos ? second : text.find(',', second + 1);
  if (third == std::string::npos) return;
  rect.left = ParseInt(std::string_view(text).substr(0, first));
  rect.top = ParseInt(std::string_view(text).substr(first + 1, second - first - 1));
  rect.right = ParseInt(std::string_view(text).substr(second + 1, third - second - 1));
  rect.bottom = ParseInt(std::string_view(text).substr(third + 1));
}

std::string FormatRect(const CropRect& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
         std::to_string(rect.bottom);
}

const char* Upper(bool value) { return value ? "TRUE" : "FALSE"; }
const char* Lower(bool value) { return value ? "true" : "false"; }

}  // namespace

bool CSysParam::SetIniPath(const fs::path& path) {
  if (ini.SetPath(path)) return true;
  std::error_code error;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
  std::ofstream(path, std::ios::app).close();
  if (ini.SetPath(path)) return true;
  platform::DebugOutput("cannot create the settings file " + path.string() + ": the defaults are used");
  return false;
}

bool CSysParam::Load() {
  const std::optional<IniDocument> stored = ini.Read();
  settingsFileUnreadable = !stored;
  const IniDocument file = stored.value_or(IniDocument());
  auto read = [&](std::string_view section, std::string_view key) {
    return file.Get(section, key).value_or(std::string());
  };
  auto number = [&](std::string_view section, std::string_view key, int fallback) {
    std::string value = read(section, key);
    return value.empty() ? fallback : ParseInt(value);
  };
  auto isUpperTrue = [&](std::string_view section, std::string_view key) { return read(section, key) == "TRUE"; };
  auto isLowerTrue = [&](std::string_view section, std::string_view key) { return read(section, key) == "true"; };

  fs::path folder = read("FILE", "FOLDPATH");
  storageFolder = folder.is_absolute() ? folder : GetDefaultStorageFolder();
  prefix = read("FILE", "PREFIX");
  if (!IsValidNamePart(prefix)) prefix = "IMG";
  prefixChoices = read("FILE", "PRECHOOSE");
  if (prefixChoices.empty()) prefixChoices = "IMG|TXT|JPG";
  runningIndex = number("IMAGE", "INDEX", 0);
  const std::string naming = read("FILE", "TypeofImageName");
  namingMode = naming.empty() || naming == "1" ? 1 : naming == "0" ? 0 : 2;
  xDpi = number("IMAGE", "XDPI", -1);
  yDpi = number("IMAGE", "YDPI", -1);
  if (xDpi <= 0) xDpi = -1;
  if (yDpi <= 0) yDpi = -1;
  const std::string refDpi = read("IMAGE", "REFDPI");
  referenceDpi = refDpi.empty() ? -1.0f : static_cast<float>(ParseDouble(refDpi));
  if (!std::isfinite(referenceDpi)) referenceDpi = -1.0f;
  // Kept as the six decimals it is saved with, so the value read is the value a save keeps.
  referenceDpi = static_cast<float>(ParseDouble(FormatFixed(referenceDpi)));
  jpegQuality = InRangeOr(number("IMAGE", "JPGQuality", 70), 0, 100, 70);
  const std::string play = read("SOUND", "Play");
  shutterSound = play.empty() || play == "true";
  const std::string autoExposureText = read("Camera", "AutoExposure");
  autoExposure = autoExposureText.empty() || autoExposureText == "true";
  exposure = number("Camera", "Exposure", -3);
  noiseSize = InRangeOr(number("IMAGE", "NoiseSize", 5), 1, 20, 5);
  documentCamera.width = number("IMAGE", "DocCamWidth", -1);
  documentCamera.height = number("IMAGE", "DocCamHeight", -1);
  portraitCamera.width = number("IMAGE", "PorCamWidth", -1);
  portraitCamera.height = number("IMAGE", "PorCamHeight", -1);
  thirdCamera.width = number("IMAGE", "AdvCamWidth", -1);
  thirdCamera.height = number("IMAGE", "AdvCamHeight", -1);
  printMode = InRangeOr(number("PRINT", "TYPE", 0), 0, 1, 0);
  trimLeft = number("IMAGE", "CutLeft", 0);
  trimTop = number("IMAGE", "CutTop", 0);
  trimRight = number("IMAGE", "CutRight", 0);
  trimBottom = number("IMAGE", "CutBottom", 0);
  cropMode = InRangeOr(number("IMAGE", "CUTPAGETYPE", 0), 0, 2, 0);
  keepEveryDocument = isUpperTrue("IMAGE", "ISMUTICUTPAGE");
  dateWatermark = isUpperTrue("WaterMark", "DateMark");
  customWatermark = isUpperTrue("WaterMark", "Custom");
  watermarkText = read("WaterMark", "Name");
  watermarkColor = number("WaterMark", "Color", 255);
  watermarkPosition = InRangeOr(number("WaterMark", "Position", 4), 0, 4, 4);
  watermarkSize = number("WaterMark", "Size", 256);
  if (watermarkSize <= 0) watermarkSize = 256;
  watermarkTransparency = InRangeOr(number("WaterMark", "Transparency", 50), 0, 100, 50);
  imageFormat = InRangeOr(ParseInt(read("IMAGE", "IMG_FORMAT")), 0, 7, 0);
  // 0 ".asf", 1 ".avi", 2 ".wmv": all three can be chosen and must survive a restart.
  videoFormat = InRangeOr(ParseInt(read("IMAGE", "VDO_FORMAT")), 0, 2, 0);
  multipageKind = InRangeOr(ParseInt(read("IMAGE", "PDFORTIF")), 0, 2, 0);
  shadowRemoval = isUpperTrue("IMAGE", "SHADOW");
  pictureInPicture = isUpperTrue("IMAGE", "2IMAGEIN1");
  englishOcr = isUpperTrue("OTHER", "ENGOCR");
  orientationCheck = isUpperTrue("IMAGE", "DOCCHECK");
  deformationRepair = isUpperTrue("IMAGE", "DEFORMATION");
  barcodeFolders = isUpperTrue("IMAGE", "MULTIDOC");
  barcodeTextFile = isUpperTrue("IMAGE", "BARCODETOFILE");
  rotation = ParseInt(read("OTHER", "ROTATION"));
  if (rotation != 0 && rotation != 90 && rotation != 180 && rotation != 270) rotation = 0;
  merge = isUpperTrue("OTHER", "Merge");
  recognizeBarcode = isUpperTrue("OTHER", "RECOGNIZE");
  colorMode = InRangeOr(ParseInt(read("IMAGE", "COLOR")), 1, 3, 0);
  ParseRect(read("POSITION", "Document"), documentCrop);
  ParseRect(read("POSITION", "Portrait"), portraitCrop);
  keepMergeSources = read("OTHER", "SRC") != "FALSE";
  const std::string languageText = read("Language", "Current");
  language = languageText == "CNT" ? 1 : languageText == "EN" ? 2 : 0;
  dateFolder = read("IMAGE", "DATEFOLDER") != "0";
  channelFlag = isLowerTrue("IMAGE", "CHANNELS");
  stillCapture = isLowerTrue("Camera", "StillCapture");
  mjpgMode = isUpperTrue("OTHER", "MJPGMODE");
  companionCaption = read("FennicQt", "Caption");
  middleKeyFunction = InRangeOr(number("OTHER", "KEYFUNC", 0), 0, 1, 0);
  documentCamera.kind = number("Device", "Type", -1);
  extraInfo = read("OTHER", "ExtraInfo");

  if (settingsFileUnreadable) {
    platform::DebugOutput("cannot read the settings file " + ini.GetPath().string() +
                          ": the defaults are used and the file is left as it is");
    return false;
  }
  if (!Save()) {
    platform::DebugOutput("cannot write the settings file " + ini.GetPath().string());
    return false;
  }
  return true;
}

bool CSysParam::Save() {
  // Saving over a file that was not read, or cannot be now, would lose whatever it holds.
  if (settingsFileUnreadable) return false;
  std::optional<IniDocument> stored = ini.Read();
  if (!stored) return false;
  IniDocument file = std::move(*stored);
  auto write = [&](std::string_view section, std::string_view key, std::string_view value) {
    file.Set(section, key, value);
  };
  auto writeNumber = [&](std::string_view section, std::string_view key, long value) {
    write(section, key, std::to_string(value));
  };

  // The order below is the order keys and sections appear in a new file.
  write("FILE", "FOLDPATH", storageFolder.string());
  writeNumber("IMAGE", "XDPI", xDpi);
  writeNumber("IMAGE", "YDPI", yDpi);
  write("IMAGE", "REFDPI", FormatFixed(referenceDpi));
  writeNumber("IMAGE", "JPGQuality", jpegQuality);
  write("SOUND", "Play", Lower(shutterSound));
  write("FILE", "TypeofImageName", namingMode == 0 ? "0" : namingMode == 1 ? "1" : "2");
  writeNumber("IMAGE", "INDEX", runningIndex);
  write("FILE", "PREFIX", prefix);
  write("FILE", "PRECHOOSE", prefixChoices);
  writeNumber("Camera", "Exposure", exposure);
  write("Camera", "StillCapture", Lower(stillCapture));
  write("Camera", "AutoExposure", Lower(autoExposure));
  writeNumber("IMAGE", "NoiseSize", noiseSize);
  writeNumber("IMAGE", "DocCamWidth", documentCamera.width);
  writeNumber("IMAGE", "DocCamHeight", documentCamera.height);
  writeNumber("IMAGE", "PorCamWidth", portraitCamera.width);
  writeNumber("IMAGE", "PorCamHeight", portraitCamera.height);
  writeNumber("IMAGE", "AdvCamWidth", thirdCamera.width);
  writeNumber("IMAGE", "AdvCamHeight", thirdCamera.height);
  writeNumber("IMAGE", "CutLeft", trimLeft);
  writeNumber("IMAGE", "CutTop", trimTop);
  writeNumber("IMAGE", "CutRight", trimRight);
  writeNumber("IMAGE", "CutBottom", trimBottom);
  write("WaterMark", "DateMark", Upper(dateWatermark));
  write("WaterMark", "Custom", Upper(customWatermark));
  write("WaterMark", "Name", watermarkText);
  writeNumber("WaterMark", "Color", watermarkColor);
  writeNumber("WaterMark", "Position", watermarkPosition);
  writeNumber("WaterMark", "Size", watermarkSize);
  writeNumber("WaterMark", "Transparency", watermarkTransparency);
  writeNumber("IMAGE", "IMG_FORMAT", imageFormat);
  writeNumber("IMAGE", "VDO_FORMAT", videoFormat);
  writeNumber("PRINT", "TYPE", printMode);
  writeNumber("IMAGE", "PDFORTIF", multipageKind);
  writeNumber("IMAGE", "CUTPAGETYPE", cropMode);
  write("IMAGE", "SHADOW", Upper(shadowRemoval));
  write("IMAGE", "2IMAGEIN1", Upper(pictureInPicture));
  write("OTHER", "ENGOCR", Upper(englishOcr));
  write("IMAGE", "ISMUTICUTPAGE", Upper(keepEveryDocument));
  write("IMAGE", "DOCCHECK", Upper(orientationCheck));
  write("IMAGE", "BARCODETOFILE", Upper(barcodeTextFile));
  write("IMAGE", "DEFORMATION", Upper(deformationRepair));
  write("IMAGE", "MULTIDOC", Upper(barcodeFolders));
  rotation %= 360;
  writeNumber("OTHER", "ROTATION", rotation);
  writeNumber("Device", "Type", documentCamera.kind);
  write("OTHER", "MERGE", Upper(merge));
  write("OTHER", "RECOGNIZE", Upper(recognizeBarcode));
  if (colorMode >= 0 && colorMode <= 3) writeNumber("IMAGE", "COLOR", colorMode);
  write("POSITION", "Document", FormatRect(documentCrop));
  write("POSITION", "Portrait", FormatRect(portraitCrop));
  write("OTHER", "SRC", Upper(keepMergeSources));
  write("Language", "Current", language == 1 ? "CNT" : language == 2 ? "EN" : "CN");
  writeNumber("OTHER", "KEYFUNC", middleKeyFunction);
  write("OTHER", "MJPGMODE", Upper(mjpgMode));
  writeNumber("IMAGE", "DATEFOLDER", dateFolder ? 1 : 0);
  write("IMAGE", "CHANNELS", Lower(channelFlag));
  write("OTHER", "ExtraInfo", extraInfo);

  return ini.Write(file);
}

}  // namespace orvane
