#include "imaging/image_file.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "imaging/opencv_compat.h"
#include "imaging/pending_file.h"
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

bool WriteBytes(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::string EncodeTga(const cv::Mat& picture) {
  if (picture.empty() || picture.depth() != CV_8U ||
      (picture.channels() != 1 && picture.channels() != 3) || picture.cols > 0xFFFF ||
      picture.rows > 0xFFFF) {
    return {};
  }
  const bool grey = picture.channels() == 1;
  std::string bytes(18, '\0');
  bytes[2] = grey ? 3 : 2;  // uncompressed grey / true colour
  bytes[12] = static_cast<char>(picture.cols & 0xFF);
  bytes[13] = static_cast<char>(picture.cols >> 8);
  bytes[14] = static_cast<char>(picture.rows & 0xFF);
  bytes[15] = static_cast<char>(picture.rows >> 8);
  bytes[16] = grey ? 8 : 24;
  bytes[17] = 0x20;  // top-left origin
  const std::size_t rowBytes = static_cast<std::size_t>(picture.cols) * picture.channels();
  bytes.reserve(bytes.size() + rowBytes * picture.rows);
  for (int y = 0; y < picture.rows; ++y) {
    bytes.append(picture.ptr<char>(y), rowBytes);  // TGA stores BGR, as the matrix does
  }
  return bytes;
}

bool SaveMatByExtension(const fs::path& path, const cv::Mat& picture) {
  const std::string extension = LowerExtension(path);
  if (path.empty() || extension.size() < 2 || picture.empty()) return false;

  PendingFile pending(path);
  if (!pending.ok()) return false;
  if (extension == ".tga") {
    const std::string bytes = EncodeTga(picture);
    if (bytes.empty() || !WriteBytes(pending.descriptor(), bytes)) return false;
    return pending.Commit();
  }
  try {
    if (!cv::haveImageWriter(path.string()) || !cv::imwrite(pending.path().string(), picture)) {
      return false;
    }
  } catch (const cv::Exception& error) {
    platform::DebugOutput("cannot write " + path.string() + ": " + error.what());
    return false;
  }
  return pending.Commit();
}

cv::Mat LoadImageFile(const fs::path& path) {
  if (path.empty()) return {};
  // IMREAD_COLOR replicates grey into three channels and drops alpha.
  return compat::ReadImage(path.string(), cv::IMREAD_COLOR);
}

}  // namespace orvane::imaging
