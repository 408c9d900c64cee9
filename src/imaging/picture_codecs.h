// The lossless picture formats the program writes and reads besides JPEG, encoded in memory:
// BMP and Sun raster by small codecs of our own, TIFF through libtiff, PNG and whatever else Qt
// reads through QImage. (OpenCV's codec module is not used: it loads some sixty libraries, about
// 40 MB of the station's memory, for formats the station never touches.)
#pragma once

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>

namespace orvane::imaging {

// 8-bit grey (with a grey palette) or 24-bit BGR, bottom row first, rows padded to four bytes;
// no resolution. Empty for other pictures.
std::string EncodeBmp(const cv::Mat& picture);
// Grey or colour PNG, compressed for speed, no resolution stored. Empty for other pictures.
std::string EncodePng(const cv::Mat& picture);
// One page, grey or RGB, LZW with horizontal differencing in strips of about 8 KB. Empty for
// other pictures.
std::string EncodeTiff(const cv::Mat& picture);

// The picture in a file of any format read here (JPEG, TIFF's first page, Sun raster, PNG, BMP
// and the others Qt reads), as three-channel BGR: grey replicated, alpha dropped, EXIF
// orientation ignored. Empty, with the reason in `error`, for a file none of them reads. The
// caller checks the declared size first.
cv::Mat DecodePictureFile(const std::filesystem::path& path, std::string* error);

}  // namespace orvane::imaging
