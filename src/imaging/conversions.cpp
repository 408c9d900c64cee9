#include "imaging/conversions.h"

#include <cstring>

#include <opencv2/imgproc.hpp>

#include "platform/codepage.h"

namespace orvane::imaging {

cv::Mat ToGrey(const cv::Mat& picture, GreyConversion conversion) {
  cv::Mat grey;
  if (picture.empty()) return grey;
  const bool rgbOnBgr = conversion == GreyConversion::kRgbToGreyOnBgr;
  switch (picture.channels()) {
    case 1:
      grey = picture.clone();
      break;
    case 3:
      cv::cvtColor(picture, grey, rgbOnBgr ? cv::COLOR_RGB2GRAY : cv::COLOR_BGR2GRAY);
      break;
    case 4:
      cv::cvtColor(picture, grey, rgbOnBgr ? cv::COLOR_RGBA2GRAY : cv::COLOR_BGRA2GRAY);
      break;
    default:
      CV_Error(cv::Error::StsBadArg, "ToGrey: 1, 3 or 4 channels expected");
  }
  return grey;
}

namespace {

std::u32string DecodeUtf16(std::u16string_view text) {
  std::u32string codePoints;
  codePoints.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      codePoints.push_back(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      codePoints.push_back(U'\uFFFD');
    } else {
      codePoints.push_back(unit);
    }
  }
  return codePoints;
}

}  // namespace

std::string WideToAnsi(std::u16string_view text) {
  // Only the text up to its terminator counts, as with a zero-terminated wide string.
  if (const auto end = text.find(u'\0'); end != std::u16string_view::npos) text = text.substr(0, end);
  const auto encoded = platform::EncodeText(DecodeUtf16(text), platform::kAnsiCharset);
  return encoded ? encoded->bytes : std::string();
}

std::size_t WideToAnsi(std::u16string_view text, char* buffer, std::size_t bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return 0;
  const std::string bytes = WideToAnsi(text);
  if (bytes.size() + 1 > bufferSize) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = '\0';
  return bytes.size() + 1;
}

std::string AnsiToAnsiCopy(std::string_view text, const char* sourceCharset) {
  const auto decoded =
      platform::DecodeText(text, sourceCharset ? sourceCharset : platform::kAnsiCharset);
  if (!decoded) return {};
  const auto encoded = platform::EncodeText(*decoded, platform::kAnsiCharset);
  return encoded ? encoded->bytes : std::string();
}

cv::Mat ImageToMat(const BitmapView& image) {
  if (image.firstRow == nullptr || image.width <= 0 || image.height <= 0) return {};
  cv::Mat result;
  switch (image.bitsPerPixel) {
    case 24:
      result.create(image.height, image.width, CV_8UC3);
      for (int y = 0; y < image.height; ++y)
        std::memcpy(result.ptr(y), image.firstRow + y * image.pitch,
                    static_cast<std::size_t>(image.width) * 3);
      break;
    case 8:
      result.create(image.height, image.width, CV_8UC1);
      for (int y = 0; y < image.height; ++y)
        std::memcpy(result.ptr(y), image.firstRow + y * image.pitch,
                    static_cast<std::size_t>(image.width));
      break;
    case 1:
      result.create(image.height, image.width, CV_8UC1);
      for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.firstRow + y * image.pitch;
        std::uint8_t* out = result.ptr(y);
        for (int x = 0; x < image.width; ++x)
          out[x] = (row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
      }
      break;
    default:
      break;
  }
  return result;
}

bool SplitBarList(std::string_view text, std::vector<std::string>& pieces) {
  while (true) {
    const auto bar = text.find('|');
    const std::string_view piece = text.substr(0, bar);
    if (piece.empty()) return false;
    pieces.emplace_back(piece);
    if (bar == std::string_view::npos) return true;
    text.remove_prefix(bar + 1);
  }
}

}  // namespace orvane::imaging
