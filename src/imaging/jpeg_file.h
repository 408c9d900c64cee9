// JPEG files and bytes through libjpeg: writing with a quality and a JFIF density in dots per
// inch, decoding camera frames and stills held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include <opencv2/core.hpp>

#include "platform/file_io.h"

namespace orvane::imaging {

// Writes a one-channel (grey) or three-channel (BGR) 8-bit picture as a baseline JPEG with the
// given quality (0 to 100) and densities in dots per inch. The file is written whole or not at
// all: a write error (a full disk) leaves no file behind and gives false, as does an unsupported
// picture. It takes its name by `placement` (by default it never replaces a file and fails when
// the name is taken); on success `writtenPath` holds the path written.
bool SaveMatAsJpeg(const cv::Mat& picture, std::string& writtenPath,
                   const std::filesystem::path& path, std::uint16_t xDensity,
                   std::uint16_t yDensity, int quality,
                   const platform::FilePlacement& placement = {});

// The same encoding into memory (used where JPEG data is embedded elsewhere). Empty on failure.
std::string EncodeJpeg(const cv::Mat& picture, std::uint16_t xDensity, std::uint16_t yDensity,
                       int quality);

// The largest picture the decoders make: 20000 pixels a side and 200 megapixels. A file, still
// or frame that declares more is refused before anything is allocated for it.
inline constexpr int kMaxPictureSide = 20000;
inline constexpr long long kMaxPicturePixels = 200'000'000;
bool WithinPictureCeiling(long long width, long long height);

// Decodes a JPEG held in memory into a grey or BGR picture; an empty matrix for bytes that are
// not a decodable grey or colour JPEG (random, truncated, CMYK) or that declare a picture beyond
// the ceiling. `error`, when given, then says why. Never throws.
cv::Mat DecodeJpegToMat(const std::uint8_t* bytes, std::size_t byteCount, std::string* error = nullptr);

// How a band-by-band decode ended.
enum class BandDecode { kFailed, kWhole, kRowsLost };

// Decodes a JPEG held in memory (grey or colour) into packed BGR rows at `destination` at
// 1/`reduction` (1, 2, 4 or 8) of each side, through libjpeg's scanline reading, `bandRows` rows
// at a time; after each band `rowsDone(rows)` says that rows [0, rows) are final. The pixels are
// those of the turbo decoder's tjDecompress2 at the same scale. kFailed for bytes that are not a
// JPEG, a fatal error in the data, or a picture larger than `capacity` bytes. A frame that ran out
// early (or whose data went wrong on the way) decodes on, its missing rows grey, as kRowsLost;
// surplus bytes before the end-of-picture marker, which some cameras send with every frame, lose
// nothing.
BandDecode DecodeJpegInBands(const std::uint8_t* bytes, std::size_t byteCount, int reduction,
                             std::uint8_t* destination, std::size_t capacity, int bandRows,
                             const std::function<void(int rows)>& rowsDone);

// The size a JPEG's header declares, read without decoding; false when the bytes hold no JPEG
// header.
bool ReadJpegSize(const std::uint8_t* bytes, std::size_t byteCount, int& width, int& height);

}  // namespace orvane::imaging
