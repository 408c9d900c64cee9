#include "imaging/image_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <tiffio.h>

#include "imaging/jpeg_file.h"
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

void AppendBigEndian(std::string& bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
}

bool IsPlainPicture(const cv::Mat& picture) {
  return !picture.empty() && picture.depth() == CV_8U &&
         (picture.channels() == 1 || picture.channels() == 3);
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

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
         static_cast<unsigned char>(bytes[at + 3]);
}

std::int64_t LittleEndian(const std::string& bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return count == 4 ? static_cast<std::int32_t>(value) : static_cast<std::int16_t>(value);
}

struct DeclaredSize {
  long long width;
  long long height;
};

// The size a picture file's header declares, for the formats whose header is read here; nothing
// for other files, which OpenCV's own limits bound.
std::optional<DeclaredSize> ReadDeclaredSize(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::string head(256 * 1024, '\0');  // room for the markers before a JPEG's frame header
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(file.gcount()));
  const auto startsWith = [&](std::string_view magic) { return head.compare(0, magic.size(), magic) == 0; };
  if (startsWith("\xFF\xD8\xFF")) {
    int width = 0, height = 0;
    if (!ReadJpegSize(reinterpret_cast<const std::uint8_t*>(head.data()), head.size(), width, height)) return {};
    return DeclaredSize{width, height};
  }
  if (startsWith("\x89PNG\r\n\x1A\n") && head.size() >= 24) {
    return DeclaredSize{BigEndian32(head, 16), BigEndian32(head, 20)};
  }
  if (startsWith("\x59\xA6\x6A\x95") && head.size() >= 12) {
    return DeclaredSize{BigEndian32(head, 4), BigEndian32(head, 8)};
  }
  if (startsWith("BM") && head.size() >= 26) {
    // A 12-byte core header has 16-bit sides; every later one 32-bit, the height signed.
    const int bytes = LittleEndian(head, 14, 4) == 12 ? 2 : 4;
    const std::int64_t height = LittleEndian(head, 18 + bytes, bytes);
    return DeclaredSize{LittleEndian(head, 18, bytes), height < 0 ? -height : height};
  }
  if (startsWith(std::string_view("II*\0", 4)) || startsWith(std::string_view("MM\0*", 4))) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) return {};
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFClose(tiff);
    return DeclaredSize{width, height};
  }
  return {};
}

}  // namespace

std::string EncodeTga(const cv::Mat& picture) {
  if (!IsPlainPicture(picture) || picture.cols > 0xFFFF || picture.rows > 0xFFFF) {
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

std::string EncodeSunRaster(const cv::Mat& picture) {
  if (!IsPlainPicture(picture)) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(picture.cols) * picture.channels();
  const std::size_t paddedRow = rowBytes + rowBytes % 2;
  const std::size_t length = paddedRow * static_cast<std::size_t>(picture.rows);
  if (length > 0xFFFFFFFFu) return {};
  std::string bytes;
  bytes.reserve(32 + length);
  AppendBigEndian(bytes, 0x59A66A95);  // magic
  AppendBigEndian(bytes, static_cast<std::uint32_t>(picture.cols));
  AppendBigEndian(bytes, static_cast<std::uint32_t>(picture.rows));
  AppendBigEndian(bytes, picture.channels() == 1 ? 8 : 24);
  AppendBigEndian(bytes, static_cast<std::uint32_t>(length));
  AppendBigEndian(bytes, 1);  // standard type: 24-bit pixels stored as BGR
  AppendBigEndian(bytes, 0);  // no colour map: 8-bit pixels are grey
  AppendBigEndian(bytes, 0);
  for (int y = 0; y < picture.rows; ++y) {
    bytes.append(picture.ptr<char>(y), rowBytes);
    if (paddedRow != rowBytes) bytes += '\0';
  }
  return bytes;
}

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
  if (const std::optional<DeclaredSize> size = ReadDeclaredSize(path);
      size && !WithinPictureCeiling(size->width, size->height)) {
    return fail(path.string() + " declares " + std::to_string(size->width) + " x " +
                std::to_string(size->height) + " pixels, more than a picture may have");
  }
  std::string why;
  cv::Mat picture = DecodePictureFile(path, &why);
  if (picture.empty()) return fail(path.string() + " is no picture that can be read: " + why);
  return picture;
}

}  // namespace orvane::imaging
