// The lossless picture formats the program writes and reads besides JPEG, encoded in memory:
// BMP and Sun raster by small codecs of our own, TIFF through libtiff, PNG and whatever else Qt
// reads through QImage. (OpenCV's codec module is not used: it loads some sixty libraries, about
// 40 MB of the station's memory, for formats the station never touches.)
#pragma once

#include <optional>
#include <string>

#include <opencv2/core.hpp>

namespace orvane::imaging {

// 8-bit grey (with a grey palette) or 24-bit BGR, bottom row first, rows padded to four bytes;
// no resolution. Empty for other pictures.
std::string EncodeBmp(const cv::Mat& picture);
// Grey or colour PNG, compressed for speed, no resolution stored. Empty for other pictures.
std::string EncodePng(const cv::Mat& picture);
// Uncompressed true-colour (BGR) or grey TGA, top row first, with the TrueVision 2.0 footer that
// readers such as Qt's require (no extension or developer area). Empty for other pictures.
std::string EncodeTga(const cv::Mat& picture);
// Standard Sun raster: 24-bit BGR or 8-bit grey (no colour map), rows padded to even bytes.
// Empty for other pictures.
std::string EncodeSunRaster(const cv::Mat& picture);
// One page, grey or RGB, LZW with horizontal differencing in strips of about 8 KB. Empty for
// other pictures.
std::string EncodeTiff(const cv::Mat& picture);

// Dots per inch across and down.
struct Resolution {
  double x = 0;
  double y = 0;
};

// The resolution a JPEG's JFIF header or a TIFF's first page states, in dots per inch (converted
// from dots per centimetre). Nothing where none is stated: JFIF's aspect-ratio-only units, a TIFF
// without resolution or unit, a zero density, any other format.
std::optional<Resolution> StatedResolution(const std::string& bytes);

// The picture in the bytes of a file of any format read here (JPEG, TIFF's first page, Sun raster,
// uncompressed grey or true-colour TGA, PNG, BMP and the others Qt reads), as three-channel BGR:
// grey replicated, alpha dropped, EXIF orientation ignored. A JPEG, PNG, Sun raster, BMP or TIFF declaring a picture beyond the ceiling
// of WithinPictureCeiling is refused before it is decoded. Empty otherwise, with the reason in
// `error`, worded to follow the file's name ("declares 20001 x 1 pixels, more than a picture may
// have", "is no picture that can be read: ...").
cv::Mat DecodePicture(std::string bytes, std::string* error);

}  // namespace orvane::imaging
