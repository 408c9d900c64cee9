// Image files of any format the program stores, chosen by the file name's extension.
#pragma once

#include <filesystem>

#include <opencv2/core.hpp>

namespace orvane::imaging {

// Writes the picture in the format named by the file's own extension (OpenCV's writers, and a
// small encoder of our own for ".tga", which OpenCV lacks). The file is written whole or not at
// all. False for a name without extension, an extension no writer knows, an empty picture or a
// failed write; never throws.
bool SaveMatByExtension(const std::filesystem::path& path, const cv::Mat& picture);

// Any picture file OpenCV can read, as three-channel BGR (grey replicated, alpha dropped, EXIF
// orientation ignored). Empty for an empty path or a file that cannot be read.
cv::Mat LoadImageFile(const std::filesystem::path& path);

// Uncompressed true-colour (BGR) or grey TGA, top row first. Empty for other pictures.
std::string EncodeTga(const cv::Mat& picture);

}  // namespace orvane::imaging
