#include "imaging/image_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/jpeg_file.h"
#include "platform/file_io.h"
#include "imaging/picture_codecs.h"
#include "platform/diagnostics.h"

namespace orvane::imaging {
namespace fs = std::filesystem;
namespace {

std::string LowerExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// The picture encoded for `extension` (lower case, with its dot); empty when no encoder takes it.
std::string Encode(const std::string& extension, const cv::Mat& picture) {
  try {
    if (extension == ".jpg" || extension == ".jpeg") return EncodeJpeg(picture, 96, 96, 95);
    if (extension == ".bmp" || extension == ".dib") return EncodeBmp(picture);
    if (extension == ".png") return EncodePng(picture);
    if (extension == ".tif" || extension == ".tiff") return EncodeTiff(picture);
    if (extension == ".tga") return EncodeTga(picture);
    if (extension == ".ras") return EncodeSunRaster(picture);
  } catch (const std::exception& error) {
    platform::DebugOutput("cannot encode a picture as " + extension + ": " + error.what());
  }
  return {};
}

std::string FailureText(platform::ReadFailure failure) {
  switch (failure) {
    case platform::ReadFailure::kMissing: return "there is no such file";
    case platform::ReadFailure::kNotAFile: return "it is no regular file";
    case platform::ReadFailure::kTooLarge:
      return "the file is larger than " + std::to_string(kMaxPictureFileBytes >> 20) + " MB";
    case platform::ReadFailure::kDenied: return "no permission to read the file";
    case platform::ReadFailure::kUnreadable: break;
    case platform::ReadFailure::kNoMemory: return "no memory for the file";
  }
  return "the file cannot be read";
}

}  // namespace

bool SaveMatByExtension(const fs::path& path, const cv::Mat& picture,
                        const platform::FilePlacement& placement, fs::path* written) {
  const std::string extension = LowerExtension(path);
  if (path.empty() || extension.size() < 2 || picture.empty()) return false;
  const std::string bytes = Encode(extension, picture);
  if (bytes.empty()) return false;
  std::optional<fs::path> placed = platform::WriteFile(path, bytes, placement);
  if (!placed) {
    platform::DebugOutput("the picture could not be written as " + path.string());
    return false;
  }
  if (written != nullptr) *written = std::move(*placed);
  return true;
}

cv::Mat LoadImageFile(const fs::path& path, std::string* error) {
  auto fail = [error](std::string why) {
    if (error != nullptr) *error = std::move(why);
    return cv::Mat();
  };
  if (path.empty()) return fail("no file named");
  platform::ReadFailure failure{};
  std::optional<std::string> bytes = platform::ReadWholeFile(path, kMaxPictureFileBytes, &failure);
  if (!bytes) return fail(path.string() + " is no picture that can be read: " + FailureText(failure));
  std::string why;
  cv::Mat picture = DecodePicture(std::move(*bytes), &why);
  if (picture.empty()) return fail(path.string() + " " + why);
  return picture;
}

}  // namespace orvane::imaging
