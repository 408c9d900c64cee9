// Grey conversions and the small text and picture helpers the imaging and document code share.
// Stateless; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

namespace orvane::imaging {

// The two grey conversions in use. Every caller names the one it needs:
//  kBgrToGrey     the true luminance of BGR data (blue 0.114, green 0.587, red 0.299): page
//                 detection, binarisation, the multi-camera joins, English recognition;
//  kRgbToGreyOnBgr the RGB formula applied to BGR data (blue 0.299, green 0.587, red 0.114), which
//                 the capture pipeline, the two-in-one merge and the watermark stamp use, so their
//                 pictures keep the grey levels users already have.
enum class GreyConversion { kBgrToGrey, kRgbToGreyOnBgr };

// A one-channel 8-bit copy of `picture` (1, 3 or 4 channels); a one-channel picture is copied as
// it is. Empty for an empty picture.
cv::Mat ToGrey(const cv::Mat& picture, GreyConversion conversion);

// Converts a UTF-16 text into the file-name code page (UTF-8 here) into `buffer` of `bufferSize`
// bytes, terminator included. Returns the bytes written including the terminator, 0 when the
// buffer is too small (nothing usable is left in it then). A lone surrogate becomes U+FFFD, so
// such a name no longer names its file.
std::size_t WideToAnsi(std::u16string_view text, char* buffer, std::size_t bufferSize);
// The same into a string (no size limit).
std::string WideToAnsi(std::u16string_view text);

// Re-encodes 8-bit text from `sourceCharset` (an iconv name; nullptr for the file-name code page
// itself) into the file-name code page. Valid text comes back unchanged; byte sequences invalid in
// the source become U+FFFD. Empty when the charset is unknown.
std::string AnsiToAnsiCopy(std::string_view text, const char* sourceCharset = nullptr);

// A bitmap in memory as a Windows-style DIB describes it: `firstRow` points at the top row and
// `pitch` is the signed distance in bytes to the next row down (negative for bottom-up storage).
struct BitmapView {
  const std::uint8_t* firstRow = nullptr;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::ptrdiff_t pitch = 0;
};

// 24 bits: three-channel BGR copy. 8 bits: the palette indices as one channel (the palette is not
// applied). 1 bit: one channel, most significant bit first, a set bit 255 and a clear bit 0.
// Any other depth or no pixels: empty.
cv::Mat ImageToMat(const BitmapView& image);

// Splits `text` at every "|" and appends the pieces to `pieces`. An empty piece (empty text, "||",
// a bar at either end) stops with false; the pieces before it stay appended.
bool SplitBarList(std::string_view text, std::vector<std::string>& pieces);

}  // namespace orvane::imaging
