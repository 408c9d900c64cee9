// Image files of any format the program stores, chosen by the file name's extension.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include <opencv2/core.hpp>

#include "imaging/picture_codecs.h"
#include "platform/file_io.h"

namespace orvane::imaging {

// Writes the picture in the format named by the file's own extension: ".jpg"/".jpeg" (quality
// 95, 96 dots per inch), ".bmp", ".png", ".tif"/".tiff", ".tga" and ".ras" (any case). The picture is encoded in memory and written whole or not at all, every
// write checked; it takes its name by `placement` (by default never replacing a file and failing
// when the name is taken), and `written`, when given, receives the path it got. False for a name
// without extension, an extension no encoder knows, an empty picture or a failed write; never
// throws.
bool SaveMatByExtension(const std::filesystem::path& path, const cv::Mat& picture,
                        const platform::FilePlacement& placement = {},
                        std::filesystem::path* written = nullptr);

// The largest picture file that is read. The largest camera's picture, 13 megapixels, is 40 MB
// as an uncompressed 24-bit BMP or TIFF: a dozen of those still fit, while a file that would take
// gigabytes of memory (and more again for the picture decoded from it) is refused unread.
inline constexpr std::uintmax_t kMaxPictureFileBytes = std::uintmax_t{512} << 20;

// A JPEG, TIFF (its first page), Sun raster, PNG, BMP or other picture file Qt reads, as
// three-channel BGR (grey replicated, alpha dropped, EXIF orientation ignored), read once and
// decoded by DecodePicture. Empty for an empty path, a file that cannot be read (anything but a
// regular file, and a file past kMaxPictureFileBytes, is refused unread), and a JPEG, PNG,
// BMP, TIFF or Sun raster file whose header declares a picture beyond the ceiling of
// kMaxPictureSide and kMaxPicturePixels (refused before it is decoded); `error`, when given, then
// says why. Never throws.
cv::Mat LoadImageFile(const std::filesystem::path& path, std::string* error = nullptr);

}  // namespace orvane::imaging
